// The note and velocity effects of the Effects frame: reading the frame into the effect settings, the value
// maps, and the record-by-record transformation of a decoded track.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "edit/edit_commands.h"
#include "edit/edit_session.h"
#include "reader/event_record.h"

namespace sonivex {

// The effect codes: an effect's place in the Effects list plus 4. The fixed effects come first, then
// effects1.dat's curves from kFirstCurve on.
inline constexpr int kRandom = 4;
inline constexpr int kGraduallyIncrease = 5;
inline constexpr int kDecrease = 6;
inline constexpr int kGraduallyDecrease = 7;
inline constexpr int kIncrease = 8;
inline constexpr int kRemoveFlats = 9;
inline constexpr int kKeySignature = 10;
inline constexpr int kMinorMelodic = 11;
inline constexpr int kMinorHarmonic = 12;
inline constexpr int kEffect1 = 13;
inline constexpr int kEffect2 = 14;
inline constexpr int kFirstCurve = 15;

constexpr int EffectCodeOf(int listIndex) { return listIndex + 4; }

// Turns the request into the effect settings. For a curve of effects1.dat, returns the text of the message to
// show when the file cannot be read (the settings are then incomplete).
std::optional<std::string> PrepareEffect(EditSession& s, const EffectRequest& request);

// The entries of effects1.dat: each begins on a line holding "="; following lines without "=" are appended.
std::vector<std::string> EffectEntries(const std::vector<std::string>& lines);

// Fills ValueMap from a curve entry ("name=n,x1,y1,...") and reduces it to value steps 0 to 128.
void BuildCurve(EffectState& e, const std::string& entry);

// Whether the effect may change this record.
bool IsSelected(const EffectState& e, const EventRecord& f);

// Transforms the records of the current track (record m + 1 for m = 0 to EventCount); they then replace the
// whole set of records.
void TransformRecords(EditSession& s);

// The effect's rule and bounds on the records of one track, in memory (what TransformRecords writes).
void TransformTrack(EffectState& e, std::vector<EventRecord>& records, RandomSource& random);

}  // namespace sonivex

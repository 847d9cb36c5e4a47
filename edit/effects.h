// The note and velocity effects of the Effects frame: reading the frame into the effect settings, the value
// maps, and the record-by-record transformation of a decoded track.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "edit/edit_commands.h"
#include "edit/edit_session.h"
#include "reader/event_record.h"

namespace sonivex {

// The parameters of the Effects frame that an effect can read.
enum class EffectParameter {
    NoteOrVolume,  // "Note" / "Volume": whether the keys or the velocities change
    Step,          // Step/Factor
    Target,        // the one key (the note-or-All list) or the one velocity ("0 = All") to change
    Key,           // the key list and Bass / Treble, for a key signature
    Root,          // the note list: the root of a scale
};

// A set of parameters.
class EffectParameters {
public:
    constexpr EffectParameters() = default;
    constexpr EffectParameters(std::initializer_list<EffectParameter> parameters) {
        for (EffectParameter p : parameters) bits_ |= Bit(p);
    }
    constexpr bool Has(EffectParameter p) const { return (bits_ & Bit(p)) != 0; }
    constexpr EffectParameters With(EffectParameters other) const {
        EffectParameters both;
        both.bits_ = bits_ | other.bits_;
        return both;
    }
    constexpr bool operator==(const EffectParameters&) const = default;

private:
    static constexpr unsigned Bit(EffectParameter p) { return 1u << static_cast<unsigned>(p); }
    unsigned bits_ = 0;
};

// An effect as the Effects list offers it: a TransferCurve names its entry of effects1.dat, counted from 1.
struct EffectChoice {
    Effect effect = Effect::Random;
    std::optional<int> curveEntry;
    bool operator==(const EffectChoice&) const = default;
};

// An effect's rule on one selected record: m is the record's index in the track, n the index of the last one.
using RecordRule = void (*)(const EffectState& e, EventRecord& f, std::int64_t m, std::int64_t n,
                            RandomSource& random);
// Work an effect does once per run after its parameters are read (building its value map): the text of the
// message to show when it cannot.
using EffectSetUp = std::optional<std::string> (*)(EditSession& s, const EffectChoice& choice);
// Work an effect does on each track before its rule: false leaves the track as it is.
using TrackStart = bool (*)(EffectState& e, const std::vector<EventRecord>& records);

// What an effect is and needs: one row of the table of effects.
struct EffectRow {
    Effect effect;
    // As the Effects list shows it; none for TransferCurve, whose entries the list names from effects1.dat.
    std::optional<std::string_view> name;
    EffectParameters reads;      // what PrepareEffect takes from the request; the window enables their controls
    EffectParameters alsoShown;  // controls the window enables too, though the effect does not read them
    RecordRule rule;
    EffectSetUp setUp = nullptr;
    TrackStart startTrack = nullptr;
};

// The table of effects, one row per Effect in the order of the enum and of the Effects list.
std::span<const EffectRow> EffectTable();

// The row of an effect.
const EffectRow& RowOf(Effect effect);

// The parameters whose controls the window enables for an effect.
EffectParameters ShownParameters(Effect effect);

// The effect at a place in the Effects list (counted from 0): the fixed effects, then effects1.dat's entries
// as TransferCurves. Nothing for a negative place; whether effects1.dat has the entry is not checked here.
std::optional<EffectChoice> EffectAt(int listIndex);

// The place in the Effects list of an effect; of a TransferCurve, the place of its entry (with no entry named,
// the place of the first).
int ListIndexOf(const EffectChoice& choice);

// Turns the request into the effect settings: the parameters that the chosen effect reads, then its set-up.
// Returns the text of the message to show when that cannot be done (the settings are then incomplete): no
// effect is chosen, or effects1.dat cannot be read or has no such entry.
std::optional<std::string> PrepareEffect(EditSession& s, const EffectRequest& request);

// The entries of effects1.dat: each begins on a line holding "="; following lines without "=" are appended.
std::vector<std::string> EffectEntries(const std::vector<std::string>& lines);

// Fills ValueMap from a curve entry ("name=n,x1,y1,...") and reduces it to value steps 0 to 128.
void BuildCurve(EffectState& e, const std::string& entry);

// Whether the effect may change this record.
bool IsSelected(const EffectState& e, const EventRecord& f);

// Transforms the records of the current track (records 1 to RecordCount); they then replace the
// whole set of records.
void TransformRecords(EditSession& s);

// The effect's rule and bounds on the records of one track, in memory (what TransformRecords writes).
void TransformTrack(EffectState& e, std::vector<EventRecord>& records, RandomSource& random);

}  // namespace sonivex

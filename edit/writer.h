// The MIDI file writer: rebuilds the current track of the working copy from the event records, or appends a
// copy of it as a new last track.
#pragma once

#include <cstdint>
#include <string>

#include "edit/edit_session.h"

namespace sonivex {

inline constexpr int kDrumProgram = 117;

// Rebuilds track CurrentTrack from the records that ParseTrack has just made, in the mode EditMode names. Bytes before the track's
// first recorded event and all other tracks are copied unchanged; meta and system-exclusive events keep their
// own bytes. Shows "No free channel" or "Too many tracks" and changes nothing when it cannot; a file that
// cannot be read or written is named in a message and the working copy stays as it was.
void RewriteTrack(EditSession& s);

// The channel for a copied or switched track: the first channel that no track uses and that suits the mode; -1 when
// there is none.
int ChooseNewChannel(const SongModel& m);

// A delta time as a variable-length number: one to three bytes below 2,097,152 ticks, four above.
std::string DeltaBytes(std::int64_t ticks);

}  // namespace sonivex

// The piano roll of the session's song: the working copy as it stands, the working copy before the last
// command, and the names from genmidi.ini that the picture shows.
#pragma once

#include "piano_roll_model.h"
#include "reader/files.h"
#include "reader/session.h"

namespace sonivex {

// The legend's instrument of each track and the drum lanes' names, looked up in genmidi.ini as the report and
// the event listing look them up. A drum track (one note on the drum channel, the rule of midi/drums.h) is
// "Drums"; another track is named by its first program change, or not at all without one. A name that cannot be read (genmidi.ini missing or
// short) is left out; no message is shown.
RollNames PianoRollNames(SongSession& s, const Timeline& song);

// Prepares `model` from the working copy and the working copy before the last command (null for none). With
// no song open (or a working copy that cannot be read) the model holds an empty song. Shows no message.
void LoadPianoRoll(SongSession& s, const Bytes* before, PianoRollModel& model);

// The same from the bytes of the song and of the song before the last command (null for none); `s` gives only
// the names.
void LoadPianoRoll(SongSession& s, const Bytes& now, const Bytes* before, PianoRollModel& model);

}  // namespace sonivex

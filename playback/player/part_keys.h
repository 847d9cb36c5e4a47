// How an export shares a song's notes out among synthesizers that render side by side, each playing the notes
// of some keys and every other message: their sounds add up to the song's on one synthesizer.
#pragma once

#include <vector>

#include "playback/player/midi_sequence.h"
#include "playback/player/synth_engine.h"

namespace sonivex {

// The keys that each of `parts` synthesizers plays (at least one). Each key of each channel is one part's
// alone, so that a note struck again on its key finds its voice as on one synthesizer. So are all the keys of
// a channel whose notes act on each other: the keys that share an exclusive class of the SoundFont (a closed
// hi-hat cuts the open one short), and every key of a channel that glides or plays legato (portamento, mono
// mode, the legato pedal). The parts get about as much to render: a note costs what its voices cost while
// they sound, as a synthesizer of `fontOf`'s SoundFont starts them, its instrument chosen as the song has it.
std::vector<MidiSequence::KeySet> KeysOfParts(const SynthEngine& fontOf, const MidiSequence& song, int parts);

}  // namespace sonivex

// How an export shares a song's notes out among synthesizers that render side by side, each playing the notes
// of some keys and every other message: their sounds add up to the song's on one synthesizer.
#pragma once

#include <vector>

#include "playback/player/midi_sequence.h"
#include "playback/player/synth_engine.h"

namespace sonivex {

// The notes one synthesizer of the export plays: those of `keys`, which send to the effects of `sends` at
// most. An effect that none of its notes is sent to only adds silence, so the synthesizer renders without it.
struct SongPart {
    MidiSequence::KeySet keys;
    EffectSends sends;
};

// The parts that `parts` synthesizers play (at least one). Each key of each channel is one part's alone, so
// that a note struck again on its key finds its voice as on one synthesizer. So are all the keys of a channel
// whose notes act on each other: the keys that share an exclusive class of the SoundFont (a closed hi-hat
// cuts the open one short), and every key of a channel that glides or plays legato (portamento, mono mode, the
// legato pedal). The parts get about as much to render: a note costs what its voices cost while they sound, as
// a synthesizer of `fontOf`'s SoundFont starts them, its instrument chosen as the song has it, and each effect
// costs a part that sends to it as much as a few voices sounding all through the song; the notes that send to
// an effect gather in as few parts as that allows.
std::vector<SongPart> PartsOfSong(const SynthEngine& fontOf, const MidiSequence& song, int parts);

}  // namespace sonivex

// The song's tempo map as the report's decoding reads it, made before the first track is decoded so that every
// track's playing time can count the tempo changes of the tracks after it.
#pragma once

#include <cstdint>
#include <vector>

#include "midi/tempo_map.h"
#include "session.h"

namespace sonivex {

// The Set Tempo events of track `track` (1-based) of the working copy, at the ticks where the report's decoding
// finds them (the sum of the delta times read before each), read by the decoding's own rules: it stops where the
// decoding stops the track (an invalid event, a missing status byte that it repairs) and never asks or shows
// anything. `tempoDataPos` is the data position of the last Set Tempo read before this track; it is updated.
std::vector<TempoPoint> ScanTrackTempos(SongSession& s, int track, std::int64_t& tempoDataPos);

// The song's tempo map: in songs of format 0 and 1 the Set Tempo events of every track time every track; in songs
// of format 2 each track has its own (SongTempo::Of takes 0-based track indexes).
SongTempo ReadSongTempo(SongSession& s);

}  // namespace sonivex

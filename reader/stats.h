// The channel table and the statistics that the parser collects from notes, controllers, pitch bends and
// program changes. They add up over all tracks of one report run.
#pragma once

#include <cstdint>

#include "session.h"
#include "track_reader.h"

namespace sonivex {

// True while a parse collects statistics: during the report's passes over the tracks. The parses that the
// editing commands run after a report only set the flags they read (ChannelUsed, DrumRowDone).
bool CountsStatistics(const SongModel& m);

// A note event of the decoder's current channel after its key and velocity were read: channel use, key and
// velocity counts, the drum row.
void CountNote(SongSession& s, const TrackDecoder& d, int key, int velocity);

// A note event after the delta that follows it was read: instrument weights and note timing.
void NoteTiming(SongSession& s, const TrackDecoder& d, int key, std::int32_t delta);

// A controller event: the number of events of each controller, which the complexity figure counts.
void CountController(SongSession& s, const TrackDecoder& d, int controller);

// A pitch-bend event with its two data bytes.
void CountPitchBend(SongSession& s);

// A program change; `position` is the 1-based position of the byte before the program number.
void CountProgramChange(SongSession& s, const TrackDecoder& d, int program, std::int64_t position);

}  // namespace sonivex

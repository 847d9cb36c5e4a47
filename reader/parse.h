// Event decoding: one track of the working copy into event records.
#pragma once

#include <cstdint>
#include <vector>

#include "event_record.h"
#include "session.h"
#include "track_reader.h"

namespace sonivex {

// How the decoding of a track ended.
enum class TrackEnding {
    EndOfTrack,  // End of Track, or the end of the chunk or file: the last block is flushed
    Stopped,     // an error or a repair: the unfinished block is not written
};

// What the decoding of a track found besides its records.
struct TrackParse {
    std::uint64_t ticks = 0;         // every delta time it read: the track's length in ticks
    std::vector<TempoPoint> tempos;  // its Set Tempo events, at the ticks where they stand
};

// Whether a decoding keeps the track's events as records: a listing and an edit read them, a report without a
// listing does not need them.
enum class EventRecords { Keep, Skip };

// Decodes track CurrentTrack of the working copy: fills the event rows and records (Notes, unless `records` says
// Skip), the track's report and log lines, the channel table and the statistics. Bad bytes never read past the
// track; errors in the file are shown as messages and clear FileValid; a table or width overflow raises RunError.
TrackParse ParseTrack(SongSession& s, EventRecords records = EventRecords::Keep);

// The bytes of track chunk `track` (1-based) of the working copy: from its header to where the next chunk
// starts, never past the end of the file.
struct TrackChunk {
    SharedBytes bytes;
    ChunkHeader header{};        // its first 8 bytes as read (zeros where the file ends first)
    std::int64_t firstPos = 0;   // the 1-based file position of its first byte
    std::int64_t headerBytes = 0;  // how many of the 8 header bytes the file holds
};
TrackChunk ReadTrackChunk(SongSession& s, int track);

// Reads a variable-length number of at most four bytes (raises TrackCut at the end).
std::int32_t ReadVarLen(TrackReader& r);

// Reads the delta time after an event and adds it to the track's ticks; a delta cut off by the end of the
// track reads 0.
std::int32_t ReadDelta(TrackDecoder& r);

// Opens a new event in the block (flushing the full block first) and returns its row.
int OpenEvent(SongSession& s, TrackDecoder& d);

// Adds the delta that follows a meta event which makes no row to the track's last row, when there is one,
// and notes the event (the decoder's MetaStartPos to MetaDataEnd) as following that row. Returns false when
// the track has no row yet.
bool AddDeltaToLastRow(SongSession& s, const TrackDecoder& d, std::int32_t delta);

}  // namespace sonivex

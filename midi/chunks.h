// The chunks of a Standard MIDI File: the header's facts and where each track chunk lies. Damaged files are
// read as far as they go: a chunk that claims more bytes than the file holds ends with the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sonivex {

// The frames a second and ticks a frame of a time-code division.
struct TimeCode {
    int framesPerSecond;  // 24, 25, 29 (for 29.97 drop-frame) or 30 in a well-formed file
    int ticksPerFrame;
};

struct SmfHeader {
    int format = 0;          // 0, 1 or 2 in a well-formed file
    int declaredTracks = 0;  // the track count the header declares
    std::uint16_t division = 0;  // as stored: ticks per quarter note, or a time code when the top bit is set

    // Ticks per quarter note; nothing for a time-code division or a division of 0.
    std::optional<int> TicksPerQuarter() const;
    // The time code of a division whose top bit is set; nothing for other divisions and for time codes of no
    // frames or no ticks.
    std::optional<TimeCode> TimeCodeDivision() const;
};

// One MTrk chunk.
struct TrackChunk {
    std::size_t offset;          // of its "MTrk" id in the file
    std::size_t dataOffset;      // of its first event byte
    std::size_t dataLength;      // of its events in the file: the declared length, cut at the file's end
    std::uint32_t declaredLength;
};

struct SmfChunks {
    SmfHeader header;
    std::vector<TrackChunk> tracks;  // every MTrk chunk, in file order; other chunks are passed over

    // The tracks a song plays: the first of `tracks`, as many as the header declares.
    std::span<const TrackChunk> SongTracks() const;
};

// Scans a whole file. Nothing when it does not start with an MThd chunk of at least 6 bytes; otherwise the
// header and every MTrk chunk up to the file's end (a chunk head cut off ends the scan).
std::optional<SmfChunks> ScanChunks(std::span<const std::uint8_t> bytes);

}  // namespace sonivex

// The parser's view of one track: the chunk's bytes and a cursor that can never read past them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "files.h"
#include "midi/byte_cursor.h"
#include "midi/tempo_map.h"

namespace sonivex {

// Raised when a read would pass the end of the track's chunk or of the file; the parser then ends the track
// as if End of Track had been read there.
struct TrackCut {};

class TrackReader {
public:
    // `bytes` are the file's bytes from the 1-based position `firstPos` on, up to the end of the track's chunk.
    TrackReader(SharedBytes bytes, std::int64_t firstPos)
        : bytes_(std::move(bytes)), cursor_(bytes_.view), first_(firstPos) {}
    TrackReader(Bytes bytes, std::int64_t firstPos) : TrackReader(SharedBytes::Own(std::move(bytes)), firstPos) {}
    // The cursor points into the bytes the reader keeps.
    TrackReader(const TrackReader&) = delete;
    TrackReader& operator=(const TrackReader&) = delete;

    std::uint8_t Byte() {
        const std::optional<std::uint8_t> b = cursor_.Byte();
        if (!b) throw TrackCut{};
        return *b;
    }

    // Skips `count` bytes, or raises TrackCut when fewer are left.
    void Skip(std::int64_t count) {
        if (count < 0 || !cursor_.Skip(static_cast<std::uint64_t>(count))) throw TrackCut{};
    }

    // The next `count` bytes as raw characters, or TrackCut when fewer are left.
    std::string Take(std::int64_t count) {
        if (count < 0) throw TrackCut{};
        const std::optional<std::span<const std::uint8_t>> taken = cursor_.Take(static_cast<std::uint64_t>(count));
        if (!taken) throw TrackCut{};
        return std::string(taken->begin(), taken->end());
    }

    // A variable-length number of at most four bytes, or TrackCut when the track ends inside it.
    std::int32_t VarLen() {
        const std::optional<std::uint32_t> value = cursor_.VarLen(kMaxVarLenBytes);
        if (!value) throw TrackCut{};
        return static_cast<std::int32_t>(*value);  // 28 bits at most
    }

    // 1-based file position of the next byte to be read.
    std::int64_t NextPos() const { return first_ + static_cast<std::int64_t>(cursor_.Offset()); }

    // 1-based file position of the byte read last.
    std::int64_t LastPos() const { return NextPos() - 1; }

private:
    SharedBytes bytes_;
    ByteCursor cursor_;
    std::int64_t first_;
};

// One track being decoded: its bytes and what the decoder keeps from one event to the next. It lives for one
// parse, so nothing of it outlasts the track.
struct TrackDecoder : TrackReader {
    using TrackReader::TrackReader;

    std::uint8_t StatusByte = 0;    // the status byte of the event being decoded
    std::uint8_t MetaType = 0;      // the type of the meta event being decoded
    int CurrentChannel = 0;         // the channel of the channel event being decoded
    bool NoteIsOn = false;          // the note decoded last sounds (a Note On with a velocity above 0)
    std::int64_t MetaStartPos = 0;  // the 0xFF of the meta event being decoded
    std::int64_t MetaDataEnd = 0;   // its last data byte
    int EventRow = -1;              // the row of the current event in the block (EventRows); -1 before the first
    std::uint64_t Ticks = 0;        // every delta time read so far: the track's time at the event being decoded
    std::vector<TempoPoint> Tempos; // the track's Set Tempo events, at the ticks where they stand
    bool KeepRecords = true;        // the event blocks are kept as records (Notes) for a listing or an edit
};

}  // namespace sonivex

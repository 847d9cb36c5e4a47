// The parser's view of one track: the chunk's bytes and a cursor that can never read past them.
#pragma once

#include <cstdint>
#include <string>

#include "files.h"

namespace sonivex {

// Raised when a read would pass the end of the track's chunk or of the file; the parser then ends the track
// as if End of Track had been read there.
struct TrackCut {};

class TrackReader {
public:
    // `bytes` are the file's bytes from the 1-based position `firstPos` on, up to the end of the track's chunk.
    TrackReader(Bytes bytes, std::int64_t firstPos) : bytes_(std::move(bytes)), first_(firstPos) {}

    std::uint8_t Byte() {
        if (next_ >= bytes_.size()) throw TrackCut{};
        return bytes_[next_++];
    }

    // Skips `count` bytes, or raises TrackCut when fewer are left.
    void Skip(std::int64_t count) {
        if (count > static_cast<std::int64_t>(bytes_.size() - next_)) throw TrackCut{};
        next_ += static_cast<std::size_t>(count);
    }

    // The next `count` bytes as raw characters, or TrackCut when fewer are left.
    std::string Take(std::int64_t count) {
        const std::size_t from = next_;
        Skip(count);
        return std::string(bytes_.begin() + static_cast<std::ptrdiff_t>(from),
                           bytes_.begin() + static_cast<std::ptrdiff_t>(next_));
    }

    // 1-based file position of the next byte to be read.
    std::int64_t NextPos() const { return first_ + static_cast<std::int64_t>(next_); }

    // 1-based file position of the byte read last.
    std::int64_t LastPos() const { return NextPos() - 1; }

private:
    Bytes bytes_;
    std::int64_t first_;
    std::size_t next_ = 0;
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
};

}  // namespace sonivex

// The events of one track chunk, decoded one by one as a tolerant player reads them: running status (which
// meta and system exclusive events leave in force), variable-length numbers of at most four bytes, system
// common and real-time bytes passed over with their data bytes, and an event cut off (or a data byte with no
// status to run on) ending the track before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "byte_cursor.h"
#include "chunks.h"

namespace sonivex {

enum class EventKind : std::uint8_t {
    kChannel,      // a channel message, 0x80 to 0xEF
    kSystem,       // a system common or real-time byte, 0xF1 to 0xFE, with its data bytes
    kMeta,         // FF: a meta event
    kSysex,        // F0: a system exclusive message
    kSysexPacket,  // F7: a continuation of a system exclusive message, or raw bytes
};

inline constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
inline constexpr std::uint8_t kMetaSetTempo = 0x51;

struct TrackEvent {
    std::uint64_t tick = 0;     // absolute, from the track's start
    std::size_t offset = 0;     // of its delta time in the file
    EventKind kind = EventKind::kChannel;
    std::uint8_t status = 0;    // the status in force: a channel status (running status resolved), F1..FE, FF, F0, F7
    bool runningStatus = false;  // the status was not written: the first data byte follows the delta time
    std::size_t dataOffset = 0;  // of the first data byte of a channel or system message
    std::uint8_t dataCount = 0;  // 0, 1 or 2
    std::uint8_t data[2] = {0, 0};  // the data bytes as they stand (a channel message's top bits included)
    std::uint8_t metaType = 0;
    // The data of a meta event or the bytes of a system exclusive message after its length; a span of the
    // file's bytes.
    std::span<const std::uint8_t> body;
    std::size_t bodyOffset = 0;

    int Channel() const { return status & 0x0F; }
    // The upper nibble of a channel status: 0x80 note-off, 0x90 note-on, ... 0xE0 pitch bend.
    int Message() const { return status & 0xF0; }
    bool IsMeta(std::uint8_t type) const { return kind == EventKind::kMeta && metaType == type; }
    // A note-on of velocity above 0; a note-on of velocity 0 is a note-off.
    bool StartsNote() const { return kind == EventKind::kChannel && Message() == 0x90 && (data[1] & 0x7F) > 0; }
    bool EndsNote() const {
        return kind == EventKind::kChannel && (Message() == 0x80 || (Message() == 0x90 && (data[1] & 0x7F) == 0));
    }
};

// Why a track's events ended.
enum class TrackEnd : std::uint8_t {
    kEndOfTrack,  // its end-of-track meta event (bytes after it are not read)
    kChunkEnd,    // its chunk's bytes (or the file) ended between events
    kCutOff,      // an event was cut off, or a data byte came with no status to run on
};

// Reads the events of one track chunk of `file` front to back. Never reads outside the chunk's bytes.
class TrackEvents {
public:
    TrackEvents(std::span<const std::uint8_t> file, const TrackChunk& chunk);

    // The next event; nothing once the track has ended (End() tells why). The end-of-track event itself is
    // returned, then nothing.
    std::optional<TrackEvent> Next();
    // The same, read into `event` (which the caller keeps from one event to the next): false once the track has
    // ended. The faster form for a loop over every event.
    bool Read(TrackEvent& event);

    // Why the track ended; meaningful once Next() has given nothing.
    TrackEnd End() const { return end_; }
    // The tick of the last event returned (0 before any).
    std::uint64_t LastTick() const { return tick_; }

private:
    bool Stop(TrackEnd why);
    bool ReadChannelOrSystem(TrackEvent& event, std::uint8_t first);
    bool ReadBody(TrackEvent& event);

    std::size_t base_;  // the chunk's data offset in the file
    ByteCursor cursor_;
    std::uint64_t tick_ = 0;
    std::uint8_t running_ = 0;  // the running status; 0 for none yet
    bool ended_ = false;
    TrackEnd end_ = TrackEnd::kChunkEnd;
};

}  // namespace sonivex

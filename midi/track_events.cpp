#include "track_events.h"

namespace sonivex {

namespace {

constexpr std::uint8_t kMeta = 0xFF;
constexpr std::uint8_t kSysex = 0xF0;
constexpr std::uint8_t kSysexPacket = 0xF7;

// Data bytes after a channel or system status byte.
int DataBytesOf(std::uint8_t status) {
    switch (status & 0xF0) {
        case 0xC0:
        case 0xD0:
            return 1;
        case 0xF0:
            break;
        default:
            return 2;
    }
    switch (status) {
        case 0xF1:  // time-code quarter frame
        case 0xF3:  // song select
            return 1;
        case 0xF2:  // song position
            return 2;
        default:
            return 0;
    }
}

}  // namespace

TrackEvents::TrackEvents(std::span<const std::uint8_t> file, const TrackChunk& chunk)
    : base_(chunk.dataOffset), cursor_(file.subspan(chunk.dataOffset, chunk.dataLength)) {}

bool TrackEvents::Stop(TrackEnd why) {
    ended_ = true;
    end_ = why;
    return false;
}

std::optional<TrackEvent> TrackEvents::Next() {
    TrackEvent event;
    if (!Read(event)) return std::nullopt;
    return event;
}

bool TrackEvents::Read(TrackEvent& event) {
    if (ended_) return false;
    if (cursor_.AtEnd()) return Stop(TrackEnd::kChunkEnd);
    event = TrackEvent{};
    event.offset = base_ + cursor_.Offset();
    const std::optional<std::uint32_t> delta = cursor_.VarLen();
    const std::optional<std::uint8_t> first = cursor_.Byte();
    if (!delta || !first) return Stop(TrackEnd::kCutOff);
    event.tick = tick_ + *delta;
    bool whole = false;
    if (*first == kMeta) {
        event.kind = EventKind::kMeta;
        event.status = kMeta;
        const std::optional<std::uint8_t> type = cursor_.Byte();
        event.metaType = type.value_or(0);
        whole = type && ReadBody(event);
    } else if (*first == kSysex || *first == kSysexPacket) {
        event.kind = *first == kSysex ? EventKind::kSysex : EventKind::kSysexPacket;
        event.status = *first;
        whole = ReadBody(event);
    } else {
        whole = ReadChannelOrSystem(event, *first);
    }
    if (!whole) return Stop(TrackEnd::kCutOff);
    tick_ = event.tick;
    if (event.IsMeta(kMetaEndOfTrack)) {
        ended_ = true;
        end_ = TrackEnd::kEndOfTrack;
    }
    return true;
}

bool TrackEvents::ReadBody(TrackEvent& event) {
    const std::optional<std::uint32_t> length = cursor_.VarLen();
    if (!length) return false;
    event.bodyOffset = base_ + cursor_.Offset();
    const std::optional<std::span<const std::uint8_t>> body = cursor_.Take(*length);
    if (!body) return false;
    event.body = *body;
    return true;
}

bool TrackEvents::ReadChannelOrSystem(TrackEvent& event, std::uint8_t first) {
    int have = 0;
    if (first < 0x80) {
        // not a status byte: the running status's data begins here
        if (running_ == 0) return false;
        event.status = running_;
        event.runningStatus = true;
        event.dataOffset = base_ + cursor_.Offset() - 1;
        event.data[have++] = first;
    } else {
        event.status = first;
        event.dataOffset = base_ + cursor_.Offset();
    }
    event.kind = event.status >= 0xF0 ? EventKind::kSystem : EventKind::kChannel;
    const int need = DataBytesOf(event.status);
    while (have < need) {
        const std::optional<std::uint8_t> b = cursor_.Byte();
        if (!b) return false;
        event.data[have++] = *b;
    }
    event.dataCount = static_cast<std::uint8_t>(need);
    // System messages leave the running status as it was; some writers rely on that.
    if (event.kind == EventKind::kChannel) running_ = event.status;
    return true;
}

}  // namespace sonivex

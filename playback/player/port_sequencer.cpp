#include "playback/player/port_sequencer.h"

#include <algorithm>
#include <array>

namespace sonivex {

namespace {

constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kAllNotesOff = 123;
constexpr std::uint8_t kResetAllControllers = 121;
constexpr std::uint8_t kSysexStart = 0xF0;
constexpr std::uint8_t kSysexEnd = 0xF7;
constexpr int kChannels = 16;

bool HasOneDataByte(std::uint8_t status) {
    const int kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0;
}

std::vector<int> ChannelsOf(const MidiSequence& sequence) {
    std::array<bool, kChannels> used{};
    for (const SequenceEvent& e : sequence.Events()) {
        if (e.status < kSysexStart) used[e.status & 0x0F] = true;
    }
    std::vector<int> channels;
    for (int channel = 0; channel < kChannels; ++channel) {
        if (used[static_cast<std::size_t>(channel)]) channels.push_back(channel);
    }
    return channels;
}

}  // namespace

std::vector<std::uint8_t> WireBytes(const SequenceEvent& e) {
    if (e.status == kSysexStart) {
        std::vector<std::uint8_t> bytes{kSysexStart};
        bytes.insert(bytes.end(), e.sysex.begin(), e.sysex.end());
        bytes.push_back(kSysexEnd);
        return bytes;
    }
    if (HasOneDataByte(e.status)) return {e.status, e.data1};
    return {e.status, e.data1, e.data2};
}

void PortSequencer::Load(MidiSequence sequence, MidiOutput& out) {
    Release(out);
    sequence_ = std::move(sequence);
    channels_ = ChannelsOf(sequence_);
    state_ = State::kStopped;
    position_ = 0;
}

void PortSequencer::Start(std::int64_t fromTick, std::int64_t toTick, double now, MidiOutput& out) {
    if (state_ == State::kPlaying) Release(out);
    const std::int64_t length = sequence_.LengthTicks();
    fromTick_ = std::clamp<std::int64_t>(fromTick, 0, length);
    toTick_ = std::clamp<std::int64_t>(toTick, fromTick_, length);
    position_ = fromTick_;
    state_ = State::kPlaying;

    const std::vector<SequenceEvent>& events = sequence_.Events();
    const auto first = std::partition_point(events.begin(), events.end(),
                                            [this](const SequenceEvent& e) { return e.tick < fromTick_; });
    next_ = static_cast<std::size_t>(first - events.begin());
    for (const std::size_t index : SetUpMessages(events, next_)) {
        if (!Send(events[index], out)) return;
    }
    startTime_ = now;
    startSeconds_ = sequence_.SecondsAt(fromTick_);
    stopTime_ = startTime_ + (sequence_.SecondsAt(toTick_) - startSeconds_);
    SendDue(now, out);  // the messages at the start tick, and the end at once for an empty range
}

void PortSequencer::Pause(double now, MidiOutput& out) {
    if (state_ != State::kPlaying) return;
    position_ = PositionTicks(now);
    state_ = State::kPaused;
    Release(out);
}

void PortSequencer::Stop(double now, MidiOutput& out) {
    if (state_ == State::kPlaying) position_ = PositionTicks(now);
    state_ = State::kStopped;
    Release(out);
}

void PortSequencer::Seek(std::int64_t tick, double now, MidiOutput& out) {
    const std::int64_t at = std::clamp<std::int64_t>(tick, 0, sequence_.LengthTicks());
    if (state_ == State::kPlaying) {
        Start(at, at > toTick_ ? sequence_.LengthTicks() : toTick_, now, out);
    } else {
        position_ = at;
    }
}

void PortSequencer::Halt(double now) {
    if (state_ == State::kPlaying) position_ = PositionTicks(now);
    state_ = State::kStopped;
}

void PortSequencer::SendDue(double now, MidiOutput& out) {
    if (state_ != State::kPlaying) return;
    const std::vector<SequenceEvent>& events = sequence_.Events();
    while (next_ < events.size() && events[next_].tick <= toTick_ && TimeOf(events[next_]) <= now) {
        const SequenceEvent& e = events[next_++];
        if ((e.tick < toTick_ || !StartsNote(e)) && !Send(e, out)) return;
    }
    if (now >= stopTime_) End(toTick_, out);
}

std::optional<double> PortSequencer::NextTime() const {
    if (state_ != State::kPlaying) return std::nullopt;
    const std::vector<SequenceEvent>& events = sequence_.Events();
    if (next_ < events.size() && events[next_].tick <= toTick_) return std::min(TimeOf(events[next_]), stopTime_);
    return stopTime_;
}

void PortSequencer::Release(MidiOutput& out) {
    if (!sentSinceRelease_) return;  // nothing can sound
    sentSinceRelease_ = false;
    for (const int channel : channels_) {
        const auto status = static_cast<std::uint8_t>(kControlChange | channel);
        const std::array<std::uint8_t, 3> notesOff{status, kAllNotesOff, 0};
        const std::array<std::uint8_t, 3> reset{status, kResetAllControllers, 0};
        if (!out.Send(notesOff) || !out.Send(reset)) return;
    }
}

std::int64_t PortSequencer::PositionTicks(double now) const {
    if (state_ != State::kPlaying) return position_;
    return std::clamp(sequence_.TickAt(startSeconds_ + (now - startTime_)), fromTick_, toTick_);
}

bool PortSequencer::Send(const SequenceEvent& e, MidiOutput& out) {
    if (StartsNote(e) && silenced_.Contains(e.track)) return true;
    if (e.status == kSysexStart && e.sysex.empty()) return true;
    sentSinceRelease_ = true;
    if (out.Send(WireBytes(e))) return true;
    position_ = e.tick;
    state_ = State::kStopped;
    return false;
}

void PortSequencer::End(std::int64_t position, MidiOutput& out) {
    position_ = position;
    state_ = State::kStopped;
    Release(out);
}

}  // namespace sonivex

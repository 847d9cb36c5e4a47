#include "playback/player/sequencer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace sonivex {

namespace {

constexpr int kSustainPedal = 64;
constexpr int kSostenutoPedal = 66;

bool IsNoteMessage(const SequenceEvent& e) {
    const int kind = e.status & 0xF0;
    return kind == 0x80 || kind == 0x90 || kind == 0xA0;
}

bool StartsNote(const SequenceEvent& e) { return (e.status & 0xF0) == 0x90 && e.data2 > 0; }

// Each channel's state that one message sets whole, so that a later message of the same kind replaces it:
// one slot for each controller, then the program, the channel pressure and the pitch bend.
constexpr int kProgramSlot = 128;
constexpr int kPressureSlot = 129;
constexpr int kBendSlot = 130;
constexpr int kSlotsPerChannel = 131;
constexpr int kChannels = 16;

// The slot of the state that `e` sets; none when what it does depends on the messages around it: bank
// select (read by the next program change), the registered and non-registered parameter numbers and their
// data entry, the channel mode messages, and system exclusive.
std::optional<int> StateSlot(const SequenceEvent& e) {
    const int channel = e.status & 0x0F;
    int slot = 0;
    switch (e.status & 0xF0) {
    case 0xB0: {
        const int controller = e.data1;
        const bool sequenced = controller == 0 || controller == 32 || controller == 6 || controller == 38 ||
                               (controller >= 96 && controller <= 101) || controller >= 120;
        if (sequenced) return std::nullopt;
        slot = controller;
        break;
    }
    case 0xC0: slot = kProgramSlot; break;
    case 0xD0: slot = kPressureSlot; break;
    case 0xE0: slot = kBendSlot; break;
    default: return std::nullopt;
    }
    return channel * kSlotsPerChannel + slot;
}

// The messages before `end` that leave the synthesizer as the song has it there, in the song's order: all
// of them but the notes, and but those whose state a later one of the same channel and kind replaces. A seek
// in a long song then sends a few hundred messages instead of every controller the song ever changed.
std::vector<std::size_t> SetUpMessages(const std::vector<SequenceEvent>& events, std::size_t end) {
    std::vector<bool> replaced(kChannels * kSlotsPerChannel, false);
    std::vector<std::size_t> kept;
    for (std::size_t i = end; i-- > 0;) {
        const SequenceEvent& e = events[i];
        if (IsNoteMessage(e)) continue;
        if (const std::optional<int> slot = StateSlot(e)) {
            if (replaced[static_cast<std::size_t>(*slot)]) continue;
            replaced[static_cast<std::size_t>(*slot)] = true;
        }
        kept.push_back(i);
    }
    std::reverse(kept.begin(), kept.end());
    return kept;
}

}  // namespace

Sequencer::Sequencer(fluid_synth_t* synth, double sampleRate) : synth_(synth), sampleRate_(sampleRate) {}

void Sequencer::Load(MidiSequence sequence) {
    sequence_ = std::move(sequence);
    eventSeconds_.clear();
    eventSeconds_.reserve(sequence_.Events().size());
    for (const SequenceEvent& e : sequence_.Events()) eventSeconds_.push_back(e.seconds);
    state_ = State::kStopped;
    position_ = 0;
    fluid_synth_system_reset(synth_);
}

void Sequencer::Start(std::int64_t fromTick, std::int64_t toTick) {
    const std::int64_t length = sequence_.LengthTicks();
    fromTick_ = std::clamp<std::int64_t>(fromTick, 0, length);
    toTick_ = std::clamp<std::int64_t>(toTick, fromTick_, length);

    fluid_synth_system_reset(synth_);
    const std::vector<SequenceEvent>& events = sequence_.Events();
    const auto first = std::partition_point(events.begin(), events.end(),
                                            [this](const SequenceEvent& e) { return e.tick < fromTick_; });
    next_ = static_cast<std::size_t>(first - events.begin());
    for (const std::size_t index : SetUpMessages(events, next_)) Send(events[index]);

    startFrame_ = rendered_;
    startSeconds_ = sequence_.SecondsAt(fromTick_);
    stopFrame_ = FrameOfTime(sequence_.SecondsAt(toTick_));
    state_ = State::kPlaying;
    SendDueEvents();  // the messages at the start tick, and the end at once for an empty range
}

void Sequencer::Pause() {
    if (state_ != State::kPlaying) return;
    position_ = PositionTicks();
    state_ = State::kPaused;
    ReleaseNotes();
}

void Sequencer::Stop() {
    if (state_ == State::kPlaying) {
        position_ = PositionTicks();
        ReleaseNotes();
    }
    state_ = State::kStopped;
}

void Sequencer::Seek(std::int64_t tick) {
    const std::int64_t at = std::clamp<std::int64_t>(tick, 0, sequence_.LengthTicks());
    if (state_ == State::kPlaying) {
        ReleaseNotes();
        Start(at, std::max(toTick_, at));
        return;
    }
    position_ = at;
}

void Sequencer::Render(float* left, float* right, int frames) {
    int done = 0;
    while (done < frames) {
        SendDueEvents();
        int chunk = frames - done;
        if (state_ == State::kPlaying) {
            // Render up to the next message's frame, so that it sounds on time.
            std::int64_t until = stopFrame_;
            if (next_ < eventSeconds_.size()) until = std::min(until, FrameOfEvent(next_));
            chunk = static_cast<int>(std::clamp<std::int64_t>(until - rendered_, 1, chunk));
        }
        fluid_synth_write_float(synth_, chunk, left, done, 1, right, done, 1);
        done += chunk;
        rendered_ += chunk;
    }
    SendDueEvents();  // so that the state is current when the frames reach the stop tick
}

std::int64_t Sequencer::PositionTicks() const {
    if (state_ != State::kPlaying) return position_;
    const double seconds = startSeconds_ + static_cast<double>(rendered_ - startFrame_) / sampleRate_;
    return std::clamp(sequence_.TickAt(seconds), fromTick_, toTick_);
}

std::int64_t Sequencer::FrameOfTime(double seconds) const {
    return startFrame_ + std::llround((seconds - startSeconds_) * sampleRate_);
}

void Sequencer::SendDueEvents() {
    if (state_ != State::kPlaying) return;
    const std::vector<SequenceEvent>& events = sequence_.Events();
    while (next_ < events.size() && events[next_].tick <= toTick_ && FrameOfEvent(next_) <= rendered_) {
        const SequenceEvent& e = events[next_++];
        if (e.tick < toTick_ || !StartsNote(e)) Send(e);
    }
    if (rendered_ >= stopFrame_) {
        position_ = toTick_;
        state_ = State::kStopped;
        ReleaseNotes();
    }
}

void Sequencer::Send(const SequenceEvent& e) {
    if (StartsNote(e) && silenced_.Contains(e.track)) return;
    const int channel = e.status & 0x0F;
    switch (e.status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth_, channel, e.data1); break;
    case 0x90: fluid_synth_noteon(synth_, channel, e.data1, e.data2); break;  // velocity 0 is a note-off
    case 0xA0: fluid_synth_key_pressure(synth_, channel, e.data1, e.data2); break;
    case 0xB0: fluid_synth_cc(synth_, channel, e.data1, e.data2); break;
    case 0xC0: fluid_synth_program_change(synth_, channel, e.data1); break;
    case 0xD0: fluid_synth_channel_pressure(synth_, channel, e.data1); break;
    case 0xE0: fluid_synth_pitch_bend(synth_, channel, e.data1 | (e.data2 << 7)); break;
    case 0xF0:
        if (!e.sysex.empty()) {
            fluid_synth_sysex(synth_, reinterpret_cast<const char*>(e.sysex.data()), static_cast<int>(e.sysex.size()),
                              nullptr, nullptr, nullptr, 0);
        }
        break;
    default: break;
    }
}

void Sequencer::ReleaseNotes() {
    // A held pedal would keep the released notes sounding; the next Start restores the song's pedals.
    const int channels = fluid_synth_count_midi_channels(synth_);
    for (int channel = 0; channel < channels; ++channel) {
        fluid_synth_cc(synth_, channel, kSustainPedal, 0);
        fluid_synth_cc(synth_, channel, kSostenutoPedal, 0);
        fluid_synth_all_notes_off(synth_, channel);
    }
}

}  // namespace sonivex

#include "playback/player/sequencer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace sonivex {

namespace {

constexpr int kSustainPedal = 64;
constexpr int kSostenutoPedal = 66;

}  // namespace

void SendMessage(fluid_synth_t* synth, const SequenceEvent& e) {
    const int channel = e.status & 0x0F;
    switch (e.status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth, channel, e.data1); break;
    case 0x90: fluid_synth_noteon(synth, channel, e.data1, e.data2); break;  // velocity 0 is a note-off
    case 0xA0: fluid_synth_key_pressure(synth, channel, e.data1, e.data2); break;
    case 0xB0: fluid_synth_cc(synth, channel, e.data1, e.data2); break;
    case 0xC0: fluid_synth_program_change(synth, channel, e.data1); break;
    case 0xD0: fluid_synth_channel_pressure(synth, channel, e.data1); break;
    case 0xE0: fluid_synth_pitch_bend(synth, channel, e.data1 | (e.data2 << 7)); break;
    case 0xF0:
        if (!e.sysex.empty()) {
            fluid_synth_sysex(synth, reinterpret_cast<const char*>(e.sysex.data()), static_cast<int>(e.sysex.size()),
                              nullptr, nullptr, nullptr, 0);
        }
        break;
    default: break;
    }
}

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
    SendMessage(synth_, e);
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

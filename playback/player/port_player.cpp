#include "playback/player/port_player.h"

#include <pthread.h>
#include <sched.h>

#include <exception>
#include <utility>

namespace sonivex {

namespace {

// How often the timing thread asks whether the output still works while playing.
constexpr double kCheckEverySeconds = 0.25;
// Asking whether the port is still there is a round trip to the MIDI service that takes milliseconds: it waits
// for a gap of this much before the next message, for at most kLongestCheckDelay past its time.
constexpr double kCheckRoomSeconds = 0.02;
constexpr double kLongestCheckDelay = 1.0;

const char* ModeName(PortSequencer::State state) {
    switch (state) {
    case PortSequencer::State::kPlaying: return "playing";
    case PortSequencer::State::kPaused: return "paused";
    case PortSequencer::State::kStopped: break;
    }
    return "stopped";
}

}  // namespace

PortPlayer::PortPlayer(std::unique_ptr<MidiOutput> output) : output_(std::move(output)) {
    timing_ = std::thread([this] { Run(); });
    // A real-time priority keeps the messages on time on a busy machine, where the system grants one (as it
    // does to JACK's users); elsewhere the thread keeps the normal priority.
    sched_param priority{};
    priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(timing_.native_handle(), SCHED_FIFO, &priority);
}

PortPlayer::~PortPlayer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        try {
            sequencer_.Stop(Now(), *output_);
        } catch (const std::exception&) {
            // An output that broke takes no release either.
        }
    }
    wake_.notify_all();
    timing_.join();
}

bool PortPlayer::Open(const std::string& path) {
    std::optional<MidiSequence> sequence = MidiSequence::Read(path);
    std::lock_guard lock(mutex_);
    sequencer_.Load(sequence ? std::move(*sequence) : MidiSequence(), *output_);
    return sequence.has_value();
}

void PortPlayer::Play(std::int64_t fromTick, std::int64_t toTick) {
    {
        std::lock_guard lock(mutex_);
        problem_.reset();
        const double now = Now();
        sequencer_.Start(fromTick, toTick, now, *output_);
        nextCheck_ = now;
    }
    wake_.notify_all();
}

void PortPlayer::Pause() {
    std::lock_guard lock(mutex_);
    sequencer_.Pause(Now(), *output_);
}

void PortPlayer::Stop() {
    std::lock_guard lock(mutex_);
    sequencer_.Stop(Now(), *output_);
}

void PortPlayer::Seek(std::int64_t tick) {
    {
        std::lock_guard lock(mutex_);
        sequencer_.Seek(tick, Now(), *output_);
    }
    wake_.notify_all();
}

std::int64_t PortPlayer::PositionTicks() const {
    std::lock_guard lock(mutex_);
    return sequencer_.PositionTicks(Now());
}

std::int64_t PortPlayer::LengthTicks() const {
    std::lock_guard lock(mutex_);
    return sequencer_.LengthTicks();
}

std::string PortPlayer::Mode() const {
    std::lock_guard lock(mutex_);
    return ModeName(sequencer_.GetState());
}

void PortPlayer::Silence(const SilencedTracks& tracks) {
    std::lock_guard lock(mutex_);
    sequencer_.Silence(tracks);
}

std::optional<std::string> PortPlayer::Problem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

PortPlayer::Clock::time_point PortPlayer::TimeAt(double seconds) const {
    return origin_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void PortPlayer::Run() {
    for (;;) {
        try {
            TimeMessages();
            return;
        } catch (const std::exception& e) {
            // Not a message of the song can be sent any more: the play ends, and the thread serves the next.
            std::lock_guard lock(mutex_);
            sequencer_.Halt(Now());
            problem_ = std::string("MIDI output failed: ") + e.what();
        }
    }
}

void PortPlayer::TimeMessages() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        const double now = Now();
        const bool wasPlaying = sequencer_.GetState() == PortSequencer::State::kPlaying;
        sequencer_.SendDue(now, *output_);
        // A refused message has stopped the play already; a port that went away may refuse nothing. The check
        // waits for a gap between messages, so that it holds none of them back.
        const std::optional<double> due = sequencer_.NextTime();
        const bool room = !due || *due - now >= kCheckRoomSeconds || now >= nextCheck_ + kLongestCheckDelay;
        if (wasPlaying && (sequencer_.GetState() != PortSequencer::State::kPlaying || (now >= nextCheck_ && room))) {
            CheckOutput(now);
        }
        const std::optional<double> next = sequencer_.NextTime();
        if (!next) {
            wake_.wait(lock);
        } else {
            // A check put off for want of a gap is made after the next message.
            wake_.wait_until(lock, TimeAt(nextCheck_ > now ? std::min(*next, nextCheck_) : *next));
        }
    }
}

void PortPlayer::CheckOutput(double now) {
    nextCheck_ = now + kCheckEverySeconds;
    std::optional<std::string> problem = output_->Problem();
    if (!problem) return;
    sequencer_.Halt(now);
    problem_ = std::move(problem);
}

}  // namespace sonivex

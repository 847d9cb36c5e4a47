#include "playback/player/midi_player.h"

#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "playback/player/wav_file.h"

namespace sonivex {

namespace {

constexpr int kBlockFrames = 512;
constexpr double kLongestTailSeconds = 2.0;

// The longest stall the silent output makes up for. Past it the song waits, as it would for a sound card
// that stopped taking samples (a machine that slept, say), instead of rushing through the missed time.
constexpr std::chrono::seconds kLongestCatchUp{1};

// The audio drivers to try, in order; none for SONIVEX_AUDIO=none.
std::vector<std::string> AudioDrivers() {
    const char* chosen = std::getenv("SONIVEX_AUDIO");
    if (chosen != nullptr && std::string_view(chosen) == "none") return {};
    if (chosen != nullptr && *chosen != '\0') return {chosen};
    return {"pulseaudio", "alsa"};
}

const char* ModeName(Sequencer::State state) {
    switch (state) {
    case Sequencer::State::kPlaying: return "playing";
    case Sequencer::State::kPaused: return "paused";
    case Sequencer::State::kStopped: break;
    }
    return "stopped";
}

}  // namespace

std::unique_ptr<MidiPlayer> MidiPlayer::Create(const SoundFontChoice& soundFont) {
    std::unique_ptr<MidiPlayer> player(new MidiPlayer(soundFont));
    if (!player->engine_.Ready()) return nullptr;
    player->StartOutput();
    return player;
}

MidiPlayer::MidiPlayer(const SoundFontChoice& soundFont)
    : engine_(SampleLoading::AllLocked, 1, soundFont), sequencer_(engine_.Synth(), SynthEngine::kSampleRate) {}

MidiPlayer::~MidiPlayer() {
    if (driver_ != nullptr) delete_fluid_audio_driver(driver_);
    if (silentOutput_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        silentOutput_.join();
    }
}

void MidiPlayer::StartOutput() {
    for (const std::string& name : AudioDrivers()) {
        fluid_settings_setstr(engine_.Settings(), "audio.driver", name.c_str());
        driver_ = new_fluid_audio_driver2(engine_.Settings(), &MidiPlayer::RenderForDriver, this);
        if (driver_ != nullptr) return;
    }
    silentOutput_ = std::thread([this] { RunSilentOutput(); });
}

bool MidiPlayer::Open(const std::string& path) {
    std::optional<MidiSequence> sequence = MidiSequence::Read(path);
    std::lock_guard lock(mutex_);
    sequencer_.Load(sequence ? std::move(*sequence) : MidiSequence());
    return sequence.has_value();
}

void MidiPlayer::Play(std::int64_t fromTick, std::int64_t toTick) {
    {
        std::lock_guard lock(mutex_);
        sequencer_.Start(fromTick, toTick);
    }
    wake_.notify_all();
}

void MidiPlayer::Pause() {
    std::lock_guard lock(mutex_);
    sequencer_.Pause();
}

void MidiPlayer::Stop() {
    std::lock_guard lock(mutex_);
    sequencer_.Stop();
}

void MidiPlayer::Seek(std::int64_t tick) {
    {
        std::lock_guard lock(mutex_);
        sequencer_.Seek(tick);
    }
    wake_.notify_all();
}

std::int64_t MidiPlayer::PositionTicks() const {
    std::lock_guard lock(mutex_);
    return sequencer_.PositionTicks();
}

std::int64_t MidiPlayer::LengthTicks() const {
    std::lock_guard lock(mutex_);
    return sequencer_.LengthTicks();
}

std::string MidiPlayer::Mode() const {
    std::lock_guard lock(mutex_);
    return ModeName(sequencer_.GetState());
}

void MidiPlayer::Silence(const SilencedTracks& tracks) {
    std::lock_guard lock(mutex_);
    sequencer_.Silence(tracks);
}

int MidiPlayer::RenderForDriver(void* data, int len, int nfx, float* fx[], int nout, float* out[]) {
    auto* self = static_cast<MidiPlayer*>(data);
    for (int i = 0; i < nfx; ++i) std::fill(fx[i], fx[i] + len, 0.0f);
    for (int i = 2; i < nout; ++i) std::fill(out[i], out[i] + len, 0.0f);
    if (nout < 2) {
        if (nout == 1) std::fill(out[0], out[0] + len, 0.0f);
        return FLUID_OK;
    }
    std::lock_guard lock(self->mutex_);
    self->sequencer_.Render(out[0], out[1], len);
    return FLUID_OK;
}

void MidiPlayer::RunSilentOutput() {
    using Clock = std::chrono::steady_clock;
    std::vector<float> left(kBlockFrames), right(kBlockFrames);
    const auto framesAfter = [](Clock::duration d) {
        return static_cast<std::int64_t>(std::chrono::duration<double>(d).count() * SynthEngine::kSampleRate);
    };
    const auto timeOf = [](std::int64_t frames) {
        return std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(frames) / SynthEngine::kSampleRate));
    };

    // The frames rendered since `origin`: the clock that the song follows.
    Clock::time_point origin = Clock::now();
    std::int64_t rendered = 0;
    std::unique_lock lock(mutex_);
    while (!quit_) {
        const bool sounding = sequencer_.GetState() == Sequencer::State::kPlaying ||
                              fluid_synth_get_active_voice_count(engine_.Synth()) > 0;
        const Clock::time_point now = Clock::now();
        if (!sounding) {
            // Only a new play can start a sound, and Play() wakes the output.
            wake_.wait(lock);
            origin = Clock::now();
            rendered = 0;
            continue;
        }
        if (now - origin - timeOf(rendered) > kLongestCatchUp) {
            origin = now - timeOf(rendered);
        }
        if (rendered + kBlockFrames <= framesAfter(now - origin)) {
            sequencer_.Render(left.data(), right.data(), kBlockFrames);
            rendered += kBlockFrames;
            continue;
        }
        wake_.wait_until(lock, origin + timeOf(rendered + kBlockFrames));
    }
}

PlayerFactory MidiPlayerFactory(const SoundFontChoice& soundFont) {
    return [soundFont]() -> std::unique_ptr<Player> { return MidiPlayer::Create(soundFont); };
}

std::optional<double> RenderToWav(const std::string& midiPath, const std::string& wavPath) {
    std::optional<MidiSequence> sequence = MidiSequence::Read(midiPath);
    if (!sequence) return std::nullopt;
    SynthEngine engine;
    if (!engine.Ready()) return std::nullopt;
    WavWriter wav;
    if (!wav.Open(wavPath, static_cast<int>(SynthEngine::kSampleRate))) return std::nullopt;

    Sequencer sequencer(engine.Synth(), SynthEngine::kSampleRate);
    sequencer.Load(std::move(*sequence));
    sequencer.Start(0, sequencer.LengthTicks());
    std::vector<float> left(kBlockFrames), right(kBlockFrames);
    const auto longestTail = static_cast<std::int64_t>(kLongestTailSeconds * SynthEngine::kSampleRate);
    std::int64_t tail = 0;
    while (true) {
        int frames = kBlockFrames;
        if (sequencer.GetState() != Sequencer::State::kPlaying) {
            if (fluid_synth_get_active_voice_count(engine.Synth()) == 0 || tail >= longestTail) break;
            frames = static_cast<int>(std::min<std::int64_t>(kBlockFrames, longestTail - tail));
            tail += frames;
        }
        // A song whose sound would not fit the WAV's 32-bit sizes fails now rather than after hours.
        if (wav.Frames() + frames > WavWriter::kMostFrames) return std::nullopt;
        sequencer.Render(left.data(), right.data(), frames);
        wav.Write(left.data(), right.data(), frames);
    }
    if (!wav.Finish()) return std::nullopt;
    return static_cast<double>(wav.Frames()) / SynthEngine::kSampleRate;
}

}  // namespace sonivex

// The player behind the media commands: a MIDI file played through FluidSynth in real time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <fluidsynth/types.h>

#include "playback/player/player.h"
#include "playback/player/sequencer.h"
#include "playback/player/synth_engine.h"

namespace sonivex {

// Plays through the sound card when one can be used: the driver named by the environment variable
// SONIVEX_AUDIO, or else PulseAudio, or else ALSA. With SONIVEX_AUDIO=none, or when no driver starts, a
// silent output renders the sound at the pace of the wall clock and throws it away, so that positions and
// the end of the song come exactly when they would with sound. All members may be called from any thread.
class MidiPlayer : public Player {
public:
    // A player whose synthesizer loads `soundFont` (see SynthEngine; a file that does not load leaves it
    // silent). Nothing when FluidSynth cannot make a synthesizer.
    static std::unique_ptr<MidiPlayer> Create(const SoundFontChoice& soundFont = std::nullopt);
    ~MidiPlayer() override;

    bool Open(const std::string& path) override;
    void Play(std::int64_t fromTick, std::int64_t toTick) override;
    void Pause() override;
    void Stop() override;
    void Seek(std::int64_t tick) override;
    std::int64_t PositionTicks() const override;
    std::int64_t LengthTicks() const override;
    std::string Mode() const override;
    void Silence(const SilencedTracks& tracks) override;

    // True when a sound font was loaded; without one the player keeps time in silence.
    bool HasInstruments() const { return engine_.HasInstruments(); }

    // The SoundFont file the synthesizer loaded; nothing when none is.
    const std::optional<std::filesystem::path>& SoundFont() const { return engine_.LoadedSoundFont(); }

    // True when the sound goes to an audio driver rather than the silent output.
    bool UsesAudioDevice() const { return driver_ != nullptr; }

private:
    explicit MidiPlayer(const SoundFontChoice& soundFont);
    void StartOutput();
    void RunSilentOutput();
    static int RenderForDriver(void* data, int len, int nfx, float* fx[], int nout, float* out[]);

    SynthEngine engine_;
    mutable std::mutex mutex_;  // guards the sequencer and with it the synthesizer's song state
    Sequencer sequencer_;

    fluid_audio_driver_t* driver_ = nullptr;
    std::thread silentOutput_;
    std::condition_variable wake_;  // tells the silent output to stop waiting: new play, or quit
    bool quit_ = false;
};

// A factory that makes MidiPlayers with `soundFont`, for the command interpreter.
PlayerFactory MidiPlayerFactory(const SoundFontChoice& soundFont = std::nullopt);

// Renders a whole MIDI file as fast as the machine allows, through the player's synthesizer set-up, into a
// 16-bit stereo 44.1 kHz WAV file: the song from tick 0 to its end, then the sound that still rings, for at
// most two seconds. Returns the WAV's duration in seconds; nothing when the MIDI file cannot be read or the
// WAV cannot be written.
std::optional<double> RenderToWav(const std::string& midiPath, const std::string& wavPath);

}  // namespace sonivex

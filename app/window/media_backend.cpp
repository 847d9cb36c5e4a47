#include "media_backend.h"

#include <utility>

#ifdef SONIVEX_HAVE_PLAYER
#include "playback/player/command_interpreter.h"
#include "playback/player/midi_player.h"
#include "playback/player/port_fallback.h"
#include "playback/player/port_player.h"
#endif

#ifdef SONIVEX_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace sonivex {

namespace {

#ifdef SONIVEX_HAVE_ALSA
// ALSA writes a line to stderr for every sound card it looks for and does not find; the window tells the user
// once, beside the playing position, instead.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif

#ifdef SONIVEX_HAVE_PLAYER
// The command interpreter over FluidSynth players made with the settings in force when each song opens.
class PlayerBackend : public MediaBackend {
public:
    PlayerBackend(MediaNotifier notifier, SoundOutputNotifier soundOutput, OutputProblemNotifier outputProblem,
                  PlaybackSettings settings)
        : settings_(std::move(settings)),
          soundOutput_(std::move(soundOutput)),
          outputProblem_(std::move(outputProblem)),
          interpreter_([this] { return MakePlayer(); }, std::move(notifier)) {}

    int SendString(const std::string& command, std::string* reply, std::intptr_t callbackWindow) override {
        return interpreter_.SendString(command, reply, callbackWindow);
    }
    std::string ErrorString(int code) override { return interpreter_.ErrorString(code); }
    void Use(const PlaybackSettings& settings) override { settings_ = settings; }

private:
    std::unique_ptr<Player> MakePlayer() {
        if (settings_.outputPort) {
            if (std::unique_ptr<Player> port = MakePortPlayerFor(*settings_.outputPort)) return port;
        }
        return MakeSynthesizer();
    }

    std::unique_ptr<Player> MakeSynthesizer() {
        std::unique_ptr<MidiPlayer> player = MidiPlayer::Create(settings_.soundFont);
        if (player != nullptr && soundOutput_) soundOutput_(player->UsesAudioDevice());
        return player;
    }

    // The port player for `name`, which hands over to the built-in synthesizer if its port goes away; none,
    // after a message, when the port cannot be opened.
    std::unique_ptr<Player> MakePortPlayerFor(const std::string& name) {
        std::string problem;
        std::unique_ptr<PortPlayer> port = MakePortPlayer(name, problem);
        if (port == nullptr) {
            Tell("The MIDI port " + name + " cannot be used: " + problem +
                 ". Sonivex plays through the built-in synthesizer (FluidSynth).");
            return nullptr;
        }
        PortPlayer* raw = port.get();
        return std::make_unique<PortWithFallback>(
            std::move(port), [raw] { return raw->Problem(); }, [this] { return MakeSynthesizer(); },
            [this](const std::string& text) { Tell(text); });
    }

    void Tell(const std::string& text) const {
        if (outputProblem_) outputProblem_(text);
    }

    PlaybackSettings settings_;
    SoundOutputNotifier soundOutput_;
    OutputProblemNotifier outputProblem_;
    CommandInterpreter interpreter_;
};
#endif

}  // namespace

std::unique_ptr<MediaBackend> MakeMediaBackend(MediaNotifier notifier, SoundOutputNotifier soundOutput,
                                               OutputProblemNotifier outputProblem, const PlaybackSettings& settings) {
#ifdef SONIVEX_HAVE_ALSA
    snd_lib_error_set_handler(&IgnoreAlsaError);
#endif
#ifdef SONIVEX_HAVE_PLAYER
    return std::make_unique<PlayerBackend>(std::move(notifier), std::move(soundOutput), std::move(outputProblem),
                                           settings);
#else
    (void)notifier;  // built without FluidSynth: nothing plays
    (void)soundOutput;
    (void)outputProblem;
    (void)settings;
    return nullptr;
#endif
}

std::vector<std::string> MidiOutputPorts() {
#ifdef SONIVEX_HAVE_PLAYER
    return ListOutputPorts();
#else
    return {};
#endif
}

}  // namespace sonivex

#include "media_backend.h"

#include <utility>

#ifdef SONIVEX_HAVE_PLAYER
#include "playback/player/command_interpreter.h"
#include "playback/player/midi_player.h"
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
    PlayerBackend(MediaNotifier notifier, SoundOutputNotifier soundOutput, PlaybackSettings settings)
        : settings_(std::move(settings)),
          soundOutput_(std::move(soundOutput)),
          interpreter_([this] { return MakePlayer(); }, std::move(notifier)) {}

    int SendString(const std::string& command, std::string* reply, std::intptr_t callbackWindow) override {
        return interpreter_.SendString(command, reply, callbackWindow);
    }
    std::string ErrorString(int code) override { return interpreter_.ErrorString(code); }
    void Use(const PlaybackSettings& settings) override { settings_ = settings; }

private:
    std::unique_ptr<Player> MakePlayer() {
        std::unique_ptr<MidiPlayer> player = MidiPlayer::Create(settings_.soundFont);
        if (player != nullptr && soundOutput_) soundOutput_(player->UsesAudioDevice());
        return player;
    }

    PlaybackSettings settings_;
    SoundOutputNotifier soundOutput_;
    CommandInterpreter interpreter_;
};
#endif

}  // namespace

std::unique_ptr<MediaBackend> MakeMediaBackend(MediaNotifier notifier, SoundOutputNotifier soundOutput,
                                               const PlaybackSettings& settings) {
#ifdef SONIVEX_HAVE_ALSA
    snd_lib_error_set_handler(&IgnoreAlsaError);
#endif
#ifdef SONIVEX_HAVE_PLAYER
    return std::make_unique<PlayerBackend>(std::move(notifier), std::move(soundOutput), settings);
#else
    (void)notifier;  // built without FluidSynth: nothing plays
    (void)soundOutput;
    (void)settings;
    return nullptr;
#endif
}

std::vector<std::string> MidiOutputPorts() { return {}; }

}  // namespace sonivex

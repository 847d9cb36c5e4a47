#include "media_backend.h"

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

}  // namespace

std::unique_ptr<MediaInterface> MakeMediaBackend(MediaNotifier notifier, SoundOutputNotifier soundOutput) {
#ifdef SONIVEX_HAVE_ALSA
    snd_lib_error_set_handler(&IgnoreAlsaError);
#endif
#ifdef SONIVEX_HAVE_PLAYER
    PlayerFactory makePlayer = [soundOutput = std::move(soundOutput)]() -> std::unique_ptr<Player> {
        std::unique_ptr<MidiPlayer> player = MidiPlayer::Create();
        if (player != nullptr && soundOutput) soundOutput(player->UsesAudioDevice());
        return player;
    };
    return std::make_unique<CommandInterpreter>(std::move(makePlayer), std::move(notifier));
#else
    (void)notifier;  // built without FluidSynth: nothing plays
    (void)soundOutput;
    return nullptr;
#endif
}

}  // namespace sonivex

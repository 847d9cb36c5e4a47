#include "media_backend.h"

#ifdef SONIVEX_HAVE_PLAYER
#include "playback/player/command_interpreter.h"
#include "playback/player/midi_player.h"
#endif

namespace sonivex {

std::unique_ptr<MediaInterface> MakeMediaBackend(MediaNotifier notifier) {
#ifdef SONIVEX_HAVE_PLAYER
    return std::make_unique<CommandInterpreter>(MidiPlayerFactory(), std::move(notifier));
#else
    (void)notifier;  // built without FluidSynth: nothing plays
    return nullptr;
#endif
}

}  // namespace sonivex

// The media back-end that performs the media channel's command strings for the window.
#pragma once

#include <functional>
#include <memory>

#include "playback/media_interface.h"

namespace sonivex {

// Told, each time the back-end makes a player for a song, whether its sound reaches a sound output (true) or
// the song plays silently for want of one (false).
using SoundOutputNotifier = std::function<void(bool found)>;

// Makes the back-end; `notifier` delivers its completion notifications to the media frame and may be called
// from any thread; `soundOutput` hears whether a sound output was found. The sound library's own complaints
// about missing sound cards are kept off stderr. Returns null when there is no back-end: every media command
// then fails silently.
std::unique_ptr<MediaInterface> MakeMediaBackend(MediaNotifier notifier, SoundOutputNotifier soundOutput = {});

}  // namespace sonivex

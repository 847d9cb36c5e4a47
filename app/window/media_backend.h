// The media back-end that performs the media channel's command strings for the window.
#pragma once

#include <memory>

#include "playback/media_interface.h"

namespace sonivex {

// Makes the back-end; `notifier` delivers its completion notifications to the media frame and may be called
// from any thread. Returns null when there is no back-end: every media command then fails silently.
std::unique_ptr<MediaInterface> MakeMediaBackend(MediaNotifier notifier);

}  // namespace sonivex

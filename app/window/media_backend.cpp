#include "media_backend.h"

namespace sonivex {

std::unique_ptr<MediaInterface> MakeMediaBackend(MediaNotifier notifier) {
    // The FluidSynth back-end is wired here.
    (void)notifier;
    return nullptr;
}

}  // namespace sonivex

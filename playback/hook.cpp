#include "hook.h"

#include "media_interface.h"

namespace sonivex {

std::intptr_t MediaNotifyHook(std::intptr_t window, int message, std::intptr_t first, std::intptr_t second,
                              const WindowProcedure& previous) {
    if (message == kMediaNotifyMessage) return 0;
    return previous ? previous(window, message, first, second) : 0;
}

}  // namespace sonivex

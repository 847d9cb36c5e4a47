// The hook on the media frame's window: it receives the media back-end's completion notifications.
#pragma once

#include <cstdint>
#include <functional>

namespace sonivex {

// A window procedure: (window, message, first parameter, second parameter) -> result.
using WindowProcedure = std::function<std::intptr_t(std::intptr_t, int, std::intptr_t, std::intptr_t)>;

// Consumes a completion notification (returns 0 and passes nothing on); every other message goes to the
// window's previous procedure, whose result it returns.
std::intptr_t MediaNotifyHook(std::intptr_t window, int message, std::intptr_t first, std::intptr_t second,
                              const WindowProcedure& previous);

}  // namespace sonivex

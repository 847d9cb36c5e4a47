// A playing time as the report and the log show it.
#pragma once

#include <cstdint>
#include <string>

#include "reader/text.h"

namespace sonivex {

struct PlayTime {
    std::int64_t minutes;
    int seconds;
    std::string text;  // "MM.SS", minutes with at least two digits
};

// Whole seconds as minutes and seconds.
inline PlayTime PlayingTime(std::uint64_t wholeSeconds) {
    const auto minutes = static_cast<std::int64_t>(wholeSeconds / 60);
    const auto seconds = static_cast<int>(wholeSeconds % 60);
    return PlayTime{minutes, seconds, TwoDigits(minutes) + "." + TwoDigits(seconds)};
}

}  // namespace sonivex

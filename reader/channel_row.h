// One row of the report's channel table, as the decoding meets a track's first drum note or a program change.
#pragma once

#include <optional>
#include <string>

namespace sonivex {

struct ChannelRow {
    int track = 0;               // 1-based
    int channel = 0;             // 1-based; 10 for a drum track
    std::optional<int> program;  // 1-based as the table shows it; none for a drum track
    std::string instrument;      // the program's name, or "DRUM TRACK"
};

}  // namespace sonivex

// Which notes and tracks are drums, for everything that draws, names, counts or edits them.
#pragma once

#include <cstdint>

namespace sonivex {

// The channel (counted from 0; the tenth) whose notes are drum sounds and whose program changes choose a kit.
inline constexpr int kDrumChannel = 9;

constexpr bool IsDrumChannel(int channel) { return channel == kDrumChannel; }

// A note-off or note-on status byte on the drum channel. A track with one such event is a drum track, whatever
// else it plays.
constexpr bool IsDrumNoteStatus(int status) {
    return status == (0x80 | kDrumChannel) || status == (0x90 | kDrumChannel);
}

}  // namespace sonivex

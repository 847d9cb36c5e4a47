// What a file dragged onto the window carries: the one local file that Open is given.
#pragma once

#include <optional>
#include <string>

class QMimeData;

namespace sonivex {

// The path of the dragged file when the drag holds exactly one local file (not a folder); nothing otherwise.
std::optional<std::string> DroppedSong(const QMimeData* data);

}  // namespace sonivex

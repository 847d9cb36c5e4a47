// Writes a piano roll as a PNG file without a display, for sonivex-cli. The header needs no Qt, so a program
// that may be built without the renderer can still name it.
#pragma once

#include <string>

#include "piano_roll_model.h"

namespace sonivex {

inline constexpr int kDefaultRollWidth = 1600;
inline constexpr int kDefaultRollHeight = 900;
// The largest side of a picture: QImage refuses images of more than 2^31 bytes, and no screen is wider.
inline constexpr int kLargestRollSide = 16384;

// Reads "WxH" (two whole numbers from 1 to kLargestRollSide); false for anything else.
bool ParseRollSize(const std::string& text, int& width, int& height);

// Draws the whole song of `model` at `width` x `height` and writes it to `path` as a PNG. When no Qt
// application exists, one is made for the drawing on the "offscreen" platform, so no display is needed.
// Returns an empty string, or the reason the file could not be written.
std::string WritePianoRollPng(const PianoRollModel& model, int width, int height, const std::string& path);

}  // namespace sonivex

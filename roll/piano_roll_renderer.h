// Paints a laid-out piano roll with QPainter, on a window or an image alike.
#pragma once

#include <QImage>

#include "piano_roll_model.h"

class QPainter;

namespace sonivex {

// Paints the picture onto the painter's device, whose top left is the picture's; the device should be at
// least the picture's size. Needs a QGuiApplication for its text.
void DrawPianoRoll(QPainter& painter, const RollPicture& picture);

// Paints only the playing cursor of the picture (at its cursorX, if any), over a picture painted before.
void DrawPlayingCursor(QPainter& painter, const RollPicture& picture);

// The picture of a view of the model as an image of the view's size.
QImage RenderPianoRoll(const PianoRollModel& model, const RollView& view);

}  // namespace sonivex

// How both windows lay out their controls. Places are given in twips, 1440 to the inch: 15 twips make a pixel
// on a 96-dpi screen, and the pixel count grows with the screen's logical dpi. The layout was drawn for
// "MS Sans Serif" 8.25 pt; where a wider font stands in for it, captions are narrowed to fit their controls.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

namespace sonivex {

// Pixels for a length in twips at `dpi` logical dots per inch, rounded to the nearest pixel.
inline int TwipsToPixels(int twips, int dpi) { return qRound(twips * dpi / 1440.0); }

// A rectangle given in twips (left, top, width, height), in pixels at the widget's logical dpi. Its edges are
// rounded, not its size, so controls that meet in twips meet in pixels too (the status bar ends where the
// client area does).
inline QRect TwipsRect(const QWidget& widget, int left, int top, int width, int height) {
    const int dx = widget.logicalDpiX();
    const int dy = widget.logicalDpiY();
    const int x = TwipsToPixels(left, dx);
    const int y = TwipsToPixels(top, dy);
    return {x, y, TwipsToPixels(left + width, dx) - x, TwipsToPixels(top + height, dy) - y};
}

// "MS Sans Serif" 8.25 pt, in the application's family where that font is not installed; never underlined.
QFont FormFont();

// Narrows the font of a label, button, check box or option button whose caption does not fit its width, down
// to 70 % of the font's width, rather than let the caption be cut off. Other widgets are left as they are.
void FitCaption(QWidget& widget, const QString& caption);

}  // namespace sonivex

#include "piano_roll_window.h"

namespace sonivex {

PianoRollWindow::PianoRollWindow(Session& session, QWidget* parent) : PianoRollView(session, parent, Qt::Window) {
    setObjectName(QStringLiteral("PianoRoll"));
    setWindowTitle(QStringLiteral("Sonivex - Piano Roll"));
    resize(1200, 700);
}

}  // namespace sonivex

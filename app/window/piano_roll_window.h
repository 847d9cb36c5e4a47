// The piano roll window (View, Piano Roll): the piano roll view (piano_roll_view.h) as a resizable window of
// its own, beside the main window's "Piano Roll" tab.
#pragma once

#include "app/window/piano_roll_view.h"

namespace sonivex {

class PianoRollWindow : public PianoRollView {
    Q_OBJECT

public:
    // A window over the session's song; it reads the working copy when it is first shown.
    explicit PianoRollWindow(Session& session, QWidget* parent = nullptr);
};

}  // namespace sonivex

// The small value dialogs of Edit, Transpose... and Edit, Tempo...: each asks for one request of its command
// (edit/edit_commands.h) and changes nothing itself.
#pragma once

#include <QDialog>
#include <optional>

#include "edit/edit_commands.h"

class QComboBox;
class QSpinBox;

namespace sonivex {

// Semitones from -24 to 24 (0 at first), and all tracks or one of `trackCount` tracks.
class TransposeDialog : public QDialog {
    Q_OBJECT

public:
    TransposeDialog(int trackCount, QWidget* parent);
    // What the dialog shows now.
    TransposeRequest Request() const;

private:
    QSpinBox* semitones_;
    QComboBox* tracks_;
};

// The speed in percent, from 25 to 400 (100 at first).
class TempoDialog : public QDialog {
    Q_OBJECT

public:
    explicit TempoDialog(QWidget* parent);
    TempoRequest Request() const;

private:
    QSpinBox* percent_;
};

// Runs a dialog modally over `parent`; its request on OK, nothing on Cancel.
std::optional<TransposeRequest> AskForTranspose(QWidget* parent, int trackCount);
std::optional<TempoRequest> AskForTempo(QWidget* parent);

}  // namespace sonivex

#include "music_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace sonivex {

namespace {

QDialogButtonBox* OkAndCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->setObjectName(QStringLiteral("Buttons"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace

TransposeDialog::TransposeDialog(int trackCount, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TransposeDialog"));
    setWindowTitle(QStringLiteral("Transpose"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("Moves every melody note up or down; drum notes stay."), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    semitones_ = new QSpinBox(this);
    semitones_->setObjectName(QStringLiteral("Semitones"));
    semitones_->setRange(-kMaxTransposeSemitones, kMaxTransposeSemitones);
    semitones_->setValue(0);
    semitones_->setSuffix(QStringLiteral(" semitones"));
    semitones_->setToolTip(QStringLiteral("How far the notes move: up when positive, down when negative (12 is an "
                                          "octave)"));
    form->addRow(QStringLiteral("&Move by:"), semitones_);
    tracks_ = new QComboBox(this);
    tracks_->setObjectName(QStringLiteral("TransposeTrack"));
    tracks_->addItem(QStringLiteral("All tracks"));
    for (int track = 1; track <= trackCount; ++track) tracks_->addItem(QStringLiteral("Track %1").arg(track));
    tracks_->setToolTip(QStringLiteral("Transpose every track, or only the one chosen"));
    form->addRow(QStringLiteral("&Tracks:"), tracks_);
    layout->addLayout(form);
    layout->addWidget(OkAndCancel(this));
}

TransposeRequest TransposeDialog::Request() const {
    TransposeRequest request;
    request.semitones = semitones_->value();
    if (tracks_->currentIndex() > 0) request.onlyTrack = tracks_->currentIndex();
    return request;
}

TempoDialog::TempoDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TempoDialog"));
    setWindowTitle(QStringLiteral("Tempo"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("Plays the song faster or slower: 200 % twice as fast, 50 % half as fast."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    percent_ = new QSpinBox(this);
    percent_->setObjectName(QStringLiteral("TempoPercent"));
    percent_->setRange(kMinTempoPercent, kMaxTempoPercent);
    percent_->setValue(100);
    percent_->setSuffix(QStringLiteral(" %"));
    percent_->setToolTip(QStringLiteral("The new speed as a share of the song's own: every tempo is scaled by it"));
    form->addRow(QStringLiteral("&Speed:"), percent_);
    layout->addLayout(form);
    layout->addWidget(OkAndCancel(this));
}

TempoRequest TempoDialog::Request() const { return TempoRequest{percent_->value()}; }

std::optional<TransposeRequest> AskForTranspose(QWidget* parent, int trackCount) {
    TransposeDialog dialog(trackCount, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Request();
}

std::optional<TempoRequest> AskForTempo(QWidget* parent) {
    TempoDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Request();
}

}  // namespace sonivex

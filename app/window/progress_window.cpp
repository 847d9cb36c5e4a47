#include "progress_window.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <algorithm>

namespace sonivex {

namespace {

constexpr int kSteps = 1000;

}  // namespace

ProgressWindow::ProgressWindow(QWidget* parent) : parent_(parent) {}

ProgressWindow::~ProgressWindow() = default;

bool ProgressWindow::Show(const std::string& text, double fraction) {
    const QString label = QString::fromLocal8Bit(text);
    if (!dialog_) {
        dialog_ = std::make_unique<QProgressDialog>(label, QStringLiteral("Cancel"), 0, kSteps, parent_);
        dialog_->setObjectName(QStringLiteral("ProgressDialog"));
        dialog_->setWindowTitle(QStringLiteral("Sonivex"));
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->setMinimumDuration(0);
        dialog_->show();
    } else if (dialog_->labelText() != label) {
        dialog_->setLabelText(label);
    }
    dialog_->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kSteps));
    // The dialog is modal: only its Cancel button takes input while the task runs.
    QCoreApplication::processEvents();
    return !dialog_->wasCanceled();
}

void ProgressWindow::End() { dialog_.reset(); }

}  // namespace sonivex

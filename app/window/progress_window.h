// The window's progress dialog for long tasks (Export Audio): shown on the first report, with a Cancel button.
#pragma once

#include <memory>
#include <string>

class QProgressDialog;
class QWidget;

namespace sonivex {

class ProgressWindow {
public:
    explicit ProgressWindow(QWidget* parent);
    ~ProgressWindow();

    // Shows `text` and how far the task has got (0 to 1), lets the dialog's events run, and returns false once
    // the user has pressed Cancel (or closed the dialog).
    bool Show(const std::string& text, double fraction);

    // Takes the dialog away; the next Show starts a new one.
    void End();

private:
    QWidget* parent_;
    std::unique_ptr<QProgressDialog> dialog_;
};

}  // namespace sonivex

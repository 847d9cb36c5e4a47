// Help, User Guide (F1): the short guide to the window, a page built into the program, in a dialog of its own.
#pragma once

#include <QDialog>

class QTextBrowser;

namespace sonivex {

class UserGuideDialog : public QDialog {
    Q_OBJECT

public:
    explicit UserGuideDialog(QWidget* parent);
    QTextBrowser* Page() const { return page_; }

private:
    QTextBrowser* page_;
};

// The guide's page as the program ships it (a Qt resource); empty when it is missing from the build.
QString UserGuideHtml();

}  // namespace sonivex

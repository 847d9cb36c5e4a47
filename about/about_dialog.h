// The about window: the program's name and version, and two links, one to the web page and one that starts a
// new mail. The links underline while the mouse is over them; that is their only hover feedback.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace sonivex {

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    // Builds the window hidden; exec() shows it as a modal dialog and "OK" closes it.
    explicit AboutDialog(QWidget* parent = nullptr);

    // What the build gave the program: "Version " and the project's version, the web page and the mail address.
    static QString VersionText();
    static QString WebsiteAddress();
    static QString MailAddress();

protected:
    // Mouse moves over the links, the frame and the window set the underlines; a click on a link opens it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Underlines `on` and takes the underline off the other link (both off when `on` is null).
    void UnderlineOnly(QLabel* on);
    // Asks the desktop to open the link's address, then takes its underline off.
    void OpenLink(QLabel* link);

    QWidget* frame_ = nullptr;
    QLabel* website_ = nullptr;
    QLabel* mail_ = nullptr;
};

}  // namespace sonivex

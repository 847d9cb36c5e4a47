// The about window: the program's name and version, and two links, one to the web page and one that starts a
// new mail. The links underline while the mouse is over them; that is their only hover feedback. A link whose
// address is not configured is not shown, nor is its caption.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace sonivex {

// The addresses the about window links to; an empty one is left out.
struct AboutAddresses {
    QString website;
    QString mail;
};

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    // Builds the window hidden with the addresses the build gave the program; exec() shows it as a modal dialog
    // and "OK" closes it.
    explicit AboutDialog(QWidget* parent = nullptr);

    // The same with the addresses given.
    AboutDialog(const AboutAddresses& addresses, QWidget* parent);

    // What the build gave the program: "Version " and the project's version, the web page and the mail address
    // ("" when not configured).
    static QString VersionText();
    static QString WebsiteAddress();
    static QString MailAddress();

protected:
    // Mouse moves over the links, the frame and the window set the underlines; a click on a link opens it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The frame's icon, name, version and credit line; its website and mail links with their captions.
    void AddTitle(QWidget& frame);
    void AddLinks(QWidget& frame);
    // Underlines `on` and takes the underline off the other link (both off when `on` is null).
    void UnderlineOnly(QLabel* on);
    // Asks the desktop to open the link's address, then takes its underline off.
    void OpenLink(QLabel* link);

    QWidget* frame_ = nullptr;
    QLabel* website_ = nullptr;
    QLabel* mail_ = nullptr;
    AboutAddresses addresses_;
};

}  // namespace sonivex

#include "about_dialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

#include "form_layout.h"

#ifndef SONIVEX_VERSION
#error "the build defines SONIVEX_VERSION"
#endif

namespace sonivex {

namespace {

// The window's client area, in twips: the frame and the OK button below it, with the frame's margin around them.
constexpr int kClientWidth = 4095;
constexpr int kClientHeight = 4335;

QLabel* AddLabel(QWidget* container, const char* name, const QString& text) {
    auto* label = new QLabel(text, container);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

// Places a link label at its place and widens it when the address needs more room than the layout gives it,
// up to the frame's inner edge: an address longer than the one the layout was drawn for is not cut off.
void PlaceLink(QLabel* link, const QRect& place, int frameWidth) {
    const int room = frameWidth - place.left() - link->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) - 2;
    const int width = qMax(place.width(), qMin(link->sizeHint().width(), room));
    link->setGeometry(place.left(), place.top(), width, place.height());
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : AboutDialog({WebsiteAddress(), MailAddress()}, parent) {}

AboutDialog::AboutDialog(const AboutAddresses& addresses, QWidget* parent) : QDialog(parent), addresses_(addresses) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Sonivex"));
    setModal(true);
    setFixedSize(TwipsRect(*this, 0, 0, kClientWidth, kClientHeight).size());
    setFont(FormFont());
    setMouseTracking(true);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(TwipsRect(*this, 1320, 3720, 1455, 375));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(TwipsRect(*this, 240, 120, 3615, 3375));
    frame->setMouseTracking(true);
    frame_ = frame;

    AddTitle(*frame);
    AddLinks(*frame);
    frame_->installEventFilter(this);
    installEventFilter(this);
}

void AboutDialog::AddTitle(QWidget& frame) {
    auto* picture = AddLabel(&frame, "Picture1", QString());
    const QIcon icon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_MediaVolume)
                                                           : QApplication::windowIcon();
    picture->setPixmap(icon.pixmap(16, 16));
    const QRect iconPlace = TwipsRect(*this, 240, 330, 0, 0);
    picture->setGeometry(iconPlace.left(), iconPlace.top(), 16, 16);

    QLabel* name = AddLabel(&frame, "lblTitle", QStringLiteral("Sonivex"));
    QFont nameFont = name->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    name->setFont(nameFont);
    name->setGeometry(TwipsRect(*this, 600, 240, 2775, 375));

    QLabel* version = AddLabel(&frame, "lblVersion", VersionText());
    version->setGeometry(TwipsRect(*this, 600, 660, 2775, 255));

    QLabel* credit = AddLabel(&frame, "lblCredit", QStringLiteral("Analyses, changes and plays Standard MIDI Files."));
    credit->setWordWrap(true);
    credit->setGeometry(TwipsRect(*this, 240, 1200, 3135, 735));
}

void AboutDialog::AddLinks(QWidget& frame) {
    QLabel* websiteCaption = AddLabel(&frame, "Label2", QStringLiteral("Website:"));
    websiteCaption->setGeometry(TwipsRect(*this, 240, 2400, 612, 252));
    FitCaption(*websiteCaption, websiteCaption->text());
    QLabel* mailCaption = AddLabel(&frame, "Label6", QStringLiteral("Email:"));
    mailCaption->setGeometry(TwipsRect(*this, 360, 2640, 492, 252));
    FitCaption(*mailCaption, mailCaption->text());

    website_ = AddLabel(&frame, "Label9", addresses_.website);
    mail_ = AddLabel(&frame, "Label10", addresses_.mail);
    for (QLabel* link : {website_, mail_}) {
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
        link->setPalette(palette);
        link->setMouseTracking(true);
        link->installEventFilter(this);
    }
    const int frameWidth = frame.width();
    PlaceLink(website_, TwipsRect(*this, 960, 2400, 2412, 252), frameWidth);
    PlaceLink(mail_, TwipsRect(*this, 960, 2640, 1572, 252), frameWidth);
    // No placeholder stands in for an address that was not configured: the line is left out.
    websiteCaption->setVisible(!addresses_.website.isEmpty());
    website_->setVisible(!addresses_.website.isEmpty());
    mailCaption->setVisible(!addresses_.mail.isEmpty());
    mail_->setVisible(!addresses_.mail.isEmpty());
}

QString AboutDialog::VersionText() { return QStringLiteral("Version " SONIVEX_VERSION); }

QString AboutDialog::WebsiteAddress() { return QStringLiteral(SONIVEX_WEBSITE); }

QString AboutDialog::MailAddress() { return QStringLiteral(SONIVEX_EMAIL); }

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
    const bool onLink = watched == website_ || watched == mail_;
    if (event->type() == QEvent::MouseMove) {
        if (onLink) {
            UnderlineOnly(static_cast<QLabel*>(watched));
            return true;  // else the move would go on to the frame, which takes the underline off again
        }
        if (watched == frame_ || watched == this) UnderlineOnly(nullptr);
        return false;
    }
    if (onLink && event->type() == QEvent::MouseButtonRelease) {
        auto* link = static_cast<QLabel*>(watched);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && link->rect().contains(mouse->position().toPoint())) {
            OpenLink(link);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AboutDialog::UnderlineOnly(QLabel* on) {
    for (QLabel* link : {website_, mail_}) {
        QFont font = link->font();
        if (font.underline() == (link == on)) continue;
        font.setUnderline(link == on);
        link->setFont(font);
    }
}

void AboutDialog::OpenLink(QLabel* link) {
    const QUrl url =
        link == website_ ? QUrl(addresses_.website) : QUrl(QStringLiteral("mailto:") + addresses_.mail);
    QDesktopServices::openUrl(url);
    QFont font = link->font();
    font.setUnderline(false);
    link->setFont(font);
}

}  // namespace sonivex

#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "about/about_dialog.h"
#include "window_support.h"

namespace sonivex::test {

// Addresses for the tests only: the links must open exactly what they show.
const QString kWebsite = QStringLiteral("https://sonivex.test/home");
const QString kMail = QStringLiteral("team@sonivex.test");

// Takes the links that the desktop would open, so the tests open nothing.
class LinkCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened << url; }
};

class AboutDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AboutDialog> dialog_;
    LinkCatcher links_;

    QLabel* Label(const char* name) { return dialog_->findChild<QLabel*>(QLatin1String(name)); }
    bool Underlined(const char* name) { return Label(name)->font().underline(); }
    void MoveOver(QWidget* widget, QPoint at = {}) {
        if (at.isNull()) at = widget->rect().center();
        QTest::mouseMove(widget, at);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &links_, "Open");
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &links_, "Open");
    }
    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    }
    void init() {
        dialog_ = std::make_unique<AboutDialog>(AboutAddresses{kWebsite, kMail}, nullptr);
        links_.opened.clear();
    }
    void cleanup() { dialog_.reset(); }

    void ShowsTheNameTheVersionAndBothAddresses() {
        QCOMPARE(dialog_->objectName(), QStringLiteral("frmAbout"));
        QVERIFY(dialog_->isModal());
        QCOMPARE(Label("lblTitle")->text(), QStringLiteral("Sonivex"));
        QCOMPARE(Label("lblVersion")->text(), QStringLiteral("Version " SONIVEX_VERSION));
        QCOMPARE(AboutDialog::VersionText(), QStringLiteral("Version " SONIVEX_VERSION));
        QCOMPARE(Label("Label2")->text(), QStringLiteral("Website:"));
        QCOMPARE(Label("Label9")->text(), kWebsite);
        QCOMPARE(Label("Label6")->text(), QStringLiteral("Email:"));
        QCOMPARE(Label("Label10")->text(), kMail);
        // The icon at 16 by 16 pixels (an icon that is not square is fitted into that).
        QVERIFY(!Label("Picture1")->pixmap().isNull());
        QCOMPARE(Label("Picture1")->size(), QSize(16, 16));
        const QSize picture = Label("Picture1")->pixmap().deviceIndependentSize().toSize();
        QVERIFY(picture.width() == 16 || picture.height() == 16);
        QVERIFY(picture.width() <= 16 && picture.height() <= 16);
        QCOMPARE(dialog_->findChild<QPushButton*>(QStringLiteral("cmdOK"))->text(), QStringLiteral("OK"));
        // The links wear the link colour.
        QCOMPARE(Label("Label9")->palette().color(QPalette::WindowText), dialog_->palette().color(QPalette::Link));
    }

    void PlacesItsControlsFromTwips() {
        const int dx = dialog_->logicalDpiX();
        const int dy = dialog_->logicalDpiY();
        const auto place = [dx, dy](int l, int t, int w, int h) {
            return PixelRect(l, t, w, h, dx, dy);
        };
        auto* frame = dialog_->findChild<QGroupBox*>(QStringLiteral("Frame1"));
        QCOMPARE(frame->geometry(), place(240, 120, 3615, 3375));
        QVERIFY(frame->title().isEmpty());
        QCOMPARE(dialog_->findChild<QPushButton*>(QStringLiteral("cmdOK"))->geometry(), place(1320, 3720, 1455, 375));
        QCOMPARE(Label("Label2")->geometry(), place(240, 2400, 612, 252));
        QCOMPARE(Label("Label6")->geometry(), place(360, 2640, 492, 252));
        for (QLabel* label : {Label("Picture1"), Label("Label2"), Label("Label9"), Label("Label6"), Label("Label10")}) {
            QVERIFY(label->parentWidget() == frame);
            QVERIFY(frame->rect().contains(label->geometry()));
        }
        // A link keeps its place and height, and is widened where its address needs the room.
        const QRect website = place(960, 2400, 2412, 252);
        QCOMPARE(Label("Label9")->geometry().topLeft(), website.topLeft());
        QCOMPARE(Label("Label9")->height(), website.height());
        QVERIFY(Label("Label9")->width() >= website.width());
        const QRect mail = place(960, 2640, 1572, 252);
        QCOMPARE(Label("Label10")->geometry().topLeft(), mail.topLeft());
        QVERIFY(Label("Label10")->width() >= std::min(Label("Label10")->sizeHint().width(),
                                                      frame->width() - mail.left() - 4));
        QCOMPARE(dialog_->minimumSize(), dialog_->maximumSize());
    }

    void UnderlinesTheLinkUnderTheMouseOnly() {
        dialog_->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
        QVERIFY(!Underlined("Label9") && !Underlined("Label10"));
        MoveOver(Label("Label9"));
        QVERIFY(Underlined("Label9"));
        QVERIFY(!Underlined("Label10"));
        // Straight from one link to the other: the underline moves with the mouse.
        MoveOver(Label("Label10"));
        QVERIFY(!Underlined("Label9"));
        QVERIFY(Underlined("Label10"));
        // The empty frame takes it off.
        auto* frame = dialog_->findChild<QGroupBox*>(QStringLiteral("Frame1"));
        MoveOver(frame, QPoint(frame->width() - 6, frame->height() - 6));
        QVERIFY(!Underlined("Label9") && !Underlined("Label10"));
        MoveOver(Label("Label9"));
        QVERIFY(Underlined("Label9"));
        // So does the window around the frame.
        MoveOver(dialog_.get(), QPoint(3, dialog_->height() - 3));
        QVERIFY(!Underlined("Label9") && !Underlined("Label10"));
    }

    void OpensALinkWhenClickedAndTakesItsUnderlineOff() {
        dialog_->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
        MoveOver(Label("Label9"));
        QTest::mouseClick(Label("Label9"), Qt::LeftButton);
        QCOMPARE(links_.opened, (QList<QUrl>{QUrl(kWebsite)}));
        QVERIFY(!Underlined("Label9"));
        MoveOver(Label("Label10"));
        QTest::mouseClick(Label("Label10"), Qt::LeftButton);
        QCOMPARE(links_.opened.size(), 2);
        QCOMPARE(links_.opened[1], QUrl(QStringLiteral("mailto:") + kMail));
        QVERIFY(!Underlined("Label10"));
    }

    void LeavesOutAnAddressThatIsNotConfigured() {
        for (const AboutAddresses& addresses : {AboutAddresses{kWebsite, QString()}, AboutAddresses{QString(), kMail},
                                                AboutAddresses{}}) {
            dialog_ = std::make_unique<AboutDialog>(addresses, nullptr);
            dialog_->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
            QCOMPARE(Label("Label2")->isVisible(), !addresses.website.isEmpty());
            QCOMPARE(Label("Label9")->isVisible(), !addresses.website.isEmpty());
            QCOMPARE(Label("Label6")->isVisible(), !addresses.mail.isEmpty());
            QCOMPARE(Label("Label10")->isVisible(), !addresses.mail.isEmpty());
            QVERIFY(Label("lblVersion")->isVisible());
        }
        // The program's own window shows only what the build configured.
        AboutDialog built;
        QCOMPARE(built.findChild<QLabel*>(QStringLiteral("Label9"))->isVisibleTo(&built),
                 !AboutDialog::WebsiteAddress().isEmpty());
        QCOMPARE(built.findChild<QLabel*>(QStringLiteral("Label10"))->isVisibleTo(&built),
                 !AboutDialog::MailAddress().isEmpty());
    }

    void OkClosesTheWindow() {
        dialog_->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
        QTest::mouseClick(dialog_->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    }
};

int RunAboutDialogTests(int argc, char** argv) {
    AboutDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace sonivex::test

#include "about_dialog_test.moc"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "about/about_dialog.h"
#include "about/form_layout.h"
#include "app/window/dialogs.h"
#include "app/window/media_frame.h"
#include "support/fake_media.h"
#include "window_support.h"

namespace sonivex::test {

namespace {

// What the layout gives each control: container ("" for the window), caption or text, place in twips, and
// state at start (ticked: -1 where the control has no tick).
struct Expected {
    const char* name;
    const char* container;
    const char* caption;
    int left, top, width, height;
    bool enabled;
    int ticked;
};

// The editing panel's corner: the frames keep their layout inside it, moved by it.
constexpr int kPanelLeft = 6720;
constexpr int kPanelTop = 405;

const Expected kLayout[] = {
    {"Views", "", "", 120, 405, 6540, 9015, true, -1},
    {"EditPanel", "", "", kPanelLeft, kPanelTop, 12912 - kPanelLeft, 6960, true, -1},
    {"Frame1", "EditPanel", " Instruments ", 6840 - kPanelLeft, 405 - kPanelTop, 3375, 2535, true, -1},
    {"Label1", "Frame1", "Style:", 120, 360, 495, 255, true, -1},
    {"Combo1", "Frame1", "", 720, 360, 2295, 315, false, -1},
    {"Command1", "Frame1", "Apply", 2280, 840, 735, 315, false, -1},
    {"Check1", "Frame1", "Melody", 720, 1440, 855, 255, true, 1},
    {"Label2", "Frame1", "Max #:", 1680, 1440, 495, 255, true, -1},
    {"Combo2", "Frame1", "", 2280, 1440, 735, 315, false, -1},
    {"Check2", "Frame1", "Drum", 720, 1920, 855, 255, true, 0},
    {"Label3", "Frame1", "Max #:", 1680, 1920, 495, 255, true, -1},
    {"Combo3", "Frame1", "", 2280, 1920, 735, 315, false, -1},
    {"Frame2", "EditPanel", " Track ", 10560 - kPanelLeft, 405 - kPanelTop, 2175, 2535, true, -1},
    {"Label4", "Frame2", "Choose:", 360, 360, 615, 255, true, -1},
    {"Combo4", "Frame2", "", 1080, 360, 735, 315, false, -1},
    {"Command2", "Frame2", "Drum<>Melody", 480, 840, 1335, 375, false, -1},
    {"Label5", "Frame2", "Choose:", 360, 1440, 615, 255, true, -1},
    {"Combo5", "Frame2", "", 1080, 1440, 735, 315, false, -1},
    {"Command3", "Frame2", "Copy Track", 480, 1920, 1335, 375, false, -1},
    {"Frame3", "EditPanel", " Effects ", 6840 - kPanelLeft, 3120 - kPanelTop, 5895, 4215, true, -1},
    {"Label6", "Frame3", "Choose:", 240, 360, 615, 255, true, -1},
    {"Combo6", "Frame3", "", 960, 360, 2055, 315, false, -1},
    {"Command4", "Frame3", "Apply", 3120, 360, 735, 315, false, -1},
    {"Label8", "Frame3", "Track:", 960, 840, 495, 255, true, -1},
    {"Combo8", "Frame3", "", 1560, 840, 735, 315, true, -1},
    {"Check3", "Frame3", "Melody", 1560, 1320, 855, 255, true, 1},
    {"Check4", "Frame3", "Drum", 1560, 1680, 855, 255, true, 1},
    {"Label7", "Frame3", "Step/Factor:", 840, 2160, 975, 255, true, -1},
    {"Text1", "Frame3", "2", 1920, 2160, 615, 285, false, -1},
    {"Frame4", "Frame3", "", 3120, 720, 2535, 1695, true, -1},
    {"Option1", "Frame4", "Note", 360, 360, 855, 255, false, 1},
    {"Combo7", "Frame4", "", 1320, 360, 855, 315, false, -1},
    {"Option2", "Frame4", "Volume", 360, 720, 855, 255, false, 0},
    {"Text2", "Frame4", "0", 1320, 840, 855, 285, false, -1},
    {"Label9", "Frame4", "0 = All", 1680, 1200, 495, 255, true, -1},
    {"Frame5", "Frame3", "", 3120, 2520, 2535, 1455, true, -1},
    {"Label10", "Frame5", "Note:", 360, 360, 495, 255, true, -1},
    {"Combo9", "Frame5", "", 840, 360, 855, 315, false, -1},
    {"Check6", "Frame5", "Treble", 360, 840, 855, 255, false, 1},
    {"Check5", "Frame5", "Bass", 1560, 840, 735, 255, false, 0},
    {"Frame6", "Frame3", "", 240, 2520, 2535, 1455, true, -1},
    {"Label11", "Frame6", "Note:", 600, 360, 495, 255, true, -1},
    {"Combo10", "Frame6", "", 1080, 360, 855, 315, false, -1},
    {"MediaFrame", "", "", 3600, 8880, 375, 255, true, -1},
    {"StatusBar1", "", "", 0, 9504, 12912, 252, true, -1},
};

QString CaptionOf(const QWidget* widget) {
    if (const auto* frame = qobject_cast<const QGroupBox*>(widget)) return frame->title();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (const auto* pane = qobject_cast<const QPlainTextEdit*>(widget)) return pane->toPlainText();
    return {};
}

int TickOf(const QWidget* widget) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        if (button->isCheckable()) return button->isChecked() ? 1 : 0;
    }
    return -1;
}

std::string FileText(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<ScriptedWindow> window_;

    template <typename T = QWidget>
    T* Control(const char* name) {
        T* found = window_->centralWidget()->findChild<T*>(QLatin1String(name));
        if (found == nullptr) qWarning("no control %s", name);
        return found;
    }
    QAction* Action(const char* name) { return window_->findChild<QAction*>(QLatin1String(name)); }
    QToolBar* Toolbar() { return Control<QToolBar>("Toolbar1"); }
    QAction* ToolbarAction(const char* key) {
        for (QAction* action : Toolbar()->actions()) {
            if (action->data().toString() == QLatin1String(key)) return action;
        }
        return nullptr;
    }
    void ClickToolbar(const char* key) {
        QTest::mouseClick(Toolbar()->widgetForAction(ToolbarAction(key)), Qt::LeftButton);
    }
    // Shows the window and opens a two-track song through the toolbar's Open button.
    std::string ShowAndOpen() {
        window_->show();
        if (!QTest::qWaitForWindowExposed(window_.get())) qWarning("window not exposed");
        const std::string path = folder_->WriteSong(TwoTrackSong());
        window_->files = {path};
        ClickToolbar("Open");
        return path;
    }
    // Chooses an entry of a list with the keyboard, as a user would: one activation per step.
    void ChooseEntry(const char* list, int index) {
        auto* combo = Control<QComboBox>(list);
        QTest::keyClick(combo, Qt::Key_Home);
        for (int i = combo->currentIndex(); i < index; ++i) QTest::keyClick(combo, Qt::Key_Down);
    }

private slots:
    void init() {
        folder_ = std::make_unique<ProgramFolder>();
        window_ = std::make_unique<ScriptedWindow>(folder_->Path());
    }
    void cleanup() {
        window_.reset();
        folder_.reset();
    }

    void TwipsBecomePixelsAtTheScreensDpi() {
        QCOMPARE(TwipsToPixels(15, 96), 1);
        QCOMPARE(TwipsToPixels(1440, 96), 96);
        QCOMPARE(TwipsToPixels(12912, 96), 861);
        QCOMPARE(TwipsToPixels(1440, 144), 144);
        QCOMPARE(TwipsToPixels(255, 120), 21);
    }

    void EveryControlHasItsNameContainerCaptionPlaceAndStartingState() {
        const int dx = window_->logicalDpiX();
        const int dy = window_->logicalDpiY();
        for (const Expected& e : kLayout) {
            QWidget* widget = Control(e.name);
            QVERIFY2(widget != nullptr, e.name);
            QWidget* container = *e.container == '\0' ? window_->centralWidget() : Control(e.container);
            QVERIFY2(widget->parentWidget() == container, e.name);
            if (qstrcmp(e.name, "MediaFrame") != 0) QCOMPARE(CaptionOf(widget), QString::fromLatin1(e.caption));
            const QRect expected = PixelRect(e.left, e.top, e.width, e.height, dx, dy);
            QVERIFY2(widget->geometry() == expected, e.name);
            QVERIFY2(widget->isEnabled() == e.enabled, e.name);
            QVERIFY2(TickOf(widget) == e.ticked, e.name);
        }
        // The toolbar keeps its place and width; its buttons decide its height, which stops above the frames.
        const QRect bar = Toolbar()->geometry();
        QCOMPARE(bar.topLeft(), QPoint(0, 0));
        QCOMPARE(bar.width(), Pixels(12912, dx));
        QVERIFY(bar.height() >= Pixels(288, dy));
        QVERIFY(bar.bottom() < Pixels(405, dy));
        QVERIFY(Toolbar()->parentWidget() == window_->centralWidget());
        // The report pane is the Report view, the second tab after the Overview.
        auto* views = Control<QTabWidget>("Views");
        QCOMPARE(views->tabText(0), QStringLiteral("Overview"));
        QCOMPARE(views->tabText(1), QStringLiteral("Report"));
        QCOMPARE(views->tabText(2), QStringLiteral("Piano Roll"));
        QCOMPARE(views->tabText(3), QStringLiteral("Lyrics"));
        QCOMPARE(views->widget(1), Control("RichTextBox1"));
        QVERIFY(!views->isTabVisible(3));  // no song, no lyrics
        QCOMPARE(views->currentIndex(), 0);
        QVERIFY(Control<QComboBox>("Combo1")->count() == 0);
        QVERIFY(!Control<QComboBox>("Combo1")->isEditable());
        QVERIFY(Control<QStatusBar>("StatusBar1")->currentMessage().isEmpty());
    }

    void NoTwoVisibleControlsOfAContainerOverlap() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        std::vector<QWidget*> containers{window_->centralWidget()};
        for (const char* frame : {"EditPanel", "Frame1", "Frame2", "Frame3", "Frame4", "Frame5", "Frame6"}) {
            containers.push_back(Control(frame));
        }
        for (QWidget* container : containers) {
            const QList<QWidget*> children = container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QWidget* a : children) {
                if (!a->isVisible()) continue;
                QVERIFY2(container->rect().contains(a->geometry()), qPrintable(a->objectName()));
                for (QWidget* b : children) {
                    if (a == b || !b->isVisible()) continue;
                    // The layout lets the "Note:" label touch its list by a twip or so: one pixel is allowed.
                    const QRect overlap = a->geometry() & b->geometry();
                    QVERIFY2(overlap.width() <= 1 || overlap.height() <= 1,
                             qPrintable(a->objectName() + QStringLiteral(" / ") + b->objectName()));
                }
            }
        }
    }

    void TheWindowStartsAtASensibleSizeCentredAndCanBeMaximised() {
        const QSize client(Pixels(12912, window_->logicalDpiX()), Pixels(9756, window_->logicalDpiY()));
        // At least its layout's size; larger (up to 1180 by 800) where the screen has room, never beyond it.
        const QSize start = window_->size();
        QVERIFY(start.width() >= client.width() && start.height() >= client.height());
        const QSize room = window_->screen()->availableGeometry().size();
        QVERIFY(window_->width() <= std::max(room.width(), client.width()));
        QVERIFY(window_->height() <= std::max(room.height(), client.height() + window_->menuBar()->height()));
        if (room.width() >= 1300 && room.height() >= 900) QCOMPARE(window_->size(), QSize(1180, 800));
        QCOMPARE(window_->objectName(), QStringLiteral("frmmain"));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Sonivex[*]"));
        QVERIFY(window_->windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(window_->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(window_->windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(window_->maximumSize().width() > window_->minimumSizeHint().width());
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QCOMPARE(window_->size(), start);
        QVERIFY(window_->centralWidget()->width() >= client.width());
        QVERIFY(window_->centralWidget()->height() >= client.height());
        const QPoint centre = window_->screen()->availableGeometry().center();
        QVERIFY((window_->frameGeometry().center() - centre).manhattanLength() <= 2);
        // The layout's own size is the smallest the window gets.
        window_->resize(200, 200);
        QTRY_COMPARE(window_->centralWidget()->size(), client);
        QCOMPARE(Control("Views")->geometry(), PixelRect(120, 405, 6540, 9015, window_->logicalDpiX(),
                                                         window_->logicalDpiY()));
        // There the report pane keeps at least the room it had beside the frames.
        Control<QTabWidget>("Views")->setCurrentIndex(1);
        QTRY_VERIFY(Control("RichTextBox1")->width() >= Pixels(6495, window_->logicalDpiX()) - 8);
        QVERIFY(Control("RichTextBox1")->height() >= Pixels(8900, window_->logicalDpiY()) - 40);
    }

    void TheViewsGrowWithTheWindowAndTheFramesKeepTheirPlaceAtTheirRight() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->resize(200, 200);  // the layout's own size
        QTRY_COMPARE(window_->centralWidget()->size(),
                     QSize(Pixels(12912, window_->logicalDpiX()), Pixels(9756, window_->logicalDpiY())));
        Control<QTabWidget>("Views")->setCurrentIndex(1);  // the Report
        QCoreApplication::processEvents();
        const QSize laidOut = window_->centralWidget()->size();
        QWidget* client = window_->centralWidget();
        // The frames' places in the window: they sit in the editing panel.
        const auto inWindow = [client](QWidget* w) { return QRect(w->mapTo(client, QPoint(0, 0)), w->size()); };
        std::map<QString, QRect> before;
        for (const char* name : {"Views", "EditPanel", "Toolbar1", "StatusBar1", "Combo1", "Command4"}) {
            before[QLatin1String(name)] = Control(name)->geometry();
        }
        std::map<QString, QRect> framesBefore;
        for (const char* frame : {"Frame1", "Frame2", "Frame3"}) framesBefore[QLatin1String(frame)] = inWindow(Control(frame));
        const QSize reportBefore = Control("RichTextBox1")->size();
        const int wider = 300;
        const int taller = 200;
        window_->resize(window_->width() + wider, window_->height() + taller);
        QTRY_COMPARE(window_->centralWidget()->size(), laidOut + QSize(wider, taller));
        const auto now = [this](const char* name) { return Control(name)->geometry(); };
        QCOMPARE(now("Views"), before["Views"].adjusted(0, 0, wider, taller));
        QTRY_COMPARE(Control("RichTextBox1")->size(), reportBefore + QSize(wider, taller));
        QCOMPARE(now("EditPanel"), before["EditPanel"].translated(wider, 0));  // a fixed width, at the right
        for (const char* frame : {"Frame1", "Frame2", "Frame3"}) {
            QCOMPARE(inWindow(Control(frame)), framesBefore[QLatin1String(frame)].translated(wider, 0));
            // The gap to the views' right edge stays as laid out.
            QCOMPARE(inWindow(Control(frame)).left() - now("Views").right(),
                     framesBefore[QLatin1String(frame)].left() - before["Views"].right());
        }
        QCOMPARE(now("Combo1"), before["Combo1"]);  // inside its frame, nothing moves
        QCOMPARE(now("Command4"), before["Command4"]);
        QCOMPARE(now("Toolbar1"), before["Toolbar1"].adjusted(0, 0, wider, 0));
        QCOMPARE(now("StatusBar1"), before["StatusBar1"].translated(0, taller).adjusted(0, 0, wider, 0));
        QCOMPARE(now("StatusBar1").bottom(), window_->centralWidget()->height() - 1);
        QCOMPARE(inWindow(Control("Frame2")).right(),
                 window_->centralWidget()->width() - 1 - (laidOut.width() - 1 - framesBefore["Frame2"].right()));
        // And back again: the laid-out places return.
        window_->resize(window_->width() - wider, window_->height() - taller);
        QTRY_COMPARE(window_->centralWidget()->size(), laidOut);
        for (const auto& [name, place] : before) QCOMPARE(Control(name.toLatin1().constData())->geometry(), place);
    }

    void TheReportPaneIsAReadOnlyFixedPitchPaneThatKeepsItsLines() {
        auto* pane = Control<QPlainTextEdit>("RichTextBox1");
        QVERIFY(pane->isReadOnly());
        QCOMPARE(pane->lineWrapMode(), QPlainTextEdit::NoWrap);
        QVERIFY(pane->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(pane->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        QVERIFY(QFontInfo(pane->font()).fixedPitch());
        QCOMPARE(pane->font().pointSizeF(), 10.2);
    }

    void EveryControlSaysWhatItDoesInItsToolTip() {
        for (const Expected& e : kLayout) {
            if (qstrcmp(e.name, "MediaFrame") == 0) continue;  // never seen
            QVERIFY2(Control(e.name)->toolTip().size() > 10, e.name);
        }
        QVERIFY(Control("RichTextBox1")->toolTip().size() > 10);
        for (QAction* action : Toolbar()->actions()) {
            if (!action->isSeparator() && !action->data().toString().isEmpty()) QVERIFY(!action->toolTip().isEmpty());
        }
        auto* views = Control<QTabWidget>("Views");
        for (int tab = 0; tab < views->count(); ++tab) QVERIFY(!views->tabToolTip(tab).isEmpty());
    }

    void TheCaptionedFramesUnderlineOnlyTheirCaptions() {
        for (const char* frame : {"Frame1", "Frame2", "Frame3"}) {
            QVERIFY(Control(frame)->font().underline());
            QCOMPARE(Control(frame)->font().pointSizeF(), 7.8);
        }
        for (const char* inside : {"Label1", "Combo1", "Check1", "Command2", "Check3", "Frame4", "Option1", "Label9",
                                   "Combo10"}) {
            QVERIFY2(!Control(inside)->font().underline(), inside);
            QCOMPARE(Control(inside)->font().pointSizeF(), 8.25);
        }
    }

    void EveryCaptionFitsItsControl() {
        for (const Expected& e : kLayout) {
            QWidget* widget = Control(e.name);
            const QString caption = QString::fromLatin1(e.caption);
            const int text = widget->fontMetrics().horizontalAdvance(caption);
            if (qobject_cast<QLabel*>(widget) != nullptr) {
                QVERIFY2(text <= widget->width(), e.name);
            } else if (qobject_cast<QCheckBox*>(widget) != nullptr || qobject_cast<QRadioButton*>(widget) != nullptr) {
                QVERIFY2(text + 14 <= widget->width(), e.name);  // the tick box beside the text
            } else if (qobject_cast<QPushButton*>(widget) != nullptr) {
                QVERIFY2(text + 4 <= widget->width(), e.name);
            }
        }
    }

    void TheToolbarHasItsButtonsTipsPicturesAndStates() {
        QToolBar* bar = Toolbar();
        QVERIFY(!bar->isMovable());
        QStringList keys;
        QStringList tips;
        for (QAction* action : bar->actions()) {
            if (action->isSeparator()) {
                keys << QStringLiteral("|");
            } else if (QWidget* shown = bar->widgetForAction(action);
                       qobject_cast<QLabel*>(shown) != nullptr || qobject_cast<QSlider*>(shown) != nullptr) {
                keys << shown->objectName();
            } else {
                keys << action->data().toString();
                tips << action->toolTip();
                QVERIFY(!action->icon().isNull());
            }
        }
        QCOMPARE(keys, (QStringList{"Open", "Save", "|", "Play", "Pause", "Stop", "|", "Undo", "Redo", "|",
                                    "PositionSlider", "PlayingPosition", "SoundNote"}));
        QCOMPARE(tips, (QStringList{"Open...", "Save...", "Play", "Pause", "Stop", "Undo", "Redo"}));
        // Each button is its menu item's own action.
        for (const char* key : {"Open", "Save", "Play", "Pause", "Stop", "Undo", "Redo"}) {
            QCOMPARE(ToolbarAction(key), Action(qPrintable(QStringLiteral("mnu") + QLatin1String(key))));
        }
        QVERIFY(ToolbarAction("Open")->isEnabled());
        QVERIFY(!ToolbarAction("Save")->isEnabled());
        QVERIFY(!ToolbarAction("Play")->isEnabled());
        QVERIFY(!ToolbarAction("Pause")->isEnabled());
        QVERIFY(!ToolbarAction("Stop")->isEnabled());
        QCOMPARE(Toolbar()->widgetForAction(ToolbarAction("Open"))->toolTip(), QStringLiteral("Open..."));
    }

    void TheMenusHoldTheirItemsAndTheUsualKeys() {
        // The captions without the "&" that marks each menu's Alt key.
        const auto caption = [](const QAction* action) { return QString(action->text()).remove(QLatin1Char('&')); };
        QStringList menus;
        QStringList keys;
        for (QAction* action : window_->menuBar()->actions()) {
            menus << action->menu()->objectName() + QLatin1Char('=') + caption(action);
            keys << QKeySequence::mnemonic(action->text()).toString();
        }
        QCOMPARE(keys, (QStringList{"Alt+F", "Alt+E", "Alt+V", "Alt+C", "Alt+H"}));
        QCOMPARE(menus,
                 (QStringList{"mnuFile=File", "mnuEdit=Edit", "mnuView=View", "mnucontrol=Controls", "mnuHelp=Help"}));
        const auto items = [this, caption](const char* menu) {
            QStringList out;
            for (QAction* action : window_->findChild<QMenu*>(QLatin1String(menu))->actions()) {
                out << action->objectName() + QLatin1Char('=') + caption(action) +
                           (action->isEnabled() ? QString() : QStringLiteral(" (off)")) +
                           (action->shortcut().isEmpty() ? QString() : QLatin1Char(' ') + action->shortcut().toString());
            }
            return out;
        };
        QCOMPARE(items("mnuFile"),
                 (QStringList{"mnuOpen=Open... Ctrl+O", "mnuSave=Save... (off) Ctrl+S",
                              "mnuSaveAs=Save As... (off) Ctrl+Shift+S",
                              "mnuExportAudio=Export Audio... (off)", "mnuRecentSongs=Recent Songs (off)", "streep1=",
                              "mnuExit=Exit Ctrl+Q"}));
        QCOMPARE(items("mnuEdit"), (QStringList{"mnuUndo=Undo (off) Ctrl+Z", "mnuRedo=Redo (off) Ctrl+Shift+Z", "streep2=",
                                                "mnuTranspose=Transpose... (off)", "mnuTempo=Tempo... (off)",
                                                "streepPreferences=", "mnuPreferences=Preferences... Ctrl+,"}));
        QVERIFY(window_->findChild<QAction*>(QStringLiteral("streep1"))->isSeparator());
        QCOMPARE(items("mnucontrol"),
                 (QStringList{"mnuPlay=Play (off)", "mnuPause=Pause (off)", "mnuStop=Stop (off)"}));
        QCOMPARE(items("mnuHelp"), (QStringList{"mnuUserGuide=User Guide F1", "mnuAbout=About..."}));
        // Every item says what it does.
        for (QMenu* menu : window_->menuBar()->findChildren<QMenu*>()) {
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator()) QVERIFY2(!action->toolTip().isEmpty(), qPrintable(action->objectName()));
            }
        }
    }

    void TheTabOrderFollowsTheLayout() {
        const QStringList expected{"RichTextBox1", "Combo1",  "Command1", "Check1",  "Combo2",  "Check2",  "Combo3",
                                   "Combo4",       "Command2", "Combo5",  "Command3", "Combo6", "Command4", "Combo8",
                                   "Check3",       "Check4",  "Text1",    "Option1", "Combo7",  "Option2", "Text2",
                                   "Combo9",       "Check6",  "Check5",   "Combo10"};
        const std::set<QString> wanted(expected.begin(), expected.end());
        QStringList chain;
        QWidget* start = Control("RichTextBox1");
        QWidget* widget = start;
        do {
            if (wanted.count(widget->objectName()) != 0 && !chain.contains(widget->objectName())) {
                chain << widget->objectName();
            }
            widget = widget->nextInFocusChain();
        } while (widget != start);
        QCOMPARE(chain, expected);
    }

    void Timer1TicksEverySecondFromTheStart() {
        auto* timer = window_->findChild<QTimer*>(QStringLiteral("Timer1"));
        QVERIFY(timer != nullptr);
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(timer->isActive());
    }

    void TheCheckBoxPairsKeepTheirRulesUnderRealClicks() {
        ShowAndOpen();
        // Unticking Melody while Drum is unticked leaves Melody ticked.
        QTest::mouseClick(Control("Check1"), Qt::LeftButton);
        QVERIFY(Control<QCheckBox>("Check1")->isChecked());
        QVERIFY(window_->State().form.Check1.ticked);
        // With Drum ticked, Melody can go.
        QTest::mouseClick(Control("Check2"), Qt::LeftButton);
        QTest::mouseClick(Control("Check1"), Qt::LeftButton);
        QVERIFY(!Control<QCheckBox>("Check1")->isChecked());
        QVERIFY(Control<QCheckBox>("Check2")->isChecked());
        QVERIFY(!window_->State().form.Check1.ticked);
        // The Effects pair: one box may go, the last one stays.
        QTest::mouseClick(Control("Check3"), Qt::LeftButton);
        QTest::mouseClick(Control("Check4"), Qt::LeftButton);
        QVERIFY(!Control<QCheckBox>("Check3")->isChecked());
        QVERIFY(Control<QCheckBox>("Check4")->isChecked());

        // Bass and Treble become usable with "Key Signature"; exactly one of them is ticked.
        ChooseEntry("Combo6", 6);
        QVERIFY(Control("Check5")->isEnabled());
        QTest::mouseClick(Control("Check5"), Qt::LeftButton);
        QVERIFY(Control<QCheckBox>("Check5")->isChecked());
        QVERIFY(!Control<QCheckBox>("Check6")->isChecked());
        QTest::mouseClick(Control("Check5"), Qt::LeftButton);
        QVERIFY(Control<QCheckBox>("Check5")->isChecked());
        QVERIFY(!Control<QCheckBox>("Check6")->isChecked());
        QVERIFY(window_->State().form.Check5.ticked && !window_->State().form.Check6.ticked);
    }

    void OpeningASongFillsTheListsAndTheReport() {
        ShowAndOpen();
        ScriptedWindow& w = *window_;
        QCOMPARE(w.dialogs.size(), size_t{1});
        QCOMPARE(w.dialogs[0].title, std::string("Load MIDI file"));
        QCOMPARE(w.dialogs[0].filter, std::string("MIDI files (*.mid *.midi *.kar)|*.mid;*.midi;*.kar|All files (*.*)|*.*"));
        QVERIFY(!w.dialogs[0].save);
        QVERIFY2(w.messages.empty(), w.messages.empty() ? "" : w.messages[0].c_str());

        const auto items = [this](const char* name) {
            QStringList out;
            auto* combo = Control<QComboBox>(name);
            for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
            return out;
        };
        QCOMPARE(items("Combo4"), (QStringList{"1", "2"}));
        QCOMPARE(items("Combo8"), (QStringList{"All", "1", "2"}));
        QCOMPARE(items("Combo2").size(), 11);
        QCOMPARE(items("Combo6").mid(0, 2), (QStringList{"Random", "Gradually Increase"}));
        QVERIFY(items("Combo6").size() > 11);
        QVERIFY(!items("Combo1").isEmpty());
        QCOMPARE(Control<QComboBox>("Combo4")->currentIndex(), 0);
        QCOMPARE(Control<QComboBox>("Combo8")->currentText(), QStringLiteral("All"));
        for (const char* on : {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo6", "Command2", "Command3"}) {
            QVERIFY2(Control(on)->isEnabled(), on);
        }
        for (const char* off : {"Command1", "Command4", "Combo7", "Text1", "Option1", "Check5"}) {
            QVERIFY2(!Control(off)->isEnabled(), off);
        }
        QVERIFY(Action("mnuPlay")->isEnabled() && ToolbarAction("Play")->isEnabled());
        QVERIFY(!Action("mnuPause")->isEnabled() && !ToolbarAction("Stop")->isEnabled());
        QVERIFY(!Action("mnuSave")->isEnabled());

        const QString report = Control<QPlainTextEdit>("RichTextBox1")->toPlainText();
        QVERIFY2(report.contains(QStringLiteral("Total Tracks: 2")), qPrintable(report.left(400)));
        QVERIFY(!report.contains(QLatin1Char('\r')));
        QVERIFY(w.windowTitle().startsWith(QStringLiteral("Sonivex - ")));
        QVERIFY(w.windowTitle().contains(QStringLiteral("SONG.MID"), Qt::CaseInsensitive));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void TheStartupFileIsOpenedAsIfChosenInTheDialog() {
        const std::string path = folder_->WriteSong(TwoTrackSong(), "start.mid");
        window_->OpenFile(path);
        QVERIFY(window_->dialogs.empty());
        QCOMPARE(Control<QComboBox>("Combo4")->count(), 2);
        QVERIFY(Control<QPlainTextEdit>("RichTextBox1")->toPlainText().contains(QStringLiteral("Total Tracks: 2")));
        // The next Open asks the dialog again.
        window_->files = {""};
        window_->findChild<QAction*>(QStringLiteral("mnuOpen"))->trigger();
        QCOMPARE(window_->dialogs.size(), size_t{1});
    }

    void AMissingFileIsNamedWithAWarning() {
        window_->files = {"/nowhere/x.mid"};
        Action("mnuOpen")->trigger();
        QCOMPARE(window_->messages, (std::vector<std::string>{"/nowhere/x.mid does not exist"}));
        QCOMPARE(window_->icons.at(0), Icon::Warning);
        QCOMPARE(window_->titles.at(0), std::string("Sonivex"));
        QCOMPARE(window_->buttons.at(0), Buttons::Ok);
    }

    void ChoosingAnEffectEnablesApplyAndItsParameters() {
        ShowAndOpen();
        ChooseEntry("Combo6", 5);  // "Remove Flats" needs no parameter
        QVERIFY(Control("Command4")->isEnabled());
        for (const char* off : {"Option1", "Option2", "Text1", "Text2", "Combo7", "Combo9", "Combo10", "Check5"}) {
            QVERIFY2(!Control(off)->isEnabled(), off);
        }
        ChooseEntry("Combo6", 0);  // "Random"
        for (const char* on : {"Option1", "Option2", "Text1", "Text2", "Combo7"}) QVERIFY2(Control(on)->isEnabled(), on);
        QVERIFY(!Control("Combo9")->isEnabled());

        // What the user types and picks reaches the model that the editing commands read.
        QTest::mouseClick(Control("Option2"), Qt::LeftButton);
        QVERIFY(window_->State().form.Option2.selected && !window_->State().form.Option1.selected);
        QTest::keyClicks(Control("Text1"), QStringLiteral("5"));
        QCOMPARE(window_->State().form.Text1.text, std::string("25"));
        ChooseEntry("Combo7", 3);
        QCOMPARE(window_->State().form.Combo7.listIndex, 3);
        // A style enables the Instruments "Apply".
        QVERIFY(!Control("Command1")->isEnabled());
        ChooseEntry("Combo1", 0);
        QVERIFY(Control("Command1")->isEnabled());
    }

    void SaveAsksForANameAndBeforeOverwriting() {
        ShowAndOpen();
        QVERIFY(!ToolbarAction("Save")->isEnabled());  // Open disables Save until an edit
        FormModel& f = window_->State().form;
        f.mnuSave.enabled = f.SaveButton.enabled = true;
        window_->Refresh();
        const std::string target = (folder_->Path() / "copy.mid").string();
        window_->files = {target};
        ClickToolbar("Save");
        QCOMPARE(window_->dialogs.back().title, std::string("Save MIDI file"));
        QVERIFY(window_->dialogs.back().save);
        QVERIFY(std::filesystem::exists(target));

        folder_->WriteSong({9}, "copy.mid");
        window_->files = {target};
        window_->answers = {Answer::No};
        f.mnuSave.enabled = f.SaveButton.enabled = true;
        window_->Refresh();
        Action("mnuSave")->trigger();
        QCOMPARE(window_->messages.back(), target + " already exists, overwrite?");
        QCOMPARE(window_->titles.back(), std::string("Confirmation"));
        QCOMPARE(window_->icons.back(), Icon::Question);
        QCOMPARE(window_->buttons.back(), Buttons::YesNo);
        QCOMPARE(FileText(target), std::string("\x09"));
    }

    void PlayPauseAndStopFollowTheMediaDevice() {
        FakeMedia device;
        device.replies["Status VAVidev1 length"] = "960";
        device.replies["Status VAVidev1 mode"] = "playing";
        window_->State().media.Device = &device;
        ShowAndOpen();
        ClickToolbar("Play");
        QVERIFY(device.commands.back().rfind("Play VAVidev1 from 0", 0) == 0);
        QVERIFY(Action("mnuPause")->isEnabled() && ToolbarAction("Stop")->isEnabled());
        Action("mnuPause")->trigger();
        QVERIFY(!ToolbarAction("Pause")->isEnabled() && ToolbarAction("Play")->isEnabled());
        QVERIFY(window_->State().form.Paused);
        Action("mnuPlay")->trigger();
        QVERIFY(!window_->State().form.Paused);
        // The poll notices the end of playback within about a second.
        device.replies["Status VAVidev1 mode"] = "stopped";
        QTRY_VERIFY_WITH_TIMEOUT(!Action("mnuStop")->isEnabled(), 3000);
        QVERIFY(Action("mnuPlay")->isEnabled());
        QVERIFY(!window_->State().media.Playing);
        window_->close();
        window_->State().media.Device = nullptr;
    }

    void TheBusyPointerStaysBalanced() {
        window_->SetBusy(true);
        window_->SetBusy(true);
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        window_->SetBusy(false);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        window_->SetBusy(false);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void ExitClosesTheWindowAndShutsDownOnce() {
        ShowAndOpen();
        const std::filesystem::path workingCopy = folder_->Path() / "sonivex-temp.tmp";
        QVERIFY(std::filesystem::exists(workingCopy));
        QVERIFY(window_->findChild<AboutDialog*>() != nullptr);  // loaded hidden at start
        Action("mnuExit")->trigger();
        QVERIFY(!window_->isVisible());
        QVERIFY(!std::filesystem::exists(workingCopy));
        QVERIFY(window_->findChild<AboutDialog*>() == nullptr);
        QVERIFY(!window_->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
        window_->close();  // a second close does not shut down again
    }

    void TheMediaFrameGivesTheDeviceAWindowAndAPlace() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QVERIFY(window_->MediaWindow() != 0);
        QCOMPARE(window_->State().media.MediaWindow, window_->MediaWindow());
        const WindowRect rect = window_->MediaWindowRect();
        QCOMPARE(rect.right - rect.left, window_->MediaFrame()->width());
        QCOMPARE(rect.bottom - rect.top, window_->MediaFrame()->height());
        // Only the media frame has a window of its own.
        QVERIFY(!Control("RichTextBox1")->testAttribute(Qt::WA_NativeWindow));
    }

    void TheHookConsumesCompletionNotificationsAndPassesTheRestOn() {
        // A frame that records what reaches its own event handling.
        struct Frame : QFrame {
            std::vector<int> received;
            bool event(QEvent* e) override {
                if (e->type() == MediaNotificationEvent::Type()) {
                    received.push_back(static_cast<MediaNotificationEvent*>(e)->message);
                }
                return QFrame::event(e);
            }
        } frame;
        MediaHookFilter hook(1234, nullptr);
        frame.installEventFilter(&hook);
        std::thread player([&frame] {
            PostMediaNotification(&frame, 953, 1, 1234);
            PostMediaNotification(&frame, 954, 0, 0);
        });
        player.join();
        QCoreApplication::processEvents();
        QCOMPARE(frame.received, (std::vector<int>{954}));
        frame.removeEventFilter(&hook);
        PostMediaNotification(&frame, 953, 1, 1234);
        QCoreApplication::processEvents();
        QCOMPARE(frame.received, (std::vector<int>{954, 953}));
    }

    void FileFiltersTakeQtsForm() {
        QCOMPARE(QtFileFilter("MIDI files (*.mid)|*.mid|All files (*.*)|*.*"),
                 QStringLiteral("MIDI files (*.mid);;All files (*)"));
        QCOMPARE(QtFileFilter("Songs|*.mid;*.midi"), QStringLiteral("Songs (*.mid *.midi)"));
    }

    void TheRealMessageBoxShowsTitleTextIconAndButtons() {
        MainWindow plain(folder_->Path());
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        WhenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            box->button(QMessageBox::No)->click();
        });
        const Answer answer = plain.ShowMessage("x.mid already exists, overwrite?", Buttons::YesNo, Icon::Question,
                                                "Confirmation");
        QCOMPARE(answer, Answer::No);
        QCOMPARE(title, QStringLiteral("Confirmation"));
        QCOMPARE(text, QStringLiteral("x.mid already exists, overwrite?"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);

        WhenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            box->button(QMessageBox::Ok)->click();
        });
        plain.OpenFile("/nowhere/y.mid");
        QCOMPARE(title, QStringLiteral("Sonivex"));
        QCOMPARE(text, QStringLiteral("/nowhere/y.mid does not exist"));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void TheRealFileDialogHasTheTitleAndFilterItIsGiven() {
        MainWindow plain(folder_->Path());
        QString title;
        QStringList filters;
        bool save = true;
        bool confirms = true;
        WhenModalAppears([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog == nullptr) return;
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            save = dialog->acceptMode() == QFileDialog::AcceptSave;
            confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            dialog->reject();
        });
        const std::string chosen = plain.ChooseFile(
            {"Load MIDI file", "MIDI files (*.mid)|*.mid|All files (*.*)|*.*", folder_->Path().string(), "", false, ""});
        QCOMPARE(chosen, std::string());
        QCOMPARE(title, QStringLiteral("Load MIDI file"));
        QCOMPARE(filters, (QStringList{"MIDI files (*.mid)", "All files (*)"}));
        QVERIFY(!save);
        QVERIFY(!confirms);
    }

    void AboutShowsTheModalAboutWindowEveryTime() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        for (int time = 0; time < 2; ++time) {
            QString shown;
            bool modal = false;
            WhenModalAppears([&](QWidget* dialog) {
                shown = dialog->objectName();
                modal = dialog->isModal();
                if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))) {
                    QTest::mouseClick(ok, Qt::LeftButton);
                }
            });
            Action("mnuAbout")->trigger();
            QCOMPARE(shown, QStringLiteral("frmAbout"));
            QVERIFY(modal);
        }
    }

    void ToolbarAndMenuShareOneEnabledStateThroughEveryStep() {
        FakeMedia device;
        device.replies["Status VAVidev1 length"] = "960";
        window_->State().media.Device = &device;
        const auto inStep = [this](const char* when) {
            for (const char* key : {"Open", "Save", "Play", "Pause", "Stop"}) {
                QAction* item = Action(qPrintable(QStringLiteral("mnu") + QLatin1String(key)));
                QVERIFY2(Toolbar()->widgetForAction(ToolbarAction(key))->isEnabled() == item->isEnabled(),
                         qPrintable(QLatin1String(when) + QLatin1Char(' ') + QLatin1String(key)));
            }
        };
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        inStep("at start");
        QVERIFY(!Toolbar()->widgetForAction(ToolbarAction("Save"))->isEnabled());
        window_->files = {folder_->WriteSong(TwoTrackSong())};
        ClickToolbar("Open");
        inStep("after Open");
        QTest::mouseClick(Control("Command2"), Qt::LeftButton);  // Drum<>Melody on track 1
        inStep("after an edit");
        QVERIFY(Toolbar()->widgetForAction(ToolbarAction("Save"))->isEnabled());
        ClickToolbar("Play");
        inStep("while playing");
        QVERIFY(Toolbar()->widgetForAction(ToolbarAction("Pause"))->isEnabled());

        // A file the load refuses: the song stays, to play and to save.
        window_->answers = {Answer::No};  // do not save the edit
        window_->files = {folder_->WriteSong({'n', 'o'}, "bad.mid")};
        Action("mnuOpen")->trigger();
        QCOMPARE(window_->messages.back(), std::string("Error!"));
        inStep("after a refused Open");
        for (const char* on : {"Pause", "Stop", "Save"}) {
            QVERIFY2(Toolbar()->widgetForAction(ToolbarAction(on))->isEnabled(), on);
        }
        QCOMPARE(window_->windowTitle(), QStringLiteral("Sonivex - SONG.MID[*]"));
        window_->close();
        window_->State().media.Device = nullptr;
    }

    void ClosingWithoutChangesAsksNothing() {
        ShowAndOpen();
        QVERIFY(window_->close());
        QVERIFY(window_->messages.empty());
    }

    void ClosingWithUnsavedChangesAsksAndCancelKeepsTheWindow() {
        ShowAndOpen();
        const std::filesystem::path workingCopy = folder_->Path() / "sonivex-temp.tmp";
        QTest::mouseClick(Control("Command2"), Qt::LeftButton);
        QVERIFY(window_->State().form.UnsavedChanges);
        window_->answers = {Answer::Cancel};
        QVERIFY(!window_->close());
        QVERIFY(window_->isVisible());
        QCOMPARE(window_->messages.back(), std::string("Save changes to SONG.MID?"));
        QCOMPARE(window_->buttons.back(), Buttons::YesNoCancel);
        QVERIFY(std::filesystem::exists(workingCopy));

        // Exit asks the same, once, and No closes without saving.
        const std::size_t asked = window_->messages.size();
        window_->answers = {Answer::No};
        Action("mnuExit")->trigger();
        QVERIFY(!window_->isVisible());
        QCOMPARE(window_->messages.size(), asked + 1);
        QVERIFY(window_->dialogs.size() == 1);  // only the open dialog: nothing was saved
        QVERIFY(!std::filesystem::exists(workingCopy));
    }

    void YesSavesBeforeClosing() {
        ShowAndOpen();
        QTest::mouseClick(Control("Command2"), Qt::LeftButton);
        const std::string target = (folder_->Path() / "kept.mid").string();
        window_->answers = {Answer::Yes};
        window_->files = {target};
        QVERIFY(window_->close());
        QVERIFY(std::filesystem::exists(target));
        QCOMPARE(window_->dialogs.back().defaultExtension, std::string(".mid"));
        QCOMPARE(window_->dialogs.back().initialFolder, folder_->Path().string());
        QCOMPARE(window_->dialogs.back().initialName, std::string("song.mid"));
    }

    void TheRealQuestionOffersYesNoAndCancel() {
        MainWindow plain(folder_->Path());
        QMessageBox::StandardButtons buttons;
        WhenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return;
            buttons = box->standardButtons();
            box->button(QMessageBox::Cancel)->click();
        });
        QCOMPARE(plain.ShowMessage("Save changes to SONG.MID?", Buttons::YesNoCancel, Icon::Question, "Sonivex"),
                 Answer::Cancel);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        // Escape is Cancel too.
        WhenModalAppears([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QCOMPARE(plain.ShowMessage("Save changes to SONG.MID?", Buttons::YesNoCancel, Icon::Question, "Sonivex"),
                 Answer::Cancel);
        WhenModalAppears([](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) box->button(QMessageBox::No)->click();
        });
        QCOMPARE(plain.ShowMessage("Save changes to SONG.MID?", Buttons::YesNoCancel, Icon::Question, "Sonivex"),
                 Answer::No);
    }

    void TheUsualKeysReachTheirCommands() {
        FakeMedia device;
        device.replies["Status VAVidev1 length"] = "960";
        window_->State().media.Device = &device;
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        window_->files = {folder_->WriteSong(TwoTrackSong())};
        QTest::keyClick(window_.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(window_->dialogs.size(), size_t{1});
        QVERIFY(Action("mnuPlay")->isEnabled());

        // Space plays and pauses where no control wants it for itself. (The position is asked for all along.)
        const auto lastCommand = [&device] {
            for (auto it = device.commands.rbegin(); it != device.commands.rend(); ++it) {
                if (it->rfind("Status", 0) != 0 && it->rfind("Set", 0) != 0) return *it;
            }
            return std::string();
        };
        QWidget* pane = Control("RichTextBox1");
        pane->setFocus();
        QTest::keyClick(pane, Qt::Key_Space);
        QVERIFY2(lastCommand().rfind("Play VAVidev1 from 0", 0) == 0, lastCommand().c_str());
        QTest::keyClick(pane, Qt::Key_Space);
        QCOMPARE(lastCommand(), std::string("Pause VAVidev1 notify"));
        // On a check box Space ticks the box, as ever.
        auto* drum = Control<QCheckBox>("Check2");
        drum->setFocus();
        QTest::keyClick(drum, Qt::Key_Space);
        QVERIFY(drum->isChecked());
        QCOMPARE(lastCommand(), std::string("Pause VAVidev1 notify"));
        window_->close();
        window_->State().media.Device = nullptr;
    }

    void ThePlayingPositionAndTheSoundNoteSitBesideThePlayButtons() {
        FakeMedia device;
        device.replies["Status VAVidev1 length"] = "960";
        device.replies["Status VAVidev1 position"] = "432";
        window_->State().media.Device = &device;
        auto* position = Control<QLabel>("PlayingPosition");
        QCOMPARE(position->text(), QString());
        ShowAndOpen();
        // 96 ticks to the quarter note at the default 120 beats a minute: 432 ticks are 2.25 s, 960 are 5 s.
        QTRY_COMPARE(position->text(), QStringLiteral("0:02 / 0:05"));
        QCOMPARE(position->parentWidget(), Toolbar());

        auto* note = Control<QLabel>("SoundNote");
        QCOMPARE(note->text(), QString());
        window_->ShowSoundOutput(false);
        QCOMPARE(note->text(), QStringLiteral("no sound output: playing silently"));
        QVERIFY(window_->messages.empty());  // a note, not a message box
        window_->ShowSoundOutput(true);
        QCOMPARE(note->text(), QString());
        QVERIFY(position->geometry().right() < note->geometry().left() || note->text().isEmpty());
        window_->close();
        window_->State().media.Device = nullptr;
    }
};

int RunMainWindowTests(int argc, char** argv) {
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace sonivex::test

#include "main_window_test.moc"

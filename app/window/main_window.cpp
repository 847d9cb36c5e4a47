#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "about/about_dialog.h"
#include "about/form_layout.h"
#include "app/commands.h"
#include "app/editing.h"
#include "app/track_mix.h"
#include "dialogs.h"
#include "lyrics_view.h"
#include "midi/song_text.h"
#include "media_frame.h"
#include "music_dialogs.h"
#include "overview_view.h"
#include "piano_roll_view.h"
#include "piano_roll_window.h"
#include "progress_window.h"
#include "reader/files.h"
#include "recent_songs.h"
#include "song_drop.h"
#include "transport.h"
#include "user_settings.h"
#include "user_guide.h"

namespace sonivex {

namespace {

// The client area below the menu bar, in twips.
constexpr int kClientWidth = 12912;
constexpr int kClientHeight = 9756;

enum class Kind { Toolbar, Views, Panel, Report, Frame, Label, List, Button, Check, Option, Text, MediaFrame, StatusBar };

// The start size when the screen has room for it: every view reads well at it.
constexpr QSize kRoomyStart(1180, 800);

// One control of the window: its name, kind, container (null for the window itself), caption and place in
// twips relative to the container.
struct ControlPlace {
    const char* name;
    Kind kind;
    const char* container;
    const char* caption;
    int left, top, width, height;
};

// The editing panel's place in the window: the frames inside it keep their layout, moved by its corner.
constexpr int kPanelLeft = 6720;
constexpr int kPanelTop = 405;

// Containers come before what they hold, and the order is the tab order. The views take the room left of the
// editing panel; the report pane is their "Report" tab.
constexpr ControlPlace kControls[] = {
    {"Toolbar1", Kind::Toolbar, nullptr, "", 0, 0, 12912, 288},
    {"Views", Kind::Views, nullptr, "", 120, kPanelTop, 6540, 9015},
    {"RichTextBox1", Kind::Report, "Views", "Report", 0, 0, 6495, 8900},
    {"EditPanel", Kind::Panel, nullptr, "", kPanelLeft, kPanelTop, 12912 - kPanelLeft, 6960},
    {"Frame1", Kind::Frame, "EditPanel", " Instruments ", 6840 - kPanelLeft, 405 - kPanelTop, 3375, 2535},
    {"Label1", Kind::Label, "Frame1", "Style:", 120, 360, 495, 255},
    {"Combo1", Kind::List, "Frame1", "", 720, 360, 2295, 315},
    {"Command1", Kind::Button, "Frame1", "Apply", 2280, 840, 735, 315},
    {"Check1", Kind::Check, "Frame1", "Melody", 720, 1440, 855, 255},
    {"Label2", Kind::Label, "Frame1", "Max #:", 1680, 1440, 495, 255},
    {"Combo2", Kind::List, "Frame1", "", 2280, 1440, 735, 315},
    {"Check2", Kind::Check, "Frame1", "Drum", 720, 1920, 855, 255},
    {"Label3", Kind::Label, "Frame1", "Max #:", 1680, 1920, 495, 255},
    {"Combo3", Kind::List, "Frame1", "", 2280, 1920, 735, 315},
    {"Frame2", Kind::Frame, "EditPanel", " Track ", 10560 - kPanelLeft, 405 - kPanelTop, 2175, 2535},
    {"Label4", Kind::Label, "Frame2", "Choose:", 360, 360, 615, 255},
    {"Combo4", Kind::List, "Frame2", "", 1080, 360, 735, 315},
    {"Command2", Kind::Button, "Frame2", "Drum<>Melody", 480, 840, 1335, 375},
    {"Label5", Kind::Label, "Frame2", "Choose:", 360, 1440, 615, 255},
    {"Combo5", Kind::List, "Frame2", "", 1080, 1440, 735, 315},
    {"Command3", Kind::Button, "Frame2", "Copy Track", 480, 1920, 1335, 375},
    {"Frame3", Kind::Frame, "EditPanel", " Effects ", 6840 - kPanelLeft, 3120 - kPanelTop, 5895, 4215},
    {"Label6", Kind::Label, "Frame3", "Choose:", 240, 360, 615, 255},
    {"Combo6", Kind::List, "Frame3", "", 960, 360, 2055, 315},
    {"Command4", Kind::Button, "Frame3", "Apply", 3120, 360, 735, 315},
    {"Label8", Kind::Label, "Frame3", "Track:", 960, 840, 495, 255},
    {"Combo8", Kind::List, "Frame3", "", 1560, 840, 735, 315},
    {"Check3", Kind::Check, "Frame3", "Melody", 1560, 1320, 855, 255},
    {"Check4", Kind::Check, "Frame3", "Drum", 1560, 1680, 855, 255},
    {"Label7", Kind::Label, "Frame3", "Step/Factor:", 840, 2160, 975, 255},
    {"Text1", Kind::Text, "Frame3", "", 1920, 2160, 615, 285},
    {"Frame4", Kind::Frame, "Frame3", "", 3120, 720, 2535, 1695},
    {"Option1", Kind::Option, "Frame4", "Note", 360, 360, 855, 255},
    {"Combo7", Kind::List, "Frame4", "", 1320, 360, 855, 315},
    {"Option2", Kind::Option, "Frame4", "Volume", 360, 720, 855, 255},
    {"Text2", Kind::Text, "Frame4", "", 1320, 840, 855, 285},
    {"Label9", Kind::Label, "Frame4", "0 = All", 1680, 1200, 495, 255},
    {"Frame5", Kind::Frame, "Frame3", "", 3120, 2520, 2535, 1455},
    {"Label10", Kind::Label, "Frame5", "Note:", 360, 360, 495, 255},
    {"Combo9", Kind::List, "Frame5", "", 840, 360, 855, 315},
    {"Check6", Kind::Check, "Frame5", "Treble", 360, 840, 855, 255},
    {"Check5", Kind::Check, "Frame5", "Bass", 1560, 840, 735, 255},
    {"Frame6", Kind::Frame, "Frame3", "", 240, 2520, 2535, 1455},
    {"Label11", Kind::Label, "Frame6", "Note:", 600, 360, 495, 255},
    {"Combo10", Kind::List, "Frame6", "", 1080, 360, 855, 315},
    {"MediaFrame", Kind::MediaFrame, nullptr, "", 3600, 8880, 375, 255},
    {"StatusBar1", Kind::StatusBar, nullptr, "", 0, 9504, 12912, 252},
};

// What each control does, in plain words, for its tool tip.
struct ControlTip {
    const char* name;
    const char* tip;
};
constexpr ControlTip kTips[] = {
    {"Views", "The song's views: Overview, the full Report, the Piano Roll and (for songs with words) the Lyrics"},
    {"RichTextBox1", "The analysis report of the song: file facts, tracks, instruments, tempo and playing times"},
    {"EditPanel", "The changes you can make to the song: each one can be undone with Edit, Undo"},
    {"Frame1", "Give the song the instruments of a style"},
    {"Label1", "The style whose instruments the song gets"},
    {"Combo1", "Choose a style; Apply then gives the song its instruments"},
    {"Command1", "Replace the song's instruments with those of the chosen style"},
    {"Check1", "Let the style change the melody instruments"},
    {"Label2", "How many of the style's melody instruments to use"},
    {"Combo2", "How many of the style's melody instruments to use (All: every one)"},
    {"Check2", "Let the style change the drum sounds"},
    {"Label3", "How many of the style's drum sounds to use"},
    {"Combo3", "How many of the style's drum sounds to use (All: every one)"},
    {"Frame2", "Change one track of the song"},
    {"Label4", "The track that Drum<>Melody changes"},
    {"Combo4", "The track that Drum<>Melody changes"},
    {"Command2", "Move the chosen track between the drum channel (10) and a melody channel"},
    {"Label5", "The track that Copy Track copies"},
    {"Combo5", "The track that Copy Track copies"},
    {"Command3", "Copy the chosen track, on a free channel, as a new last track"},
    {"Frame3", "Change the notes or the velocities of the song's notes"},
    {"Label6", "The effect that Apply runs"},
    {"Combo6", "Choose an effect; the settings it uses become available"},
    {"Command4", "Run the chosen effect on the song"},
    {"Label8", "The track that the effect changes"},
    {"Combo8", "The track that the effect changes (All: every track)"},
    {"Check3", "Let the effect change melody tracks"},
    {"Check4", "Let the effect change drum tracks"},
    {"Label7", "How much the effect changes"},
    {"Text1", "How much the effect changes: a step in semitones or velocity, or a curve's factor"},
    {"Frame4", "What the effect changes: the keys or the velocities of the notes"},
    {"Option1", "Change the notes' keys"},
    {"Combo7", "Only the notes of this pitch class change (All: every note)"},
    {"Option2", "Change the notes' velocities (how loud they are)"},
    {"Text2", "Only the notes of this velocity change (0: every note)"},
    {"Label9", "A velocity of 0 chooses every note"},
    {"Frame5", "The key that Key Signature gives the notes"},
    {"Label10", "The key that Key Signature gives the notes"},
    {"Combo9", "The key whose accidentals the notes get"},
    {"Check6", "Read the key for the treble clef"},
    {"Check5", "Read the key for the bass clef"},
    {"Frame6", "The root note of a scale effect"},
    {"Label11", "The root note of a scale effect"},
    {"Combo10", "The root note of the scale that the effect keeps the notes in"},
    {"StatusBar1", "Drag the corner to resize the window"},
};

QString Name(const char* name) { return QString::fromLatin1(name); }

// The model's texts are bytes; each byte shows as the Latin-1 character of its number.
QString Latin1(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

bool IsCaptionedFrame(const ControlPlace& place) { return place.kind == Kind::Frame && place.caption[0] != '\0'; }

// The captions of the three captioned frames: "MS Sans Serif" 7.8 pt underlined, in the application's family
// where that font is not installed.
QFont FrameCaptionFont() {
    QFont font = QApplication::font();
    const QString family = QStringLiteral("MS Sans Serif");
    font.setFamily(QFontDatabase::hasFamily(family) ? family : QApplication::font().family());
    font.setPointSizeF(7.8);
    font.setUnderline(true);
    return font;
}

// The report's columns line up only in a fixed-pitch font: "Consolas" where it is installed itself (not a
// font that the font configuration would put in its place), else the system's fixed-pitch font, at the same
// size. A platform without a fixed-pitch system font (Qt's offscreen platform gives its general font) gets the
// first fixed-pitch family installed.
QFont ReportFont() {
    const QString consolas = QStringLiteral("Consolas");
    const bool hasConsolas = QFontDatabase::families().contains(consolas, Qt::CaseInsensitive);
    QFont font = hasConsolas ? QFont(consolas) : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSizeF(10.2);
    if (QFontInfo(font).fixedPitch()) return font;
    for (const QString& family : QFontDatabase::families()) {
        if (!QFontDatabase::isFixedPitch(family) || QFontDatabase::isPrivateFamily(family)) continue;
        QFont fixed(family);
        fixed.setStyleHint(QFont::Monospace);
        fixed.setFixedPitch(true);
        fixed.setPointSizeF(10.2);
        if (QFontInfo(fixed).fixedPitch()) return fixed;
    }
    return font;
}

QIcon ToolbarIcon(const QStyle& style, const char* themeName, QStyle::StandardPixmap standard) {
    return QIcon::fromTheme(QString::fromLatin1(themeName), style.standardIcon(standard));
}

// A new control of the kind and caption of `place`, in `container`.
QWidget* MakeControl(const ControlPlace& place, QWidget* container) {
    const QString caption = QString::fromLatin1(place.caption);
    switch (place.kind) {
    case Kind::Toolbar: return new QToolBar(container);
    case Kind::Views: return new QTabWidget(container);
    case Kind::Panel: return new QWidget(container);
    case Kind::Report: return new QPlainTextEdit(container);
    case Kind::Frame: return new QGroupBox(caption, container);
    case Kind::Label: return new QLabel(caption, container);
    case Kind::List: return new QComboBox(container);
    case Kind::Button: {
        auto* button = new QPushButton(caption, container);
        button->setAutoDefault(false);
        return button;
    }
    case Kind::Check: return new QCheckBox(caption, container);
    case Kind::Option: return new QRadioButton(caption, container);
    case Kind::Text: return new QLineEdit(container);
    case Kind::MediaFrame: return new QFrame(container);
    case Kind::StatusBar: return new QStatusBar(container);
    }
    return new QWidget(container);
}

// Whether the keyboard focus visits a control of this kind, in the tab order.
bool TakesFocus(Kind kind) {
    return kind != Kind::Toolbar && kind != Kind::Views && kind != Kind::Panel && kind != Kind::Frame &&
           kind != Kind::Label && kind != Kind::MediaFrame && kind != Kind::StatusBar;
}

// Names the control, puts it at its place in twips of the window `form` and gives it its font.
void PlaceControl(const QWidget& form, const ControlPlace& place, const QWidget& container, QWidget& widget) {
    widget.setObjectName(Name(place.name));
    widget.setGeometry(TwipsRect(form, place.left, place.top, place.width, place.height));
    // The window's font reaches every control except what sits in a captioned frame, which would take the
    // caption's font: those get the window's font again.
    if (IsCaptionedFrame(place)) widget.setFont(FrameCaptionFont());
    if (place.container != nullptr && container.font().underline()) widget.setFont(FormFont());
    FitCaption(widget, QString::fromLatin1(place.caption));
}

}  // namespace

MainWindow::MainWindow(Folders folders, QWidget* parent)
    : QMainWindow(parent), session_(*this, std::move(folders)) {
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QString::fromLatin1(kAppTitle));
    // The media frame gets a window handle of its own; its siblings must stay plain widgets.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);

    // A MIDI file dropped on the window is opened.
    setAcceptDrops(true);
    progress_ = std::make_unique<ProgressWindow>(this);

    // The menus first: the toolbar shows the same actions, so both always share one enabled state.
    BuildMenus();
    BuildControls();
    Connect();
    ConnectTransport();

    // The layout's own size is the smallest; a larger window gives the views the room. The window starts
    // larger where the screen has room for it.
    layoutSize_ = TwipsRect(*this, 0, 0, kClientWidth, kClientHeight).size();
    client_->setMinimumSize(layoutSize_);
    QSize start(layoutSize_.width(), layoutSize_.height() + menuBar()->sizeHint().height());
    if (const QScreen* display = screen()) {
        const QSize room = display->availableGeometry().size() * 0.92;  // the window's frame needs some too
        start = start.expandedTo(kRoomyStart.boundedTo(room));
    }
    resize(start);
    for (const auto& [name, follow] : {std::pair{"Toolbar1", Follow::Widen}, std::pair{"Views", Follow::Grow},
                                       std::pair{"EditPanel", Follow::KeepRightGap},
                                       std::pair{"MediaFrame", Follow::KeepBottomGap},
                                       std::pair{"StatusBar1", Follow::WidenAtBottom}}) {
        following_.push_back({Widget(name), Widget(name)->geometry(), follow});
    }
    client_->installEventFilter(this);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, [this] { Handle([this] { Timer1_Timer(session_); }); });

    // The playing position is asked for more often than Timer1 runs, so its seconds do not jump.
    positionTimer_ = new QTimer(this);
    positionTimer_->setObjectName(QStringLiteral("PositionTimer"));
    positionTimer_->setInterval(250);
    connect(positionTimer_, &QTimer::timeout, this, [this] {
        if (busy_ || shutDown_) return;  // a command is under way; its own Refresh shows where it got to
        RunCommand(session_, [this] { ShowPlayingPosition(session_); });
        ShowPosition();
        if (views_->currentWidget() == lyricsPage_) lyricsView_->ShowPosition(session_.form.PlayingSeconds);
    });

    // The load step: the about window is loaded hidden, then the core's part.
    about_ = new AboutDialog(this);
    RunCommand(session_, [this] { FormLoad(session_); });
    Refresh();
    timer_->start();
    positionTimer_->start();
}

MainWindow::~MainWindow() {
    Shutdown();
    if (busy_) QApplication::restoreOverrideCursor();
}

void MainWindow::BuildControls() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("ClientArea"));
    client_->setFont(FormFont());
    setCentralWidget(client_);

    // The highest control below the toolbar: the frames at 405 twips.
    const int toolbarRoom = TwipsRect(*this, 0, 405, 0, 0).top();
    QWidget* previousFocus = nullptr;
    for (const ControlPlace& place : kControls) {
        QWidget* container = place.container == nullptr ? client_ : Widget(place.container);
        QWidget* widget = MakeControl(place, container);
        PlaceControl(*this, place, *container, *widget);
        if (place.kind == Kind::Views) BuildViews(static_cast<QTabWidget*>(widget));
        if (place.kind == Kind::Report) {
            views_->insertTab(1, widget, QString::fromLatin1(place.caption));
            views_->setTabToolTip(1, QStringLiteral("The full analysis report as text, as the log keeps it"));
        }
        if (place.kind == Kind::Toolbar) {
            // The toolbar's buttons need more height than the layout's 288 twips; the controls below leave
            // room for them.
            BuildToolbar(widget);
            QRect r = widget->geometry();
            r.setHeight(qMin(qMax(r.height(), widget->sizeHint().height()), toolbarRoom));
            widget->setGeometry(r);
        }
        if (TakesFocus(place.kind)) {
            if (previousFocus != nullptr) setTabOrder(previousFocus, widget);
            previousFocus = widget;
        }
    }
    for (const ControlTip& tip : kTips) Widget(tip.name)->setToolTip(QString::fromLatin1(tip.tip));
    report_ = static_cast<QPlainTextEdit*>(Widget("RichTextBox1"));
    mediaFrame_ = static_cast<QFrame*>(Widget("MediaFrame"));

    report_->setFont(ReportFont());
    report_->setReadOnly(true);
    report_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    report_->setLineWrapMode(QPlainTextEdit::NoWrap);
    report_->setUndoRedoEnabled(false);

    // The window can be resized: the status bar holds the grip at its corner.
    static_cast<QStatusBar*>(Widget("StatusBar1"))->setSizeGripEnabled(true);

    // The views are stretched over the media frame: the frame lies beneath them and is never seen.
    mediaFrame_->lower();
    mediaFrame_->hide();
    PairControlsWithModel();
}

void MainWindow::BuildViews(QTabWidget* views) {
    views_ = views;
    views_->setDocumentMode(true);
    overview_ = new OverviewView(views_);
    views_->addTab(overview_, QStringLiteral("Overview"));
    views_->setTabToolTip(0, QStringLiteral("The song at a glance: its facts, instruments, groups and tracks"));
    // The report pane comes second, as its row of the layout makes it; then the piano roll and the lyrics.
    rollView_ = new PianoRollView(session_, views_);
    rollView_->setObjectName(QStringLiteral("PianoRollView"));
    rollView_->setToolTip(QStringLiteral("The song as notes over time: the wheel scrolls, Ctrl+wheel zooms, a click on "
                                         "a track in the legend hides or shows it"));
    views_->addTab(rollView_, QStringLiteral("Piano Roll"));
    views_->setTabToolTip(1, QStringLiteral("The song as notes over time (View, Piano Roll opens it as a window)"));
    lyricsPage_ = new QWidget(views_);
    lyricsPage_->setObjectName(QStringLiteral("LyricsPage"));
    lyricsPage_->setToolTip(QStringLiteral("The song's lyrics and texts"));
    auto* lyricsLayout = new QVBoxLayout(lyricsPage_);
    lyricsLayout->setContentsMargins(0, 0, 0, 0);
    // Until the lyrics view is put in (ShowLyricsPage), the page says what it is for.
    auto* lyricsNote = new QLabel(QStringLiteral("This song holds lyrics or texts."), lyricsPage_);
    lyricsNote->setAlignment(Qt::AlignCenter);
    lyricsLayout->addWidget(lyricsNote);
    views_->addTab(lyricsPage_, QStringLiteral("Lyrics"));
    views_->setTabToolTip(2, QStringLiteral("The song's lyrics and texts"));
    views_->setTabVisible(2, false);
    lyricsView_ = new LyricsView;
    lyricsView_->setObjectName(QStringLiteral("LyricsView"));
    ShowLyricsPage(lyricsView_);
    ConnectOverview();
}

void MainWindow::ShowLyricsPage(QWidget* page) {
    QLayout* layout = lyricsPage_->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (page != nullptr) layout->addWidget(page);
}

void MainWindow::ConnectOverview() {
    // Queued: the edit shows its Overview again, and the list that asked must not be refilled under its feet.
    connect(overview_, &OverviewView::InstrumentChosen, this, [this](int track, int program) {
        Handle([this, track, program] { ChooseInstrument(session_, InstrumentRequest{track, program}); });
    }, Qt::QueuedConnection);
    connect(overview_, &OverviewView::MuteChosen, this,
            [this](int track, bool muted) { Handle([this, track, muted] { MuteTrack(session_, track, muted); }); },
            Qt::QueuedConnection);
    connect(overview_, &OverviewView::SoloChosen, this,
            [this](int track, bool soloed) { Handle([this, track, soloed] { SoloTrack(session_, track, soloed); }); },
            Qt::QueuedConnection);
    connect(overview_, &OverviewView::RecentSongChosen, this, [this](const std::string& path) { OpenRecentSong(path); },
            Qt::QueuedConnection);
}

void MainWindow::PairControlsWithModel() {
    FormModel& f = session_.form;
    const auto list = [this](const char* name) { return static_cast<QComboBox*>(Widget(name)); };
    const auto check = [this](const char* name) { return static_cast<QCheckBox*>(Widget(name)); };
    lists_ = {{list("Combo1"), &f.Combo1}, {list("Combo2"), &f.Combo2}, {list("Combo3"), &f.Combo3},
              {list("Combo4"), &f.Combo4}, {list("Combo5"), &f.Combo5}, {list("Combo6"), &f.Combo6},
              {list("Combo7"), &f.Combo7}, {list("Combo8"), &f.Combo8}, {list("Combo9"), &f.Combo9},
              {list("Combo10"), &f.Combo10}};
    checks_ = {{check("Check1"), &f.Check1}, {check("Check2"), &f.Check2}, {check("Check3"), &f.Check3},
               {check("Check4"), &f.Check4}, {check("Check5"), &f.Check5}, {check("Check6"), &f.Check6}};
    options_ = {{static_cast<QRadioButton*>(Widget("Option1")), &f.Option1},
                {static_cast<QRadioButton*>(Widget("Option2")), &f.Option2}};
    texts_ = {{static_cast<QLineEdit*>(Widget("Text1")), &f.Text1},
              {static_cast<QLineEdit*>(Widget("Text2")), &f.Text2}};
    buttons_ = {{Widget("Command1"), &f.Command1}, {Widget("Command2"), &f.Command2},
                {Widget("Command3"), &f.Command3}, {Widget("Command4"), &f.Command4}};
}

void MainWindow::BuildToolbar(QWidget* widget) {
    auto* toolbar = static_cast<QToolBar*>(widget);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(16, 16));
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    struct Button {
        std::optional<MenuCommand> command;  // none for a separator
        const char* tip;
        const char* theme;
        QStyle::StandardPixmap standard;
    };
    const Button buttons[] = {
        {MenuCommand::Open, "Open...", "document-open", QStyle::SP_DialogOpenButton},
        {MenuCommand::Save, "Save...", "document-save", QStyle::SP_DialogSaveButton},
        {std::nullopt, nullptr, nullptr, QStyle::SP_CustomBase},
        {MenuCommand::Play, "Play", "media-playback-start", QStyle::SP_MediaPlay},
        {MenuCommand::Pause, "Pause", "media-playback-pause", QStyle::SP_MediaPause},
        {MenuCommand::Stop, "Stop", "media-playback-stop", QStyle::SP_MediaStop},
        {std::nullopt, nullptr, nullptr, QStyle::SP_CustomBase},
        {MenuCommand::Undo, "Undo", "edit-undo", QStyle::SP_ArrowBack},
        {MenuCommand::Redo, "Redo", "edit-redo", QStyle::SP_ArrowForward},
    };
    for (const Button& button : buttons) {
        if (!button.command) {
            toolbar->addSeparator();
            continue;
        }
        // A button shows its menu item's own action: one command, one enabled state.
        QAction* shared = CommandAction(*button.command);
        shared->setIcon(ToolbarIcon(*style(), button.theme, button.standard));
        shared->setToolTip(QString::fromLatin1(button.tip));
        shared->setData(Name(NamesOf(*button.command).toolbarKey));
        toolbar->addAction(shared);
    }
    AddPlayingPosition(toolbar);
}

void MainWindow::AddPlayingPosition(QToolBar* toolbar) {
    toolbar->addSeparator();
    slider_ = new PositionSlider(toolbar);
    slider_->setObjectName(QStringLiteral("PositionSlider"));
    slider_->setToolTip(
        QStringLiteral("The playing position: click or drag to play from another place (Home: the start)"));
    slider_->setFixedWidth(TwipsRect(*this, 0, 0, 2400, 0).width());
    toolbar->addWidget(slider_);
    position_ = new QLabel(toolbar);
    position_->setObjectName(QStringLiteral("PlayingPosition"));
    position_->setFont(FormFont());
    // Room for "00:00 / 00:00", so the note beside it does not move while the seconds change.
    position_->setMinimumWidth(position_->fontMetrics().horizontalAdvance(QStringLiteral("00:00 / 00:00  ")));
    toolbar->addWidget(position_);
    soundNote_ = new QLabel(toolbar);
    soundNote_->setObjectName(QStringLiteral("SoundNote"));
    soundNote_->setFont(FormFont());
    toolbar->addWidget(soundNote_);
}

void MainWindow::BuildMenus() {
    AddCommandMenus();
    // The keys people expect; Space (Play and Pause) and Home (to the start) go through the transport keys
    // (transport.h), which leave them to a control that uses them.
    const std::pair<MenuCommand, QKeySequence> keys[] = {{MenuCommand::Open, QKeySequence(Qt::CTRL | Qt::Key_O)},
                                                         {MenuCommand::Save, QKeySequence(Qt::CTRL | Qt::Key_S)},
                                                         {MenuCommand::SaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
                                                         {MenuCommand::Exit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
                                                         {MenuCommand::Undo, QKeySequence(Qt::CTRL | Qt::Key_Z)},
                                                         {MenuCommand::Redo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
                                                         {MenuCommand::PianoRoll, QKeySequence(Qt::CTRL | Qt::Key_R)},
                                                         {MenuCommand::UserGuide, QKeySequence(Qt::Key_F1)}};
    for (const auto& [command, key] : keys) CommandAction(command)->setShortcut(key);
    AddPreferencesItem();
    // File, Recent Songs, above Exit.
    recent_ = new RecentSongsMenu(findChild<QMenu*>(Name("mnuFile")), findChild<QAction*>(Name("streep1")),
                                  session_.recent, [this](const std::string& path) { OpenRecentSong(path); });
}

void MainWindow::AddPreferencesItem() {
    QMenu* edit = findChild<QMenu*>(Name("mnuEdit"));
    edit->addSeparator()->setObjectName(QStringLiteral("streepPreferences"));
    QAction* preferences = edit->addAction(QStringLiteral("Pr&eferences..."));
    preferences->setObjectName(QStringLiteral("mnuPreferences"));
    preferences->setToolTip(QStringLiteral("Choose the SoundFont and the output that playback and export use"));
    preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferences->setMenuRole(QAction::PreferencesRole);
    connect(preferences, &QAction::triggered, this, &MainWindow::ShowPreferences);
}

void MainWindow::UsePlayback(PlaybackHooks hooks) {
    playbackHooks_ = std::move(hooks);
    RunCommand(session_, [this] {
        playback_ = ReadPlaybackSettings();
        if (playback_.soundFont && playbackHooks_.soundFontProblem) {
            if (const std::optional<std::string> problem = playbackHooks_.soundFontProblem(*playback_.soundFont)) {
                ShowMessage(*problem + "\nThe default SoundFont plays instead.", Buttons::Ok, Icon::Warning, kAppTitle);
                playback_.soundFont.reset();
            }
        }
        if (playbackHooks_.use) playbackHooks_.use(playback_);
    });
}

void MainWindow::ShowPreferences() {
    PreferencesDialog dialog(playback_, playbackHooks_, *this, this);
    if (dialog.exec() != QDialog::Accepted || dialog.Settings() == playback_) return;
    Handle([this, chosen = dialog.Settings()] {
        playback_ = chosen;
        StorePlaybackSettings(playback_);
        if (playbackHooks_.use) playbackHooks_.use(playback_);
        // A song that is not playing is opened again at once, so that Play sounds with the new SoundFont.
        if (!session_.media.Playing && !session_.song.TempFileName.empty() && !session_.form.SongPath.empty()) {
            MediaClose(session_.media, kMediaAlias);
            ReopenMedia(session_);
        }
    });
}

void MainWindow::SeekTo(std::int64_t tick) {
    Handle([this, tick] { SeekCommand(session_, tick); });
    ShowPosition();
}

void MainWindow::ShowPosition() {
    const FormModel& f = session_.form;
    if (slider_->isSliderDown()) return;  // the place dragged over shows until the drag ends
    position_->setText(Latin1(f.PlayingPosition));
    slider_->Show(f.PositionTicks, f.PlayingPosition.empty() ? 0 : f.LengthTicks);
}

void MainWindow::ShowDraggedPosition(std::int64_t tick) {
    const FormModel& f = session_.form;
    if (!f.Clock.known || f.PlayingPosition.empty()) return;
    const Timeline& clock = f.Clock.timeline;
    const auto at = static_cast<std::uint32_t>(std::clamp<std::int64_t>(tick, 0, f.LengthTicks));
    position_->setText(Latin1(MinutesAndSeconds(clock.SecondsAt(at)) + " / " +
                              MinutesAndSeconds(clock.SecondsAt(f.LengthTicks))));
}

void MainWindow::ConnectTransport() {
    connect(slider_, &PositionSlider::SeekRequested, this, [this](qint64 tick) { SeekTo(tick); });
    connect(slider_, &PositionSlider::DraggedOver, this, [this](qint64 tick) { ShowDraggedPosition(tick); });
    connect(rollView_, &PianoRollView::SeekRequested, this, [this](qint64 tick) { SeekTo(tick); });
    keys_ = new TransportKeys(
        [this](const QWidget* widget) {
            // The main window, the piano roll's and the user guide; a modal dialog keeps its keys.
            const QWidget* window = widget->window();
            return window == this || (pianoRoll_ != nullptr && window == pianoRoll_) ||
                   (guide_ != nullptr && window == static_cast<const QWidget*>(guide_));
        },
        [this] { Handle([this] { PlayPauseKey(session_); }); }, [this] { SeekTo(0); }, this);
    qApp->installEventFilter(keys_);
}

void MainWindow::AddCommandMenus() {
    FormModel& f = session_.form;
    struct Item {
        std::optional<MenuCommand> command;  // none for a separator
        const char* caption;                 // a separator's object name; "&" marks the item's Alt key
        Control* model;                      // none for an item that is always enabled
        const char* tip;                     // what the item does (a toolbar button shows its own tip)
    };
    struct Menu {
        const char* name;
        const char* caption;
        std::vector<Item> items;
    };
    const Menu menus[] = {
        {"mnuFile", "&File",
         {{MenuCommand::Open, "&Open...", &f.mnuOpen, "Open a MIDI file"},
          {MenuCommand::Save, "&Save...", &f.mnuSave, "Save the song as it now stands under a name you choose"},
          {MenuCommand::SaveAs, "Save &As...", &f.mnuSaveAs,
           "Save the song under a new name; the window then works on that file"},
          {MenuCommand::ExportAudio, "&Export Audio...", &f.mnuExportAudio,
           "Write the song as a WAV, FLAC or Ogg Vorbis sound file, without the muted tracks"},
          {std::nullopt, "streep1", nullptr, nullptr},
          {MenuCommand::Exit, "E&xit", &f.mnuExit, "Close Sonivex (it asks first about unsaved changes)"}}},
        {"mnuEdit", "&Edit",
         {{MenuCommand::Undo, "&Undo", &f.mnuUndo, "Take back the last change to the song"},
          {MenuCommand::Redo, "&Redo", &f.mnuRedo, "Make the change that Undo took back again"},
          {std::nullopt, "streep2", nullptr, nullptr},
          {MenuCommand::Transpose, "&Transpose...", &f.mnuTranspose,
           "Move the melody notes up or down by semitones, in every track or one"},
          {MenuCommand::Tempo, "Te&mpo...", &f.mnuTempo, "Play the song faster or slower, from 25 % to 400 %"}}},
        {"mnuView", "&View",
         {{MenuCommand::PianoRoll, "&Piano Roll", nullptr, "Show the piano roll in a window of its own"}}},
        {"mnucontrol", "&Controls",
         {{MenuCommand::Play, "&Play", &f.mnuPlay, "Play the song"},
          {MenuCommand::Pause, "P&ause", &f.mnuPause, "Pause the song; Play goes on from there"},
          {MenuCommand::Stop, "&Stop", &f.mnuStop, "Stop playing"}}},
        {"mnuHelp", "&Help",
         {{MenuCommand::UserGuide, "&User Guide", nullptr, "Explain the window's frames, effects and styles"},
          {MenuCommand::About, "&About...", &f.mnuAbout, "Show Sonivex's version and addresses"}}},
    };
    for (const Menu& menu : menus) {
        QMenu* qmenu = menuBar()->addMenu(QString::fromLatin1(menu.caption));
        qmenu->setObjectName(Name(menu.name));
        qmenu->setToolTipsVisible(true);
        for (const Item& item : menu.items) {
            if (!item.command) {
                qmenu->addSeparator()->setObjectName(Name(item.caption));
                continue;
            }
            QAction* action = qmenu->addAction(QString::fromLatin1(item.caption));
            action->setObjectName(Name(NamesOf(*item.command).menuItem));
            action->setToolTip(QString::fromLatin1(item.tip));
            connect(action, &QAction::triggered, this, [this, command = *item.command] {
                Handle([this, command] { MenuClick(session_, command); });
            });
            if (item.model != nullptr) actions_.emplace_back(action, item.model);
        }
    }
}

QAction* MainWindow::CommandAction(MenuCommand command) const {
    return findChild<QAction*>(Name(NamesOf(command).menuItem));
}

std::optional<TransposeRequest> MainWindow::AskTranspose(int trackCount) { return AskForTranspose(this, trackCount); }

std::optional<TempoRequest> MainWindow::AskTempo() { return AskForTempo(this); }

void MainWindow::ShowUserGuide() {
    if (guide_ == nullptr) guide_ = new UserGuideDialog(this);
    guide_->show();
    guide_->raise();
    guide_->activateWindow();
}

void MainWindow::ShowPianoRoll() {
    if (pianoRoll_ == nullptr) {
        pianoRoll_ = new PianoRollWindow(session_, this);
        connect(pianoRoll_, &PianoRollView::SeekRequested, this, [this](qint64 tick) { SeekTo(tick); });
    }
    pianoRoll_->show();
    pianoRoll_->raise();
    pianoRoll_->activateWindow();
}

void MainWindow::Connect() {
    const std::pair<const char*, void (*)(FormModel&)> rules[] = {
        {"Check1", Check1_Click}, {"Check2", Check2_Click}, {"Check3", Check3_Click},
        {"Check4", Check4_Click}, {"Check5", Check5_Click}, {"Check6", Check6_Click}};
    for (const auto& [name, rule] : rules) {
        auto* box = static_cast<QCheckBox*>(Widget(name));
        CheckControl* model = nullptr;
        for (const auto& [widget, control] : checks_) {
            if (widget == box) model = control;
        }
        connect(box, &QCheckBox::clicked, this, [this, model, rule = rule](bool ticked) {
            Handle([this, model, rule, ticked] {
                model->ticked = ticked;
                rule(session_.form);
            });
        });
    }

    for (const auto& [combo, list] : lists_) {
        const QString name = combo->objectName();
        connect(combo, &QComboBox::activated, this, [this, name, list = list](int index) {
            Handle([this, &name, list, index] {
                list->listIndex = index;
                if (name == QLatin1String("Combo1")) Combo1_Click(session_);
                if (name == QLatin1String("Combo6")) Combo6_Click(session_);
            });
        });
    }

    // A click on one option clears the other: both report the change, and the model takes both states.
    for (const auto& [option, model] : options_) {
        connect(option, &QRadioButton::toggled, this, [this] {
            for (const auto& [widget, control] : options_) control->selected = widget->isChecked();
        });
    }

    for (const auto& [edit, model] : texts_) {
        connect(edit, &QLineEdit::textEdited, this,
                [model = model](const QString& text) { model->text = text.toLatin1().toStdString(); });
    }

    for (const auto& [name, command] : {std::pair{"Command1", CommandButton::ApplyStyle},
                                        std::pair{"Command2", CommandButton::SwitchDrumMelody},
                                        std::pair{"Command3", CommandButton::CopyTrack},
                                        std::pair{"Command4", CommandButton::ApplyEffect}}) {
        connect(static_cast<QPushButton*>(Widget(name)), &QPushButton::clicked, this,
                [this, command = command] { Handle([this, command] { CommandClick(session_, command); }); });
    }
}

template <typename Command>
void MainWindow::Handle(Command command) {
    RunCommand(session_, command);
    Refresh();
}

QWidget* MainWindow::Widget(const char* name) const { return client_->findChild<QWidget*>(Name(name)); }

void MainWindow::Refresh() {
    const FormModel& f = session_.form;
    if (recent_ != nullptr) recent_->Update();
    // Every command ends here: an edit, Open, Undo or Redo redraws the piano roll.
    if (pianoRoll_ != nullptr) pianoRoll_->SongMayHaveChanged();
    RefreshViews();
    for (const auto& [combo, list] : lists_) {
        const QSignalBlocker block(combo);
        bool same = combo->count() == static_cast<int>(list->items.size());
        for (int i = 0; same && i < combo->count(); ++i) same = combo->itemText(i) == Latin1(list->items[i]);
        if (!same) {
            combo->clear();
            for (const std::string& item : list->items) combo->addItem(Latin1(item));
        }
        if (combo->currentIndex() != list->listIndex) combo->setCurrentIndex(list->listIndex);
        combo->setEnabled(list->enabled);
    }
    for (const auto& [box, check] : checks_) {
        const QSignalBlocker block(box);
        box->setChecked(check->ticked);
        box->setEnabled(check->enabled);
    }
    for (const auto& [option, model] : options_) {
        const QSignalBlocker block(option);
        if (model->selected) option->setChecked(true);
        option->setEnabled(model->enabled);
    }
    for (const auto& [option, model] : options_) {
        if (model->selected || !option->isChecked()) continue;
        // Neither option selected: an exclusive button only lets go of its tick when it is not exclusive.
        const QSignalBlocker block(option);
        option->setAutoExclusive(false);
        option->setChecked(false);
        option->setAutoExclusive(true);
    }
    for (const auto& [edit, text] : texts_) {
        const QSignalBlocker block(edit);
        const QString shown = Latin1(text->text);
        if (edit->text() != shown) edit->setText(shown);
        edit->setEnabled(text->enabled);
    }
    for (const auto& [button, control] : buttons_) button->setEnabled(control->enabled);
    for (const auto& [action, control] : actions_) action->setEnabled(control->enabled);

    if (f.RichTextBox1 != shownReport_) {
        shownReport_ = f.RichTextBox1;
        QString text = QString::fromStdString(LinesAsUtf8(shownReport_));  // paths are UTF-8, old names CP1252
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        report_->setPlainText(text);
    }
    position_->setText(Latin1(f.PlayingPosition));
    soundNote_->setText(Latin1(f.SoundNote));
    auto* status = static_cast<QStatusBar*>(Widget("StatusBar1"));
    if (status->currentMessage() != Latin1(f.StatusBar1)) status->showMessage(Latin1(f.StatusBar1));
    SetCaption(session_.Caption);
}

void MainWindow::RefreshViews() {
    const FormModel& f = session_.form;
    rollView_->SongMayHaveChanged();
    if (f.SongPath.empty()) {
        overviewStamp_.reset();
        views_->setTabVisible(views_->indexOf(lyricsPage_), false);
        if (overview_->Model().hasSong || shownRecent_ != session_.recent.Paths() || overviewOpens_ < 0) {
            shownRecent_ = session_.recent.Paths();
            overview_->ShowSong(OverviewModel{}, names_.value_or(OverviewNames{}), session_.mix);
            overview_->ShowStart(shownRecent_);
            overviewOpens_ = 0;
        }
        return;
    }
    // Every command ends here, the timer's too: the song is read again only when it or its report changed.
    const SongStamp stamp = SongStamp::Of(session_);
    if (overviewStamp_ == stamp && overviewReport_ == f.RichTextBox1 && overviewOpens_ == f.SongsOpened) return;
    overviewStamp_ = stamp;
    overviewReport_ = f.RichTextBox1;
    if (!names_) names_ = ReadOverviewNames(session_);
    const std::optional<Bytes> song = ReadWholeFile(session_.WorkFile(session_.song.TempFileName));
    const OverviewModel model =
        song ? BuildOverview(session_.report.Built, *song, *names_) : OverviewModel{};
    overview_->ShowSong(model, *names_, session_.mix);
    if (!model.hasSong) overview_->ShowStart(session_.recent.Paths());
    const Lyrics words = song ? ReadLyrics(*song, IsKaraokeName(f.SongPath) ? LyricEvents::Texts : LyricEvents::Lyrics)
                              : Lyrics{};
    lyricsView_->ShowLyrics(words);
    views_->setTabVisible(views_->indexOf(lyricsPage_), model.hasLyrics && LyricsView::HasLyrics(words));
    // A song just opened shows its Overview first.
    if (overviewOpens_ != f.SongsOpened) {
        overviewOpens_ = f.SongsOpened;
        views_->setCurrentWidget(overview_);
    }
}

void MainWindow::OpenFile(const std::string& path) {
    startupFile_ = path;
    Handle([this] { OpenCommand(session_); });
    startupFile_.reset();
}

void MainWindow::ShowSoundOutput(bool found) {
    session_.form.SoundNote = found ? "" : "no sound output: playing silently";
    soundNote_->setText(Latin1(session_.form.SoundNote));
}

Answer MainWindow::ShowMessage(const std::string& text, Buttons buttons, Icon icon, const std::string& title) {
    return ShowMessageBox(text, buttons, icon, title);
}

Answer MainWindow::ShowMessageBox(const std::string& text, Buttons buttons, Icon icon, const std::string& title) {
    return RunMessageBox(this, text, buttons, icon, title);
}

void MainWindow::SetBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::LetEventsRun() {
    // The commands change the model only; the pending paint events should show where they have got to. The
    // user's own input waits until the command is done, as the busy pointer says.
    Refresh();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::SetCaption(const std::string& caption) {
    // "[*]" is where Qt puts the mark of unsaved changes (ShowUnsavedChanges).
    const QString title = (caption.empty() ? QString::fromLatin1(kAppTitle) : QString::fromLocal8Bit(caption)) +
                          QStringLiteral("[*]");
    if (windowTitle() != title) setWindowTitle(title);
}

std::string MainWindow::ChooseFile(const FileDialogRequest& request) {
    if (startupFile_) {
        std::string path = std::move(*startupFile_);
        startupFile_.reset();
        return path;
    }
    return ShowFileDialog(request);
}

std::string MainWindow::ShowFileDialog(const FileDialogRequest& request) { return RunFileDialog(this, request); }

bool MainWindow::ShowProgress(const std::string& text, double fraction) { return progress_->Show(text, fraction); }

void MainWindow::EndProgress() { progress_->End(); }

void MainWindow::OpenRecentSong(const std::string& path) {
    Handle([this, &path] {
        // A song that is gone is named by Open and leaves the list.
        if (OpenCommand(session_, path) == OpenOutcome::Missing) session_.recent.Remove(path);
    });
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!busy_ && DroppedSong(event->mimeData())) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const std::optional<std::string> path = DroppedSong(event->mimeData());
    if (busy_ || !path) return;
    event->acceptProposedAction();
    Handle([this, &path] { OpenCommand(session_, *path); });
}

void MainWindow::ShowAbout() {
    if (about_ == nullptr) about_ = new AboutDialog(this);
    about_->exec();
}

void MainWindow::UnloadAbout() {
    delete about_;
    about_ = nullptr;
}

void MainWindow::CloseMainWindow() { close(); }

std::intptr_t MainWindow::MediaWindow() { return static_cast<std::intptr_t>(mediaFrame_->winId()); }

WindowRect MainWindow::MediaWindowRect() {
    const QPoint topLeft = mediaFrame_->mapToGlobal(QPoint(0, 0));
    return {topLeft.x(), topLeft.y(), topLeft.x() + mediaFrame_->width(), topLeft.y() + mediaFrame_->height()};
}

void MainWindow::InstallMediaHook() {
    if (hook_ == nullptr) hook_ = new MediaHookFilter(session_.media.MediaWindow, this);
    mediaFrame_->installEventFilter(hook_);
}

void MainWindow::RemoveMediaHook() {
    if (hook_ != nullptr) mediaFrame_->removeEventFilter(hook_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!shutDown_) {
        bool mayClose = true;
        Handle([this, &mayClose] { mayClose = QueryUnload(session_); });
        if (!mayClose) {
            event->ignore();
            return;
        }
    }
    Shutdown();
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) PlaceForSize();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::PlaceForSize() {
    const int wider = qMax(0, client_->width() - layoutSize_.width());
    const int taller = qMax(0, client_->height() - layoutSize_.height());
    for (const FollowingControl& control : following_) {
        QRect place = control.laidOut;
        switch (control.follow) {
        case Follow::Grow: place.setSize(place.size() + QSize(wider, taller)); break;
        case Follow::Widen: place.setWidth(place.width() + wider); break;
        case Follow::KeepRightGap: place.translate(wider, 0); break;
        case Follow::KeepBottomGap: place.translate(0, taller); break;
        case Follow::WidenAtBottom:
            place.translate(0, taller);
            place.setWidth(place.width() + wider);
            break;
        }
        if (control.widget->geometry() != place) control.widget->setGeometry(place);
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    if (!centred_) {
        centred_ = true;
        if (const QScreen* display = screen()) {
            QRect place = frameGeometry();
            place.moveCenter(display->availableGeometry().center());
            move(place.topLeft());
        }
    }
    QMainWindow::showEvent(event);
}

void MainWindow::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    timer_->stop();
    RunCommand(session_, [this] { End1(session_); });
}

}  // namespace sonivex

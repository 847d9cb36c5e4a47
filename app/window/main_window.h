// The main window, frmmain: the views (Overview, Report, Piano Roll and Lyrics tabs), the Instruments, Track and
// Effects frames in a panel at their right, the toolbar, the menus, the status bar, the playback timer and the
// media frame. The window's state lives in the session's window
// model; the window shows that model (Refresh) and hands every user action to the commands and rules, which
// change the model. It is also the platform the core talks to: message boxes, file dialogs, the busy pointer,
// the caption, the about window, the Transpose and Tempo dialogs, the user guide and the media frame.
#pragma once

#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/menu_command.h"
#include "app/app_platform.h"
#include "app/session.h"
#include "app/window/overview_model.h"
#include "app/window/preferences_dialog.h"
#include "app/window/song_stamp.h"
#include "playback/playback_settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QToolBar;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTabWidget;
class QTimer;

namespace sonivex {

class AboutDialog;
class LyricsView;
class OverviewView;
class PianoRollView;
class PianoRollWindow;
class UserGuideDialog;
class ProgressWindow;
class RecentSongsMenu;
class MediaHookFilter;
class PositionSlider;
class TransportKeys;

class MainWindow : public QMainWindow, public AppPlatform {
    Q_OBJECT

public:
    // Builds every control, runs the load step (FormLoad: name tables, media hook, "logs" folder) on a session
    // that uses `folders`, shows the model's initial state and starts Timer1.
    explicit MainWindow(Folders folders, QWidget* parent = nullptr);
    // The same with everything in one program folder.
    explicit MainWindow(const std::filesystem::path& programFolder, QWidget* parent = nullptr)
        : MainWindow(Folders::InOne(programFolder), parent) {}

    // Shuts down (End1) unless the window was closed before.
    ~MainWindow() override;

    // The session that the window shows and its commands change.
    Session& State() { return session_; }

    // Copies the whole window model into the controls: lists, selections, ticks, texts, the report, enabled
    // states of controls, menu items and toolbar buttons, and the caption. Sends no change signals.
    void Refresh();

    // Runs the Open command on `path` as if the user had chosen it in the open dialog.
    void OpenFile(const std::string& path);

    // Shows beside the playing position whether the sound reaches a sound output; without one the song plays
    // silently, and the note says so.
    void ShowSoundOutput(bool found);

    // Takes the playback set-up (main() gives FluidSynth's): reads the stored preferences and makes playback
    // and export follow them. A stored SoundFont that no longer loads gives its message, and the default one
    // plays instead (the stored choice stays until the user changes it).
    void UsePlayback(PlaybackHooks hooks);

    // Edit, Preferences...: the SoundFont and the output. OK stores the settings and makes playback and
    // export follow them: a song that is not playing switches at once, a playing one at its next opening.
    void ShowPreferences();

    // The playback settings in force.
    const PlaybackSettings& Playback() const { return playback_; }

    // The frame that the media device uses as its parent window; its notifications are posted to it.
    QFrame* MediaFrame() const { return mediaFrame_; }

    // The views: the tabs "Overview", "Report", "Piano Roll" and "Lyrics" (the last shown only for a song with
    // lyric or text events).
    QTabWidget* Views() const { return views_; }
    OverviewView* Overview() const { return overview_; }

    // Platform.
    Answer ShowMessage(const std::string& text, Buttons buttons, Icon icon, const std::string& title) override;
    void SetBusy(bool busy) override;
    void LetEventsRun() override;
    void SetCaption(const std::string& caption) override;
    std::string ChooseFile(const FileDialogRequest& request) override;
    bool ShowProgress(const std::string& text, double fraction) override;
    void EndProgress() override;
    void ShowAbout() override;
    void UnloadAbout() override;
    void ShowPianoRoll() override;
    std::optional<TransposeRequest> AskTranspose(int trackCount) override;
    std::optional<TempoRequest> AskTempo() override;
    void ShowUserGuide() override;
    void CloseMainWindow() override;
    void ShowUnsavedChanges(bool unsaved) override { setWindowModified(unsaved); }
    std::intptr_t MediaWindow() override;
    WindowRect MediaWindowRect() override;
    void InstallMediaHook() override;
    void RemoveMediaHook() override;

public slots:
    // Puts `page` (the lyrics view) into the Lyrics tab in place of what it shows now; the window takes it
    // over. The tab is shown only while the song has lyric or text events.
    void ShowLyricsPage(QWidget* page);

protected:
    // The modal message box and file dialog themselves; a test overrides them to answer from a script.
    virtual Answer ShowMessageBox(const std::string& text, Buttons buttons, Icon icon, const std::string& title);
    virtual std::string ShowFileDialog(const FileDialogRequest& request);

    // Closing asks about unsaved changes first (QueryUnload); Cancel keeps the window open.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A MIDI file dragged onto the window is opened through the Open command.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The client area's resizes move and stretch the controls that follow the window's size.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    // The tabs of the views: Overview, then (from the layout) Report, Piano Roll and Lyrics.
    void BuildViews(QTabWidget* views);
    // Pairs each list, box, option, text and button with the part of the window model it shows.
    void PairControlsWithModel();
    void BuildMenus();
    // The File, Edit, View, Controls and Help menus, whose items run the session's commands.
    void AddCommandMenus();
    // The menu item of `command`, whose action the toolbar button of the command shares.
    QAction* CommandAction(MenuCommand command) const;
    void OpenRecentSong(const std::string& path);
    void BuildToolbar(QWidget* toolbar);
    void AddPlayingPosition(QToolBar* toolbar);
    // The position slider, the piano rolls' rulers, and Space and Home in every window of the program.
    void ConnectTransport();
    // Moves the playing position to `tick` and shows it.
    void SeekTo(std::int64_t tick);
    // Shows the model's playing position beside the play buttons: as times and on the slider.
    void ShowPosition();
    // Shows the time of `tick` as the playing position while the slider's handle is dragged over it.
    void ShowDraggedPosition(std::int64_t tick);
    // Edit, Preferences... (Ctrl+,), below the editing items.
    void AddPreferencesItem();
    // Places the controls that follow the client area's size: the report pane grows with it, the frames keep
    // their distance from its right edge, the toolbar and the status bar span it.
    void PlaceForSize();
    void Connect();
    // The Overview's edits and the mute and solo of its track list.
    void ConnectOverview();
    // Shows the song's Overview again when the song or its report changed, or the start page without a song.
    void RefreshViews();
    // Runs a command or rule on the model, then shows the model.
    template <typename Command>
    void Handle(Command command);
    // Runs End1 once.
    void Shutdown();

    QWidget* Widget(const char* name) const;

    Session session_;
    QWidget* client_ = nullptr;
    QFrame* mediaFrame_ = nullptr;
    QPlainTextEdit* report_ = nullptr;
    QTabWidget* views_ = nullptr;
    OverviewView* overview_ = nullptr;
    PianoRollView* rollView_ = nullptr;
    QWidget* lyricsPage_ = nullptr;
    LyricsView* lyricsView_ = nullptr;  // in the Lyrics tab
    UserGuideDialog* guide_ = nullptr;  // made when first asked for
    QTimer* timer_ = nullptr;
    QTimer* positionTimer_ = nullptr;
    QLabel* position_ = nullptr;
    QLabel* soundNote_ = nullptr;
    PositionSlider* slider_ = nullptr;
    TransportKeys* keys_ = nullptr;
    PlaybackHooks playbackHooks_;
    PlaybackSettings playback_;
    AboutDialog* about_ = nullptr;
    RecentSongsMenu* recent_ = nullptr;
    PianoRollWindow* pianoRoll_ = nullptr;  // made when first asked for
    std::unique_ptr<ProgressWindow> progress_;
    MediaHookFilter* hook_ = nullptr;

    // Each control with the part of the window model it shows.
    std::vector<std::pair<QComboBox*, ListControl*>> lists_;
    std::vector<std::pair<QCheckBox*, CheckControl*>> checks_;
    std::vector<std::pair<QRadioButton*, OptionControl*>> options_;
    std::vector<std::pair<QLineEdit*, TextControl*>> texts_;
    std::vector<std::pair<QWidget*, Control*>> buttons_;
    std::vector<std::pair<QAction*, Control*>> actions_;

    // How a control follows the client area's size beyond the layout's own size (the minimum).
    enum class Follow { Grow, Widen, KeepRightGap, KeepBottomGap, WidenAtBottom };
    struct FollowingControl {
        QWidget* widget;
        QRect laidOut;
        Follow follow;
    };
    QSize layoutSize_;
    std::vector<FollowingControl> following_;

    std::string shownReport_;  // the report text that the pane shows, so an unchanged report keeps its scroll
    // What the Overview shows: the song and the report it was built from, the Open it follows.
    std::optional<SongStamp> overviewStamp_;
    std::string overviewReport_;
    int overviewOpens_ = -1;
    std::vector<std::string> shownRecent_;
    std::optional<OverviewNames> names_;
    std::optional<std::string> startupFile_;  // the answer of the next file dialog, given once
    bool busy_ = false;
    bool centred_ = false;
    bool shutDown_ = false;
};

}  // namespace sonivex

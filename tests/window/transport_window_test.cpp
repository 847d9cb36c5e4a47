// The transport and the playback preferences in the window: the position slider, Space and Home from every
// window of the program, a click on the piano roll's rulers, and Edit, Preferences... with its SoundFont and
// Output choices kept for the next run.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QTextBrowser>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "app/window/piano_roll_window.h"
#include "app/window/preferences_dialog.h"
#include "app/window/transport.h"
#include "app/window/user_guide.h"
#include "support/fake_media.h"
#include "window_support.h"
#ifdef SONIVEX_HAVE_PLAYER
#include "playback/player/synth_engine.h"
#endif

namespace sonivex::test {

namespace {

const std::filesystem::path kTimGM = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// A song of ten quarter notes at 120 beats a minute: 960 ticks, 5 seconds.
Bytes TenQuarters() {
    Track t;
    for (int i = 0; i < 10; ++i) t.NoteOn(0, 0, 60 + i, 100).NoteOff(96, 0, 60 + i);
    return MidiFile().Add(t.End()).Build();
}

// What the window's playback set-up heard, and the ports it offers.
struct PlaybackLog {
    std::vector<PlaybackSettings> used;
    std::vector<std::vector<std::string>> portLists;  // the answers of the next port listings; the last stays
    int portListings = 0;
};

// Doubles of the set-up that main() gives: FluidSynth's own SoundFont check when the tests have the player,
// else one that refuses every file whose name holds "bad".
PlaybackHooks HooksFor(PlaybackLog& log) {
    PlaybackHooks hooks;
    hooks.defaultSoundFont = [] { return std::optional<std::filesystem::path>("/usr/share/sounds/sf2/default.sf2"); };
#ifdef SONIVEX_HAVE_PLAYER
    hooks.soundFontProblem = [](const std::filesystem::path& font) { return SoundFontProblem(font); };
#else
    hooks.soundFontProblem = [](const std::filesystem::path& font) -> std::optional<std::string> {
        if (font.string().find("bad") == std::string::npos) return std::nullopt;
        return "FluidSynth cannot load " + font.string() + " as a SoundFont";
    };
#endif
    hooks.outputPorts = [&log] {
        ++log.portListings;
        if (log.portLists.empty()) return std::vector<std::string>();
        std::vector<std::string> ports = log.portLists.front();
        if (log.portLists.size() > 1) log.portLists.erase(log.portLists.begin());
        return ports;
    };
    hooks.use = [&log](const PlaybackSettings& settings) { log.used.push_back(settings); };
    return hooks;
}

}  // namespace

class TransportWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<ScriptedWindow> window_;
    FakeMedia device_;
    PlaybackLog log_;

    QAction* Action(const char* name) { return window_->findChild<QAction*>(QLatin1String(name)); }
    QSlider* Slider() { return window_->findChild<QSlider*>(QStringLiteral("PositionSlider")); }
    QString Position() { return window_->findChild<QLabel*>(QStringLiteral("PlayingPosition"))->text(); }
    // The commands sent to the device but the position and length queries.
    std::vector<std::string> Sent() {
        std::vector<std::string> sent;
        for (const std::string& command : device_.commands) {
            if (command.rfind("Status", 0) != 0 && command.rfind("Set", 0) != 0) sent.push_back(command);
        }
        return sent;
    }
    std::string LastSent() {
        const std::vector<std::string> sent = Sent();
        return sent.empty() ? std::string() : sent.back();
    }
    void ShowAndOpen() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->activateWindow();
        window_->OpenFile(folder_->WriteSong(TenQuarters()));
    }
    void NewWindow() {
        if (window_ != nullptr) window_->State().media.Device = nullptr;
        window_ = std::make_unique<ScriptedWindow>(folder_->Path());
        window_->State().media.Device = &device_;
        window_->UsePlayback(HooksFor(log_));
    }
    // Opens Edit, Preferences... and runs `act` on the dialog, which it then closes with OK (or Cancel).
    void InPreferences(const std::function<void(QDialog*)>& act, bool ok = true) {
        WhenModalAppears([act, ok](QWidget* modal) {
            auto* dialog = qobject_cast<QDialog*>(modal);
            QVERIFY(dialog != nullptr);
            act(dialog);
            // The file chooser and the messages are scripted: the dialog is still the modal window.
            if (ok) {
                dialog->accept();
            } else {
                dialog->reject();
            }
        });
        Action("mnuPreferences")->trigger();
    }

private slots:
    void init() {
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Sonivex"), QStringLiteral("Sonivex")).clear();
        folder_ = std::make_unique<ProgramFolder>();
        device_ = FakeMedia();
        device_.replies["Status VAVidev1 length"] = "960";
        device_.replies["Status VAVidev1 position"] = "432";
        log_ = PlaybackLog();
        NewWindow();
    }
    void cleanup() {
        window_->State().media.Device = nullptr;
        window_.reset();
        folder_.reset();
    }

    void TheSliderFollowsThePositionAndAClickSeeksThere() {
        QVERIFY(!Slider()->isEnabled());
        ShowAndOpen();
        Action("mnuPlay")->trigger();
        QTRY_COMPARE(Position(), QStringLiteral("0:02 / 0:05"));  // 432 of 960 ticks at 96 a quarter
        QVERIFY(Slider()->isEnabled());
        QCOMPARE(Slider()->maximum(), 960);
        QCOMPARE(Slider()->value(), 432);

        // A click on the groove at three quarters of the way seeks there at once.
        const QRect groove = Slider()->rect();
        QTest::mouseClick(Slider(), Qt::LeftButton, {}, QPoint(groove.left() + groove.width() * 3 / 4, groove.center().y()));
        const std::string seek = LastSent();
        QVERIFY2(seek.rfind("Seek VAVidev1 to ", 0) == 0, seek.c_str());
        const int tick = std::stoi(seek.substr(std::string("Seek VAVidev1 to ").size()));
        QVERIFY2(tick > 600 && tick < 840, seek.c_str());
        // Dragging shows the place under the handle, whatever the player says meanwhile, and seeks on release.
        const std::size_t sent = Sent().size();
        Slider()->setSliderDown(true);
        Slider()->setSliderPosition(720);
        QCOMPARE(Position(), QStringLiteral("0:04 / 0:05"));  // 3.75 s
        QTest::qWait(600);                                     // the position is asked for meanwhile
        QCOMPARE(Position(), QStringLiteral("0:04 / 0:05"));
        QCOMPARE(Sent().size(), sent);
        Slider()->setSliderDown(false);
        QCOMPARE(LastSent(), std::string("Seek VAVidev1 to 720"));
        // The keys of the slider seek too: Home goes to the start.
        Slider()->setFocus();
        QTest::keyClick(Slider(), Qt::Key_Home);
        QCOMPARE(LastSent(), std::string("Seek VAVidev1 to 0"));
    }

    void StopShowsTheStartAndAPausedSeekResumesThere() {
        ShowAndOpen();
        Action("mnuPlay")->trigger();
        Action("mnuPause")->trigger();
        device_.replies["Status VAVidev1 position"] = "720";  // where the seek below puts the player
        QTRY_VERIFY(Slider()->isEnabled());
        QTest::mouseClick(Slider(), Qt::LeftButton, {},
                          QPoint(Slider()->width() * 3 / 4, Slider()->height() / 2));
        QVERIFY(LastSent().rfind("Seek VAVidev1 to ", 0) == 0);
        Action("mnuPlay")->trigger();
        QCOMPARE(LastSent(), std::string("Play VAVidev1 from 720 to 960 notify"));

        Action("mnuStop")->trigger();
        QTRY_COMPARE(Position(), QStringLiteral("0:00 / 0:05"));
        QCOMPARE(Slider()->value(), 0);
        Action("mnuPlay")->trigger();
        QCOMPARE(LastSent(), std::string("Play VAVidev1 from 0 to 960 notify"));
    }

    void SpaceAndHomeWorkInEveryWindowButNotWhereAControlTakesThem() {
        ShowAndOpen();
        // The piano roll's own window has the focus.
        Action("mnuPianoRoll")->trigger();
        auto* roll = window_->findChild<PianoRollWindow*>();
        QVERIFY(roll != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(roll));
        roll->activateWindow();
        roll->setFocus();
        QTest::keyClick(roll, Qt::Key_Space);
        QVERIFY2(LastSent().rfind("Play VAVidev1 from 0", 0) == 0, LastSent().c_str());
        QTest::keyClick(roll, Qt::Key_Home);
        QCOMPARE(LastSent(), std::string("Seek VAVidev1 to 0"));
        QTest::keyClick(roll, Qt::Key_Space);
        QCOMPARE(LastSent(), std::string("Pause VAVidev1 notify"));
        QTest::keyClick(roll, Qt::Key_Space, Qt::ShiftModifier);  // not the plain key: nothing
        QCOMPARE(LastSent(), std::string("Pause VAVidev1 notify"));
        // The user guide's window too.
        window_->ShowUserGuide();
        auto* guide = window_->findChild<UserGuideDialog*>();
        QVERIFY(guide != nullptr);
        guide->Page()->setFocus();
        QTest::keyClick(guide->Page(), Qt::Key_Space);
        QVERIFY2(LastSent().rfind("Play VAVidev1 from", 0) == 0, LastSent().c_str());
        guide->close();

        // A list keeps Home for itself (its first entry).
        auto* styles = window_->centralWidget()->findChild<QComboBox*>(QStringLiteral("Combo1"));
        QVERIFY(styles != nullptr && styles->isEnabled());
        const std::size_t sent = Sent().size();
        styles->setFocus();
        QTest::keyClick(styles, Qt::Key_Home);
        QCOMPARE(Sent().size(), sent);
        const QLineEdit field;
        QVERIFY(TransportKeys::TakesKey(&field, Qt::Key_Space) && TransportKeys::TakesKey(&field, Qt::Key_Home));
        // A modal dialog's buttons take Space as ever; nothing plays behind it.
        WhenModalAppears([](QWidget* modal) {
            QTest::keyClick(modal, Qt::Key_Home);
            QTest::keyClick(modal, Qt::Key_Space);
            static_cast<QDialog*>(modal)->reject();
        });
        Action("mnuPreferences")->trigger();
        QCOMPARE(Sent().size(), sent);
    }

    void AClickOnTheRulersSeeksToTheTickUnderThePointer() {
        ShowAndOpen();
        Action("mnuPianoRoll")->trigger();
        auto* roll = window_->findChild<PianoRollWindow*>();
        roll->resize(1000, 600);
        QVERIFY(QTest::qWaitForWindowExposed(roll));
        Action("mnuPlay")->trigger();
        const RollPicture picture = roll->Picture();
        const double x = picture.notes.x + 600 / roll->Model().FitTicksPerPixel(roll->width());
        QTest::mouseClick(roll, Qt::LeftButton, {},
                          QPoint(static_cast<int>(std::lround(x)), static_cast<int>(picture.secondsRuler.y + 2)));
        const std::string seek = LastSent();
        QVERIFY2(seek.rfind("Seek VAVidev1 to ", 0) == 0, seek.c_str());
        QVERIFY2(std::abs(std::stoi(seek.substr(17)) - 600) <= 2, seek.c_str());
        // Among the notes a click seeks nothing.
        QTest::mouseClick(roll, Qt::LeftButton, {},
                          QPoint(static_cast<int>(x), static_cast<int>(picture.notes.y + picture.notes.h / 2)));
        QCOMPARE(LastSent(), seek);
        // Stopped, the click chooses where Play starts.
        Action("mnuStop")->trigger();
        QTest::mouseClick(roll, Qt::LeftButton, {},
                          QPoint(static_cast<int>(std::lround(x)), static_cast<int>(picture.barRuler.y + 2)));
        Action("mnuPlay")->trigger();
        QVERIFY2(LastSent().rfind("Play VAVidev1 from 59", 0) == 0 || LastSent().rfind("Play VAVidev1 from 60", 0) == 0,
                 LastSent().c_str());
    }

    void TheChosenSoundFontIsUsedAndKeptForTheNextRun() {
        if (!std::filesystem::exists(kTimGM)) QSKIP("TimGM6mb.sf2 is not installed");
        QVERIFY(log_.used == (std::vector<PlaybackSettings>{{}}));  // the default at start-up
        window_->files = {kTimGM.string()};
        InPreferences([](QDialog* dialog) {
            auto* standard = dialog->findChild<QRadioButton*>(QStringLiteral("DefaultSoundFont"));
            QVERIFY(standard->isChecked());
            QVERIFY(standard->text().contains(QStringLiteral("/usr/share/sounds/sf2/default.sf2")));
            dialog->findChild<QPushButton*>(QStringLiteral("ChooseSoundFont"))->click();
            QVERIFY(dialog->findChild<QRadioButton*>(QStringLiteral("FileSoundFont"))->isChecked());
            QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("SoundFontFile"))->text(),
                     QString::fromStdString(kTimGM.string()));
        });
        QCOMPARE(window_->dialogs.size(), std::size_t{1});
        QVERIFY(window_->dialogs[0].filter.find("*.sf2") != std::string::npos);
        QVERIFY(window_->Playback().soundFont == std::optional<std::filesystem::path>(kTimGM));
        QVERIFY(log_.used.back().soundFont == std::optional<std::filesystem::path>(kTimGM));

        // The next run starts with it.
        log_.used.clear();
        NewWindow();
        QVERIFY(window_->Playback().soundFont == std::optional<std::filesystem::path>(kTimGM));
        QCOMPARE(log_.used.size(), std::size_t{1});
        QVERIFY(log_.used[0].soundFont == std::optional<std::filesystem::path>(kTimGM));
        QVERIFY(window_->messages.empty());
        // Back to the default, and Cancel changes nothing.
        InPreferences([](QDialog* dialog) { dialog->findChild<QRadioButton*>(QStringLiteral("DefaultSoundFont"))->click(); },
                      false);
        QVERIFY(window_->Playback().soundFont == std::optional<std::filesystem::path>(kTimGM));
        InPreferences([](QDialog* dialog) { dialog->findChild<QRadioButton*>(QStringLiteral("DefaultSoundFont"))->click(); });
        QVERIFY(window_->Playback().soundFont == std::nullopt);
        NewWindow();
        QVERIFY(window_->Playback().soundFont == std::nullopt);
    }

    void ASongThatIsNotPlayingSwitchesToTheNewSoundFontAtOnce() {
        if (!std::filesystem::exists(kTimGM)) QSKIP("TimGM6mb.sf2 is not installed");
        ShowAndOpen();
        const auto reopened = [this](std::size_t from) {
            std::vector<std::string> sent = Sent();
            sent.erase(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(from));
            return std::find(sent.begin(), sent.end(), "Close VAVidev1 notify") != sent.end() &&
                   std::any_of(sent.begin(), sent.end(), [](const std::string& c) { return c.rfind("Open ", 0) == 0; });
        };
        std::size_t before = Sent().size();
        window_->files = {kTimGM.string()};
        InPreferences([](QDialog* dialog) { dialog->findChild<QPushButton*>(QStringLiteral("ChooseSoundFont"))->click(); });
        QVERIFY(reopened(before));
        // A playing song keeps its sound: it is not cut off.
        Action("mnuPlay")->trigger();
        before = Sent().size();
        InPreferences([](QDialog* dialog) { dialog->findChild<QRadioButton*>(QStringLiteral("DefaultSoundFont"))->click(); });
        QVERIFY(window_->Playback().soundFont == std::nullopt);
        QVERIFY(!reopened(before));
    }

    void AFileThatDoesNotLoadIsNamedAndTheOneBeforeStays() {
        const std::string bad = folder_->WriteSong({'n', 'o', 't', ' ', 's', 'f'}, "bad.sf2");
        window_->files = {bad};
        InPreferences([](QDialog* dialog) {
            dialog->findChild<QPushButton*>(QStringLiteral("ChooseSoundFont"))->click();
            QVERIFY(dialog->findChild<QRadioButton*>(QStringLiteral("DefaultSoundFont"))->isChecked());
        });
        QCOMPARE(window_->messages.size(), std::size_t{1});
        QVERIFY2(window_->messages[0].find(bad) != std::string::npos, window_->messages[0].c_str());
        QCOMPARE(window_->icons[0], Icon::Warning);
        QVERIFY(window_->Playback().soundFont == std::nullopt);
        QCOMPARE(log_.used.size(), std::size_t{1});  // nothing changed, nothing to use again
    }

    void AStoredSoundFontThatNoLongerLoadsIsNamedAtStartUp() {
        const std::filesystem::path gone = folder_->Path() / "gone.sf2";
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Sonivex"), QStringLiteral("Sonivex"))
            .setValue(QStringLiteral("Playback/SoundFont"), QString::fromStdString(gone.string()));
#ifndef SONIVEX_HAVE_PLAYER
        QSKIP("the double loads every file whose name does not hold \"bad\"");
#endif
        log_.used.clear();
        NewWindow();
        QCOMPARE(window_->messages.size(), std::size_t{1});
        QVERIFY2(window_->messages[0].find(gone.string()) != std::string::npos, window_->messages[0].c_str());
        QVERIFY(log_.used == (std::vector<PlaybackSettings>{{}}));  // the default plays
    }

    void TheOutputListOffersThePortsThereAreEachTimeItOpens() {
        log_.portLists = {{"Synth A:0", "Keyboard B:1"}, {"Synth A:0", "Keyboard B:1"}, {"Synth C:0"}};
        InPreferences([this](QDialog* dialog) {
            auto* output = dialog->findChild<QComboBox*>(QStringLiteral("OutputList"));
            QCOMPARE(output->itemText(0), QStringLiteral("Built-in synthesizer (FluidSynth)"));
            QCOMPARE(output->currentIndex(), 0);
            const int before = log_.portListings;
            output->showPopup();
            QCOMPARE(log_.portListings, before + 1);
            output->hidePopup();
            QCOMPARE(output->count(), 3);
            output->setCurrentIndex(2);
        });
        QVERIFY(window_->Playback().outputPort == std::optional<std::string>("Keyboard B:1"));
        QVERIFY(log_.used.back().outputPort == std::optional<std::string>("Keyboard B:1"));

        // Next run, the port is gone: it stays chosen, marked, until another is chosen.
        NewWindow();
        QVERIFY(window_->Playback().outputPort == std::optional<std::string>("Keyboard B:1"));
        InPreferences([](QDialog* dialog) {
            auto* output = dialog->findChild<QComboBox*>(QStringLiteral("OutputList"));
            output->showPopup();
            output->hidePopup();
            QCOMPARE(output->currentText(), QStringLiteral("Keyboard B:1 (not connected)"));
            QCOMPARE(output->itemText(1), QStringLiteral("Synth C:0"));
            output->setCurrentIndex(0);
        });
        QVERIFY(window_->Playback().outputPort == std::nullopt);
    }
};

int RunTransportWindowTests(int argc, char** argv) {
    TransportWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace sonivex::test

#include "transport_window_test.moc"

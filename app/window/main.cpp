// sonivex [FILE]: the window. With FILE, the Open command runs on it right after start-up, as if FILE had been
// chosen in the open dialog.
//
// When the environment variable SONIVEX_SCREENSHOT names a file, the program saves a picture of its window
// there as PNG once start-up (and the Open of FILE) is done, and quits: the exit status is 0 when the picture
// was saved. With SONIVEX_SCREENSHOT_VIEWS=1 it also saves, beside it, a picture of each view (each tab that
// shows) at 861x669 and maximised: NAME-overview-861x669.png, NAME-overview-maximised.png, NAME-report-...,
// and of the Preferences dialog: NAME-preferences.png.
#include <QApplication>
#include <QCommandLineParser>
#include <QFrame>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "app/folders.h"
#include "main_window.h"
#include "media_backend.h"
#include "media_frame.h"
#include "preferences_dialog.h"
#include "playback/audio_export.h"
#ifdef SONIVEX_HAVE_PLAYER
#include "playback/player/audio_exporter.h"
#include "playback/player/synth_engine.h"
#endif

#ifndef SONIVEX_VERSION
#error "the build defines SONIVEX_VERSION"
#endif

namespace {

// How long the window may settle after start-up before its picture is taken.
constexpr int kScreenshotDelayMs = 1500;

std::filesystem::path ExecutableFolder() {
    return std::filesystem::path(QCoreApplication::applicationDirPath().toLocal8Bit().toStdString());
}

// The icon theme's "sonivex" when one is installed, else the copy built into the program.
QIcon ApplicationIcon() {
    QIcon bundled;
    bundled.addFile(QStringLiteral(":/icons/sonivex-48.png"), QSize(48, 48));
    bundled.addFile(QStringLiteral(":/icons/sonivex-256.png"), QSize(256, 256));
    return QIcon::fromTheme(QStringLiteral("sonivex"), bundled);
}

// Qt's messages while the application starts: a display that cannot be opened ends the program with one line
// that says so, instead of Qt's own text and an abort. Other messages are written as Qt writes them.
void StartUpMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        const QString display = qEnvironmentVariable("DISPLAY");
        const QString where = display.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                                  ? QStringLiteral("no display to show the window on (DISPLAY is not set)")
                                  : QStringLiteral("the display %1 cannot be opened").arg(display);
        std::fprintf(stderr, "sonivex: %s; sonivex-cli FILE prints a song's report without a display\n",
                     qPrintable(where));
        std::_Exit(1);
    }
    // What the platform says while it fails to start is said in that one line.
    if (QLatin1String(context.category ? context.category : "").startsWith(QLatin1String("qt.qpa"))) return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

// What the command line asks for.
struct StartOptions {
    std::optional<std::filesystem::path> programFolder;
    bool noWait = false;
    std::string file;  // the full path of FILE; empty without one
};

// Reads the command line (help and version end the program there); nothing when it names more than one FILE.
std::optional<StartOptions> ReadCommandLine(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Analyses, changes and plays Standard MIDI Files."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption programFolderOption(
        QStringLiteral("program-folder"),
        QStringLiteral("Keep everything in DIR: the data files are read from it, the working files and logs/ "
                       "written there."),
        QStringLiteral("DIR"));
    parser.addOption(programFolderOption);
    const QCommandLineOption noWaitOption(
        QStringLiteral("no-wait"),
        QStringLiteral("With --program-folder: stop at once when another Sonivex run works in DIR, instead of "
                       "waiting for it to end."));
    parser.addOption(noWaitOption);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The MIDI file to open at start-up."),
                                 QStringLiteral("[FILE]"));
    parser.process(app);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) return std::nullopt;

    StartOptions options;
    options.noWait = parser.isSet(noWaitOption);
    if (parser.isSet(programFolderOption)) {
        std::error_code ec;
        options.programFolder =
            std::filesystem::absolute(parser.value(programFolderOption).toLocal8Bit().toStdString(), ec);
    }
    if (!files.isEmpty()) {
        // The dialog would have given the full path.
        std::error_code ec;
        options.file =
            std::filesystem::absolute(files.constFirst().toLocal8Bit().toStdString(), ec).lexically_normal().string();
    }
    return options;
}

// The playback set-up that the window's preferences choose from: FluidSynth's default SoundFont and its
// check of a file, the MIDI ports, and the back-end and the exporter that follow the settings (`exporter` is
// made again for each change).
sonivex::PlaybackHooks PlaybackSetUp(sonivex::MainWindow& window, sonivex::MediaBackend* backend,
                                     std::unique_ptr<sonivex::AudioExporter>& exporter) {
    sonivex::PlaybackHooks hooks;
    hooks.outputPorts = sonivex::MidiOutputPorts;
#ifdef SONIVEX_HAVE_PLAYER
    hooks.defaultSoundFont = [] { return sonivex::SoundFontOf(std::nullopt); };
    hooks.soundFontProblem = [](const std::filesystem::path& font) { return sonivex::SoundFontProblem(font); };
#endif
    hooks.use = [&window, backend, &exporter](const sonivex::PlaybackSettings& settings) {
        if (backend != nullptr) backend->Use(settings);
#ifdef SONIVEX_HAVE_PLAYER
        window.State().media.Exporter = nullptr;
        exporter = sonivex::MakeAudioExporter(settings.soundFont);
        window.State().media.Exporter = exporter.get();
#else
        (void)window;
        (void)exporter;
        (void)settings;
#endif
    };
    return hooks;
}

// Lets the window lay itself out and paint at its new size or view.
void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// The pictures of SONIVEX_SCREENSHOT_VIEWS: every view that shows, at 861x669 and maximised (the screen's
// available room, which a display without a window manager does not give by itself). False when one could not
// be saved.
bool SaveViews(sonivex::MainWindow& window, const QString& screenshot) {
    const QString stem = screenshot.endsWith(QLatin1String(".png")) ? screenshot.chopped(4) : screenshot;
    QTabWidget* views = window.Views();
    const int shown = views->currentIndex();
    bool saved = true;
    for (const bool maximised : {false, true}) {
        if (maximised) {
            window.showMaximized();
            if (const QScreen* display = window.screen()) window.setGeometry(display->availableGeometry());
        } else {
            window.showNormal();
            window.resize(861, 669);
        }
        Settle();
        for (int tab = 0; tab < views->count(); ++tab) {
            if (!views->isTabVisible(tab)) continue;
            views->setCurrentIndex(tab);
            Settle();
            const QString name = views->tabText(tab).toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
            const QString file = stem + QLatin1Char('-') + name + (maximised ? QStringLiteral("-maximised.png")
                                                                                : QStringLiteral("-861x669.png"));
            if (!window.grab().save(file, "PNG")) {
                std::fprintf(stderr, "sonivex: could not save the picture %s\n", qPrintable(file));
                saved = false;
            }
        }
    }
    views->setCurrentIndex(shown);
    return saved;
}

// The picture of Edit, Preferences... beside the window's: NAME-preferences.png, the dialog as the window
// would open it. False when it could not be saved.
bool SavePreferences(sonivex::MainWindow& window, const sonivex::PlaybackHooks& hooks, const QString& screenshot) {
    const QString stem = screenshot.endsWith(QLatin1String(".png")) ? screenshot.chopped(4) : screenshot;
    sonivex::PreferencesDialog dialog(window.Playback(), hooks, window, &window);
    dialog.show();
    Settle();
    const QString file = stem + QStringLiteral("-preferences.png");
    const bool saved = dialog.grab().save(file, "PNG");
    if (!saved) std::fprintf(stderr, "sonivex: could not save the picture %s\n", qPrintable(file));
    dialog.close();
    return saved;
}

// Once the event loop runs: opens `path` (when given), and with `screenshot` set saves the window's picture
// there a little later and closes the window; `screenshotStatus` becomes 1 when the picture is not saved.
void StartUp(sonivex::MainWindow& window, const sonivex::PlaybackHooks& hooks, const std::string& path,
             const QString& screenshot, int& screenshotStatus) {
    QTimer::singleShot(0, &window, [&window, &hooks, &screenshotStatus, path, screenshot] {
        if (!path.empty()) window.OpenFile(path);
        if (screenshot.isEmpty()) return;
        QTimer::singleShot(kScreenshotDelayMs, &window, [&window, &hooks, &screenshotStatus, screenshot] {
            if (!window.grab().save(screenshot, "PNG")) {
                std::fprintf(stderr, "sonivex: could not save the picture %s\n", qPrintable(screenshot));
                screenshotStatus = 1;
            }
            if (qEnvironmentVariable("SONIVEX_SCREENSHOT_VIEWS") == QLatin1String("1") &&
                (!SaveViews(window, screenshot) || !SavePreferences(window, hooks, screenshot))) {
                screenshotStatus = 1;
            }
            window.close();
        });
    });
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(StartUpMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    QApplication::setApplicationName(QStringLiteral("Sonivex"));
    QApplication::setApplicationVersion(QStringLiteral(SONIVEX_VERSION));
    QApplication::setWindowIcon(ApplicationIcon());
    const std::optional<StartOptions> options = ReadCommandLine(app);
    if (!options) {
        std::fputs("sonivex: only one FILE can be opened\n", stderr);
        return 2;
    }

    // Declared before the window, so the run folder goes only after the window has closed its files.
    std::string folderError;
    std::optional<sonivex::RunFolders> run = sonivex::MakeRunFolders(
        sonivex::FolderEnvironment::OfThisProcess(), ExecutableFolder(), options->programFolder, folderError,
        options->noWait ? sonivex::FolderLock::Wait::No : sonivex::FolderLock::Wait::UntilFree);
    if (!run) {
        std::fprintf(stderr, "sonivex: %s\n", folderError.c_str());
        QMessageBox::critical(nullptr, QStringLiteral("Sonivex"), QString::fromLocal8Bit(folderError.c_str()));
        return 1;
    }

    // With a program folder, the window's settings stay in it too, and so do those of Qt's file dialogs.
    if (options->programFolder) {
        const QString folder = QString::fromLocal8Bit(options->programFolder->string());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    }
    sonivex::MainWindow window(run->folders);
    QFrame* frame = window.MediaFrame();
    std::unique_ptr<sonivex::MediaBackend> backend = sonivex::MakeMediaBackend(
        [frame](std::intptr_t, int message, std::intptr_t first, std::intptr_t second) {
            sonivex::PostMediaNotification(frame, message, first, second);
        },
        [&window](bool found) { window.ShowSoundOutput(found); },
        [&window](const std::string& text) {
            // Told inside a media command; shown once the command is done.
            QMetaObject::invokeMethod(
                &window,
                [&window, text] {
                    window.ShowMessage(text, sonivex::Buttons::Ok, sonivex::Icon::Warning, sonivex::kAppTitle);
                },
                Qt::QueuedConnection);
        });
    window.State().media.Device = backend.get();
    std::unique_ptr<sonivex::AudioExporter> exporter;
    const sonivex::PlaybackHooks hooks = PlaybackSetUp(window, backend.get(), exporter);
    window.UsePlayback(hooks);
    window.show();

    int screenshotStatus = 0;
    StartUp(window, hooks, options->file, qEnvironmentVariable("SONIVEX_SCREENSHOT"), screenshotStatus);
    const int status = app.exec();
    window.close();  // shuts down while the back-end still exists
    window.State().media.Device = nullptr;
    window.State().media.Exporter = nullptr;
    return status != 0 ? status : screenshotStatus;
}

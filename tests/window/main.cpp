// Runs the window tests: every group, or the one named by the first argument ("MainWindowTest",
// "AboutDialogTest", "EditingWindowTest", "PianoRollWindowTest", "FilesWindowTest", "LyricsViewTest",
// "OverviewWindowTest" or "TransportWindowTest"); the remaining arguments go to Qt Test.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstring>

namespace sonivex::test {
int RunMainWindowTests(int argc, char** argv);
int RunAboutDialogTests(int argc, char** argv);
int RunEditingWindowTests(int argc, char** argv);
int RunPianoRollWindowTests(int argc, char** argv);
int RunFilesWindowTests(int argc, char** argv);
int RunLyricsViewTests(int argc, char** argv);
int RunOverviewWindowTests(int argc, char** argv);
int RunTransportWindowTests(int argc, char** argv);
}  // namespace sonivex::test

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The windows' settings (the recent songs) go to a folder of this run, never to the user's own.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    const char* group = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    if (group != nullptr) {
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    int failures = 0;
    if (group == nullptr || std::strcmp(group, "MainWindowTest") == 0) {
        failures += sonivex::test::RunMainWindowTests(argc, argv);
    }
    if (group == nullptr || std::strcmp(group, "AboutDialogTest") == 0) {
        failures += sonivex::test::RunAboutDialogTests(argc, argv);
    }
    if (group == nullptr || std::strcmp(group, "EditingWindowTest") == 0) {
        failures += sonivex::test::RunEditingWindowTests(argc, argv);
    }
    if (group == nullptr || std::strcmp(group, "PianoRollWindowTest") == 0) {
        failures += sonivex::test::RunPianoRollWindowTests(argc, argv);
    }
    if (group == nullptr || std::strcmp(group, "FilesWindowTest") == 0) {
        failures += sonivex::test::RunFilesWindowTests(argc, argv);
    }
    if (group == nullptr || std::strcmp(group, "LyricsViewTest") == 0) {
        failures += sonivex::test::RunLyricsViewTests(argc, argv);
    }
    if (group == nullptr || std::strcmp(group, "OverviewWindowTest") == 0) {
        failures += sonivex::test::RunOverviewWindowTests(argc, argv);
    }
    if (group == nullptr || std::strcmp(group, "TransportWindowTest") == 0) {
        failures += sonivex::test::RunTransportWindowTests(argc, argv);
    }
    return failures == 0 ? 0 : 1;
}

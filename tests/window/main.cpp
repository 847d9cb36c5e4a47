// Runs the window tests: both groups, or the one named by the first argument ("MainWindowTest" or
// "AboutDialogTest"); the remaining arguments go to Qt Test.
#include <QApplication>
#include <cstring>

namespace sonivex::test {
int RunMainWindowTests(int argc, char** argv);
int RunAboutDialogTests(int argc, char** argv);
}  // namespace sonivex::test

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
    return failures == 0 ? 0 : 1;
}

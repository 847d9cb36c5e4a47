// sonivex-cli: opens one MIDI file as the window's Open command would, without a window, and prints the
// report. Messages go to stderr, one line each; questions are answered from the options.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/open_command.h"
#include "reader/load.h"
#include "reader/platform.h"
#include "reader/session.h"

namespace {

const char* const kUsage =
    "Usage: sonivex-cli [--program-folder DIR] [--yes] FILE\n"
    "\n"
    "Opens the MIDI file FILE as Sonivex's Open command does, without a window, and prints its analysis\n"
    "report to stdout (every CR LF written as one LF).\n"
    "\n"
    "  --program-folder DIR  read genmidi.ini and style1.dat from DIR and write the working copy\n"
    "                        (sonivex-temp.tmp), notes.dat and logs/ there; the default is the folder\n"
    "                        of this program\n"
    "  --yes                 answer Yes to every question (the default answer is No)\n"
    "  --help                show this text\n"
    "\n"
    "Every message box is written to stderr as one line, in order:\n"
    "  message: TEXT               for a box with an OK button\n"
    "  question: TEXT -> Yes|No    for a Yes/No question and its answer\n"
    "A line break inside TEXT is written as the two characters \\n.\n"
    "\n"
    "At the end the working copy and notes.dat are deleted; the log in logs/ stays.\n"
    "\n"
    "Exit status: 0 the report was produced; 1 FILE is missing or was rejected by the load;\n"
    "2 usage error; 3 the report stopped on an error (its message was shown).\n";

std::string OneLine(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

class CliPlatform : public sonivex::Platform {
public:
    explicit CliPlatform(bool yes) : yes_(yes) {}

    sonivex::Answer ShowMessage(const std::string& text, sonivex::Buttons buttons, sonivex::Icon,
                                const std::string&) override {
        if (buttons == sonivex::Buttons::Ok) {
            std::fprintf(stderr, "message: %s\n", OneLine(text).c_str());
            return sonivex::Answer::Ok;
        }
        std::fprintf(stderr, "question: %s -> %s\n", OneLine(text).c_str(), yes_ ? "Yes" : "No");
        return yes_ ? sonivex::Answer::Yes : sonivex::Answer::No;
    }
    void SetBusy(bool) override {}
    void LetEventsRun() override {}
    void SetCaption(const std::string&) override {}

private:
    bool yes_;
};

std::filesystem::path ExecutableFolder(const char* argv0) {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0, ec);
    return exe.parent_path();
}

int Usage(const char* problem) {
    std::fprintf(stderr, "sonivex-cli: %s\n\n%s", problem, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder;
    bool yes = false;
    std::string file;
    bool haveFile = false;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (options && arg == "--yes") {
            yes = true;
        } else if (options && arg == "--program-folder") {
            if (i + 1 >= argc) return Usage("--program-folder needs a folder");
            folder = argv[++i];
        } else if (options && arg.rfind("--program-folder=", 0) == 0) {
            folder = arg.substr(std::strlen("--program-folder="));
        } else if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else if (haveFile) {
            return Usage("only one FILE can be opened");
        } else {
            file = arg;
            haveFile = true;
        }
    }
    if (!haveFile) return Usage("no FILE given");
    if (folder.empty()) folder = ExecutableFolder(argv[0]);

    CliPlatform platform(yes);
    sonivex::Session session(platform, std::filesystem::absolute(folder));
    sonivex::StartUp(session);
    const std::string sourcePath = std::filesystem::absolute(file).lexically_normal().string();
    const sonivex::OpenOutcome outcome = sonivex::OpenChosenFile(session, file, sourcePath);

    std::string text = session.form.RichTextBox1;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    sonivex::ShutdownFiles(session);

    switch (outcome) {
    case sonivex::OpenOutcome::Reported: return 0;
    case sonivex::OpenOutcome::ReportStopped: return 3;
    default: return 1;
    }
}

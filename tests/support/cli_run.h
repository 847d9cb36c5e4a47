// Runs the built sonivex-cli on a test session's program folder and keeps what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "test_session.h"

namespace sonivex::test {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// sonivex-cli --program-folder FOLDER ARGS, with no input; its output and errors go to files beside the folder.
inline CliRun RunCli(TestSession& t, const std::string& args) {
    const auto out = t.folder().parent_path() / "out.txt";
    const auto err = t.folder().parent_path() / "err.txt";
    const std::string command = std::string(SONIVEX_CLI) + " --program-folder '" + t.folder().string() + "' " +
                                args + " > '" + out.string() + "' 2> '" + err.string() + "' < /dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TestSession::ReadText(out), TestSession::ReadText(err)};
}

}  // namespace sonivex::test

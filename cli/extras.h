// The parts of sonivex-cli that need Qt or FluidSynth (the piano-roll picture and the audio export) live in a
// program of their own, sonivex-cli-extras (extras_main.cpp), which the tool runs only when a command asks for
// one of them: every other run starts without those libraries, and the tool itself needs none but the C
// library's, linked in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sonivex {

// The helper program's file name.
inline constexpr const char* kCliExtrasProgram = "sonivex-cli-extras";

// The helper program beside the tool (the build tree) or in the library folder of the install
// (`relativeFolder` from the tool's folder). Nothing, with the reason in `problem`, when neither holds it.
std::optional<std::filesystem::path> FindCliExtras(const std::filesystem::path& toolFolder,
                                                   const std::string& relativeFolder, std::string& problem);

// What a run of the helper program ended with.
struct HelperRun {
    bool ended = false;   // it ran and exited; false when it could not be started or was killed
    int status = 0;       // its exit status, when it ended
    std::string output;   // everything it wrote to its standard output
    std::string problem;  // why it did not end, when it did not
};

// Runs `program` with `arguments`, with `input` on its standard input and its standard error the tool's, and
// waits for it. Never throws for a program that fails; the result says what happened.
HelperRun RunHelper(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    std::span<const std::uint8_t> input);

// RunHelper with nothing on standard input, for a helper that runs until it is told to stop: while it runs,
// SIGINT and SIGTERM sent to the tool are passed on to it instead of ending the tool.
HelperRun RunHelperPassingSignals(const std::filesystem::path& program, const std::vector<std::string>& arguments);

// A helper program that stays for many requests: the tool writes to its standard input and reads its standard
// output, both one socket, line by line; its standard error is the tool's. Ending the session closes the
// socket, so the program sees the end of its input, and waits for it to exit.
class HelperSession {
public:
    // Starts `program` with `arguments`; nothing, with the reason in `problem`, when it cannot be started.
    static std::optional<HelperSession> Start(const std::filesystem::path& program,
                                              const std::vector<std::string>& arguments, std::string& problem);

    HelperSession(HelperSession&& other) noexcept;
    HelperSession& operator=(HelperSession&& other) noexcept;
    HelperSession(const HelperSession&) = delete;
    HelperSession& operator=(const HelperSession&) = delete;
    ~HelperSession();

    // Writes `bytes` to the program's input; false when it is gone (never a signal for the tool).
    bool Send(std::string_view bytes);

    // The next line of the program's output, without its line end; nothing when it ended first.
    std::optional<std::string> ReadLine();

private:
    HelperSession(int socket, int child) : socket_(socket), child_(child) {}
    void End();

    int socket_ = -1;
    int child_ = 0;  // the program's process id; 0 once it was waited for
    std::string read_;  // output read past the last line taken
};

}  // namespace sonivex

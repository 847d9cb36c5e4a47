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

}  // namespace sonivex

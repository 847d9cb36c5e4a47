#include <gtest/gtest.h>
#include <sys/stat.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "cli/extras.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

HelperRun Shell(const std::string& script, const Bytes& input = {}) {
    return RunHelper("/bin/sh", {"-c", script}, input);
}

TEST(HelperProgram, GetsItsInputAndGivesBackItsOutputAndStatus) {
    const HelperRun run = Shell("cat; printf ' and more'; exit 3", Bytes{'a', 'b', 'c'});
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.output, "abc and more");

    // An input far larger than a pipe holds arrives whole, and nothing waits on anything.
    const HelperRun large = Shell("wc -c", Bytes(300000, 'x'));
    EXPECT_TRUE(large.ended);
    EXPECT_EQ(large.status, 0);
    EXPECT_EQ(std::atoi(large.output.c_str()), 300000);

    // No input: the helper reads an empty standard input.
    EXPECT_EQ(std::atoi(Shell("wc -c").output.c_str()), 0);
}

TEST(HelperProgram, SaysWhyItDidNotEnd) {
    const HelperRun missing = RunHelper("/no/such/program", {}, {});
    EXPECT_FALSE(missing.ended);
    EXPECT_NE(missing.problem.find("/no/such/program could not be started"), std::string::npos);

    const HelperRun killed = Shell("kill -9 $$");
    EXPECT_FALSE(killed.ended);
    EXPECT_NE(killed.problem.find("ended abnormally (signal 9)"), std::string::npos);
}

TEST(HelperProgram, IsFoundBesideTheToolOrInTheLibraryFolder) {
    TestSession t;
    const std::filesystem::path tool = t.folder() / "bin";
    const std::filesystem::path library = t.folder() / "lib" / "sonivex";
    std::filesystem::create_directories(tool);
    std::filesystem::create_directories(library);
    std::string problem;
    EXPECT_FALSE(FindCliExtras(tool, "../lib/sonivex", problem));
    EXPECT_EQ(problem, "sonivex-cli-extras was not found beside sonivex-cli");

    // A file of that name that cannot be run is not the program.
    const std::filesystem::path installed = library / kCliExtrasProgram;
    std::ofstream(installed) << "#!/bin/sh\n";
    EXPECT_FALSE(FindCliExtras(tool, "../lib/sonivex", problem));
    ::chmod(installed.c_str(), 0755);
    EXPECT_EQ(FindCliExtras(tool, "../lib/sonivex", problem), installed);

    const std::filesystem::path beside = tool / kCliExtrasProgram;
    std::filesystem::copy_file(installed, beside);
    ::chmod(beside.c_str(), 0755);
    EXPECT_EQ(FindCliExtras(tool, "../lib/sonivex", problem), beside);
}

TEST(HelperProgram, ItsAbsenceMakesRenderAndPianoRollUnavailable) {
    TestSession t;
    // The tool alone in a folder: everything else still works, the two commands say why they cannot.
    const std::filesystem::path lone = t.folder() / "lone";
    std::filesystem::create_directories(lone);
    std::filesystem::copy_file(SONIVEX_CLI, lone / "sonivex-cli");
    const std::string song = t.WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build()).string();
    const std::string err = (t.folder() / "err.txt").string();
    const std::string run = (lone / "sonivex-cli").string() + " --program-folder '" + t.folder().string() + "' '" +
                            song + "' ";
    for (const std::string command : {"--render x.wav", "--piano-roll x.png"}) {
        const int raw = std::system((run + command + " > /dev/null 2> '" + err + "'").c_str());
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), 2) << command;
        const std::string said = TestSession::ReadText(err);
        EXPECT_NE(said.find(command.substr(0, command.find(' ')) + " is not available"), std::string::npos) << said;
    }
    EXPECT_EQ(std::system((run + " > /dev/null 2>&1").c_str()), 0);
}

TEST(HelperProgram, RefusesWhatItDoesNotUnderstand) {
    const std::filesystem::path helper = std::filesystem::path(SONIVEX_CLI).parent_path() / kCliExtrasProgram;
    if (!std::filesystem::exists(helper)) GTEST_SKIP() << "built without Qt and FluidSynth";
    EXPECT_EQ(RunHelper(helper, {}, {}).status, 2);
    EXPECT_EQ(RunHelper(helper, {"paint"}, {}).status, 2);
    EXPECT_EQ(RunHelper(helper, {"piano-roll", "a.mid", "a.png", "0", "10", "0"}, {}).status, 2);
    EXPECT_EQ(RunHelper(helper, {"piano-roll", "a.mid", "a.png", "640x", "10", "0"}, {}).status, 2);
}

TEST(HelperProgram, GetsTheSignalsSentToTheToolWhileItRunsAndTheToolKeepsRunning) {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    // Another thread interrupts this process while the helper runs; it blocks the signal itself, so that only
    // the waiting call can take it.
    std::thread sender([&interrupt] {
        pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(::getpid(), SIGINT);
    });
    const HelperRun run =
        RunHelperPassingSignals("/bin/sh", {"-c", "trap 'printf stopped; exit 7' INT; sleep 5 & wait"});
    sender.join();
    EXPECT_TRUE(run.ended) << run.problem;
    EXPECT_EQ(run.status, 7);
    EXPECT_EQ(run.output, "stopped");

    // The tool's signals stand as before: not blocked, and none left pending.
    sigset_t now;
    pthread_sigmask(SIG_BLOCK, nullptr, &now);
    EXPECT_FALSE(sigismember(&now, SIGINT));
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGINT));

    // A helper that ends by itself ends the wait at once.
    const HelperRun quick = RunHelperPassingSignals("/bin/sh", {"-c", "exit 3"});
    EXPECT_EQ(quick.status, 3);
}

}  // namespace
}  // namespace sonivex::test

// sonivex-cli --play, --port and --list-ports, without a MIDI service of the test's own (the JACK test,
// tests/playback/port_jack_test.py, plays to a port).
#include <gtest/gtest.h>

#include <chrono>

#include "support/cli_run.h"
#include "support/midi_builder.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// A quarter note at 120 beats a minute: half a second.
Bytes HalfSecondSong() {
    return MidiFile(0, 96).Add(Track().Tempo(0, 500000).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End()).Build();
}

#ifdef SONIVEX_CLI_PLAYS
TEST(PlayCli, PlaysTheSongInRealTimeAndGoesOnWithTheRun) {
    TestSession t;
    const auto song = t.WriteSong(HalfSecondSong());
    const auto out = t.folder().parent_path() / "played.mid";
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = RunCli(t, "--no-log " + Quoted(song) + " --play --save " + Quoted(out));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");  // not a word from the sound libraries, with a sound card or without
    EXPECT_GE(took, 0.5);
    EXPECT_NE(run.out.find("File        : " + song.string()), std::string::npos);  // the report, after the play
    EXPECT_TRUE(std::filesystem::exists(out));                                       // and the command after it
}
#endif

#ifdef SONIVEX_CLI_PORTS
TEST(PlayCli, APortThatDoesNotExistStopsTheRunBeforeAnythingIsDone) {
    TestSession t;
    const auto song = t.WriteSong(HalfSecondSong());
    const auto out = t.folder().parent_path() / "not-saved.mid";
    const CliRun run =
        RunCli(t, "--no-log " + Quoted(song) + " --save " + Quoted(out) + " --play --port 'No Such Synth:in'");
    EXPECT_EQ(run.status, 5);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("sonivex-cli: --port No Such Synth:in: no MIDI output port has that name; ", 0), 0u)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(PlayCli, ListsThePortsAndReadsThePortOption) {
    TestSession t;
    const CliRun listed = RunCli(t, "--list-ports");
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.err, "");
    EXPECT_TRUE(listed.out.empty() || listed.out.back() == '\n');

    const auto song = t.WriteSong(HalfSecondSong());
    const CliRun noName = RunCli(t, Quoted(song) + " --play --port");
    EXPECT_EQ(noName.status, 2);
    EXPECT_EQ(noName.err, "sonivex-cli: --port needs the name of a MIDI output port\n");
    // --port belongs to --play.
    EXPECT_EQ(RunCli(t, Quoted(song) + " --port x").status, 2);
}
#endif

}  // namespace
}  // namespace sonivex::test

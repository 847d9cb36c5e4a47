#include <gtest/gtest.h>

#include <cstdlib>

#include "support/test_session.h"

namespace sonivex::test {
namespace {

struct CliResult {
    int status;
    std::string err;
};

CliResult RunCli(TestSession& t, const std::string& args) {
    const auto err = t.folder().parent_path() / "err.txt";
    const std::string command = std::string(SONIVEX_CLI) + " --program-folder '" + t.folder().string() + "' " +
                                args + " > /dev/null 2> '" + err.string() + "' < /dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TestSession::ReadText(err)};
}

std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// Two tracks with program changes, so that a style re-instruments them and a copy adds a third track.
Bytes TwoTracks() {
    return MidiFile()
        .Add(Track().Program(0, 0, 5).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End())
        .Add(Track().Program(0, 1, 20).NoteOn(0, 1, 64, 90).NoteOff(96, 1, 64).End())
        .Build();
}

struct CliSong {
    TestSession t;
    std::filesystem::path song = t.WriteSong(TwoTracks(), "two.mid");
    std::filesystem::path Out(const std::string& name) { return t.folder().parent_path() / name; }
};

TEST(CliUndo, AStyleUndoneSavesTheOpenedSongByteForByte) {
    CliSong c;
    const CliResult run =
        RunCli(c.t, Quoted(c.song) + " --style-list 0 --apply-style --undo --save " + Quoted(c.Out("back.mid")));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(TestSession::ReadBytes(c.Out("back.mid")), TwoTracks());

    // The style did change the song, so the undo had something to do.
    RunCli(c.t, Quoted(c.song) + " --style-list 0 --apply-style --save " + Quoted(c.Out("styled.mid")));
    EXPECT_NE(TestSession::ReadBytes(c.Out("styled.mid")), TwoTracks());
}

TEST(CliUndo, UndoThenRedoGivesTheSameFileAsTheEditsAlone) {
    CliSong c;
    const std::string edits = " --copy-track 1 --copy --style-list 0 --apply-style";
    RunCli(c.t, Quoted(c.song) + edits + " --save " + Quoted(c.Out("edited.mid")));
    const CliResult run =
        RunCli(c.t, Quoted(c.song) + edits + " --undo --undo --redo --redo --save " + Quoted(c.Out("redone.mid")));
    EXPECT_EQ(run.status, 0) << run.err;
    const Bytes edited = TestSession::ReadBytes(c.Out("edited.mid"));
    ASSERT_FALSE(edited.empty());
    EXPECT_EQ(TestSession::ReadBytes(c.Out("redone.mid")), edited);
}

TEST(CliUndo, UndoWithNothingToUndoChangesNothing) {
    CliSong c;
    const CliResult run = RunCli(c.t, Quoted(c.song) + " --undo --redo --save " + Quoted(c.Out("same.mid")));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(TestSession::ReadBytes(c.Out("same.mid")), TwoTracks());
}

TEST(CliRender, WritesTheSongAsSoundOrSaysItCannot) {
    CliSong c;
    const CliResult run = RunCli(c.t, Quoted(c.song) + " --render " + Quoted(c.Out("two.wav")));
    if (run.status == 2) {
        EXPECT_NE(run.err.find("--render is not available"), std::string::npos);
        GTEST_SKIP() << "sonivex-cli was built without the player";
    }
    EXPECT_EQ(run.status, 0) << run.err;
    const Bytes wav = TestSession::ReadBytes(c.Out("two.wav"));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");

    const CliResult wrong = RunCli(c.t, Quoted(c.song) + " --render " + Quoted(c.Out("two.mp3")));
    EXPECT_EQ(wrong.status, 4);
    EXPECT_EQ(wrong.err, "message: " + c.Out("two.mp3").string() + ": the name must end in .wav, .flac or .ogg\n");
    EXPECT_FALSE(std::filesystem::exists(c.Out("two.mp3")));
}

}  // namespace
}  // namespace sonivex::test

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "app/folders.h"
#include "reader/timeline.h"

#include "support/cli_run.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

TEST(Cli, EditsKeepLongDeltaTimesWhole) {
    TestSession t;
    // A note held 1,500,000 ticks (three bytes) and a rest of 100,000,000 (four bytes) at 15,360 per quarter.
    const Bytes file = MidiFile(1, 15360)
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOff(1500000, 0, 60).NoteOn(100000000, 0, 62, 90)
                                    .NoteOff(10, 0, 62).End())
                           .Build();
    const auto song = t.WriteSong(file, "Held.mid");
    const auto saved = t.folder().parent_path() / "held-out.mid";
    for (const std::string edit : {"--effect-list Increase --volume --step 5 --apply-effect",
                                   "--effect-list Random --note --step 3 --apply-effect", "--copy"}) {
        std::filesystem::remove(saved);
        ASSERT_EQ(RunCli(t, Quoted(song) + " " + edit + " --save " + Quoted(saved)).status, 0) << edit;
        const Timeline timeline = ReadTimeline(TestSession::ReadBytes(saved));
        ASSERT_GE(timeline.notes.size(), 2u) << edit;
        EXPECT_EQ(timeline.notes[0].endTick - timeline.notes[0].startTick, 1500000u) << edit;
        EXPECT_EQ(timeline.notes[1].startTick, 101500000u) << edit;
    }
    // The report reads the four-byte delta whole too: 101,500,010 ticks at 120 beats a minute are 3304 s.
    EXPECT_NE(RunCli(t, Quoted(song)).out.find("Total time            : 55.04\n"), std::string::npos);
}

TEST(Cli, PrintsTheReportWithPlainLineEndsAndCleansUp) {
    TestSession t;
    const auto song = t.WriteSong(MidiFile().Add(Track().Name(0, "Lead").NoteOn(0, 0, 60, 100).End(96)).Build(), "Lead.mid");
    const CliRun run = RunCli(t, Quoted(song));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("File        : " + song.string() + "\n", 0), 0u);
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_NE(run.out.find("\nTr: 1  Length: 16\n       Name: Lead\n       Total time: 00.00\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(t.folder() / "sonivex-temp.tmp"));
    EXPECT_FALSE(std::filesystem::exists(t.folder() / "notes.dat"));
    EXPECT_TRUE(std::filesystem::exists(t.folder() / "logs" / "lead.txt"));
}

TEST(Cli, WritesMessagesAndAnswersOnStderr) {
    TestSession t;
    const Bytes bad = MidiFile().Add(Track().Meta(0, 0x58, {4, 2, 0, 8}).End()).Tail({1, 2}).Build();
    const auto song = t.WriteSong(bad, "bad.mid");
    const CliRun no = RunCli(t, Quoted(song));
    EXPECT_EQ(no.status, 0);
    EXPECT_EQ(no.err,
              "message: BAD.MID:\\nProbably unnecessary bytes at end of file. File should be OK.\n"
              "question: ERROR: Invalid Time Signature.  Repair?  -> No\n");
    const CliRun yes = RunCli(t, "--yes " + Quoted(song));
    EXPECT_EQ(yes.status, 0);
    EXPECT_NE(yes.err.find("Repair?  -> Yes\n"), std::string::npos);
    EXPECT_EQ(TestSession::ReadBytes(song), bad);
}

TEST(Cli, ExitsWithTheDocumentedStatus) {
    TestSession t;
    const CliRun missing = RunCli(t, "nowhere.mid");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "message: nowhere.mid does not exist\n");
    EXPECT_EQ(missing.out, "");

    const CliRun rejected = RunCli(t, Quoted(t.WriteSong({'x', 'y'}, "x.mid")));
    EXPECT_EQ(rejected.status, 1);
    EXPECT_EQ(rejected.err, "message: X.MID is not a MID file\nmessage: Error!\n");

    std::filesystem::remove(t.folder() / "genmidi.ini");
    const CliRun stopped = RunCli(t, Quoted(t.WriteSong(MidiFile().Add(Track().Program(0, 0, 3).End()).Build())));
    EXPECT_EQ(stopped.status, 3);
    EXPECT_EQ(stopped.err, "message: Error: 52\n");
    EXPECT_FALSE(std::filesystem::exists(t.folder() / "notes.dat"));

    EXPECT_EQ(RunCli(t, "").status, 2);
    EXPECT_EQ(RunCli(t, "--bogus x.mid").status, 2);
    const CliRun help = RunCli(t, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
}

TEST(Cli, SetsControlsAndPressesButtonsInOrder) {
    TestSession t;
    const auto song = t.WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build(), "edit.mid");
    const auto saved = t.folder().parent_path() / "songs" / "saved.mid";
    const CliRun run = RunCli(t, Quoted(song) + " --switch-track 0 --switch --copy-track 0 --copy --save " + Quoted(saved));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Total Tracks: 2\n"), std::string::npos);
    EXPECT_NE(run.out.find("   1      10            DRUM TRACK\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(saved));
    EXPECT_FALSE(std::filesystem::exists(t.folder() / "sonivex-temp.tmp"));

    const CliRun again = RunCli(t, Quoted(song) + " --save " + Quoted(saved));
    EXPECT_EQ(again.err, "question: " + saved.string() + " already exists, overwrite? -> No\nmessage: " +
                             saved.string() + " was not saved: it exists, and overwriting it was not confirmed\n");
    EXPECT_EQ(again.status, 4);
}

TEST(Cli, TreatsBadControlsAndCommandsAsUsageErrors) {
    TestSession t;
    const auto song = Quoted(t.WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build()));
    EXPECT_EQ(RunCli(t, song + " --switch-track 1").status, 2);  // one track: position 1 is beyond the list
    EXPECT_EQ(RunCli(t, song + " --melody maybe").status, 2);
    EXPECT_EQ(RunCli(t, song + " --bogus").status, 2);
    EXPECT_EQ(RunCli(t, song + " --apply-style").status, 2);  // no style chosen
    EXPECT_EQ(RunCli(t, song + " --apply-effect").status, 2);  // no effect chosen
    EXPECT_EQ(RunCli(t, song + " --style-list Rock --effect-list Random --key F --root c --pitch All").status, 0);

    std::filesystem::remove(t.folder() / "effects1.dat");
    const CliRun missing = RunCli(t, song);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "message: effects1.dat does not exist\n");
}

TEST(Cli, AnswersHelpAndVersionWithoutAFile) {
    TestSession t;
    const CliRun shortHelp = RunCli(t, "-h");
    EXPECT_EQ(shortHelp.status, 0);
    EXPECT_EQ(shortHelp.out, RunCli(t, "--help").out);
    for (const char* option : {"-h, --help", "--version", "--program-folder DIR", "4 a --save"}) {
        EXPECT_NE(shortHelp.out.find(option), std::string::npos) << option;
    }
    const CliRun version = RunCli(t, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "sonivex-cli " SONIVEX_VERSION "\n");
}

TEST(Cli, RefusesAFolderAsTheFile) {
    TestSession t;
    const CliRun run = RunCli(t, Quoted(t.folder()));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "message: " + t.folder().string() + " is a folder, not a MIDI file\n");
    EXPECT_EQ(run.out, "");
}

TEST(Cli, ExitsWith4WhenASaveCouldNotWriteItsFile) {
    TestSession t;
    const auto song = t.WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build());
    const auto nowhere = t.folder() / "no such folder" / "out.mid";
    const CliRun failed = RunCli(t, Quoted(song) + " --save " + Quoted(nowhere));
    EXPECT_EQ(failed.status, 4);
    EXPECT_EQ(failed.err, "message: " + nowhere.string() + " could not be saved: No such file or directory\n");
    EXPECT_NE(failed.out.find("File        : " + song.string()), std::string::npos);

    const auto saved = t.folder() / "out.mid";
    const CliRun ok = RunCli(t, Quoted(song) + " --save " + Quoted(saved));
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(TestSession::ReadBytes(saved), TestSession::ReadBytes(song));
}

TEST(Cli, ExitsWith4WheneverASaveOrARenderWroteNothing) {
    TestSession t;
    const auto out = t.folder().parent_path() / "out.mid";
    // A tempo of 0 stops the analysis: the song cannot be saved.
    const auto invalid = t.WriteSong(MidiFile().Add(Track().Tempo(0, 0).NoteOn(0, 0, 60, 100).End(96)).Build(), "t.mid");
    const CliRun stopped = RunCli(t, Quoted(invalid) + " --save " + Quoted(out));
    EXPECT_EQ(stopped.status, 4);
    EXPECT_EQ(stopped.err, "message: ERROR: Invalid Tempo\nmessage: " + out.string() +
                               " was not saved: the song has an error that stopped its analysis\n");
    EXPECT_FALSE(std::filesystem::exists(out));

    // A file that is refused: every file asked for is named.
    const auto refused = t.WriteSong({'x'}, "x.mid");
    const CliRun notOpened = RunCli(t, Quoted(refused) + " --save " + Quoted(out));
    EXPECT_EQ(notOpened.status, 4);
    EXPECT_EQ(notOpened.err, "message: X.MID is not a MID file\nmessage: Error!\nmessage: " + out.string() +
                                 " was not saved: " + refused.string() + " was not opened\n");
    EXPECT_EQ(RunCli(t, Quoted(refused)).status, 1);  // nothing to write: as before
}

TEST(Cli, ExitsWith4WhenAnEditCouldNotWriteItsResultAndSavesTheSongAsItWas) {
    TestSession t;
    Track lead = Track().Name(0, "Lead");
    for (int i = 0; i < 80; ++i) lead.NoteOn(i == 0 ? 0 : 24, 0, 60 + i % 12, 100).NoteOff(24, 0, 60 + i % 12);
    const Bytes bytes = MidiFile().Add(lead.End(0)).Build();
    ASSERT_GT(bytes.size(), 600u);
    ASSERT_LT(bytes.size(), 1000u);
    const auto song = t.WriteSong(bytes, "lead.mid");
    const auto out = t.folder().parent_path() / "out.mid";
    // No file of this run may grow beyond 1,000 bytes: the copied track does not fit.
    const std::string limited = "--no-log " + Quoted(song) + " --copy --save " + Quoted(out);
    const auto err = t.folder().parent_path() / "err.txt";
    const std::string command = "trap '' XFSZ; prlimit --fsize=1000 " + std::string(SONIVEX_CLI) + " --program-folder " +
                                Quoted(t.folder()) + " " + limited + " > /dev/null 2> " + Quoted(err) + " < /dev/null";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 4);
    EXPECT_EQ(TestSession::ReadText(err), "message: " + (t.folder() / "dffhedc").string() +
                                              " could not be written: File too large\\nThe song was left as it was.\n");
    EXPECT_EQ(TestSession::ReadBytes(out), bytes);
}

TEST(Cli, NamesWhatIsNoRegularFileAndTakesAnyNameAfterTheEndOfTheOptions) {
    TestSession t;
    const auto pipe = t.folder().parent_path() / "pipe.mid";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const CliRun fifo = RunCli(t, Quoted(pipe));
    EXPECT_EQ(fifo.status, 1);
    EXPECT_EQ(fifo.err, "message: " + pipe.string() + " is not a regular file\n");

    const Bytes bytes = MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build();
    const auto dashed = t.WriteSong(bytes, "-dashed.mid");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dashed.parent_path());
    const CliRun option = RunCli(t, "-dashed.mid");
    const CliRun ended = RunCli(t, "--yes -- -dashed.mid --copy");
    std::filesystem::current_path(before);
    EXPECT_EQ(option.status, 2);
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_NE(ended.out.find("Total Tracks: 2"), std::string::npos);
}

TEST(Cli, WaitsForAnotherRunInItsProgramFolderOrStopsWithNoWait) {
    TestSession t;
    const auto song = t.WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build());
    std::string error;
    std::optional<FolderLock> held = FolderLock::Take(t.folder(), FolderLock::Wait::No, error);
    ASSERT_TRUE(held.has_value()) << error;
    const CliRun busy = RunCli(t, "--no-wait " + Quoted(song));
    EXPECT_EQ(busy.status, 1);
    EXPECT_EQ(busy.err, "sonivex-cli: " + t.folder().string() + " is in use by another Sonivex run\n");
    EXPECT_EQ(busy.out, "");
    held.reset();
    EXPECT_EQ(RunCli(t, "--no-wait " + Quoted(song)).status, 0);
}

TEST(Cli, SavesEachRunsOwnSongWhenManyRunsShareOneProgramFolder) {
    TestSession t;
    constexpr int kRuns = 16;
    std::vector<std::filesystem::path> songs;
    for (int i = 0; i < kRuns; ++i) {
        MidiFile file;
        for (int k = 0; k <= i % 4; ++k) file.Add(Track().NoteOn(0, k, 40 + i, 60 + k).End(96 * (i + 1)));
        songs.push_back(t.WriteSong(file.Build(), "song" + std::to_string(i) + ".mid"));
    }
    const auto folder = t.folder().parent_path();
    // One after the other first: what each run saves alone.
    std::string together;
    for (int i = 0; i < kRuns; ++i) {
        const std::string n = std::to_string(i);
        ASSERT_EQ(RunCli(t, Quoted(songs[i]) + " --copy --save " + Quoted(folder / ("alone" + n + ".mid"))).status, 0);
        together += std::string(SONIVEX_CLI) + " --program-folder " + Quoted(t.folder()) + " " + Quoted(songs[i]) +
                    " --copy --save " + Quoted(folder / ("together" + n + ".mid")) + " > /dev/null 2>&1 & ";
    }
    ASSERT_EQ(std::system((together + "wait").c_str()), 0);
    for (int i = 0; i < kRuns; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(TestSession::ReadBytes(folder / ("together" + n + ".mid")),
                  TestSession::ReadBytes(folder / ("alone" + n + ".mid")))
            << "run " << i;
    }
}

// Runs the program as an installed user would: no --program-folder, HOME in a fresh folder.
CliRun RunAsUser(TestSession& t, const std::filesystem::path& home, const std::string& args) {
    const auto out = t.folder().parent_path() / "out.txt";
    const auto err = t.folder().parent_path() / "err.txt";
    const std::string command = "env -u XDG_CONFIG_HOME -u XDG_STATE_HOME HOME=" + Quoted(home) + " " +
                                std::string(SONIVEX_CLI) + " " + args + " > " + Quoted(out) + " 2> " + Quoted(err) +
                                " < /dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TestSession::ReadText(out), TestSession::ReadText(err)};
}

TEST(Cli, WorksInARunFolderOfItsOwnAndKeepsOnlyTheLog) {
    TestSession t;
    const auto home = t.folder().parent_path() / "home";
    std::filesystem::create_directories(home);
    const auto song = t.WriteSong(MidiFile().Add(Track().Name(0, "Lead").NoteOn(0, 0, 60, 100).End(96)).Build(),
                                  "my lead.mid");
    const CliRun run = RunAsUser(t, home, Quoted(song) + " --copy-track 0 --copy");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("File        : " + song.string() + "\n", 0), 0u);
    EXPECT_NE(run.out.find("Total Tracks: 2"), std::string::npos);
    const auto state = home / ".local" / "state" / "sonivex";
    EXPECT_TRUE(std::filesystem::exists(state / "logs" / "my lead.txt"));
    EXPECT_TRUE(std::filesystem::is_empty(state / "run"));
    // The configuration folder is only read, never made.
    EXPECT_FALSE(std::filesystem::exists(home / ".config"));
}

}  // namespace
}  // namespace sonivex::test

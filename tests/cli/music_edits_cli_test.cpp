// Transpose, Tempo and a track's instrument through sonivex-cli: the saved songs byte for byte against songs
// built with the change made by hand, so that a byte the edit should have kept shows up at once.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/cli_run.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

struct Cli {
    TestSession t;

    std::filesystem::path Path(const std::string& name) const { return t.folder().parent_path() / name; }

    CliRun Run(const std::string& args) { return RunCli(t, args); }

    // Opens `song`, runs `edits` and saves the result; the saved bytes (empty when nothing was saved).
    Bytes Saved(const Bytes& song, const std::string& edits, CliRun* run = nullptr) {
        const auto in = t.WriteSong(song, "in.mid");
        std::filesystem::remove(Path("saved.mid"));
        const CliRun done =
            Run("--no-log '" + in.string() + "' " + edits + " --save '" + Path("saved.mid").string() + "'");
        if (run != nullptr) *run = done;
        EXPECT_EQ(done.status, 0) << edits << "\n" << done.err;
        return TestSession::ReadBytes(Path("saved.mid"));
    }
};

// A melody as some sequencers write one, every key `by` semitones up: a delta of 0 spelled in two bytes, Note
// Ons in running status whose velocity 0 ends a note, key pressure, and a controller in between.
Track Melody(int by = 0) {
    Track t;
    t.Name(0, "Lead").Program(0, 0, 5);
    t.Raw({0x80, 0x00}).Raw({0x90, 60 + by, 100});
    t.Raw({48, 64 + by, 90}).Raw({48, 60 + by, 0});
    t.At(0, {0xA0, 64 + by, 30});
    t.At(10, {0xB0, 7, 100});
    t.At(38, {0x90, 64 + by, 0}).End();
    return t;
}

Track Drums() {
    return Track().Name(0, "Drums").NoteOn(0, 9, 36, 100).NoteOff(48, 9, 36).NoteOn(0, 9, 38, 90).NoteOff(48, 9, 38)
        .End();
}

TEST(CliTranspose, UpAndDownAgainGivesTheSongBackByteForByte) {
    Cli c;
    const Bytes song = MidiFile().Add(Melody()).Add(Drums()).Build();
    const Bytes up = c.Saved(song, "--transpose 2");
    // Only the keys changed: the long delta, the running status and every other event are as they were.
    EXPECT_EQ(up, MidiFile().Add(Melody(2)).Add(Drums()).Build());
    EXPECT_EQ(c.Saved(up, "--transpose -2"), song);
    EXPECT_EQ(c.Saved(song, "--transpose +2 --transpose -2"), song);
}

TEST(CliTranspose, LeavesTheDrumChannelsNotesWhereTheyAreEvenInAMelodyTrack) {
    Cli c;
    // One track of format 0 plays both: its drum notes must stay, though the track is no drum track alone.
    const auto mixed = [](int by) {
        return MidiFile(0)
            .Add(Track().NoteOn(0, 0, 50 + by, 90).NoteOn(0, 9, 42, 80).NoteOff(48, 9, 42).NoteOff(0, 0, 50 + by)
                     .NoteOn(0, 9, 36, 100).NoteOff(48, 9, 36).End())
            .Build();
    };
    EXPECT_EQ(c.Saved(mixed(0), "--transpose -7"), mixed(-7));
    EXPECT_EQ(c.Saved(MidiFile().Add(Drums()).Build(), "--transpose 5"), MidiFile().Add(Drums()).Build());
}

TEST(CliTranspose, ChangesOnlyTheTrackAskedFor) {
    Cli c;
    const Bytes song = MidiFile().Add(Melody()).Add(Melody()).Add(Drums()).Build();
    EXPECT_EQ(c.Saved(song, "--transpose 12 --transpose-track 2"),
              MidiFile().Add(Melody()).Add(Melody(12)).Add(Drums()).Build());
    EXPECT_EQ(c.Saved(song, "--transpose 12 --transpose-track 3"), song);
    EXPECT_EQ(c.t.ReadText(c.Path("err.txt")), "message: Track 3 has no melody notes to transpose\n");
}

TEST(CliTranspose, ANoteBeyondTheKeysChangesNothingAndSaysHowManyNotes) {
    Cli c;
    // Keys 120, 125 and 126 go up 5: two would pass 127. The drum note at 127 does not move and does not count.
    const Bytes song = MidiFile()
                           .Add(Track().NoteOn(0, 0, 120, 90).NoteOn(0, 0, 125, 90).NoteOn(0, 0, 126, 90)
                                    .NoteOn(0, 9, 127, 90).NoteOff(96, 0, 120).NoteOff(0, 0, 125).NoteOff(0, 0, 126)
                                    .NoteOff(0, 9, 127).End())
                           .Build();
    CliRun run;
    EXPECT_EQ(c.Saved(song, "--transpose 5", &run), song);
    EXPECT_EQ(run.err, "message: Transposing by +5 would move 2 notes outside the keys 0 to 127.\\nThe song was left "
                       "as it was.\n");
    // Downwards the same, and the edit after the refused one still runs.
    const Bytes low = MidiFile().Add(Track().NoteOn(0, 0, 10, 90).NoteOff(96, 0, 10).End()).Build();
    EXPECT_EQ(c.Saved(low, "--transpose -11 --transpose 1", &run),
              MidiFile().Add(Track().NoteOn(0, 0, 11, 90).NoteOff(96, 0, 11).End()).Build());
    EXPECT_EQ(run.err, "message: Transposing by -11 would move 1 note outside the keys 0 to 127.\\nThe song was left "
                       "as it was.\n");
}

// Four quarter notes at 96 ticks per quarter; the tempo `first` until tick 192, then `second` (none without).
Bytes Timed(std::optional<std::uint32_t> first, std::optional<std::uint32_t> second) {
    Track conductor;
    conductor.Name(0, "Conductor");
    if (first) conductor.Tempo(0, *first);
    if (second) conductor.Tempo(192, *second);
    conductor.End();
    Track melody;
    melody.Name(0, "Lead");
    for (int i = 0; i < 4; ++i) melody.NoteOn(0, 0, 60 + i, 90).NoteOff(96, 0, 60 + i);
    return MidiFile().Add(conductor).Add(melody.End()).Build();
}

std::string Duration(const std::string& json) {
    const std::string key = "\"duration_seconds\":";
    const std::size_t at = json.find(key);
    if (at == std::string::npos) return "none";
    return json.substr(at + key.size(), json.find(',', at) - at - key.size());
}

TEST(CliTempo, TwiceTheSpeedHalvesTheDurationThroughEveryTempoChange) {
    Cli c;
    // 1 s at 500,000 us per quarter, then 2 s at 1,000,000.
    const Bytes song = Timed(500000, 1000000);
    EXPECT_EQ(c.Saved(song, "--tempo-percent 200"), Timed(250000, 500000));
    const auto in = c.t.WriteSong(song, "timed.mid");
    EXPECT_EQ(Duration(c.Run("--json '" + in.string() + "'").out), "3");
    EXPECT_EQ(Duration(c.Run("--json '" + in.string() + "' --tempo-percent 200").out), "1.5");
    EXPECT_EQ(Duration(c.Run("--json '" + in.string() + "' --tempo-percent 25").out), "12");
    // To the nearest microsecond: 500,000 / 0.3 is 1,666,666.67.
    EXPECT_EQ(c.Saved(song, "--tempo-percent 30"), Timed(1666667, 3333333));
}

TEST(CliTempo, ASongWithoutATempoGetsOneAtTickZero) {
    Cli c;
    // The new event follows the conductor's name at tick 0, where a tempo of 500,000 held before.
    EXPECT_EQ(c.Saved(Timed(std::nullopt, std::nullopt), "--tempo-percent 200"), Timed(250000, std::nullopt));
    EXPECT_EQ(c.Saved(Timed(std::nullopt, std::nullopt), "--tempo-percent 80"), Timed(625000, std::nullopt));
    // Independent tracks each keep their own tempo: every one of them gets one.
    const auto independent = [](std::optional<std::uint32_t> tempo) {
        Track first = Track().Name(0, "A");
        Track second;
        if (tempo) {
            first.Tempo(0, *tempo);
            second.Tempo(0, *tempo);
        }
        return MidiFile(2).Add(first.NoteOn(0, 0, 60, 90).NoteOff(96, 0, 60).End())
            .Add(second.NoteOn(5, 1, 62, 90).NoteOff(96, 1, 62).End())
            .Build();
    };
    EXPECT_EQ(c.Saved(independent(std::nullopt), "--tempo-percent 400"), independent(125000));
}

TEST(CliTempo, ATempoThatNoEventCanHoldChangesNothing) {
    Cli c;
    // 5,000,000 us at 25 % would be 20,000,000: more than three bytes hold.
    const Bytes song = Timed(500000, 5000000);
    CliRun run;
    EXPECT_EQ(c.Saved(song, "--tempo-percent 25", &run), song);
    EXPECT_EQ(run.err, "message: At 25 %, 1 Set Tempo event would need more than the 16,777,215 microseconds per "
                       "quarter note that one can hold.\\nThe song was left as it was.\n");
}

TEST(CliInstrument, RewritesEveryProgramChangeOfThatTrackAndNothingElse) {
    Cli c;
    const auto song = [](int program) {
        return MidiFile()
            .Add(Track().Program(0, 0, 5).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End())
            .Add(Track().Program(0, 1, program).NoteOn(0, 1, 64, 90).Raw({96, 64, 0}).Program(0, 1, program)
                     .NoteOn(0, 1, 65, 90).NoteOff(96, 1, 65).End())
            .Add(Track().Program(0, 2, 20).NoteOn(0, 2, 67, 90).NoteOff(96, 2, 67).End())
            .Build();
    };
    // Program 41 as the report counts (Violin) is 40 in the file.
    CliRun run;
    EXPECT_EQ(c.Saved(song(20), "--instrument 2=41", &run), song(40));
    EXPECT_NE(run.out.find("   2       2      41    Violin\n"), std::string::npos) << run.out;
    EXPECT_EQ(c.Saved(song(20), "--instrument 2=21"), song(20));  // already that program: nothing to change
}

TEST(CliInstrument, ATrackWithoutAProgramChangeGetsOneAtItsStart) {
    Cli c;
    // After the name and time signature at tick 0, before the first note, which keeps its rest of 96 ticks.
    const auto song = [](bool program) {
        Track bass = Track().Name(0, "Bass").Meta(0, 0x58, {4, 2, 24, 8});
        if (program) bass.Program(0, 1, 32);
        return MidiFile().Add(Track().Program(0, 0, 5).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End())
            .Add(bass.NoteOn(96, 1, 40, 90).NoteOff(96, 1, 40).End())
            .Build();
    };
    EXPECT_EQ(c.Saved(song(false), "--instrument 2=33"), song(true));

    // A track of meta events alone has no channel to choose an instrument for.
    const Bytes conductor = Timed(500000, std::nullopt);
    CliRun run;
    EXPECT_EQ(c.Saved(conductor, "--instrument 1=1", &run), conductor);
    EXPECT_EQ(run.err, "message: No notes in track!\n");
}

TEST(CliMusicEdits, UndoAndRedoStepOverThem) {
    Cli c;
    const Bytes song = MidiFile().Add(Melody()).Add(Drums()).Build();
    const std::string edits = "--transpose 3 --tempo-percent 150 --instrument 1=41";
    const Bytes edited = c.Saved(song, edits);
    ASSERT_NE(edited, song);
    EXPECT_EQ(c.Saved(song, edits + " --undo --undo --undo"), song);
    EXPECT_EQ(c.Saved(song, edits + " --undo --undo --redo --redo"), edited);
}

TEST(CliMusicEdits, ValuesOutOfTheirRangeAreUsageErrors) {
    Cli c;
    const std::string song = "'" + c.t.WriteSong(MidiFile().Add(Melody()).Build()).string() + "'";
    for (const std::string wrong : {"--transpose 25", "--transpose -25", "--transpose two", "--transpose",
                                    "--transpose 1 --transpose-track 0", "--transpose 1 --transpose-track 2",
                                    "--tempo-percent 24", "--tempo-percent 401", "--tempo-percent 50.5",
                                    "--instrument 1=0", "--instrument 1=129", "--instrument 2=1", "--instrument 1",
                                    "--instrument =5"}) {
        EXPECT_EQ(c.Run(song + " " + wrong).status, 2) << wrong;
    }
    EXPECT_EQ(c.Run(song + " --transpose -24 --transpose-track 1 --tempo-percent 400 --instrument 1=128").status, 0);
}

}  // namespace
}  // namespace sonivex::test

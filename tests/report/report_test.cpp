#include <gtest/gtest.h>

#include "reader/data_files.h"
#include "report/analyse.h"
#include "report/report.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

const std::string kStyles = "Jazz=1,33,drum,36\r\nRock=30,1,drum,36\r\nTechno=81\r\n";

TEST(Report, AssemblesEverySectionInItsPlace) {
    ReportTestSession t;
    t.WriteDataFile("style1.dat", kStyles);
    const Track piano = Track()
                            .Name(0, "Piano")
                            .Tempo(0, 500000)
                            .Meta(0, 0x58, {4, 2, 24, 8})
                            .Meta(0, 0x59, {1, 0})
                            .Program(0, 0, 0)
                            .NoteOn(0, 0, 60, 100)
                            .NoteOff(192, 0, 60)
                            .NoteOn(0, 0, 64, 80)
                            .NoteOff(96, 0, 64)
                            .End();
    const Track drums = Track().Program(0, 9, 0).NoteOn(0, 9, 36, 120).NoteOn(96, 9, 38, 100).NoteOn(96, 9, 42, 90).End(96);
    const Bytes file = MidiFile().Add(piano).Add(drums).Build();
    ASSERT_TRUE(t.LoadAndReport(file));

    const std::string expected =
        "File        : " + t->song.SourcePath + "\r\n" +
        "File Size   : " + std::to_string(file.size()) + "\r\n"
        "Total Tracks: 2\r\n"
        "File Format : Multi\r\n"
        "Delta Ticks : 96\r\n"
        "\r\n"
        "Number of Instruments : 4\r\n"
        "(Melody)              : 1\r\n"
        "(Rhythm)              : 3\r\n"
        "Main Instrument       : Acoustic Grand Piano\r\n"
        "Main Instrument Groups: Piano\r\n"
        "                        Percussive\r\n"
        "Style                 : Rock\r\n"
        "Complex               : 4\r\n"
        "Average Volume        : 93\r\n"
        "Total time            : 0.01\r\n"
        "\r\n"
        "TRACK  CHANNEL  NUMBER  INSTRUMENT\r\n"
        "------------------------------------------------\r\n"
        "   1       1       1    Acoustic Grand Piano\r\n"
        "   2      10            DRUM TRACK\r\n"
        "\r\n"
        "MAIN INSTRUMENTS:\r\n"
        "Acoustic Grand Piano             288\r\n"
        "Bass Drum 1 (36)                  96\r\n"
        "Acoustic Snare (38)               96\r\n"
        "Closed Hi Hat (42)                96\r\n"
        "\r\n"
        "MAIN INSTRUMENT GROUPS:\r\n"
        "Piano                             50%\r\n"
        "Percussive                        50%\r\n"
        "\r\n"
        "Main 10 Melody Instruments:\r\n"
        "1\r\n"
        "\r\n"
        "Main 10 Drum Instruments:\r\n"
        "36,38,42\r\n"
        "\r\n"
        "Tr: 1  Length: " + std::to_string(piano.Data().size()) + "\r\n"
        "       Name: Piano\r\n"
        "       Set Tempo: 120\r\n"
        "       Time Signature: 4/4\r\n"
        "       Key Signature: G Major\r\n"
        "       Total time: 00.01\r\n"
        "Tr: 2  Length: " + std::to_string(drums.Data().size()) + "\r\n"
        "       Total time: 00.01\r\n";
    EXPECT_EQ(t->report.PaneText, expected);
    EXPECT_TRUE(t.platform().messages.empty());
    EXPECT_FALSE(t->song.Notes.InUse());
    EXPECT_EQ(t->song.Notes.Values(1), EventRecord::Unwritten());  // the records are forgotten at the end
    EXPECT_FALSE(t->song.NotesFileInUse);
}

TEST(Report, WritesTheLogHeaderFileFactsAndTrackHeadings) {
    ReportTestSession t;
    const Bytes file = MidiFile(0).Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build();
    ASSERT_TRUE(t.LoadAndReport(file, "Tune.mid"));
    const std::string log = t.LogText();
    const std::string facts = "File Size   : " + std::to_string(file.size()) +
                              "\r\nTotal Tracks: 1\r\nFile Format : single\r\nDelta Ticks : 96\r\n";
    EXPECT_NE(log.find("\r\n" + facts + std::string(70, '\xC4') + "\r\nTrack : 1\r\nLength: 8\r\n" +
                       std::string(70, '-') + "\r\n"),
              std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 19), "Total Time: 00.00\r\n");
    EXPECT_EQ(log.find("\r\n"), log.find(facts) - 2);  // the header is one line
    // Every report run writes its header and facts again.
    ASSERT_EQ(BuildReport(*t), ReportOutcome::Done);
    const std::string again = t.LogText();
    EXPECT_NE(again.find(facts, again.find(facts) + 1), std::string::npos);
}

TEST(TrackTimes, HoldHalfASecondPerQuarterBeforeAnyTempo) {
    ReportTestSession t;
    // 5000 ticks at 96 per quarter and the standard's default of 120 beats a minute: 26.04 s.
    ASSERT_TRUE(t.LoadAndReport(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(5000)).Build()));
    EXPECT_EQ(t->song.TrackLines(1, 1), "Total time: 00.26");
    EXPECT_NE(t->report.PaneText.find("Total time            : 0.26\r\n"), std::string::npos);
    EXPECT_NE(t.LogText().find("Total Time: 00.26\r\n"), std::string::npos);
}

TEST(TrackTimes, AreWholeSecondsRoundedDownExactly) {
    // 120 ticks: 0.625 s. 11808 ticks: 61.5 s. 11520 ticks: exactly one minute, which no rounding may lose.
    const std::vector<std::pair<std::uint32_t, std::string>> cases = {
        {120, "00.00"}, {11808, "01.01"}, {11520, "01.00"}, {11519, "00.59"}};
    for (const auto& [ticks, shown] : cases) {
        ReportTestSession t;
        ASSERT_TRUE(t.LoadAndReport(MidiFile().Add(Track().Tempo(0, 500000).NoteOn(0, 0, 60, 1).End(ticks)).Build()));
        EXPECT_EQ(t->song.TrackLines(1, 2), "Total time: " + shown) << ticks;
    }
}

TEST(TrackTimes, FollowEveryTempoOfEveryTrackInAMultiTrackSong) {
    // Track 2's tempo change at tick 192 times track 1 too: 1 s at 120 beats a minute, then 2 s at 60.
    const auto song = [](int format) {
        return MidiFile(format)
            .Add(Track().Tempo(0, 500000).NoteOn(0, 0, 60, 1).End(384))
            .Add(Track().Tempo(192, 1000000).NoteOn(0, 0, 60, 1).End(288))
            .Build();
    };
    ReportTestSession t;
    ASSERT_TRUE(t.LoadAndReport(song(1)));
    EXPECT_EQ(t->song.TrackLines(1, 2), "Total time: 00.03");
    EXPECT_EQ(t->song.TrackLines(2, 2), "Total time: 00.04");  // 480 ticks: 1 s, then 3 s
    EXPECT_NE(t->report.PaneText.find("Total time            : 0.04\r\n"), std::string::npos);

    // In a song of format 2 every track keeps its own tempo: track 1 lasts 2 s, track 2 still 1 s + 3 s.
    ReportTestSession u;
    ASSERT_TRUE(u.LoadAndReport(song(2)));
    EXPECT_EQ(u->song.TrackLines(1, 2), "Total time: 00.02");
    EXPECT_EQ(u->song.TrackLines(2, 2), "Total time: 00.04");

    // Without a log the tracks are timed after the last one is decoded, by the same maps.
    for (const int format : {1, 2}) {
        ReportTestSession quiet;
        quiet->song.Log.SwitchOff();
        ASSERT_TRUE(quiet.LoadAndReport(song(format)));
        EXPECT_EQ(quiet->song.TrackLines(1, 2), format == 1 ? "Total time: 00.03" : "Total time: 00.02");
        EXPECT_EQ(quiet->song.TrackLines(2, 2), "Total time: 00.04");
        EXPECT_EQ(quiet->song.TrackLineCount[1], 2) << "each track has one time line";
        EXPECT_EQ(quiet->report.Built.totalSeconds, 4u);
    }
}

TEST(TrackTimes, CountTheDeltasAfterMetaEventsAndBeforeEndOfTrack) {
    ReportTestSession t;
    // A drum part whose time signature is followed by 3,065 ticks: they are part of its 8 s.
    const Bytes file = MidiFile(0, 192)
                           .Add(Track()
                                    .Meta(0, 0x58, {4, 2, 24, 8})
                                    .NoteOn(3065, 9, 36, 100)
                                    .NoteOff(96, 9, 36)
                                    .Name(0, "Drums")
                                    .End(0))
                           .Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    EXPECT_NE(t->report.PaneText.find("       Total time: 00.08\r\n"), std::string::npos);
}

TEST(TrackTimes, CountTheLastEventsDeltaAndSkipTracksWithoutEvents) {
    ReportTestSession t;
    const Bytes file = MidiFile()
                           .Add(Track().Tempo(0, 500000).End())
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOff(96 * 2 * 70, 0, 60).End(96 * 2 * 10))
                           .Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    EXPECT_EQ(t->song.TrackLineCount[1], 1);  // only its tempo line
    EXPECT_EQ(t->song.TrackLines(2, 1), "Total time: 01.20");
}

TEST(AnalyseFile, ReportsASongOrRefusesItWithTheLoadsMessages) {
    ReportTestSession t;
    const auto song = t.WriteSong(MidiFile().Add(Track().Tempo(0, 500000).NoteOn(0, 0, 60, 100).End(384)).Build());
    EXPECT_EQ(AnalyseFile(*t, song.string()), AnalysisOutcome::Reported);
    EXPECT_EQ(t->report.Built.totalSeconds, 2u);
    EXPECT_EQ(t->report.Built.header.trackCount, 1);
    EXPECT_TRUE(t.platform().messages.empty());

    ReportTestSession u;
    const auto text = u.WriteSong(Bytes{'h', 'e', 'l', 'l', 'o'}, "notes.mid");
    EXPECT_EQ(AnalyseFile(*u, text.string()), AnalysisOutcome::Refused);
    EXPECT_EQ(u.platform().messages, (std::vector<std::string>{"NOTES.MID is not a MID file", "Error!"}));
    EXPECT_TRUE(u->report.Built.tracks.empty());
}

TEST(Summary, AveragesTheVolumeOverTracksWithNotesOnly) {
    ReportTestSession t;
    const Bytes file = MidiFile(2)
                           .Add(Track().Program(0, 0, 0).End())
                           .Add(Track().NoteOn(0, 0, 60, 101).End(1))
                           .Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    // Max 101, min 101: floor(202 / 2).
    EXPECT_NE(t->report.PaneText.find("Average Volume        : 101\r\n"), std::string::npos);
    EXPECT_NE(t->report.PaneText.find("File Format : Multi (independent)\r\n"), std::string::npos);

    ReportTestSession u;
    ASSERT_TRUE(u.LoadAndReport(MidiFile().Add(Track().Program(0, 0, 0).End()).Build()));
    EXPECT_NE(u->report.PaneText.find("Average Volume        : 0\r\n"), std::string::npos);
}

TEST(Summary, SaysNoInstrumentsWhenNothingPlays) {
    ReportTestSession t;
    ASSERT_TRUE(t.LoadAndReport(MidiFile().Add(Track().Meta(0, 0x01, "x").End()).Build()));
    EXPECT_NE(t->report.PaneText.find("\r\nMAIN INSTRUMENTS:\r\nNo instruments\r\n\r\nMAIN INSTRUMENT GROUPS:\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(t->report.PaneText.find("Main Instrument       : \r\n"), std::string::npos);
    EXPECT_NE(t->report.PaneText.find("Style                 : unknown\r\n"), std::string::npos);
}

TEST(Instruments, KeepTheExchangeSortsOrderForEqualWeights) {
    ReportTestSession t;
    Track track;
    const int weights[] = {1, 2, 1, 2};
    for (int p = 0; p < 4; ++p) track.Program(0, 0, p).NoteOn(0, 0, 60, 100).NoteOff(weights[p], 0, 60);
    ASSERT_TRUE(t.LoadAndReport(MidiFile().Add(track.End()).Build()));
    EXPECT_NE(t->report.PaneText.find("Main 10 Melody Instruments:\r\n2,4,3,1\r\n"), std::string::npos);
}

TEST(Instruments, NameDrumKeysBelow27UnknownPercussion) {
    ReportTestSession t;
    ASSERT_TRUE(t.LoadAndReport(MidiFile().Add(Track().NoteOn(0, 9, 20, 100).End(10)).Build()));
    EXPECT_NE(t->report.PaneText.find("unknown percussion (20)           10\r\n"), std::string::npos);
    EXPECT_NE(t->report.PaneText.find("Percussive                       100%\r\n"), std::string::npos);
    EXPECT_NE(t->report.PaneText.find("Main 10 Melody Instruments:\r\n\r\n"), std::string::npos);
}

TEST(Style, GoesToTheLastOfEqualScores) {
    ReportTestSession t;
    t.WriteDataFile("style1.dat", "A=5\r\n\r\nB=5,6\r\nC=7\r\n");
    ASSERT_TRUE(t.LoadAndReport(MidiFile().Add(Track().Program(0, 0, 4).Program(0, 1, 5).End()).Build()));
    EXPECT_EQ(t->report.Built.style, "B");

    ReportTestSession u;
    u.WriteDataFile("style1.dat", "A=5\r\nB=6\r\n");
    ASSERT_TRUE(u.LoadAndReport(MidiFile().Add(Track().Program(0, 0, 99).End()).Build()));
    EXPECT_EQ(u->report.Built.style, "B");  // nothing matches: the last line
}

TEST(ReportErrors, StopTheAnalysisWithTheErrorNumber) {
    struct Case {
        const char* file;
        std::string text;
        Bytes song;
        std::vector<std::string> messages;
    };
    const Bytes melody = MidiFile().Add(Track().Program(0, 0, 1).NoteOn(0, 0, 60, 9).End(3)).Build();
    const Bytes drums = MidiFile().Add(Track().NoteOn(0, 9, 40, 9).End(3)).Build();
    const std::vector<Case> cases = {
        {"genmidi.ini", "", melody, {"Error: 52"}},
        {"genmidi.ini", "[Melody]\r\n1=A\r\n2=B\r\n", drums, {"Error: 62"}},
        {"style1.dat", "Rock=1\r\nno sign\r\n", melody, {"Error: 5"}},
        {"style1.dat", "", melody, {"Error: 52"}},
    };
    for (const Case& c : cases) {
        ReportTestSession t;
        if (c.text.empty()) {
            std::filesystem::remove(t.folder() / c.file);
        } else {
            t.WriteDataFile(c.file, c.text);
        }
        ASSERT_TRUE(t.Load(c.song));
        EXPECT_EQ(BuildReport(*t), ReportOutcome::Stopped) << c.file;
        EXPECT_EQ(t.platform().messages, c.messages) << c.file << " " << c.text;
        EXPECT_EQ(t->report.PaneText, "");
    }
}

}  // namespace
}  // namespace sonivex::test

#include <gtest/gtest.h>

#include "reader/distinct_values.h"
#include "reader/parse.h"
#include "report/report.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

TEST(ChannelTable, ListsProgramsUnderTheHeadingAndOneRowPerDrumTrack) {
    ReportTestSession t;
    const Bytes file = MidiFile()
                           .Add(Track().Program(0, 1, 0).NoteOn(0, 1, 60, 100).End(10))
                           .Add(Track().Program(0, 9, 32).NoteOn(0, 9, 36, 100).NoteOn(48, 9, 38, 90).End())
                           .Add(Track().Program(0, 15, 127).End())
                           .Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    const std::string& pane = t->report.PaneText;
    const std::size_t from = pane.find("TRACK  CHANNEL");
    ASSERT_NE(from, std::string::npos);
    EXPECT_EQ(pane.substr(from, pane.find("\r\n\r\nMAIN INSTRUMENTS:") - from),
              "TRACK  CHANNEL  NUMBER  INSTRUMENT\r\n" + std::string(48, '-') + "\r\n" +
                  "   1       2       1    Acoustic Grand Piano\r\n"
                  "   2      10            DRUM TRACK\r\n"
                  "   3      16     128    Gunshot");
    EXPECT_EQ(t->song.ProgramChangeCount, 3);  // the kit is not in the list
    EXPECT_EQ(t->song.Counts.InstrumentTicks[164], 48);
    EXPECT_EQ(t->song.Counts.InstrumentTicks[0], 10);
}

TEST(ProgramChanges, RecordThePositionBeforeEachProgramNumber) {
    ReportTestSession t;
    const Bytes file = MidiFile().Add(Track().Raw({0, 0xC0, 5, 0, 7}).End()).Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    EXPECT_EQ(t->song.ProgramChangeCount, 3);
    EXPECT_EQ(t->song.ProgramChangePos[1], 24);  // the status byte
    EXPECT_EQ(t->song.ProgramChangePos[2], 26);  // the delta before the repeat
    EXPECT_EQ(t->song.ProgramChangeProgram[2], 7);
    ASSERT_EQ(t->song.ChannelRows.size(), 2u);
    EXPECT_EQ(t->song.ChannelRows[1].program, 8);
    EXPECT_EQ(t->song.ChannelRows[1].instrument, "Clavi");
    EXPECT_NE(t->report.PaneText.find("   1       1       8    Clavi\r\n"), std::string::npos);
}

TEST(ProgramChanges, WarnAboutAProgramAbove127AndGoOn) {
    ReportTestSession t;
    ASSERT_TRUE(t.Load(MidiFile().Add(Track().Program(0, 0, 130).NoteOn(0, 0, 60, 1).End()).Build()));
    t->song.QuietParse = true;
    t->song.CurrentTrack = 1;
    ParseTrack(*t);
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"ERROR: Invalid Instrument"}));
    EXPECT_TRUE(t->song.FileValid);
    EXPECT_EQ(t->song.RecordCount, 2);
}

TEST(NoteStatistics, CountVelocitiesAndTimesAsTheReportNeedsThem) {
    ReportTestSession t;
    ASSERT_TRUE(t.LoadAndReport(MidiFile()
                                    .Add(Track().NoteOn(0, 0, 60, 0).NoteOn(0, 0, 60, 80).NoteOff(5, 0, 60)
                                             .NoteOn(96, 0, 62, 90).End(4))
                                    .Build()));
    EXPECT_EQ(t->song.Counts.VelocityCount[0], 1);
    EXPECT_EQ(t->song.MinVelocity, 64);  // the Note Off's velocity; 0 does not count
    EXPECT_EQ(t->song.MaxVelocity, 90);
    EXPECT_EQ(t->song.Counts.InstrumentTicks[0], 9);  // only deltas after Note Ons with a velocity
    EXPECT_EQ(t->song.Counts.DeltaValueKinds, 4);
}

TEST(Overflows, StopTheReportWithTheTableMessage) {
    ReportTestSession t;
    // A drum key above 127 is beyond the drum-note table.
    ASSERT_TRUE(t.Load(MidiFile().Add(Track().Raw({0, 0x99, 0xC8, 0x40}).End()).Build()));
    EXPECT_EQ(BuildReport(*t), ReportOutcome::Stopped);
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"ERROR: Too many notes for array", "Error: 9"}));
}

// Regression: these counters were 16 bits, and the 32,768th controller event of one value stopped the report.
TEST(Overflows, CountPastSixteenBitsWithoutStopping) {
    ReportTestSession t;
    Track track;
    for (int i = 0; i < 32768; ++i) track.At(i % 1000, {0xB0 | (i % 9), 7, 100});
    ASSERT_TRUE(t.Load(MidiFile().Add(track.End()).Build()));
    EXPECT_EQ(BuildReport(*t), ReportOutcome::Done);
    EXPECT_TRUE(t.platform().messages.empty());
}

}  // namespace
}  // namespace sonivex::test

namespace sonivex::test {
namespace {

TEST(DistinctValues, CountEachValueOnceOnBothSidesOfTheBitLimitUntilCleared) {
    DistinctValues seen;
    const std::int64_t big = std::int64_t{1} << 22;
    for (const std::int64_t v : {std::int64_t{0}, std::int64_t{63}, std::int64_t{64}, big - 1, big, big + 1}) {
        EXPECT_TRUE(seen.Insert(v)) << v;
        EXPECT_FALSE(seen.Insert(v)) << v;
    }
    seen.Clear();
    EXPECT_TRUE(seen.Insert(64));
    EXPECT_TRUE(seen.Insert(big));
}

}  // namespace
}  // namespace sonivex::test

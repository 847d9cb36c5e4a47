// Songs as they come from the world: large performances, many tracks, every program, the standard's text
// events, sequencer leftovers. None of them may be refused or stopped by a fixed limit of the program.
#include <gtest/gtest.h>

#include <string>

#include "app/commands.h"
#include "app/editing.h"
#include "edit/writer.h"
#include "reader/parse.h"
#include "report/report.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

// The report pane's line that starts with `label`, without its line end; empty when there is none.
std::string ReportLine(TestSession& t, const std::string& label) {
    const std::string& text = t->report.PaneText;
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return "";
    return text.substr(at, text.find("\r\n", at) - at);
}

// Loads and reports the song, expecting a whole report with no message at all.
void ExpectFullReport(TestSession& t, const Bytes& song) {
    ASSERT_TRUE(t.LoadAndReport(song));
    EXPECT_TRUE(t.platform().messages.empty()) << t.platform().messages.front();
    EXPECT_EQ(t->RunErrorCount, 0);
    EXPECT_TRUE(t->song.FileValid);
}

TEST(RealWorldSongs, ReportAHundredTracks) {
    TestSession t;
    MidiFile file;
    for (int i = 0; i < 100; ++i) file.Add(Track().Program(0, i % 9, i).NoteOn(0, i % 9, 60, 100).NoteOff(96, i % 9, 60).End());
    ExpectFullReport(t, file.Build());
    EXPECT_EQ(ReportLine(t, "Total Tracks:"), "Total Tracks: 100");
    EXPECT_NE(t->report.PaneText.find("Tr:100  Length:"), std::string::npos);
}

TEST(RealWorldSongs, ReportAHumanPerformanceOfOneHundredAndTwentyThousandEvents) {
    TestSession t;
    Track track;
    track.Program(0, 0, 0);
    // 40,000 notes of one velocity, each followed by the same delta: counters that were 16 bits.
    for (int i = 0; i < 60000; ++i) track.NoteOn(i == 0 ? 0 : 5, 0, 40 + i % 40, 64).NoteOff(5, 0, 40 + i % 40);
    ExpectFullReport(t, MidiFile().Add(track.End()).Build());
    EXPECT_EQ(ReportLine(t, "Main Instrument "), "Main Instrument       : Acoustic Grand Piano");
    EXPECT_EQ(ReportLine(t, "Average Volume"), "Average Volume        : 64");
    EXPECT_EQ(ReportLine(t, "Acoustic Grand Piano  "), "Acoustic Grand Piano          300000");
}

TEST(RealWorldSongs, ReportFiveThousandDistinctDeltasAndAThousandSysexEvents) {
    TestSession t;
    Track track;
    for (int i = 0; i < 5000; ++i) track.NoteOn(i, 0, 60, 100).NoteOff(1, 0, 60);
    for (int i = 0; i < 1000; ++i) track.At(1, {0xF0, 3, 0x7E, 0x7F, 0xF7});
    ExpectFullReport(t, MidiFile().Add(track.End()).Build());
    EXPECT_GT(t->song.Counts.DeltaValueKinds, 4000);  // the table once held 2,000
    EXPECT_EQ(t->song.RecordCount, 11000);  // every note and sysex event is a record
}

TEST(RealWorldSongs, ReportFiveThousandProgramChangesAndGuessTheirStyle) {
    TestSession t;
    t.WriteDataFile("style1.dat", "Piano=1,2\r\nOrgan=17\r\n");
    Track track;
    for (int i = 0; i < 5000; ++i) track.Program(1, 0, i % 2).NoteOn(0, 0, 60, 100).NoteOff(1, 0, 60);
    ExpectFullReport(t, MidiFile().Add(track.End()).Build());
    EXPECT_EQ(t->song.Counts.ProgramChangeTotal, 5000);
    EXPECT_EQ(ReportLine(t, "Style"), "Style                 : Piano");
}

TEST(RealWorldSongs, RankAllOneHundredAndTwentyEightProgramsAndSixtyDrumKeys) {
    TestSession t;
    Track melody;
    for (int p = 0; p < 128; ++p) melody.Program(0, p % 9, p).NoteOn(0, p % 9, 60, 100).NoteOff(10 + p, p % 9, 60);
    Track drums;
    for (int k = 27; k < 87; ++k) drums.NoteOn(0, 9, k, 100).NoteOff(k, 9, k);
    ExpectFullReport(t, MidiFile().Add(melody.End()).Add(drums.End()).Build());
    EXPECT_EQ(ReportLine(t, "Number of Instruments"), "Number of Instruments : 188");
    EXPECT_EQ(ReportLine(t, "(Melody)"), "(Melody)              : 128");
    EXPECT_EQ(ReportLine(t, "(Rhythm)"), "(Rhythm)              : 60");
    EXPECT_EQ(ReportLine(t, "Main Instrument "), "Main Instrument       : Gunshot");  // program 128 sounds longest
}

TEST(RealWorldSongs, StillStopAtADrumKeyAboveTheKeyRange) {
    TestSession t;
    // A damaged file: a drum note whose key byte is 200.
    ASSERT_TRUE(t.Load(MidiFile().Add(Track().At(0, {0x99, 200, 100}).NoteOff(1, 9, 60).End()).Build()));
    FormLoad(*t);
    EXPECT_EQ(BuildReport(*t), ReportOutcome::Stopped);
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"ERROR: Too many notes for array", "Error: 9"}));
}

TEST(RealWorldSongs, ReadTheStandardTextEventsWithoutAWordAndKeepThemOnSave) {
    TestSession t;
    FakeMedia device;
    t->media.Device = &device;
    FormLoad(*t);
    const auto track = [](int channel) {
        return Track()
            .NoteOn(0, channel, 60, 100)
            .Meta(0, 0x07, "cue")     // cue point
            .Meta(5, 0x08, "Piano")   // program name
            .Meta(0, 0x09, "Port A")  // device name
            .Meta(1, 0x0F, "other")
            .NoteOff(10, channel, 60)
            .End();
    };
    const Track other = Track().NoteOn(0, 1, 50, 90).NoteOff(4, 1, 50).End();
    const Bytes song = MidiFile().Add(track(0)).Add(other).Build();
    t.platform().Files({t.WriteSong(song).string(), (t.folder().parent_path() / "out.mid").string()});
    ASSERT_EQ(OpenCommand(*t), OpenOutcome::Reported);
    EXPECT_TRUE(t.platform().messages.empty());
    EXPECT_TRUE(t->song.FileValid);
    EXPECT_NE(t->report.PaneText.find("Total time: 00.00"), std::string::npos);  // 16 ticks: under a second
    SaveCommand(*t);
    EXPECT_EQ(ReportTestSession::ReadBytes(t.folder().parent_path() / "out.mid"), song);

    // A rebuilt track writes them back where they stood, with their delta times.
    t->form.Combo4.listIndex = 0;
    SwitchDrumMelody(*t);
    EXPECT_EQ(ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"), MidiFile().Add(track(9)).Add(other).Build());
}

TEST(RealWorldSongs, NameAnUnknownMetaTypeButKeepTheSongValidAndItsBytes) {
    TestSession t;
    FakeMedia device;
    t->media.Device = &device;
    FormLoad(*t);
    const Bytes song =
        MidiFile().Add(Track().NoteOn(0, 0, 60, 100).Meta(3, 0x4B, {1, 2, 3}).NoteOff(7, 0, 60).End()).Build();
    t.platform().Files({t.WriteSong(song).string(), (t.folder().parent_path() / "out.mid").string()});
    ASSERT_EQ(OpenCommand(*t), OpenOutcome::Reported);
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"Unexpected Byte: 75"}));
    EXPECT_TRUE(t->song.FileValid);
    SaveCommand(*t);
    EXPECT_EQ(ReportTestSession::ReadBytes(t.folder().parent_path() / "out.mid"), song);

    t->form.Combo4.listIndex = 0;
    SwitchDrumMelody(*t);
    const Bytes switched =
        MidiFile().Add(Track().NoteOn(0, 9, 60, 100).Meta(3, 0x4B, {1, 2, 3}).NoteOff(7, 9, 60).End()).Build();
    EXPECT_EQ(ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"), switched);
}

TEST(TrackChunks, TakeAnExtraChunkAfterTheDeclaredTracksAndStrayBytesAsTrailingData) {
    ReportTestSession t;
    const Bytes song = MidiFile()
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOff(4, 0, 60).End())
                           .Add(Track().NoteOn(0, 1, 62, 100).NoteOff(4, 1, 62).End())
                           .DeclareTracks(1)
                           .Tail({'J', 'U', 'N', 'K', 0, 0, 0, 1, 0, 0})
                           .Build();
    ASSERT_TRUE(t.LoadAndReport(song));
    EXPECT_EQ(t.platform().messages,
              (std::vector<std::string>{"SONG.MID:\r\nProbably unnecessary bytes at end of file. File should be OK."}));
    EXPECT_TRUE(t->song.FileValid);
    EXPECT_EQ(t->song.TracksFound, 2);
}

TEST(TrackChunks, StillRefuseAForeignChunkBeforeTheDeclaredTracks) {
    ReportTestSession t;
    const Bytes song = MidiFile()
                           .Add(Track().NoteOn(0, 0, 60, 100).End())
                           .Chunk("JUNK", {0, 0}, 2)
                           .DeclareTracks(3)
                           .Build();
    EXPECT_FALSE(t.Load(song));
    EXPECT_EQ(t.platform().messages.back(), "SONG.MID: Invalid Track ID ( 2)");
}

TEST(TrackChunks, SayNothingOfUnnecessaryBytesInAFileShorterThanItsHeader) {
    ReportTestSession t;
    EXPECT_FALSE(t.Load({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1}));
    for (const std::string& m : t.platform().messages) EXPECT_EQ(m.find("unnecessary"), std::string::npos) << m;
}

TEST(TrackChunks, ReadThirtyTwoThousandSevenHundredAndSixtySevenTracksAndRefuseOneMore) {
    ReportTestSession t;
    MidiFile most;
    for (int i = 0; i < kMaxTracks; ++i) most.Add(Track().End());
    EXPECT_TRUE(t.Load(most.Build()));
    EXPECT_EQ(t->song.TracksFound, kMaxTracks);

    ReportTestSession over;
    most.Add(Track().End());
    EXPECT_FALSE(over.Load(most.DeclareTracks(kMaxTracks).Build()));
    EXPECT_EQ(over.platform().messages.back(), "SONG.MID: Too many tracks");
}

TEST(CopyTrack, MakesASingleTrackSongAMultiTrackOneInTheReportToo) {
    TestSession t;
    FakeMedia device;
    t->media.Device = &device;
    FormLoad(*t);
    const Bytes song = MidiFile(0).Add(Track().NoteOn(0, 0, 60, 100).NoteOff(4, 0, 60).End()).Build();
    t.platform().Files({t.WriteSong(song).string()});
    ASSERT_EQ(OpenCommand(*t), OpenOutcome::Reported);
    EXPECT_EQ(ReportLine(t, "File Format"), "File Format : single");
    t->form.Combo5.listIndex = 0;
    CopyTrack(*t);
    EXPECT_EQ(ReportLine(t, "File Format"), "File Format : Multi");
    EXPECT_EQ(ReportLine(t, "Total Tracks"), "Total Tracks: 2");
}

TEST(ApplyEffect, KeepsALongRestThroughAPitchEffect) {
    TestSession t;
    FakeMedia device;
    t->media.Device = &device;
    FormLoad(*t);
    const Bytes song = MidiFile()
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOff(100000, 0, 60).NoteOn(0, 0, 62, 100).NoteOff(8, 0, 62).End())
                           .Build();
    t.platform().Files({t.WriteSong(song).string()});
    ASSERT_EQ(OpenCommand(*t), OpenOutcome::Reported);
    t->form.Combo6.listIndex = 4;  // "Increase"
    Combo6_Click(*t);
    t->form.Option1.selected = true;
    t->form.Option2.selected = false;
    t->form.Text1.text = "2";
    t->form.Combo8.listIndex = 0;
    ApplyEffect(*t);
    EXPECT_EQ(ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"),
              MidiFile()
                  .Add(Track().NoteOn(0, 0, 62, 100).NoteOff(100000, 0, 62).NoteOn(0, 0, 64, 100).NoteOff(8, 0, 64).End())
                  .Build());
}

}  // namespace
}  // namespace sonivex::test

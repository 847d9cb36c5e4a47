#include <gtest/gtest.h>

#include "app/editing.h"

#include "reader/meta.h"
#include "reader/parse.h"
#include "report/report.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

TrackParse ParseOnly(ReportTestSession& t, const Track& track, int division = 96) {
    EXPECT_TRUE(t.Load(MidiFile(1, division).Add(track).Build()));
    t->song.CurrentTrack = 1;
    return ParseTrack(*t);
}

// Record `number` (from 1) as the listing, the effects and the writer read it.
EventRecord Record(ReportTestSession& t, int number) { return t->song.Notes.Values(number); }

std::vector<std::string> Lines(ReportTestSession& t) {
    std::vector<std::string> lines;
    for (int l = 1; l <= t->song.TrackLineCount[1]; ++l) lines.push_back(t->song.TrackLines(1, l));
    return lines;
}

TEST(MetaEvents, ListATempoBeforeTheFirstChannelEvent) {
    ReportTestSession t;
    const TrackParse parsed = ParseOnly(t, Track().Tempo(0, 500000).NoteOn(0, 0, 60, 100).End());
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"Set Tempo: 120"}));
    ASSERT_EQ(parsed.tempos.size(), 1u);
    EXPECT_EQ(parsed.tempos[0].microsPerQuarter, 500000u);
    EXPECT_NE(t.LogText().find("      0 Set tempo: 120\r\n"), std::string::npos);
}

TEST(MetaEvents, RecordATempoAfterChannelEventsAsARowAtTheTickWhereItStands) {
    ReportTestSession t;
    const TrackParse parsed = ParseOnly(t, Track().Tempo(0, 500000).NoteOn(5, 0, 60, 100).Tempo(7, 600000).End(2));
    ASSERT_EQ(parsed.tempos.size(), 2u);
    EXPECT_EQ(parsed.tempos[1].tick, 12u);
    EXPECT_EQ(parsed.tempos[1].microsPerQuarter, 600000u);
    EXPECT_EQ(parsed.ticks, 14u);
    EXPECT_EQ(Record(t, 2), (EventRecord{kTempoRow, 100, kAbsent, 2, RowKind::Other, kAbsent, kAbsent}));
    EXPECT_EQ(Record(t, 1).Delta, 7);
}

TEST(MetaEvents, RejectAZeroTempoAndEndTheTrack) {
    ReportTestSession t;
    ParseOnly(t, Track().NoteOn(0, 0, 60, 100).Meta(0, 0x51, {0, 0, 0}).NoteOn(0, 0, 62, 100).End());
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"ERROR: Invalid Tempo"}));
    EXPECT_FALSE(t->song.FileValid);
    EXPECT_EQ(t->song.RecordCount, 1);
    EXPECT_EQ(Record(t, 1), EventRecord::Unwritten());  // the unfinished block is not kept
}

TEST(MetaEvents, ListTimeSignaturesAndRejectImpossibleOnes) {
    ReportTestSession t;
    ParseOnly(t, Track().Meta(0, 0x58, {6, 3, 0x18, 8}).End());
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"Time Signature: 6/8"}));

    for (const Bytes& data : {Bytes{0, 2, 24, 8}, Bytes{4, 15, 24, 8}, Bytes{4, 200, 24, 8}}) {
        ReportTestSession u;
        Track track;
        track.Delta(0).Raw({0xFF, 0x58, 4}).Raw(data).End();
        ParseOnly(u, track);
        EXPECT_EQ(u.platform().messages, (std::vector<std::string>{"ERROR: Invalid Time Signature"}));
    }
}

TEST(MetaEvents, RepairAZeroClocksByteOnYes) {
    TestSession t;
    t.platform().Answers({Answer::Yes});
    const Bytes file = MidiFile().Add(Track().Meta(0, 0x58, {4, 2, 0, 8}).NoteOn(0, 0, 60, 90).End(384)).Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    EXPECT_EQ(t.platform().messages.front(), "? ERROR: Invalid Time Signature.  Repair? ");
    EXPECT_EQ(t.platform().messages.size(), 1u);  // the repaired file asks no more
    const Bytes copy = ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp");
    Bytes expected = file;
    expected[15 + 8 + 5] = 0x18;
    EXPECT_EQ(copy, expected);
    ShowReport(*t);  // the song now differs from its file: the window offers Save
    EXPECT_TRUE(t->form.mnuSave.enabled);
    EXPECT_EQ(ReportTestSession::ReadBytes(t->song.SourcePath), file);
    // The report was built again from the start: its line is there once.
    EXPECT_EQ(t->song.TrackLineCount[1], 2);
    EXPECT_NE(t.LogText().find("Total Time: 00.02"), std::string::npos);
}

TEST(MetaEvents, LeaveAZeroClocksByteOnNo) {
    ReportTestSession t;
    const Bytes file = MidiFile().Add(Track().Meta(0, 0x58, {4, 2, 0, 8}).End()).Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    EXPECT_EQ(ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"), file);
    EXPECT_EQ(t->song.TrackLines(1, 1), "Time Signature: 4/4");
}

TEST(MetaEvents, NameKeySignatures) {
    EXPECT_EQ(KeyNameOf(-3, 1), "C Minor");
    EXPECT_EQ(KeyNameOf(0, 0), "C Major");
    EXPECT_EQ(KeyNameOf(0, 1), "A Minor");
    EXPECT_EQ(KeyNameOf(2, 0), "D Major");
    EXPECT_EQ(KeyNameOf(-5, 0), "Db Major");
    EXPECT_EQ(KeyNameOf(6, 1), "D# Minor");
    EXPECT_EQ(KeyNameOf(-7, 0), "Unknown");
    EXPECT_EQ(KeyNameOf(7, 0), "Unknown");
    EXPECT_EQ(KeyNameOf(-100, 0), "Unknown");

    ReportTestSession t;
    ParseOnly(t, Track().Meta(0, 0x59, {0xFD, 1}).Meta(0, 0x59, {0xFB}).End());
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"Key Signature: C Minor", "Key Signature: Db Major"}));
}

TEST(MetaEvents, ListPrefixPortSmpteSequencerCopyrightAndName) {
    ReportTestSession t;
    ParseOnly(t, Track()
                     .Meta(0, 0x20, {9})
                     .Meta(0, 0x21, {1})
                     .Meta(0, 0x54, {0x60, 0, 0, 0, 0})
                     .Meta(0, 0x7F, {0, 0x41})
                     .Meta(0, 0x02, std::string("(c) \x01\xE9 x"))
                     .Name(0, "  Pi|ano\x07  ")
                     .End(3));
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"Channel Prefix: 10", "MIDI Port: 1", "SMPTE Offset: 96 0 0 0 0",
                                                  "Sequencer Specific: 0 65", "Copyright: (c)    x", "Name: Pi ano "}));
    const std::string log = t.LogText();
    EXPECT_NE(log.find("      0Channel Prefix: 10\r\n"), std::string::npos);
    EXPECT_NE(log.find("      0 MIDI Port: 1\r\n"), std::string::npos);
    EXPECT_NE(log.find("      3 Name: Pi ano \r\n"), std::string::npos);
}

TEST(MetaEvents, ReadLongTextsByTheirVariableLength) {
    ReportTestSession t;
    ParseOnly(t, Track().Meta(0, 0x02, std::string(300, 'c')).NoteOn(0, 0, 60, 100).End());
    EXPECT_EQ(t->song.TrackLines(1, 1), "Copyright: " + std::string(300, 'c'));
    EXPECT_EQ(t->song.RecordCount, 1);
}

TEST(MetaEvents, KeepTheLastHundredthLineForTheNewest) {
    ReportTestSession t;
    Track track;
    for (int i = 1; i <= 101; ++i) track.Meta(0, 0x21, {i});
    ParseOnly(t, track.End());
    EXPECT_EQ(t->song.TrackLineCount[1], 100);
    EXPECT_EQ(t->song.TrackLines(1, 99), "MIDI Port: 99");
    EXPECT_EQ(t->song.TrackLines(1, 100), "MIDI Port: 101");
}

TEST(MetaEvents, SkipAnUnknownTypeByItsLengthAndKeepTheSongValid) {
    ReportTestSession t;
    ParseOnly(t, Track().NoteOn(0, 0, 60, 100).Meta(4, 0x37, {0x90, 0x40, 0x40}).NoteOff(0, 0, 60).End());
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"Unexpected Byte: 55"}));
    EXPECT_TRUE(t->song.FileValid);
    EXPECT_EQ(t->song.RecordCount, 2);
    EXPECT_EQ(Record(t, 1).Delta, 4);  // its delta went to the row before it
}

TEST(MetaEvents, GiveTheDeltaAfterARowlessEventToTheRowBefore) {
    ReportTestSession t;
    // A key signature in mid-track must not lose the time after it.
    const TrackParse parsed =
        ParseOnly(t, Track().NoteOn(0, 0, 60, 100).Meta(10, 0x59, {0, 0}).Name(20, "x").NoteOff(30, 0, 60).End(4));
    EXPECT_EQ(Record(t, 1).Delta, 60);
    EXPECT_EQ(parsed.ticks, 64u);  // every delta read counts, End of Track's included
}

TEST(MetaEvents, TextMakesARowOnlyAfterChannelEventsOrBeforeTime) {
    ReportTestSession t;
    ParseOnly(t, Track().Meta(0, 0x01, "a").Meta(5, 0x01, "b").Meta(0, 0x06, "m").End());
    EXPECT_EQ(t->song.RecordCount, 3);  // "a" (followed by time), then "b" and the marker after it
    EXPECT_EQ(t->song.FirstChannelEventPos, std::optional<std::int32_t>(15 + 8 + 1));
    EXPECT_EQ(Record(t, 1), (EventRecord{kTextStatus, kAbsent, kAbsent, 5, RowKind::Other, kTextMarker, kAbsent}));
}

TEST(Repairs, InsertAMissingNoteOnStatusAfterATempo) {
    ReportTestSession t;
    // Set Tempo, a one-byte delta, then the data bytes of a note without its status.
    Track track;
    track.Tempo(0, 500000).Raw({0, 60, 100}).NoteOff(96, 0, 60).End();
    const Bytes file = MidiFile().Add(track).Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    Bytes expected = file;
    expected.insert(expected.begin() + 15 + 8 + 7, 0x90);
    expected[21] = static_cast<std::uint8_t>(track.Data().size() + 1);
    EXPECT_EQ(ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"), expected);
    EXPECT_EQ(t->song.TrackLineCount[1], 2);
    EXPECT_TRUE(t.platform().messages.empty());
}

TEST(Repairs, KeepLongTracksValidByWritingAllThreeLengthBytes) {
    ReportTestSession t;
    Track track;
    track.Tempo(0, 500000).Raw({0, 60, 100}).Meta(0, 0x01, std::string(70000, 't')).End();
    const Bytes file = MidiFile().Add(track).Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    const Bytes copy = ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp");
    const std::uint32_t length = (copy[19] << 16) | (copy[20] << 8) | copy[21];
    EXPECT_EQ(length, track.Data().size() + 1);
    EXPECT_EQ(t->song.TracksFound, 1);
}

TEST(Repairs, StopAfterAHundredInOneReport) {
    ReportTestSession t;
    // Every tempo is followed by a note's data bytes without their status: each would ask for a repair.
    Track track;
    for (int i = 0; i < 150; ++i) track.Tempo(0, 500000).Raw({0, 60, 100});
    ASSERT_TRUE(t.Load(MidiFile().Add(track.End()).Build()));
    EXPECT_EQ(BuildReport(*t), ReportOutcome::Done);
    const Bytes copy = ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp");
    EXPECT_EQ(copy.size(), MidiFile().Add(track).Build().size() + 100);
}

}  // namespace
}  // namespace sonivex::test

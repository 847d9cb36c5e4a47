#include <gtest/gtest.h>

#include "reader/parse.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

// Loads a one-track file and decodes its track.
void ParseOnly(ReportTestSession& t, const Track& track) {
    ASSERT_TRUE(t.Load(MidiFile().Add(track).Build()));
    t->song.CurrentTrack = 1;
    ParseTrack(*t);
}

// Record `number` (from 1) as the listing, the effects and the writer read it.
EventRecord Record(ReportTestSession& t, int number) { return t->song.Notes.Values(number); }

TEST(EventRecords, HoldANoteWithTheDeltaThatFollowsIt) {
    ReportTestSession t;
    ParseOnly(t, Track().NoteOn(0, 0, 60, 100).End(96));
    EXPECT_EQ(Record(t, 1), (EventRecord{144, 60, 100, 96, RowKind::Note, kAbsent, kNoteSounds}));
    EXPECT_TRUE(t->song.Notes.InUse());
    EXPECT_FALSE(std::filesystem::exists(t.folder() / "notes.dat"));  // the records are never written out
}

TEST(EventRecords, KeepLongDeltaTimesWhole) {
    ReportTestSession t;
    // A delta of 1,500,000 ticks (three bytes) and one of 100,000,000 (four bytes, the standard's longest form).
    ParseOnly(t, Track().NoteOn(0, 0, 60, 100).NoteOff(1500000, 0, 60).End(100000000));
    EXPECT_EQ(Record(t, 1).Delta, 1500000);
    EXPECT_EQ(Record(t, 2).Delta, 100000000);
}

TEST(EventRecords, FlushesWholeBlocksOfAHundred) {
    ReportTestSession t;
    Track hundred;
    for (int i = 0; i < 100; ++i) hundred.At(0, {0xB0, 7, i});
    ParseOnly(t, hundred.End());
    EXPECT_EQ(t->song.RecordCount, 100);
    EXPECT_EQ(Record(t, 100).Data2, 99);
    EXPECT_EQ(Record(t, 101), EventRecord::Unwritten());

    ReportTestSession u;
    Track more;
    for (int i = 0; i < 101; ++i) more.At(1, {0xB0, 7, i % 128});
    ParseOnly(u, more.End());
    EXPECT_EQ(u->song.RecordCount, 101);
    EXPECT_EQ(Record(u, 201), EventRecord::Unwritten());
    EXPECT_EQ(Record(u, 101), (EventRecord{176, 7, 100, 0, RowKind::Controller, kAbsent, kAbsent}));
    EXPECT_EQ(Record(u, 102), EventRecord{});
    EXPECT_EQ(Record(u, 200), EventRecord{});
    EXPECT_EQ(Record(u, 100).Delta, 1);
}

TEST(EventRecords, KeepsRecordsOfAnEarlierLongerTrack) {
    ReportTestSession t;
    Track longer;
    for (int i = 0; i < 150; ++i) longer.At(0, {0xC0, i % 100});
    const Bytes file = MidiFile().Add(longer.End()).Add(Track().Program(0, 1, 5).End()).Build();
    ASSERT_TRUE(t.Load(file));
    t->song.CurrentTrack = 1;
    ParseTrack(*t);
    t->song.CurrentTrack = 2;
    ParseTrack(*t);
    EXPECT_EQ(t->song.RecordCount, 1);
    EXPECT_EQ(Record(t, 1), (EventRecord{193, 5, kAbsent, 0, RowKind::Program, kAbsent, kAbsent}));
    EXPECT_EQ(Record(t, 101).Status, 192);  // left by track 1
}

TEST(EventRows, MarksRunningStatusOnlyWhereTheListingNeedsIt) {
    ReportTestSession t;
    ParseOnly(t, Track().Raw({0, 0x90, 0x3C, 0x40, 0, 0x3E, 0x40, 0, 0xB0, 7, 100, 0, 10, 64}).End());
    EXPECT_EQ(Record(t, 1).Status, 144);
    EXPECT_EQ(Record(t, 2).Status, 144);
    EXPECT_EQ(Record(t, 3).Status, 176);
    EXPECT_EQ(Record(t, 4).Status, -176);
    EXPECT_EQ(Record(t, 4).Data1, 10);
}

TEST(EventRows, MarksNoteOffsAndSilentNoteOns) {
    ReportTestSession t;
    ParseOnly(t, Track().NoteOn(0, 0, 60, 0).NoteOff(0, 0, 60).NoteOn(0, 0, 62, 1).End());
    EXPECT_EQ(Record(t, 1).NoteState, kNoteSilent);
    EXPECT_EQ(Record(t, 1).Kind, RowKind::Note);
    EXPECT_EQ(Record(t, 2).NoteState, kNoteSilent);
    EXPECT_EQ(Record(t, 3).NoteState, kNoteSounds);
}

TEST(EventRows, TakesAControllerValueAbove127As127) {
    ReportTestSession t;
    ParseOnly(t, Track().At(0, {0xB0, 7, 0x85}).End());
    EXPECT_EQ(Record(t, 1), (EventRecord{176, 7, 127, 0, RowKind::Controller, kAbsent, kAbsent}));
}

TEST(EventRows, DropsAControllerWhoseFirstDataByteIsAStatus) {
    ReportTestSession t;
    ParseOnly(t, Track().Raw({0, 0xB0, 0x90, 60, 100}).End());
    EXPECT_EQ(t->song.RecordCount, 1);
    EXPECT_EQ(Record(t, 1).Status, 144);
    EXPECT_EQ(t->song.FirstChannelEventPos, std::optional<std::int32_t>(15 + 8 + 1));  // the dropped controller's status byte
}

TEST(EventRows, RecordsSysexWithItsPositions) {
    ReportTestSession t;
    ParseOnly(t, Track().At(0, {0xF0, 3, 0x7E, 0x7F, 0xF7}).End(5));
    EXPECT_EQ(Record(t, 1), (EventRecord{kSysexRow, kAbsent, kAbsent, 5, RowKind::Other, kAbsent, kAbsent}));
    EXPECT_EQ(t->song.EventSpanStart[0], 15 + 8 + 1);
    EXPECT_EQ(t->song.EventSpanEnd[0], 15 + 8 + 5);
}

TEST(VariableLength, ReadsAtMostFourBytesTheLastWhateverItsTopBit) {
    const std::vector<std::pair<Bytes, int>> cases = {
        {{0x7F}, 127}, {{0x81, 0x80, 0x00}, 16384}, {{0xFF, 0xFF, 0x7F}, 2097151}, {{0x81, 0x00}, 128},
        {{0x81, 0x80, 0x80, 0x00}, 2097152}, {{0xFF, 0xFF, 0xFF, 0x7F}, 268435455},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x00}, 268435455}};
    for (const auto& [bytes, value] : cases) {
        TrackReader r(bytes, 1);
        EXPECT_EQ(ReadVarLen(r), value);
    }
}

TEST(TruncatedTracks, EndWhereTheChunkEndsAsIfEndOfTrackStoodThere) {
    ReportTestSession t;
    // No End of Track: the second track's bytes are not read as part of the first.
    const Bytes file = MidiFile().Add(Track().NoteOn(0, 0, 60, 100).NoteOff(10, 0, 60))
                           .Add(Track().NoteOn(0, 1, 70, 90).End())
                           .Build();
    ASSERT_TRUE(t.Load(file));
    t->song.CurrentTrack = 1;
    ParseTrack(*t);
    EXPECT_EQ(t->song.RecordCount, 2);
    EXPECT_EQ(Record(t, 2), (EventRecord{128, 60, 64, 0, RowKind::Note, kAbsent, kNoteSilent}));
}

TEST(TruncatedTracks, RecordACutDeltaAsZeroAndDropCutEvents) {
    ReportTestSession t;
    // The last note has its data but only the first byte of a two-byte delta; then a cut note.
    ParseOnly(t, Track().NoteOn(0, 0, 60, 100).Raw({0x81}));
    EXPECT_EQ(t->song.RecordCount, 1);
    EXPECT_EQ(Record(t, 1).Delta, 0);

    ReportTestSession u;
    ParseOnly(u, Track().NoteOn(0, 0, 60, 100).Raw({5, 0x90, 62}));
    EXPECT_EQ(u->song.RecordCount, 1);
    EXPECT_EQ(Record(u, 1).Delta, 5);
}

TEST(TruncatedTracks, EndAtTheEndOfAFileCutInsideATrack) {
    ReportTestSession t;
    const Track track = Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60);
    ASSERT_TRUE(t.Load(MidiFile().Chunk("MTrk", track.Data(), 1000).Build()));
    t->song.CurrentTrack = 1;
    ParseTrack(*t);
    EXPECT_EQ(t->song.RecordCount, 2);
}

TEST(StrayBytes, AreSkippedWhereAStatusByteShouldStand) {
    ReportTestSession t;
    ParseOnly(t, Track().Raw({0, 0xF4, 0x00, 0xFE, 0x90, 60, 100}).End());
    EXPECT_EQ(t->song.RecordCount, 1);
    EXPECT_EQ(Record(t, 1).Data1, 60);
}

}  // namespace
}  // namespace sonivex::test

#include <gtest/gtest.h>

#include "reader/load.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

Track Simple() { return Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End(); }

Bytes WithHeaderBytes(Bytes file, std::size_t at, std::initializer_list<int> bytes) {
    for (int b : bytes) file[at++] = static_cast<std::uint8_t>(b);
    return file;
}

TEST(LoadFile, RejectsAHeaderLengthOtherThanSix) {
    ReportTestSession t;
    const Bytes file = WithHeaderBytes(MidiFile().Add(Simple()).Build(), 4, {0, 0, 0, 7});
    EXPECT_FALSE(t.Load(file, "Song.mid"));
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"SONG.MID: Invalid Header Size"}));
    EXPECT_EQ(t.platform().titles[0], "Sonivex");
}

TEST(LoadFile, ReadsOnlyTheLowByteOfTheFormat) {
    ReportTestSession t;
    EXPECT_TRUE(t.Load(WithHeaderBytes(MidiFile().Add(Simple()).Build(), 8, {1, 2})));
    EXPECT_EQ(t->song.FileFormat, 2);

    ReportTestSession u;
    EXPECT_FALSE(u.Load(WithHeaderBytes(MidiFile().Add(Simple()).Build(), 8, {0, 3})));
    EXPECT_EQ(u.platform().messages, (std::vector<std::string>{"SONG.MID: Invalid File Format"}));
}

TEST(LoadFile, NamesAFileThatIsNoMidiFile) {
    ReportTestSession t;
    EXPECT_FALSE(t.Load(Bytes{'R', 'I', 'F', 'F', 1, 2, 3}, "noise.mid"));
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"NOISE.MID is not a MID file"}));
    ReportTestSession u;
    EXPECT_FALSE(u.Load(Bytes{}, "empty.mid"));
    EXPECT_EQ(u.platform().messages, (std::vector<std::string>{"EMPTY.MID is not a MID file"}));
}

TEST(LoadFile, TakesTheTrackCountFromTheChunksFoundWithoutAMessage) {
    ReportTestSession t;
    EXPECT_TRUE(t.Load(MidiFile().Add(Simple()).Add(Simple()).DeclareTracks(3).Build()));
    EXPECT_EQ(t->song.TrackCount, 2);
    EXPECT_EQ(t->song.TracksFound, 2);
    EXPECT_TRUE(t.platform().messages.empty());
}

TEST(LoadFile, ChecksTheDivisionAfterTheTrackChunks) {
    ReportTestSession t;
    // The bad chunk id is reported first, then the division.
    const Bytes file = MidiFile(1, 0).Add(Simple()).Chunk("XTRA", {1, 2}, 2).DeclareTracks(2).Build();
    EXPECT_FALSE(t.Load(file));
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"SONG.MID: Invalid Track ID ( 2)",
                                                                "SONG.MID: Invalid Number of Delta Ticks"}));
}

TEST(LoadFile, RejectsTimeCodeDivisionsAndTrackCountsBeyondSixteenBits) {
    ReportTestSession t;
    EXPECT_FALSE(t.Load(MidiFile(1, 0xE728).Add(Simple()).Build()));
    EXPECT_EQ(t.platform().messages.back(), "SONG.MID: Invalid Number of Delta Ticks");
    ReportTestSession u;
    EXPECT_FALSE(u.Load(MidiFile().Add(Simple()).DeclareTracks(0x8000).Build()));
    EXPECT_EQ(u.platform().messages, (std::vector<std::string>{"SONG.MID: Invalid Number of Tracks"}));
}

TEST(LoadFile, MakesTheTitleAndTheLogNameFromThePath) {
    EXPECT_EQ(PathTail("C:\\Music\\Song.mid"), "Song.mid");
    EXPECT_EQ(PathTail("/home/a/b.mid"), "b.mid");
    EXPECT_EQ(PathTail("plain.mid"), "plain.mid");
    EXPECT_EQ(LogFileName("SONG.MID"), "song.txt");
    EXPECT_EQ(LogFileName("SONG.MIDI"), "song.mtxt");
    EXPECT_EQ(LogFileName("AB"), "ab.txt");

    ReportTestSession t;
    ASSERT_TRUE(t.Load(MidiFile().Add(Simple()).Build(), "My Song.mid"));
    EXPECT_EQ(t->song.FileTitle, "MY SONG.MID");
    EXPECT_EQ(t->song.Log.Path(), t.folder() / "logs" / "my song.txt");
    EXPECT_TRUE(std::filesystem::exists(t.folder() / "logs" / "my song.txt"));
}

TEST(LoadFile, WorksOnACopyAndNeverChangesTheChosenFile) {
    ReportTestSession t;
    const Bytes file = MidiFile().Add(Simple()).Build();
    ASSERT_TRUE(t.Load(file));
    EXPECT_EQ(ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"), file);
    EXPECT_EQ(ReportTestSession::ReadBytes(t->song.SourcePath), file);
    EXPECT_EQ(t->song.FileLength, static_cast<std::int32_t>(file.size()));
}

TEST(LoadFile, ReplacesAWorkingCopyLeftOverFromAnEarlierRun) {
    ReportTestSession t;
    t.WriteDataFile("sonivex-temp.tmp", std::string(5000, 'x'));
    t.WriteDataFile("notes.dat", std::string(490, 'x'));
    const Bytes file = MidiFile().Add(Simple()).Build();
    ASSERT_TRUE(t.Load(file));
    EXPECT_EQ(ReportTestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"), file);
    EXPECT_FALSE(std::filesystem::exists(t.folder() / "notes.dat"));
}

TEST(TrackChunks, RecordsWhereEachTrackStarts) {
    ReportTestSession t;
    const Track one = Simple();
    const Bytes file = MidiFile().Add(one).Add(Simple()).Build();
    ASSERT_TRUE(t.Load(file));
    EXPECT_EQ(t->song.TracksFound, 2);
    EXPECT_EQ(t->song.TrackStart[1], 15);
    EXPECT_EQ(t->song.TrackStart[2], 15 + 8 + static_cast<int>(one.Data().size()));
    EXPECT_EQ(t->song.TrackStart[3], static_cast<int>(file.size()) + 1);
    EXPECT_TRUE(t.platform().messages.empty());
}

TEST(TrackChunks, WarnsAboutATrackThatDoesNotEndWithEndOfTrack) {
    ReportTestSession t;
    // An empty chunk, and one whose End of Track is followed by another byte.
    const Bytes file = MidiFile().Chunk("MTrk", {}, 0).Add(Track().End().Raw({0})).Build();
    EXPECT_TRUE(t.Load(file));
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"SONG.MID: Invalid Track Length ( 1)",
                                                                "SONG.MID: Invalid Track Length ( 2)"}));
}

TEST(TrackChunks, IgnoresTheTopByteOfTheChunkLength) {
    ReportTestSession t;
    Track track = Track().NoteOn(0, 0, 60, 100).NoteOff(1, 0, 60).End();  // 12 bytes
    Bytes data = track.Data();
    data.resize(16, 0);
    data[13] = 0xFF, data[14] = 0x2F, data[15] = 0x00;
    ASSERT_TRUE(t.Load(MidiFile().Chunk("MTrk", data, 0x01000010).Build()));
    EXPECT_EQ(t->song.TrackStart[2], 15 + 8 + 16);
    EXPECT_TRUE(t.platform().messages.empty());
}

TEST(TrackChunks, ChecksTheEndOfTrackOfALongTrackAcrossBlocks) {
    ReportTestSession t;
    Track track;
    track.Meta(0, 0x01, std::string(9992, 'a'));  // 10,001 data bytes with the End of Track below
    track.End();
    ASSERT_EQ(track.Data().size(), 10001u);
    EXPECT_TRUE(t.Load(MidiFile().Add(track).Build()));
    EXPECT_TRUE(t.platform().messages.empty());
}

TEST(TrackChunks, WarnsAboutUnnecessaryBytesAfterTheDeclaredTracks) {
    ReportTestSession t;
    EXPECT_TRUE(t.Load(MidiFile().Add(Simple()).Chunk("XTRA", {1, 2, 3}, 3).DeclareTracks(1).Build()));
    EXPECT_EQ(t.platform().messages,
              (std::vector<std::string>{"SONG.MID:\r\nProbably unnecessary bytes at end of file. File should be OK."}));
    EXPECT_EQ(t->song.TracksFound, 1);
}

TEST(TrackChunks, TreatsAFewBytesAfterTheLastTrackAsUnnecessary) {
    for (std::size_t tail = 1; tail <= 7; ++tail) {
        ReportTestSession t;
        const Bytes file = MidiFile().Add(Simple()).Tail(Bytes(tail, 0x4D)).Build();
        EXPECT_TRUE(t.Load(file)) << tail;
        EXPECT_EQ(t->song.TracksFound, 1) << tail;
        EXPECT_EQ(t->song.TrackStart[2], static_cast<int>(file.size() - tail) + 1) << tail;
        ASSERT_EQ(t.platform().messages.size(), 1u) << tail;
        EXPECT_NE(t.platform().messages[0].find("Probably unnecessary bytes"), std::string::npos);
    }
}

TEST(TrackChunks, RejectsABadChunkIdBeforeTheDeclaredTracks) {
    ReportTestSession t;
    EXPECT_FALSE(t.Load(MidiFile().Add(Simple()).Chunk("XTRA", {1}, 1).Add(Simple()).DeclareTracks(2).Build()));
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{"SONG.MID: Invalid Track ID ( 2)"}));
    // The caption is set and the log opened all the same.
    EXPECT_TRUE(t->song.Log.IsOpen());
}

TEST(TrackChunks, CountsATrackThatTheFileCutsShort) {
    ReportTestSession t;
    const Track track = Simple();
    Bytes file = MidiFile().Chunk("MTrk", track.Data(), 500).Build();
    EXPECT_TRUE(t.Load(file));
    EXPECT_EQ(t->song.TracksFound, 1);
    EXPECT_EQ(t->song.TrackStart[2], static_cast<int>(file.size()) + 1);
}

}  // namespace
}  // namespace sonivex::test

namespace sonivex::test {
namespace {

TEST(WorkingCopy, ReadsTheSameRangesFromTheBytesHeldForAReportRunAsFromTheFile) {
    ReportTestSession t;
    ASSERT_TRUE(t.Load(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build()));
    const std::uint64_t size = std::filesystem::file_size(t->WorkFile(t->song.TempFileName));
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges = {
        {0, 14}, {14, 8}, {size - 3, 10}, {size, 1}, {size + 5, 2}, {0, UINT64_MAX}, {7, 0}};
    std::vector<Bytes> fromFile;
    for (const auto& [offset, count] : ranges) fromFile.push_back(ReadWorkingCopyRange(*t, offset, count));
    {
        const WorkingCopyHeld held(*t);
        EXPECT_EQ(t->song.WorkingCopyBytes, nullptr);  // read at the first read
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            EXPECT_EQ(ReadWorkingCopyRange(*t, ranges[i].first, ranges[i].second), fromFile[i]) << i;
        }
        // A replacement keeps the held bytes in step with the file.
        Bytes changed = ReportTestSession::ReadBytes(t->WorkFile(t->song.TempFileName));
        changed.back() = 0x42;
        ASSERT_TRUE(ReplaceWorkingCopy(*t, AsText(changed)));
        EXPECT_NE(t->song.WorkingCopyBytes, nullptr);
        EXPECT_EQ(ReadWorkingCopyRange(*t, 0, UINT64_MAX), changed);
        {
            const WorkingCopyHeld inner(*t);  // a holder inside another keeps what is held
            EXPECT_EQ(ReadWorkingCopyRange(*t, 0, UINT64_MAX), changed);
        }
        EXPECT_NE(t->song.WorkingCopyBytes, nullptr);
    }
    EXPECT_EQ(t->song.WorkingCopyBytes, nullptr);
}

}  // namespace
}  // namespace sonivex::test

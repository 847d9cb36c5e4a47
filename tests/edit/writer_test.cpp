#include <gtest/gtest.h>

#include <filesystem>

#include "app/commands.h"
#include "app/editing.h"
#include "edit/writer.h"
#include "reader/parse.h"
#include "report/report.h"
#include "support/fake_media.h"
#include "support/file_size_limit.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {


// Loads and reports a file, then decodes `track` for an edit in `mode` and runs the writer.
Bytes Rewrite(TestSession& t, const Bytes& file, int track, RewriteMode mode) {
    EXPECT_TRUE(t.LoadAndReport(file));
    t->song.CurrentTrack = track;
    ParseTrack(*t);
    RewriteTrack(*t, mode);
    return TestSession::ReadBytes(t.folder() / "sonivex-temp.tmp");
}

// A track that uses every kind of event, written with status bytes where the writer writes them, so that a
// rebuild without change gives the same bytes.
Track EveryKind() {
    Track t;
    t.Name(0, "Lead").Tempo(0, 500000).Meta(0, 0x58, {3, 2, 12, 8});
    t.Program(0, 0, 5).At(0, {0xB0, 7, 100}).Raw({10, 10, 64});           // a controller and its repeat
    t.NoteOn(0, 0, 60, 100).Meta(96, 0x59, {0xFE, 1}).Meta(4, 0x02, "(c)");  // row-less metas after a row
    t.NoteOff(8, 0, 60).At(0, {0xE0, 0, 64}).Raw({5, 1, 65});               // a pitch bend and its repeat
    t.At(0, {0xD0, 40}).Raw({0, 41});                                        // channel pressure and repeat
    t.At(0, {0xF0, 3, 0x7E, 0x7F, 0xF7}).Meta(1, 0x01, "lyric text").Meta(2, 0x05, "la");
    t.Tempo(3, 600000).Meta(0, 0x58, {6, 3, 24, 8}).Meta(0, 0x06, "Verse");
    t.NoteOn(200, 0, 62, 90).NoteOff(16384, 0, 62).End(7);
    return t;
}

TEST(Writer, RebuildsATrackWithoutChangeByteForByte) {
    TestSession t;
    const Bytes file = MidiFile().Add(EveryKind()).Add(Track().NoteOn(0, 1, 40, 50).End(1)).Build();
    EXPECT_EQ(Rewrite(t, file, 1, RewriteMode::Effects), file);
    EXPECT_EQ(t->song.TracksFound, 2);
    EXPECT_FALSE(std::filesystem::exists(t.folder() / "dffhedc"));
    EXPECT_TRUE(t.platform().messages.empty());
}

TEST(Writer, WritesDeltaTimesInOneToThreeBytes) {
    EXPECT_EQ(DeltaBytes(127), "\x7F");
    EXPECT_EQ(DeltaBytes(128), std::string("\x81\x00", 2));
    EXPECT_EQ(DeltaBytes(16383), "\xFF\x7F");
    EXPECT_EQ(DeltaBytes(16384), std::string("\x81\x80\x00", 3));
    EXPECT_EQ(DeltaBytes(2097151), "\xFF\xFF\x7F");
    // A larger delta (a long rest with the meta events carried into it) takes a fourth byte instead of
    // wrapping round.
    EXPECT_EQ(DeltaBytes(2097152), std::string("\x81\x80\x80\x00", 4));
}

TEST(Writer, WritesNotesInRunningStatusWithTheirStatusByte) {
    TestSession t;
    const Bytes file = MidiFile().Add(Track().Raw({0, 0x90, 60, 100, 5, 62, 100}).End()).Build();
    const Bytes expected = MidiFile().Add(Track().NoteOn(0, 0, 60, 100).NoteOn(5, 0, 62, 100).End()).Build();
    EXPECT_EQ(Rewrite(t, file, 1, RewriteMode::Effects), expected);
}

TEST(Writer, KeepsLongTracksValidThroughAllThreeLengthBytes) {
    TestSession t;
    Track track;
    track.Meta(0, 0x01, std::string(70000, 't')).Raw({0, 0x90, 60, 100, 5, 62, 100}).End();
    const Bytes copy = Rewrite(t, MidiFile().Add(track).Build(), 1, RewriteMode::Effects);
    const std::uint32_t length = (copy[19] << 16) | (copy[20] << 8) | copy[21];
    EXPECT_EQ(length, track.Data().size() + 1);
    EXPECT_EQ(length + 22, copy.size());
    EXPECT_TRUE(t.platform().messages.empty());
}

TEST(Writer, MovesADrumTrackToTheFirstFreeMelodyChannelWithProgram117) {
    TestSession t;
    const Track drums = Track().Name(0, "Drums").NoteOn(10, 9, 36, 100).At(0, {0xB0, 7, 90}).NoteOff(96, 9, 36).End();
    const Bytes file = MidiFile()
                           .Add(Track().NoteOn(0, 0, 60, 1).NoteOn(0, 1, 60, 1).End())
                           .Add(drums)
                           .Build();
    const Bytes result = Rewrite(t, file, 2, RewriteMode::SwitchDrumMelody);
    // Only the drum channel's events move; the program change comes where the first event stood.
    const Track moved = Track().Name(0, "Drums").Delta(10).Raw({0xC2, 117, 0, 0x92, 36, 100})
                            .At(0, {0xB0, 7, 90}).NoteOff(96, 2, 36).End();
    EXPECT_EQ(result, MidiFile().Add(Track().NoteOn(0, 0, 60, 1).NoteOn(0, 1, 60, 1).End()).Add(moved).Build());
}

TEST(Writer, MovesAMelodyTrackToTheDrumChannelOnlyWhenItIsFree) {
    TestSession t;
    const Bytes file = MidiFile().Add(Track().Program(0, 3, 1).NoteOn(0, 3, 60, 1).End()).Build();
    EXPECT_EQ(Rewrite(t, file, 1, RewriteMode::SwitchDrumMelody), MidiFile().Add(Track().Program(0, 9, 1).NoteOn(0, 9, 60, 1).End()).Build());

    TestSession u;
    const Bytes busy =
        MidiFile().Add(Track().NoteOn(0, 3, 60, 1).End()).Add(Track().NoteOn(0, 9, 36, 1).End()).Build();
    EXPECT_EQ(Rewrite(u, busy, 1, RewriteMode::SwitchDrumMelody), busy);
    EXPECT_EQ(u.platform().messages, (std::vector<std::string>{"No free channel"}));
}

TEST(Writer, AppendsACopyOnTheFirstFreeChannelAndCountsIt) {
    TestSession t;
    const Track source = Track().Name(0, "Lead").Tempo(0, 500000).NoteOn(48, 0, 60, 100).NoteOff(96, 0, 60).End(3);
    const Bytes file = MidiFile(0).Add(source).Build();
    const Bytes result = Rewrite(t, file, 1, RewriteMode::CopyTrack);
    Bytes expected = MidiFile(1).Add(source).Add(Track().NoteOn(0, 1, 60, 100).NoteOff(96, 1, 60).End(3)).Build();
    EXPECT_EQ(result, expected);
    EXPECT_EQ(t->song.TrackCount, 2);
    EXPECT_EQ(t->song.TracksFound, 2);
}

TEST(Writer, CopiesADrumTrackWithProgram117First) {
    TestSession t;
    const Bytes file = MidiFile().Add(Track().NoteOn(0, 9, 36, 100).End(5)).Build();
    const Bytes result = Rewrite(t, file, 1, RewriteMode::CopyTrack);
    EXPECT_EQ(result, MidiFile()
                          .Add(Track().NoteOn(0, 9, 36, 100).End(5))
                          .Add(Track().Raw({0, 0xC0, 117, 0, 0x90, 36, 100}).End(5))
                          .Build());
}

TEST(Writer, CopiesBeyondSeventyThreeTracksButNotBeyondTheLargestTrackCount) {
    TestSession t;
    MidiFile file;
    for (int i = 0; i < 73; ++i) file.Add(Track().NoteOn(0, i % 8, 60, 1).End());
    const Bytes bytes = file.Build();
    const Bytes copied = Rewrite(t, bytes, 1, RewriteMode::CopyTrack);
    EXPECT_EQ(copied.size(), bytes.size() + 8 + 8);
    EXPECT_EQ(copied[11], 74);
    EXPECT_TRUE(t.platform().messages.empty());

    TestSession full;
    MidiFile largest;
    largest.Add(Track().NoteOn(0, 0, 60, 1).End());
    for (int i = 1; i < kMaxTracks; ++i) largest.Add(Track().End());
    const Bytes most = largest.Build();
    ASSERT_TRUE(full.Load(most));
    full->song.CurrentTrack = 1;
    ParseTrack(*full);
    RewriteTrack(*full, RewriteMode::CopyTrack);
    EXPECT_EQ(TestSession::ReadBytes(full.folder() / "sonivex-temp.tmp"), most);
    EXPECT_EQ(full.platform().messages.back(), "Too many tracks");
}

TEST(Writer, SubstitutesDrumNotesInDrumTracksOnly) {
    TestSession t;
    const Bytes file = MidiFile().Add(Track().NoteOn(0, 9, 36, 100).NoteOff(1, 9, 38).End()).Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    for (int k = 0; k <= 127; ++k) t->drumNoteMap[k] = k + 1;
    t->song.CurrentTrack = 1;
    ParseTrack(*t);
    RewriteTrack(*t, RewriteMode::SubstituteDrums);
    EXPECT_EQ(TestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"),
              MidiFile().Add(Track().NoteOn(0, 9, 37, 100).NoteOff(1, 9, 39).End()).Build());
}

TEST(Writer, SkipsADeletedRecordWithItsDeltaTime) {
    TestSession t;
    const Bytes file = MidiFile().Add(Track().NoteOn(0, 0, 60, 100).NoteOn(5, 0, 62, 100).NoteOff(7, 0, 60).End(9)).Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    t->song.CurrentTrack = 1;
    ParseTrack(*t);
    std::vector<EventRecord> records;
    for (int r = 1; r <= t->song.RecordCount; ++r) records.push_back(t->song.Notes.Values(r));
    records[1].Status = 0;  // the second note is deleted
    t->song.Notes.Replace(records);
    RewriteTrack(*t, RewriteMode::Effects);
    EXPECT_EQ(TestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"),
              MidiFile().Add(Track().NoteOn(0, 0, 60, 100).NoteOff(5, 0, 60).End(9)).Build());
}

TEST(Writer, LeavesTheWorkingCopyWhenTheScratchFileCannotBeWritten) {
    TestSession t;
    const Bytes file = MidiFile().Add(Track().NoteOn(0, 0, 60, 1).End()).Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    t->song.CurrentTrack = 1;
    ParseTrack(*t);
    {
        const FileSizeLimit full(10);  // the new song does not fit
        RewriteTrack(*t, RewriteMode::SwitchDrumMelody);
    }
    EXPECT_EQ(TestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"), file);
    ASSERT_EQ(t.platform().messages.size(), 1u);
    EXPECT_EQ(t.platform().messages[0], (t.folder() / "dffhedc").string() +
                                            " could not be written: File too large\r\nThe song was left as it was.");
    EXPECT_EQ(t->UnwrittenResults, 1);
    for (const auto& entry : std::filesystem::directory_iterator(t.folder())) {
        EXPECT_NE(entry.path().filename().string().rfind("dffhedc", 0), 0u) << "a scratch file is left";
    }
}

struct Editing {
    TestSession t;
    FakeMedia device;
    Editing(const Bytes& file) {
        t->media.Device = &device;
        FormLoad(*t);
        t.platform().Files({t.WriteSong(file).string()});
        OpenCommand(*t);
    }
};

TEST(TrackOperations, SwitchAndCopyAnalyseAgainAndEnableSave) {
    Editing e(MidiFile().Add(Track().Name(0, "x").NoteOn(0, 0, 60, 100).End(96)).Build());
    e.device.commands.clear();
    e.t->form.Combo4.listIndex = 0;
    SwitchDrumMelody(*e.t);
    EXPECT_NE(e.t->form.RichTextBox1.find("DRUM TRACK"), std::string::npos);
    EXPECT_TRUE(e.t->form.mnuSave.enabled && e.t->form.SaveButton.enabled);
    EXPECT_EQ(e.device.commands.front(), "Close VAVidev1 notify");
    EXPECT_EQ(e.device.commands[1].rfind("Open " + (e.t.folder() / "sonivex-temp.tmp").string(), 0), 0u);

    e.t->form.Combo5.listIndex = 0;
    CopyTrack(*e.t);
    EXPECT_NE(e.t->form.RichTextBox1.find("Total Tracks: 2"), std::string::npos);
    // The switched track plays drums now, so its copy gets program 117 on the first free channel.
    EXPECT_NE(e.t->form.RichTextBox1.find("   2       1     118    "), std::string::npos);
}

TEST(TrackOperations, SayNoNotesInTrackForATrackWithoutEvents) {
    Editing e(MidiFile().Add(Track().Name(0, "only a name").End()).Build());
    const std::string report = e.t->form.RichTextBox1;
    e.device.commands.clear();
    e.t->form.Combo4.listIndex = 0;
    SwitchDrumMelody(*e.t);
    EXPECT_EQ(e.t.platform().messages.back(), "No notes in track!");
    EXPECT_TRUE(e.device.commands.empty());
    EXPECT_EQ(e.t->form.RichTextBox1, report);
    EXPECT_FALSE(e.t->form.mnuSave.enabled);
}

}  // namespace
}  // namespace sonivex::test

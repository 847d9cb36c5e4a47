#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/editing.h"
#include "edit/style.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

struct Styled {
    TestSession t;
    FakeMedia device;
    explicit Styled(const Bytes& file, const std::string& styles) {
        t->media.Device = &device;
        t.WriteDataFile("style1.dat", styles);
        FormLoad(*t);
        t.platform().Files({t.WriteSong(file).string()});
        OpenCommand(*t);
    }
    Bytes Working() { return TestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"); }
};

TEST(StyleLists, FindTheDrumNotesAfterTheWordDrum) {
    EXPECT_EQ(StyleDrumNotes("Rock=1,2,DRUM,36,38"), (std::vector<int>{36, 38}));
    EXPECT_EQ(StyleDrumNotes("Drum and Bass=5,drum,35, 41.5"), (std::vector<int>{35, 42}));
    EXPECT_EQ(StyleDrumNotes("Pop=1,2"), std::vector<int>{});
    EXPECT_EQ(StyleDrumNotes("Pop=1,drum,36,"), (std::vector<int>{36, 0}));
}

TEST(StyleLists, DealProgramsFromTheLongestTrackOn) {
    TestSession t;
    SongModel& m = t->song;
    m.TracksFound = 2;
    m.TrackDataLength[1] = 10;
    m.TrackDataLength[2] = 50;
    // Four changes in the longer track 2, one in track 1, listed in file order.
    const int tracks[] = {1, 2, 2, 2, 2};
    for (int i = 0; i < 5; ++i) {
        m.ProgramChangeTrack[i + 1] = tracks[i];
        m.ProgramChangeProgram[i + 1] = 0;
    }
    m.ProgramChangeCount = 6;
    const std::vector<std::int32_t> dealt = DealPrograms(m, {11, 22, 33});
    EXPECT_EQ(dealt, (std::vector<std::int32_t>{-1, 21, 10, 21, 32, 10}));
}

TEST(StyleLists, MapTheMostFrequentDrumNotesOntoTheListInTurn) {
    TestSession t;
    SongModel& m = t->song;
    m.Counts.DrumNoteCount[42] = 9;
    m.Counts.DrumNoteCount[36] = 5;
    m.Counts.DrumNoteCount[38] = 2;
    const DrumNoteMap map = DrumNoteMapFor(m.Counts, {35, 40});
    EXPECT_EQ(map[42], 35);
    EXPECT_EQ(map[36], 40);
    EXPECT_EQ(map[38], 35);
}

TEST(ApplyStyle, PatchesEveryProgramChangeInPlace) {
    const Bytes file = MidiFile()
                           .Add(Track().Program(0, 0, 0).NoteOn(0, 0, 60, 90).Program(10, 0, 5).End(500))
                           .Add(Track().Program(0, 1, 7).NoteOn(0, 1, 60, 90).End(5))
                           .Build();
    Styled st(file, "Other=9\r\n\r\nMine=-1,3,-1,4,0,200\r\n");
    st.t->form.Combo1.listIndex = 1;  // "Mine": the second line that holds "="
    ApplyStyle(*st.t);
    Bytes expected = file;
    // Track 1 is the longer: its two changes get 3 and 4, track 2's change 3 again (programs counted from 1).
    expected[24] = 2;
    expected[31] = 3;
    expected[47] = 2;
    EXPECT_EQ(st.Working(), expected);
    EXPECT_EQ(st.t.platform().messages, std::vector<std::string>{});
    EXPECT_NE(st.t->form.RichTextBox1.find("   1       1       3    Electric Grand Piano"), std::string::npos);
    EXPECT_TRUE(st.t->form.mnuSave.enabled);
}

TEST(ApplyStyle, LimitsTheListsToMaxNumber) {
    const Bytes file = MidiFile()
                           .Add(Track().Program(0, 0, 0).Program(0, 0, 0).Program(0, 0, 0).NoteOn(0, 0, 60, 1).End())
                           .Build();
    Styled two(file, "S=11,12,13,14,15\r\n");
    two.t->form.Combo1.listIndex = 0;
    two.t->form.Combo2.listIndex = 2;
    ApplyStyle(*two.t);
    const Bytes w = two.Working();
    EXPECT_EQ((std::vector<int>{w[24], w[27], w[30]}), (std::vector<int>{10, 11, 10}));

    Styled seven(file, "S=11,12,13,14,15\r\n");
    seven.t->form.Combo1.listIndex = 0;
    seven.t->form.Combo2.listIndex = 7;
    ApplyStyle(*seven.t);
    const Bytes v = seven.Working();
    EXPECT_EQ((std::vector<int>{v[24], v[27], v[30]}), (std::vector<int>{10, 11, 12}));
}

TEST(ApplyStyle, MapsTheDrumNotesOfEveryDrumTrack) {
    const Bytes file = MidiFile()
                           .Add(Track().NoteOn(0, 9, 42, 90).NoteOn(0, 9, 42, 90).NoteOn(0, 9, 36, 90).End())
                           .Add(Track().NoteOn(0, 0, 42, 90).End())
                           .Build();
    Styled st(file, "S=1,drum,49,51\r\n");
    st.t->form.Combo1.listIndex = 0;
    st.t->form.Check1.ticked = false;
    st.t->form.Check2.ticked = true;
    ApplyStyle(*st.t);
    EXPECT_EQ(st.Working(), MidiFile()
                                .Add(Track().NoteOn(0, 9, 49, 90).NoteOn(0, 9, 49, 90).NoteOn(0, 9, 51, 90).End())
                                .Add(Track().NoteOn(0, 0, 42, 90).End())
                                .Build());
}

TEST(ApplyStyle, MapsTheDrumNotesOfDrumTracksBetweenMelodyTracksInOnePass) {
    // Drum tracks first, between and last, with melody tracks of the same key that keep it.
    const auto drums = [] { return Track().NoteOn(0, 9, 42, 90).NoteOff(10, 9, 42).End(); };
    const auto melody = [] { return Track().NoteOn(0, 0, 42, 90).End(); };
    const Bytes file = MidiFile().Add(drums()).Add(melody()).Add(drums()).Add(melody()).Add(drums()).Build();
    Styled st(file, "S=1,drum,49,51\r\n");
    st.t->form.Combo1.listIndex = 0;
    st.t->form.Check1.ticked = false;
    st.t->form.Check2.ticked = true;
    ApplyStyle(*st.t);
    const auto mapped = [] { return Track().NoteOn(0, 9, 49, 90).NoteOff(10, 9, 49).End(); };
    EXPECT_EQ(st.Working(), MidiFile().Add(mapped()).Add(melody()).Add(mapped()).Add(melody()).Add(mapped()).Build());
    EXPECT_EQ(st.t->song.TracksFound, 5);
}

TEST(ApplyStyle, ChangesNothingWithoutADrumTrackButReopensAndEnablesSave) {
    const Bytes file = MidiFile().Add(Track().NoteOn(0, 0, 60, 90).End()).Build();
    Styled st(file, "S=1,drum,49\r\n");
    st.device.commands.clear();
    st.t->form.Combo1.listIndex = 0;
    st.t->form.Check1.ticked = false;
    st.t->form.Check2.ticked = true;
    ApplyStyle(*st.t);
    EXPECT_EQ(st.Working(), file);
    EXPECT_TRUE(st.t->form.mnuSave.enabled);
    EXPECT_EQ(st.device.commands.front(), "Close VAVidev1 notify");
    EXPECT_EQ(st.device.commands[1].rfind("Open ", 0), 0u);
}

}  // namespace
}  // namespace sonivex::test

#include <gtest/gtest.h>

#include "reader/data_files.h"
#include "report/listing.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

using Fields = std::array<std::int32_t, 7>;

std::string Line(TestSession& t, const Fields& f, std::int64_t record = 0) {
    DrumMemory drum;
    return ListingLine(*t, f, record, drum);
}

TEST(Listing, LaysOutANoteWithItsName) {
    TestSession t;
    EXPECT_EQ(Line(t, {144, 60, 100, 0, -3, -1, 1}), "        C1   c5  100      0 On");
    EXPECT_EQ(Line(t, {144, 61, 0, 12, -3, -1, 0}), "        C1  c#5    0     12 Off");
    EXPECT_EQ(Line(t, {-144, 127, 64, 0, -3, -1, 0}).substr(0, 18), "        C1  g10   ");
    EXPECT_EQ(Line(t, {128, 0, 64, 1, -3, -1, 0}), "        C1   c0   64      1 Off");
}

TEST(Listing, LaysOutRowsWithoutAChannel) {
    TestSession t;
    EXPECT_EQ(Line(t, {81, 120, -1, 96, -1, -1, -1}), "            120          96 Set Tempo");
    EXPECT_EQ(Line(t, {88, 6, 8, 0, -1, -1, -1}), "              6    8      0 Time Signature");
    EXPECT_EQ(Line(t, {-1, -1, -1, 0, -1, -2, -1}), "                          0 Text");
    EXPECT_EQ(Line(t, {0, 0, 0, 0, 0, 0, 0}), "              0    0      0 ");
    EXPECT_EQ(Line(t, {240, -1, -1, 3, -1, -1, -1}), "                          3 System Exclusive");
}

TEST(Listing, NamesControllersPitchBendsAndPressure) {
    TestSession t;
    EXPECT_EQ(Line(t, {-186, 7, 100, 0, -5, -1, -1}), "        C11   7  100      0 Controller: volume");
    EXPECT_EQ(Line(t, {176, 26, 1, 0, -5, -1, -1}).substr(28), "Controller: data entry");
    EXPECT_EQ(Line(t, {176, 38, 1, 0, -5, -1, -1}).substr(28), "Controller: 38");
    EXPECT_EQ(Line(t, {224, 0, 64, 0, -10, -1, -1}).substr(28), "Pitch Change");
    EXPECT_EQ(Line(t, {-208, 5, -1, 0, -1, -1, -1}).substr(28), "Channel Pressure");
    EXPECT_EQ(Line(t, {175, 5, 9, 0, -1, -1, -1}).substr(0, 12), "        C16 ");
}

TEST(Listing, NamesProgramsAndDrumKits) {
    TestSession t;
    EXPECT_EQ(Line(t, {192, 0, -1, 0, -4, -1, -1}).substr(28), "Instrument: Acoustic Grand Piano");
    const std::pair<int, const char*> kits[] = {{0, "Standard"}, {8, "Room"}, {24, "Electronic"}, {25, "TR - 808"},
                                                {32, "TR - 808"}, {33, "Jazz"}, {40, "Brush"}, {55, "Orchestra"},
                                                {56, "unknown"}, {127, "unknown"}};
    for (const auto& [program, kit] : kits) {
        EXPECT_EQ(Line(t, {201, program, -1, 0, -2, -1, -1}).substr(28), std::string("Drum Set: ") + kit) << program;
    }
}

TEST(Listing, NamesDrumNotesAndLooksARepeatedKeyUpOnce) {
    TestSession t;
    EXPECT_EQ(Line(t, {153, 35, 100, 0, -3, -1, 1}), "        C10  35  100      0 On  - Acoustic Bass Drum");
    EXPECT_EQ(Line(t, {137, 20, 64, 0, -3, -1, 0}).substr(28), "Off - unknown");
    EXPECT_EQ(Line(t, {153, 100, 64, 0, -3, -1, 0}).substr(28), "On  - unknown percussion");

    DrumMemory drum;
    EXPECT_EQ(ListingLine(*t, {153, 36, 100, 0, -3, -1, 1}, 5, drum).substr(28), "On  - Bass Drum 1");
    std::filesystem::remove(t.folder() / "genmidi.ini");
    ForgetNames(*t);
    EXPECT_EQ(ListingLine(*t, {137, 36, 64, 0, -3, -1, 0}, 6, drum).substr(28), "Off - Bass Drum 1");
    EXPECT_THROW(ListingLine(*t, {137, 36, 64, 0, -3, -1, 0}, 8, drum), RunError);
}

TEST(Listing, LogsEveryRecordAndTheTracksOwnTime) {
    TestSession t;
    const Bytes file = MidiFile()
                           .Add(Track().Tempo(0, 500000).NoteOn(0, 0, 60, 100).End(192 * 70))
                           .Add(Track().Name(0, "B").NoteOn(192 * 3, 1, 62, 100).End(192))
                           .Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    const std::string log = t.LogText();
    EXPECT_NE(log.find("        C1   c5  100  13440 On\r\nTotal Time: 01.11\r\n"), std::string::npos);
    // The second track's time counts the delta after its name and not the first track's time.
    EXPECT_NE(log.find("        C2   d5  100    192 On\r\nTotal Time: 00.05\r\n"), std::string::npos);
}

TEST(Listing, ReadsAWideDeltaBackCutToSevenCharacters) {
    TestSession t;
    ASSERT_TRUE(t.LoadAndReport(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(1500000)).Build()));
    // The record holds " 150000"; the report's own time counts the whole delta.
    EXPECT_NE(t.LogText().find("        C1   c5  100 150000 On\r\n"), std::string::npos);
    EXPECT_EQ(t->song.EventDelta[1], 1500000);
}

}  // namespace
}  // namespace sonivex::test

#include <gtest/gtest.h>

#include "reader/data_files.h"
#include "report/listing.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

// Records as the parser makes them: a note with its state, any other row with its kind.
EventRecord NoteRow(int status, int key, int velocity, int delta, std::int32_t state) {
    return {status, key, velocity, delta, RowKind::Note, kAbsent, state};
}
EventRecord Row(int status, int data1, int data2, int delta, RowKind kind) {
    return {status, data1, data2, delta, kind, kAbsent, kAbsent};
}

std::string Line(ReportTestSession& t, const EventRecord& f, std::int64_t record = 0) {
    DrumMemory drum;
    return ListingLine(*t, f, record, drum);
}

TEST(Listing, LaysOutANoteWithItsName) {
    ReportTestSession t;
    EXPECT_EQ(Line(t, NoteRow(144, 60, 100, 0, kNoteSounds)), "        C1   c5  100      0 On");
    EXPECT_EQ(Line(t, NoteRow(144, 61, 0, 12, kNoteSilent)), "        C1  c#5    0     12 Off");
    EXPECT_EQ(Line(t, NoteRow(-144, 127, 64, 0, kNoteSilent)).substr(0, 18), "        C1  g10   ");
    EXPECT_EQ(Line(t, NoteRow(128, 0, 64, 1, kNoteSilent)), "        C1   c0   64      1 Off");
}

TEST(Listing, WritesEveryNoteRowTheShortWayExactlyAsColumnByColumn) {
    ReportTestSession t;
    std::string fast;
    std::string slow;
    DrumMemory drum;
    // The outcome of a layout: its line, or the error it stopped with (a drum key beyond the drum names).
    const auto outcome = [&](auto layout, std::string& buffer, const EventRecord& row) {
        try {
            return std::string(layout(buffer, *t, row, 0, drum));
        } catch (const RunError& e) {
            return std::string("error ") + e.what();
        }
    };
    int compared = 0;
    const auto same = [&](const EventRecord& row) {
        ++compared;
        return outcome(FormatListingLine, fast, row) == outcome(FormatAnyListingLine, slow, row);
    };
    int differing = 0;
    // Every note status, running or not, every key and every velocity, with deltas of each width; and the
    // rows at the edges of the short way (wide velocities and deltas, text marks, keys beyond 127).
    for (int status = 128; status <= 159; ++status) {
        for (int key = 0; key <= 127; ++key) {
            for (int velocity = 0; velocity <= 127; ++velocity) {
                const int delta = (key * 131 + velocity * 7) % 1000000 / (1 + velocity % 5 * 100);
                if (!same(NoteRow(status, key, velocity, delta, kNoteSounds))) ++differing;
                if (velocity % 32 == 0 && !same(NoteRow(-status, key, velocity, 999999, kNoteSilent))) ++differing;
            }
        }
        for (const int wide : {128, 999, 1000, 123456, 999999}) {
            if (!same(NoteRow(status, 60, wide, 0, kNoteSounds))) ++differing;
            if (!same(NoteRow(status, 60, 64, wide, kNoteSounds))) ++differing;
        }
        if (!same(NoteRow(status, 128, 64, 0, kNoteSounds))) ++differing;
        if (!same(NoteRow(status, 60, kAbsent, kAbsent, kNoteSounds))) ++differing;
        if (!same(EventRecord{status, 60, 64, 0, RowKind::Note, kTextMarker, kNoteSounds})) ++differing;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(compared, 32 * 128 * 128);
}

TEST(Listing, LaysOutRowsWithoutAChannel) {
    ReportTestSession t;
    EXPECT_EQ(Line(t, Row(kTempoRow, 120, kAbsent, 96, RowKind::Other)), "            120          96 Set Tempo");
    EXPECT_EQ(Line(t, Row(kTimeSignatureRow, 6, 8, 0, RowKind::Other)), "              6    8      0 Time Signature");
    const EventRecord text{kTextStatus, kAbsent, kAbsent, 0, RowKind::Other, kTextMarker, kAbsent};
    EXPECT_EQ(Line(t, text), "                          0 Text");
    EXPECT_EQ(Line(t, EventRecord::Unwritten()), "              0    0      0 ");
    EXPECT_EQ(Line(t, Row(kSysexRow, kAbsent, kAbsent, 3, RowKind::Other)),
              "                          3 System Exclusive");
}

TEST(Listing, NamesControllersPitchBendsAndPressure) {
    ReportTestSession t;
    EXPECT_EQ(Line(t, Row(-186, 7, 100, 0, RowKind::Controller)), "        C11   7  100      0 Controller: volume");
    EXPECT_EQ(Line(t, Row(176, 26, 1, 0, RowKind::Controller)).substr(28), "Controller: data entry");
    EXPECT_EQ(Line(t, Row(176, 38, 1, 0, RowKind::Controller)).substr(28), "Controller: 38");
    EXPECT_EQ(Line(t, Row(224, 0, 64, 0, RowKind::PitchBend)).substr(28), "Pitch Change");
    EXPECT_EQ(Line(t, Row(-208, 5, kAbsent, 0, RowKind::Other)).substr(28), "Channel Pressure");
    EXPECT_EQ(Line(t, Row(175, 5, 9, 0, RowKind::Other)).substr(0, 12), "        C16 ");
}

TEST(Listing, NamesProgramsAndDrumKits) {
    ReportTestSession t;
    EXPECT_EQ(Line(t, Row(192, 0, kAbsent, 0, RowKind::Program)).substr(28), "Instrument: Acoustic Grand Piano");
    const std::pair<int, const char*> kits[] = {{0, "Standard"}, {8, "Room"}, {24, "Electronic"}, {25, "TR - 808"},
                                                {32, "TR - 808"}, {33, "Jazz"}, {40, "Brush"}, {55, "Orchestra"},
                                                {56, "unknown"}, {127, "unknown"}};
    for (const auto& [program, kit] : kits) {
        EXPECT_EQ(Line(t, Row(201, program, kAbsent, 0, RowKind::DrumProgram)).substr(28),
                  std::string("Drum Set: ") + kit)
            << program;
    }
}

TEST(Listing, NamesDrumNotesAndLooksARepeatedKeyUpOnce) {
    ReportTestSession t;
    EXPECT_EQ(Line(t, NoteRow(153, 35, 100, 0, kNoteSounds)), "        C10  35  100      0 On  - Acoustic Bass Drum");
    EXPECT_EQ(Line(t, NoteRow(137, 20, 64, 0, kNoteSilent)).substr(28), "Off - unknown");
    EXPECT_EQ(Line(t, NoteRow(153, 100, 64, 0, kNoteSilent)).substr(28), "On  - unknown percussion");

    DrumMemory drum;
    EXPECT_EQ(ListingLine(*t, NoteRow(153, 36, 100, 0, kNoteSounds), 5, drum).substr(28), "On  - Bass Drum 1");
    std::filesystem::remove(t.folder() / "genmidi.ini");
    ForgetNames(*t);
    EXPECT_EQ(ListingLine(*t, NoteRow(137, 36, 64, 0, kNoteSilent), 6, drum).substr(28), "Off - Bass Drum 1");
    EXPECT_THROW(ListingLine(*t, NoteRow(137, 36, 64, 0, kNoteSilent), 8, drum), RunError);
}

TEST(Listing, LogsEveryRecordAndTheTracksOwnTime) {
    ReportTestSession t;
    const Bytes file = MidiFile()
                           .Add(Track().Tempo(0, 500000).NoteOn(0, 0, 60, 100).End(192 * 70))
                           .Add(Track().Name(0, "B").NoteOn(192 * 3, 1, 62, 100).End(192))
                           .Build();
    ASSERT_TRUE(t.LoadAndReport(file));
    const std::string log = t.LogText();
    EXPECT_NE(log.find("        C1   c5  100  13440 On\r\nTotal Time: 01.10\r\n"), std::string::npos);
    // The second track's time counts the delta after its name and not the first track's time: 768 ticks, 4 s.
    EXPECT_NE(log.find("        C2   d5  100    192 On\r\nTotal Time: 00.04\r\n"), std::string::npos);
}

TEST(Listing, ShowsADeltaWiderThanItsColumnWhole) {
    ReportTestSession t;
    ASSERT_TRUE(t.LoadAndReport(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(1500000)).Build()));
    EXPECT_NE(t.LogText().find("        C1   c5  100 1500000 On\r\n"), std::string::npos);
}

}  // namespace
}  // namespace sonivex::test

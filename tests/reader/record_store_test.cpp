#include <gtest/gtest.h>

#include "reader/record_store.h"

namespace sonivex::test {
namespace {

EventRecord Note(std::int32_t delta) { return {0x90, 60, 100, delta, RowKind::Note, kAbsent, kNoteSounds}; }

TEST(RecordStore, KeepsRecordsWhoseNumbersNeedAllTheirDigits) {
    RecordStore store;
    // A tempo row's beats per minute, a long delta, a large denominator and an odd kind: none fits 16 bits.
    const EventRecord wide{kTempoRow, 600000, 40000, 999999, static_cast<RowKind>(-300), -70000, 123456};
    // Numbers of seven digits and more are kept whole: a delta of 268,435,455 ticks is the longest a file holds.
    const EventRecord whole{1000000, -2097151, 999999, 268435455, RowKind::Note, 0, 0};
    store.Write(1, std::vector<EventRecord>{Note(5), wide, whole});
    EXPECT_EQ(store.Values(1), Note(5));
    EXPECT_EQ(store.Values(2), wide);
    EXPECT_EQ(store.Values(3), whole);

    // Written over by a narrow record, the wide one is gone; and back again.
    store.Write(2, std::vector<EventRecord>{Note(7)});
    EXPECT_EQ(store.Values(2), Note(7));
    store.Write(2, std::vector<EventRecord>{wide});
    EXPECT_EQ(store.Values(2), wide);
}

TEST(RecordStore, GrowsAcrossBlocksAndReadsSkippedAndLaterRecordsAsUnwritten) {
    RecordStore store;
    std::vector<EventRecord> block;
    for (int i = 0; i < 100; ++i) block.push_back(Note(i));
    for (int first = 1; first <= 10001; first += 100) store.Write(first, block);
    EXPECT_EQ(store.Values(4096), Note(95));   // the last of the first block of storage
    EXPECT_EQ(store.Values(4097), Note(96));   // the first of the next
    EXPECT_EQ(store.Values(10100), Note(99));
    EXPECT_EQ(store.Values(10101), EventRecord::Unwritten());
    EXPECT_EQ(store.Values(0), EventRecord::Unwritten());

    // A write past the end leaves the records between unwritten.
    store.Write(20001, std::vector<EventRecord>{Note(1)});
    EXPECT_EQ(store.Values(15000), EventRecord::Unwritten());
    EXPECT_EQ(store.Values(20001), Note(1));
}

TEST(RecordStore, ReplaceAndForgetLeaveNothingOfTheOldRecordsBehind) {
    RecordStore store;
    const EventRecord wide{kTempoRow, 600000, 4, 96, RowKind::Other, kAbsent, kAbsent};
    store.Write(1, std::vector<EventRecord>{Note(1), Note(2), wide, Note(4)});
    store.Replace({Note(9)});
    EXPECT_EQ(store.Values(1), Note(9));
    EXPECT_EQ(store.Values(2), EventRecord::Unwritten());
    // Growing again after the shorter set, the old records do not come back.
    store.Write(5, std::vector<EventRecord>{Note(5)});
    EXPECT_EQ(store.Values(3), EventRecord::Unwritten());
    EXPECT_EQ(store.Values(4), EventRecord::Unwritten());
    EXPECT_EQ(store.Values(5), Note(5));

    store.Begin();
    store.Forget();
    EXPECT_FALSE(store.InUse());
    EXPECT_EQ(store.Values(1), EventRecord::Unwritten());
    store.Write(3, std::vector<EventRecord>{Note(3)});
    EXPECT_EQ(store.Values(1), EventRecord::Unwritten());
    EXPECT_EQ(store.Values(3), Note(3));
}

}  // namespace
}  // namespace sonivex::test

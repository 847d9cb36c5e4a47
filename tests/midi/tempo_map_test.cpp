#include "midi/tempo_map.h"

#include <gtest/gtest.h>

namespace sonivex {
namespace {

TEST(TempoMap, HoldsHalfASecondPerQuarterUntilTheFirstChange) {
    const TempoMap map(96, {});
    EXPECT_DOUBLE_EQ(map.SecondsAt(192), 1.0);
    EXPECT_EQ(map.WholeSecondsAt(191), 0u);
    EXPECT_EQ(map.WholeSecondsAt(192), 1u);
    // 120 ticks at 96 per quarter: 0.625 s.
    EXPECT_EQ(map.WholeSecondsAt(120), 0u);
}

TEST(TempoMap, SumsItsSegmentsExactly) {
    // 1 s at the default tempo, then quarters of a second: 1 + 2 x 0.25 = 1.5 s at tick 192 + 192.
    const TempoMap map(96, {{192, 250000}});
    EXPECT_DOUBLE_EQ(map.SecondsAt(384), 1.5);
    EXPECT_EQ(map.WholeSecondsAt(384), 1u);
    // 60 s exactly are 60, not 59 from a rounding below.
    const TempoMap minute(480, {{0, 1000000}});
    EXPECT_EQ(minute.WholeSecondsAt(480 * 60), 60u);
    EXPECT_EQ(minute.WholeSecondsAt(480 * 60 - 1), 59u);
}

TEST(TempoMap, ChangesAtOneTickLeaveTheLastInForce) {
    const TempoMap map(100, {{100, 1000000}, {100, 2000000}, {0, 1000000}});
    EXPECT_DOUBLE_EQ(map.SecondsAt(100), 1.0);
    EXPECT_DOUBLE_EQ(map.SecondsAt(200), 3.0);
}

TEST(TempoMap, CountsHugeSongsWithoutOverflow) {
    // The longest tempo over the most ticks a decoder can count: far beyond 64 bits of microseconds x ticks.
    const std::uint64_t ticks = std::uint64_t{1} << 50;
    const TempoMap map(1, {{0, 0xFFFFFF}});
    EXPECT_EQ(map.WholeSecondsAt(ticks), static_cast<std::uint64_t>((static_cast<unsigned __int128>(ticks) * 0xFFFFFF) / 1000000));
}

TEST(TempoMap, ATimeCodeDivisionGivesNoTime) {
    const TempoMap map(-6, {{0, 1000}});
    EXPECT_EQ(map.WholeSecondsAt(100000), 0u);
    EXPECT_EQ(map.SecondsAt(100000), 0.0);
    EXPECT_EQ(map.TickAt(5.0), 0u);
}

TEST(TempoMap, FindsTheTickOfATime) {
    const TempoMap map(96, {{192, 250000}});
    EXPECT_EQ(map.TickAt(0.0), 0u);
    EXPECT_EQ(map.TickAt(0.5), 96u);
    EXPECT_EQ(map.TickAt(1.0), 192u);
    EXPECT_EQ(map.TickAt(1.25), 288u);
    for (std::uint64_t tick : {0u, 1u, 95u, 191u, 193u, 1000u}) EXPECT_EQ(map.TickAt(map.SecondsAt(tick)), tick);
}

TEST(SongTempo, SharesOneMapOrGivesEachTrackItsOwn) {
    const SongTempo shared = SongTempo::Shared(TempoMap(96, {{0, 1000000}}));
    EXPECT_DOUBLE_EQ(shared.Of(5).SecondsAt(96), 1.0);
    const SongTempo own = SongTempo::PerTrack({TempoMap(96, {}), TempoMap(96, {{0, 1000000}})});
    EXPECT_DOUBLE_EQ(own.Of(0).SecondsAt(96), 0.5);
    EXPECT_DOUBLE_EQ(own.Of(1).SecondsAt(96), 1.0);
    EXPECT_EQ(own.Of(2).SecondsAt(96), 0.0);  // no map: no time
}

}  // namespace
}  // namespace sonivex

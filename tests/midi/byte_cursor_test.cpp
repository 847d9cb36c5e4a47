#include "midi/byte_cursor.h"

#include <gtest/gtest.h>

#include <vector>

namespace sonivex {
namespace {

std::optional<std::uint32_t> VarLenOf(std::vector<std::uint8_t> bytes, int maxBytes = kMaxVarLenBytes) {
    ByteCursor cursor(bytes);
    return cursor.VarLen(maxBytes);
}

TEST(ByteCursor, ReadsVariableLengthNumbersOfOneToFourBytes) {
    EXPECT_EQ(VarLenOf({0x00}), 0u);
    EXPECT_EQ(VarLenOf({0x7F}), 127u);
    EXPECT_EQ(VarLenOf({0x81, 0x00}), 128u);
    EXPECT_EQ(VarLenOf({0xFF, 0x7F}), 16383u);
    EXPECT_EQ(VarLenOf({0xFF, 0xFF, 0x7F}), 2097151u);
    // The smallest number that needs four bytes, and the largest the standard allows.
    EXPECT_EQ(VarLenOf({0x81, 0x80, 0x80, 0x00}), 2097152u);
    EXPECT_EQ(VarLenOf({0xFF, 0xFF, 0xFF, 0x7F}), 268435455u);
}

TEST(ByteCursor, TheLastByteAllowedEndsANumberWhateverItsTopBit) {
    std::vector<std::uint8_t> bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0x42};
    ByteCursor cursor(bytes);
    EXPECT_EQ(cursor.VarLen(), 268435455u);
    EXPECT_EQ(cursor.Byte(), 0x42);  // the fifth byte is the next thing read
    // A caller that allows three bytes gets the three-byte reading.
    EXPECT_EQ(VarLenOf({0x81, 0x80, 0x80, 0x00}, 3), 16384u);
}

TEST(ByteCursor, NeverReadsPastTheEnd) {
    EXPECT_EQ(VarLenOf({}), std::nullopt);
    EXPECT_EQ(VarLenOf({0x81, 0x80}), std::nullopt);  // cut off inside the number

    std::vector<std::uint8_t> bytes = {1, 2, 3};
    ByteCursor cursor(bytes);
    EXPECT_FALSE(cursor.Take(4).has_value());
    EXPECT_TRUE(cursor.AtEnd());
    EXPECT_EQ(cursor.Byte(), std::nullopt);

    ByteCursor again(bytes);
    EXPECT_TRUE(again.Skip(1));
    const auto taken = again.Take(2);
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ((*taken)[1], 3);
    EXPECT_FALSE(again.Skip(1));
    EXPECT_EQ(again.Offset(), 3u);
}

}  // namespace
}  // namespace sonivex

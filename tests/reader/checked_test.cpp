#include <gtest/gtest.h>

#include "reader/checked.h"

namespace sonivex::test {
namespace {

TEST(Tables, ALargeTableReadsItsFillValueUntilACellIsWrittenAndKeepsItsCellsInPlace) {
    Table2<Int32, 127, 127> table;  // 64 KB: made a block at a time
    table.Fill(-1);
    EXPECT_EQ(table(121, 5), -1);
    Int32& far = table(121, 5);
    far = 7;
    Int32& near = table(0, 0);  // another block made after the first
    near = 3;
    EXPECT_EQ(&far, &table(121, 5));
    EXPECT_EQ(table(121, 5), 7);
    EXPECT_EQ(table(121, 6), -1);  // made with the block, with the fill value
    EXPECT_EQ(table(60, 0), -1);   // in a block never written

    // A copy is its own table.
    Table2<Int32, 127, 127> copy = table;
    copy(121, 5) = 9;
    EXPECT_EQ(table(121, 5), 7);

    // Fill sets every cell, made or not.
    table.Fill(0);
    EXPECT_EQ(table(121, 5), 0);
    EXPECT_EQ(table(60, 0), 0);
    const Table2<Int32, 127, 127>& readOnly = table;
    EXPECT_EQ(readOnly(100, 100), 0);
    EXPECT_THROW(table(128, 0), RunError);
    EXPECT_THROW(table(0, -1), RunError);
}

TEST(Tables, ASmallTableIsWholeFromTheStart) {
    Table<Int16, 1, 40> table;
    EXPECT_EQ(table[40], 0);
    table[1] = 5;
    table.Fill(2);
    EXPECT_EQ(table[1], 2);
    EXPECT_THROW(table[0], RunError);
    EXPECT_THROW(table[41], RunError);
}

}  // namespace
}  // namespace sonivex::test

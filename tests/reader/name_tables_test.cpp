#include <gtest/gtest.h>

#include "reader/name_tables.h"

namespace sonivex::test {
namespace {

TEST(NameTables, HoldTheKeysWithTheirAlteredPitchClasses) {
    NameTables t;
    FillNameTables(t);
    EXPECT_EQ(t.KeyNames[0], "");
    EXPECT_EQ(t.KeyNames[1], "A");
    EXPECT_EQ(t.KeyNames[24], "G#M");
    // The widest row: seven sharps.
    EXPECT_EQ(t.KeyAccidentals(9, 1), 6);
    EXPECT_EQ(t.KeyAccidentals(9, 2), 1);
    EXPECT_EQ(t.KeyAccidentals(9, 9), 9);
    EXPECT_EQ(t.KeyAccidentals(9, 10), 0);
    EXPECT_EQ(t.KeyAccidentals(5, 1), 0);
    EXPECT_EQ(t.KeyAccidentals(5, 2), -1);
    EXPECT_EQ(t.KeyAccidentals(5, 3), 11);
    // Each minor key has the row of the major key with its signature.
    for (int c = 0; c <= 10; ++c) {
        EXPECT_EQ(t.KeyAccidentals(14, c), t.KeyAccidentals(3, c));   // BM and D
        EXPECT_EQ(t.KeyAccidentals(18, c), t.KeyAccidentals(7, c));   // FM and AB
    }
}

TEST(NameTables, EndTheControllerListWithItsMark) {
    NameTables t;
    FillNameTables(t);
    EXPECT_EQ(t.NoteNames[1], "c");
    EXPECT_EQ(t.NoteNames[12], "b");
    EXPECT_EQ(t.DrumKitNames[5], "TR - 808");
    EXPECT_EQ(t.ControllerNumbers[7], 26);
    EXPECT_EQ(t.ControllerNames[7], "data entry");
    EXPECT_EQ(t.ControllerNumbers[22], -1);
    EXPECT_EQ(t.ControllerNames[22], "0");
}

}  // namespace
}  // namespace sonivex::test

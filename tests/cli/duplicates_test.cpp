#include <gtest/gtest.h>

#include "cli/duplicates.h"

namespace sonivex::test {
namespace {

TEST(DuplicateGroups, GroupsSongsOfOneFingerprintAndLeavesOutSongsWithoutNotes) {
    const std::vector<DuplicateGroup> groups = DuplicateGroups({
        {"z/copy.mid", "aaaa", 10},
        {"b/other.mid", "bbbb", 3},
        {"a/tune.mid", "aaaa", 10},
        {"c/empty.mid", "0000", 0},
        {"d/empty.mid", "0000", 0},
        {"e/second.mid", "cccc", 4},
        {"c/first.mid", "cccc", 4},
        {"m/third.mid", "cccc", 4},
    });
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].notesHash, "aaaa");
    EXPECT_EQ(groups[0].files, (std::vector<std::string>{"a/tune.mid", "z/copy.mid"}));
    EXPECT_EQ(groups[1].files, (std::vector<std::string>{"c/first.mid", "e/second.mid", "m/third.mid"}));
    EXPECT_EQ(DuplicateGroupToJson(groups[0]), R"({"notes_hash":"aaaa","count":2,"files":["a/tune.mid","z/copy.mid"]})");
    EXPECT_TRUE(DuplicateGroups({{"one.mid", "aaaa", 1}}).empty());
}

}  // namespace
}  // namespace sonivex::test

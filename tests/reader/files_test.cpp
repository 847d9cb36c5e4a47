#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>

#include "reader/files.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

TEST(ReadFileRange, GivesWhatTheFileHoldsInTheRangeAndNothingBeyondItsEnd) {
    TestSession t;
    Bytes bytes(300000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    const auto path = t.WriteSong(bytes);
    const auto range = [&](std::size_t from, std::size_t to) { return Bytes(bytes.begin() + from, bytes.begin() + to); };

    EXPECT_EQ(ReadWholeFile(path), bytes);
    EXPECT_EQ(ReadFileRange(path, 0, UINT64_MAX), bytes);
    EXPECT_EQ(ReadFileRange(path, 10, 20), range(10, 30));
    EXPECT_EQ(ReadFileRange(path, 299990, 100), range(299990, 300000));  // cut at the end
    EXPECT_EQ(ReadFileRange(path, 300000, 5), Bytes{});
    EXPECT_EQ(ReadFileRange(path, 400000, 5), Bytes{});
    EXPECT_EQ(ReadFileRange(path, 5, 0), Bytes{});
    EXPECT_EQ(ReadFileRange(t.folder() / "missing.mid", 0, 5), std::nullopt);
    EXPECT_EQ(ReadFileRange(t.folder(), 0, 5), std::nullopt);  // a folder is not read
}

TEST(ReadFileRange, ReadsAnEmptyFileAsNoBytes) {
    TestSession t;
    EXPECT_EQ(ReadWholeFile(t.WriteSong({})), Bytes{});
}

TEST(ReadTextLines, SplitsAtEveryKindOfLineEnd) {
    TestSession t;
    const auto path = t.folder() / "lines.txt";
    const auto lines = [&](const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
        return ReadTextLines(path).value();
    };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(lines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(lines("a\r\rb\n\n"), (Lines{"a", "", "b", ""}));  // a CR alone ends a line, so does each LF
    EXPECT_EQ(lines("\r\n"), (Lines{""}));
    EXPECT_EQ(lines("last\r"), (Lines{"last"}));
    EXPECT_EQ(lines(""), Lines{});
    EXPECT_EQ(ReadTextLines(t.folder() / "missing.txt"), std::nullopt);
}

}  // namespace
}  // namespace sonivex::test

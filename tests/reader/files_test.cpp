#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "reader/files.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

TEST(ReadFileRange, GivesWhatTheFileHoldsInTheRangeAndNothingBeyondItsEnd) {
    ReportTestSession t;
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
    ReportTestSession t;
    EXPECT_EQ(ReadWholeFile(t.WriteSong({})), Bytes{});
}

TEST(FileBytes, HoldsSmallAndLargeFilesAsTheyWereWhenMade) {
    ReportTestSession t;
    for (const std::size_t size : {std::size_t{5}, std::size_t{600000}}) {
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
        const auto path = t.folder() / "held.mid";
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        std::optional<FileBytes> held = FileBytes::Of(path);
        ASSERT_TRUE(held);
        // Replaced by renaming another file over it, as the working copy is, the held bytes do not change.
        ASSERT_TRUE(WriteWholeFile(t.folder() / "other.mid", Bytes(size, 1)));
        std::filesystem::rename(t.folder() / "other.mid", path);
        FileBytes moved = std::move(*held);
        held.reset();
        EXPECT_TRUE(std::equal(moved.View().begin(), moved.View().end(), bytes.begin(), bytes.end())) << size;
    }
    EXPECT_FALSE(FileBytes::Of(t.folder() / "missing.mid"));
    EXPECT_FALSE(FileBytes::Of(t.folder()));
    EXPECT_TRUE(FileBytes::Of(t.WriteSong({}, "empty.mid"))->View().empty());
}

TEST(CopyFileBlocks, CopiesExactlyAndReplacesALongerTarget) {
    ReportTestSession t;
    Bytes bytes(200000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    const auto from = t.WriteSong(bytes, "from.mid");
    const auto to = t.folder() / "to.mid";
    ASSERT_TRUE(WriteWholeFile(to, Bytes(300000, 9)));
    ASSERT_TRUE(CopyFileBlocks(from, to));
    EXPECT_EQ(ReportTestSession::ReadBytes(to), bytes);
    ASSERT_TRUE(CopyFileBlocks(t.WriteSong({}, "empty.mid"), to));
    EXPECT_EQ(ReportTestSession::ReadBytes(to), Bytes{});
    EXPECT_FALSE(CopyFileBlocks(t.folder() / "missing.mid", to));
    EXPECT_FALSE(CopyFileBlocks(t.folder(), to));
    EXPECT_FALSE(CopyFileBlocks(from, t.folder()));
    EXPECT_FALSE(CopyFileBlocks(from, t.folder() / "no such folder" / "to.mid"));
}

TEST(ReadTextLines, SplitsAtEveryKindOfLineEnd) {
    ReportTestSession t;
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

TEST(TextFileCache, ReadsAFileOnceWhileItStaysAndAgainOnceItChanges) {
    ReportTestSession t;
    const auto path = t.folder() / "style1.dat";
    const auto write = [&](const std::string& text) { std::ofstream(path, std::ios::binary) << text; };
    TextFileCache cache;
    write("Rock=1,2\r\n");
    const auto first = cache.Lines(path);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(*first, std::vector<std::string>{"Rock=1,2"});
    EXPECT_EQ(cache.Lines(path), first);  // the same lines, not read again
    // A file replaced by another of the same size and times is a new file all the same (another inode).
    const auto other = t.folder() / "other.dat";
    std::ofstream(other, std::ios::binary) << "Jazz=3,4\r\n";
    std::filesystem::last_write_time(other, std::filesystem::last_write_time(path));
    std::filesystem::rename(other, path);
    EXPECT_EQ(*cache.Lines(path), std::vector<std::string>{"Jazz=3,4"});
    write("Pop=5\r\n");  // edited in place
    EXPECT_EQ(*cache.Lines(path), std::vector<std::string>{"Pop=5"});
    std::filesystem::remove(path);
    EXPECT_EQ(cache.Lines(path), nullptr);
}

}  // namespace
}  // namespace sonivex::test

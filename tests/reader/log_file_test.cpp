#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/test_session.h"

namespace sonivex::test {
namespace {

TEST(LogFile, ReplacesALongerOlderLogWholeAtEveryFlushAndAtClose) {
    ReportTestSession t;
    const auto path = t.folder() / "logs" / "song.txt";
    std::filesystem::create_directories(path.parent_path());
    const std::string older(100000, 'x');
    { std::ofstream(path, std::ios::binary) << older; }

    LogFile log;
    ASSERT_TRUE(log.Open(path, false));
    log.WriteLine("first");
    log.Flush();
    EXPECT_EQ(ReportTestSession::ReadText(path), "first\r\n");  // nothing of the older log is left after a flush
    log.WriteLine("second");
    log.Close();
    EXPECT_EQ(ReportTestSession::ReadText(path), "first\r\nsecond\r\n");

    ASSERT_TRUE(log.Open(path, true));  // appending keeps what is there
    log.WriteLine("third");
    log.Close();
    EXPECT_EQ(ReportTestSession::ReadText(path), "first\r\nsecond\r\nthird\r\n");

    ASSERT_TRUE(log.Open(path, false));  // a log with no lines leaves an empty file
    log.Close();
    EXPECT_EQ(ReportTestSession::ReadText(path), "");
}

TEST(LogFile, OpensNothingInAMissingFolderOrOnceSwitchedOff) {
    ReportTestSession t;
    LogFile log;
    EXPECT_FALSE(log.Open(t.folder() / "no such folder" / "song.txt", false));
    log.WriteLine("goes nowhere");
    log.SwitchOff();
    EXPECT_FALSE(log.Open(t.folder() / "song.txt", false));
    EXPECT_FALSE(std::filesystem::exists(t.folder() / "song.txt"));
}

}  // namespace
}  // namespace sonivex::test

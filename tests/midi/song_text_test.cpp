#include "midi/song_text.h"

#include <gtest/gtest.h>

#include <string>

namespace sonivex {
namespace {

TEST(SongText, KeepsValidUtf8AsItStands) {
    for (const std::string text : {"", "Piano", "\xC3\x9C" "bung", "\xE2\x82\xAC 5", "\xF0\x9F\x8E\xB5 la",
                                   "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF"}) {
        EXPECT_EQ(TextAsUtf8(text), text);
        EXPECT_TRUE(IsValidUtf8(text));
    }
}

TEST(SongText, ReadsAnyOtherTextAsWindows1252) {
    EXPECT_EQ(TextAsUtf8("\x80"), "\xE2\x82\xAC");                    // the euro sign
    EXPECT_EQ(TextAsUtf8("\x93Hi\x94"), "\xE2\x80\x9CHi\xE2\x80\x9D");  // curly quotes
    EXPECT_EQ(TextAsUtf8("\xDC" "bung"), "\xC3\x9C" "bung");          // Ü as Latin-1 has it
    EXPECT_EQ(TextAsUtf8("\x9F\xFF"), "\xC5\xB8\xC3\xBF");              // Ÿ ÿ
    // The five bytes the code page leaves undefined stand for the control characters of their numbers.
    EXPECT_EQ(TextAsUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(SongText, TakesOverlongSurrogateAndCutSequencesAsNotUtf8) {
    for (const std::string text : {"\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF",  // overlong
                                   "\xED\xA0\x80", "\xED\xBF\xBF",                          // surrogates
                                   "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",                  // beyond U+10FFFF
                                   "ab\xC3", "\xE2\x82", "\xF0\x9F\x8E",                    // cut off
                                   "\x80", "a\xBF" "b", "\xC3\x28"}) {                       // no lead, bad follower
        EXPECT_FALSE(IsValidUtf8(text)) << text;
        EXPECT_NE(TextAsUtf8(text), text) << text;
        EXPECT_TRUE(IsValidUtf8(TextAsUtf8(text))) << text;
    }
    EXPECT_EQ(TextAsUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");
}

TEST(SongText, ReadsEachLineOfAReportOnItsOwn) {
    // A path in UTF-8 and a track name in Windows-1252 in one report.
    const std::string report = "File: /home/me/Meine Lieder/\xC3\x9C" "bung.mid\r\nTrack 1: Caf\xE9\r\n\r\nend";
    EXPECT_EQ(LinesAsUtf8(report),
              "File: /home/me/Meine Lieder/\xC3\x9C" "bung.mid\r\nTrack 1: Caf\xC3\xA9\r\n\r\nend");
    EXPECT_EQ(LinesAsUtf8(""), "");
}

}  // namespace
}  // namespace sonivex

#include <gtest/gtest.h>

#include "reader/data_files.h"
#include "reader/text.h"

namespace sonivex::test {
namespace {

TEST(NumberForms, PutABlankBeforeNonNegativeNumbers) {
    EXPECT_EQ(Str(0), " 0");
    EXPECT_EQ(Str(42), " 42");
    EXPECT_EQ(Str(-7), "-7");
    EXPECT_EQ(TwoDigits(3), "03");
    EXPECT_EQ(TwoDigits(123), "123");
    EXPECT_EQ(PadLeft("7", 3), "  7");
    EXPECT_EQ(PadLeft("12345", 3), "12345");
    EXPECT_EQ(PadRight("ab", 4), "ab  ");
}

TEST(NumberForms, ReadTheNumberAtTheStartOfATextLikeATypedValue) {
    EXPECT_EQ(Val(" 12"), 12);
    EXPECT_EQ(Val("1 2 3"), 123);  // blanks inside are ignored
    EXPECT_EQ(Val("-4.5abc"), -4.5);
    EXPECT_EQ(Val("2.5E2"), 250);
    EXPECT_EQ(Val("7e"), 7);
    EXPECT_EQ(Val("&H1F"), 31);
    EXPECT_EQ(Val("&O17"), 15);
    EXPECT_EQ(Val("drum"), 0);
    EXPECT_EQ(Val(""), 0);
    EXPECT_EQ(Val("1.2.3"), 1.2);
}

TEST(StyleLines, EndTheProgramsAtTheWordDrumFollowedByAComma) {
    StyleLine rock = ParseStyleLine("Soft Rock=1, 25 ,2.5,3.5,DruM,36,38");
    EXPECT_EQ(rock.name, "Soft Rock");
    EXPECT_EQ(rock.programs, (std::vector<int>{1, 25, 2, 4}));  // halves go to the even neighbour

    EXPECT_EQ(ParseStyleLine("A=1,2,").programs, (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(ParseStyleLine("A=1,drum").programs, (std::vector<int>{1, 0}));
    EXPECT_EQ(ParseStyleLine("A=").programs, (std::vector<int>{0}));
    EXPECT_EQ(ParseStyleLine("=5").name, "");
    EXPECT_EQ(ParseStyleLine("A=B=3").programs, (std::vector<int>{0}));
}

TEST(StyleLines, RaiseTheErrorsThatStopTheReport) {
    auto number = [](const std::string& line) {
        try {
            ParseStyleLine(line);
        } catch (const RunError& e) {
            return e.Number();
        }
        return 0;
    };
    std::string forty = "A=1";
    for (int i = 1; i < 40; ++i) forty += ",1";
    EXPECT_EQ(number(forty), 0);
    EXPECT_EQ(number(forty + ",1"), kSubscript);
    EXPECT_EQ(number("no equals sign"), kIllegalCall);
    EXPECT_EQ(number("A=40000"), kOverflow);
}

TEST(NameEntries, SplitAtCommasAndDropBlanksAndQuotes) {
    EXPECT_EQ(DelimitedEntries("  1=Piano  "), (std::vector<std::string>{"1=Piano"}));
    EXPECT_EQ(DelimitedEntries("a, b ,c"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(DelimitedEntries("\"x, y\" , z"), (std::vector<std::string>{"x, y", "z"}));
    EXPECT_EQ(DelimitedEntries(""), (std::vector<std::string>{""}));
}

}  // namespace
}  // namespace sonivex::test

#include "framework/core/StringUtilities.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

using zel::StringUtilities;
using V = std::vector<std::string>;

TEST(StringUtilities, PrefixSuffixAndTruth) {
    EXPECT_TRUE(StringUtilities::startsWith("Gradient X", "Gradient"));
    EXPECT_TRUE(StringUtilities::startsWith("abc", ""));
    EXPECT_TRUE(StringUtilities::startsWith("", ""));
    EXPECT_FALSE(StringUtilities::startsWith("ab", "abc"));
    EXPECT_TRUE(StringUtilities::endsWith("Force X", " X"));
    EXPECT_TRUE(StringUtilities::endsWith("x", ""));
    EXPECT_FALSE(StringUtilities::endsWith("X", " X"));

    for (const char* t : {"true", "TRUE", "t", "Yes", "y", "on", "ON", "1", "  true  "})
        EXPECT_TRUE(StringUtilities::isTrue(t)) << t;
    for (const char* t : {"", "false", "0", "no", "off", "2", "truely", "yess"})
        EXPECT_FALSE(StringUtilities::isTrue(t)) << t;
}

TEST(StringUtilities, SplitAndJoinEdges) {
    EXPECT_EQ(StringUtilities::stringToVector("", ","), V{});
    EXPECT_EQ(StringUtilities::stringToVector("   ", ","), V{});
    EXPECT_EQ(StringUtilities::stringToVector(" a , b ,c", ","), (V{"a", "b", "c"}));
    // Empty fields, at the ends and in the middle, are dropped by default ...
    EXPECT_EQ(StringUtilities::stringToVector(",a,,b,", ","), (V{"a", "b"}));
    // ... and kept on request.
    EXPECT_EQ(StringUtilities::stringToVector(",a,,b,", ",", true), (V{"", "a", "", "b", ""}));
    EXPECT_EQ(StringUtilities::stringToVector("a;b c", "; "), (V{"a", "b", "c"}));
    EXPECT_EQ(StringUtilities::stringToVector("Name = x\nOther = y\n", "\n"), (V{"Name = x", "Other = y"}));
    EXPECT_EQ(StringUtilities::stringToVector("no separators", ""), (V{"no separators"}));
    // A field keeps its inner blanks.
    EXPECT_EQ(StringUtilities::stringToVector("Point 1, Point 2", ","), (V{"Point 1", "Point 2"}));

    EXPECT_EQ(StringUtilities::vectorToString({}, ","), "");
    EXPECT_EQ(StringUtilities::vectorToString({"a"}, ","), "a");
    EXPECT_EQ(StringUtilities::vectorToString({"a", "", "b"}, ", "), "a, , b");
}

TEST(StringUtilities, WhitespaceReplaceCase) {
    EXPECT_EQ(StringUtilities::trim("\t a b \r\n"), "a b");
    EXPECT_EQ(StringUtilities::trim(""), "");
    EXPECT_EQ(StringUtilities::simplifyWhitespace("  1,  2 \t\t3  "), "1, 2 3");
    EXPECT_EQ(StringUtilities::simplifyWhitespace(" \n "), "");
    EXPECT_EQ(StringUtilities::removeWhitespace(" a b\tc\r\n"), "abc");
    EXPECT_EQ(StringUtilities::replaceSubstring("1,2,,3", ",", " "), "1 2  3");
    EXPECT_EQ(StringUtilities::replaceSubstring("aaa", "aa", "b"), "ba"); // non-overlapping, left to right
    EXPECT_EQ(StringUtilities::replaceSubstring("abc", "", "x"), "abc");
    EXPECT_EQ(StringUtilities::replaceSubstring("a.b", ".", "..."), "a...b"); // replacement holding the pattern
    EXPECT_EQ(StringUtilities::replaceSubstring("", "a", "b"), "");
    EXPECT_EQ(StringUtilities::toUpperCase("Wall 4 é"), "WALL 4 é");
    EXPECT_EQ(StringUtilities::toLowerCase("DATA Reader"), "data reader");
    EXPECT_TRUE(StringUtilities::equalsIgnoreCase("Pressure", "PRESSURE"));
    EXPECT_FALSE(StringUtilities::equalsIgnoreCase("Pressure", "Pressur"));
}

TEST(StringUtilities, NumbersRoundTrip) {
    EXPECT_EQ(StringUtilities::toString(0.1), "0.1");
    EXPECT_EQ(StringUtilities::toString(0.1f), "0.1");
    EXPECT_EQ(StringUtilities::toString(3.0), "3");
    EXPECT_EQ(StringUtilities::toString(-2.5), "-2.5");
    EXPECT_EQ(StringUtilities::toString(1e20), "1e+20");
    EXPECT_EQ(StringUtilities::toString(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(StringUtilities::toString(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(StringUtilities::toString(-42), "-42");
    EXPECT_EQ(StringUtilities::toString(std::size_t(7)), "7");
    EXPECT_EQ(StringUtilities::toString(std::numeric_limits<long long>::min()), "-9223372036854775808");
    for (double v : {1.0 / 3.0, 6894.757293168361, 3.4028234663852886e38, 1e-300, 123456789.125}) {
        const std::string t = StringUtilities::toString(v);
        EXPECT_EQ(std::strtod(t.c_str(), nullptr), v) << t;
    }
    const float f = 3.4028235e38f;
    EXPECT_EQ(std::strtof(StringUtilities::toString(f).c_str(), nullptr), f);
}

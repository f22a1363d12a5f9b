#include "framework/core/Format.h"
#include "framework/core/Error.h"

#include <gtest/gtest.h>

using zel::_;

TEST(Format, PrintfConversionsAndStrings) {
    EXPECT_EQ(_("%s '%s' already exists.", "Geometry", std::string("Dom 1")), "Geometry 'Dom 1' already exists.");
    EXPECT_EQ(_("%d of %u, %5.2f%%", -3, 7u, 1.5), "-3 of 7,  1.50%");
    EXPECT_EQ(_("%x %c %e", 255, 'A', 1e3), "ff A 1.000000e+03");
    EXPECT_EQ(_("%*d|%-4s|", 5, 42, "ab"), "   42|ab  |");
    EXPECT_EQ(_("%.3s", "abcdef"), "abc");
    EXPECT_EQ(_("%ld %lld %zu", 1L, 2LL, size_t(3)), "1 2 3");
}

TEST(Format, MismatchedAndMissingArgumentsAreSafe) {
    EXPECT_EQ(_("%s", 12), "12");
    EXPECT_EQ(_("%d", 2.9), "2");
    EXPECT_EQ(_("%f", 2), "2.000000");
    EXPECT_EQ(_("%d", "17"), "17");
    EXPECT_EQ(_("%s and %s", "one"), "one and (missing)");
    EXPECT_EQ(_("%s", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(_("no conversions", 1, 2, 3), "no conversions");
    EXPECT_EQ(_("%n%d", 1, 5), "5");
    EXPECT_EQ(_("100%"), "100%");
    EXPECT_EQ(_("%q"), "%q");
    EXPECT_EQ(_("%d", 1e300), "9223372036854775807");
    EXPECT_EQ(_("%99999d", 1).size(), 4096u); // absurd widths are capped
    std::string longText(1000, 'x');
    EXPECT_EQ(_("<%s>", longText).size(), 1002u);
}

TEST(Errors, FamiliesCarryTheirFourParts) {
    try {
        throw zel::data::notFound("DataStorageBase", "getGeometry", "Cannot get geometry", 4);
    } catch (const zel::Error& e) {
        EXPECT_STREQ(e.what(), "DataStorageBase::getGeometry: Cannot get geometry");
        EXPECT_EQ(e.getClassName(), "DataStorageBase");
        EXPECT_EQ(e.getOperation(), "getGeometry");
        EXPECT_EQ(e.getMessage(), "Cannot get geometry");
        EXPECT_EQ(e.getErrorType(), 4);
        EXPECT_STREQ(e.family(), "data::notFound");
    }
    EXPECT_THROW(throw zel::internal::bad_cast("A", "b", "c"), zel::internal::bad_cast);
    EXPECT_THROW(throw zel::expressions::eval("A", "b", "c"), std::runtime_error);
    zel::okl::error e("", "", "only a message");
    EXPECT_STREQ(e.what(), "only a message");
    EXPECT_STREQ(e.family(), "okl::error");
}

// Fixed-format descriptors of deck blocks: the formats solvers write, groups and repeats,
// the columns they give, short lines, and descriptors that must be refused.
#include "framework/geometry/NorvaDataFormat.h"
#include "framework/core/Error.h"
#include "tests/support/ErrorChecks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zel {
namespace {

using Kind = NorvaDataFormat::FieldKind;

// "(3i9,6e21.13e3)" -> {9,9,9,21,...}: the widths of the data fields, in order.
std::vector<int> widths(const NorvaDataFormat& f) {
    std::vector<int> out;
    for (const auto& field : f.getFields()) out.push_back(field.width);
    return out;
}

TEST(NorvaDataFormat, ReadsTheBlockFormatsOfDecks) {
    struct Case {
        const char* text;
        std::vector<int> widths;
        int recordWidth;
    };
    const Case cases[] = {
        {"(3i9,6e21.13e3)", {9, 9, 9, 21, 21, 21, 21, 21, 21}, 153},
        {"(19i9)", std::vector<int>(19, 9), 171},
        {"(1i9,3e20.9e3)", {9, 20, 20, 20}, 69},
        {"(3i8,6e16.9)", {8, 8, 8, 16, 16, 16, 16, 16, 16}, 120},
        {"(2i9,6e21.13)", {9, 9, 21, 21, 21, 21, 21, 21}, 144},
        // Letter case, blanks, ES/EN/D/F/G, A and L, nested groups, X skips, scale factors,
        // commas left out between items.
        {"  ( 3I8 , 6E16.9 )  ", {8, 8, 8, 16, 16, 16, 16, 16, 16}, 120},
        {"(2(i4,2x),es12.4e2,d10.3,f8.2,g14.6e3,en9.2)", {4, 4, 12, 10, 8, 14, 9}, 65},
        {"(i5,2(2(i3),f4.1))", {5, 3, 3, 4, 3, 3, 4}, 25},
        {"(1P3E16.9,-2P,F8.3)", {16, 16, 16, 8}, 56},
        {"(a8,x,l2 3x i4)", {8, 2, 4}, 18},
        {"(I8 E16.9)", {8, 16}, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const NorvaDataFormat format(c.text);
        EXPECT_EQ(widths(format), c.widths);
        EXPECT_EQ(format.getRecordWidth(), c.recordWidth);
    }
    // Kinds and start columns, skipped columns left out.
    const NorvaDataFormat mixed("(i3,2x,e10.3,a4)");
    ASSERT_EQ(mixed.getNumFields(), 3u);
    EXPECT_EQ(mixed.getFields()[0].kind, Kind::Integer);
    EXPECT_EQ(mixed.getFields()[1].kind, Kind::Real);
    EXPECT_EQ(mixed.getFields()[1].start, 5);
    EXPECT_EQ(mixed.getFields()[2].kind, Kind::Text);
    EXPECT_EQ(mixed.getFields()[2].start, 15);
}

TEST(NorvaDataFormat, SplitsLinesByColumns) {
    const NorvaDataFormat nodes("(3i9,6e21.13e3)");
    const std::string line =
        "        7        0        0 1.0000000000000E+000-2.5000000000000E-001 3.0000000000000E+002";
    const std::vector<std::string> fields = nodes.splitDataLine(line);
    ASSERT_EQ(fields.size(), 6u); // a short line has fewer fields, no zero-filled ones
    EXPECT_EQ(fields[0], "        7");
    EXPECT_EQ(fields[3], " 1.0000000000000E+000");
    EXPECT_EQ(fields[4], "-2.5000000000000E-001"); // fields may touch: no separator needed
    EXPECT_EQ(fields[5], " 3.0000000000000E+002");

    const NorvaDataFormat f("(i3,2x,i3)");
    EXPECT_EQ(f.splitDataLine("  1xx  2"), (std::vector<std::string>{"  1", "  2"}));
    EXPECT_EQ(f.splitDataLine("  1xx 2"), (std::vector<std::string>{"  1", " 2"}));   // cut inside the last
    EXPECT_EQ(f.splitDataLine("  1xx   "), (std::vector<std::string>{"  1", "   "})); // a whole blank field
    EXPECT_EQ(f.splitDataLine("  1xx  "), (std::vector<std::string>{"  1"}));         // a cut blank one is not
    EXPECT_EQ(f.splitDataLine("  1x"), (std::vector<std::string>{"  1"}));
    EXPECT_TRUE(f.splitDataLine("").empty());
    EXPECT_EQ(f.splitDataLine("  1xx  2 and more").size(), 2u); // beyond the record: ignored
    // The view form gives the same fields.
    std::vector<std::string_view> views;
    EXPECT_EQ(f.splitDataLine(std::string_view("  1xx  2"), views), 2u);
    EXPECT_EQ(views[1], "  2");
}

TEST(NorvaDataFormat, RefusesWhatItCannotRead) {
    const char* const bad[] = {
        "",
        "3i9",
        "(3i9",
        "(3i9))",
        "()",
        "(3i9,)",
        "(,3i9)",
        "(3i9,,6e21.13)",
        "(e21)",
        "(f8)",
        "(i)",
        "(i0)",
        "(0i9)",
        "(q9)",
        "(3(i9)",
        "(2x)",
        "(i9) junk",
        "(-i9)",
        "(1.5i9)",
        "(99999(99999i9))",
        "((((((((((((((((((i1))))))))))))))))))",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        test::expectError<data::invalid>(
            [&] { NorvaDataFormat format(text); },
            {.className = "NorvaDataFormat", .fragments = {std::string("'") + text + "'"}});
    }
}

} // namespace
} // namespace zel

// The segment section of polyline files: separators, ranges, comments, and the refusals with
// their exact messages.
#include "locators/PolylineGeometryReader.h"
#include "framework/core/Error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zel::test {
namespace {

namespace fs = std::filesystem;

// Seven points, then the segments after the marker (line 10 of the file is the first after it).
const char* const kPoints = "# seven points on the x axis\n0 0 0\n1 0 0\n2 0 0\n3 0 0\n4 0 0\n5 0 0\n6 0 0\n[Lines]\n";

class PolylineReaderTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (!m_path.empty()) fs::remove(m_path);
    }
    // Reads a file of `content` with `reader`; `lines` gets what was read.
    TripletZELVector read(const std::string& content, std::vector<int>& lines, PolylineGeometryReader& reader) {
        m_path =
            (fs::temp_directory_path() /
             ("zel_polyline_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt"))
                .string();
        std::ofstream(m_path, std::ios::binary) << content;
        reader.initialize(m_path, "Polyline 1");
        TripletZELVector points;
        reader.readPolylineFile(points, lines);
        return points;
    }
    // The segments of a file of the seven points and `text`.
    std::vector<int> segments(const std::string& text) {
        std::vector<int> lines;
        PolylineGeometryReader reader;
        EXPECT_EQ(read(kPoints + text, lines, reader).size(), 7u);
        return lines;
    }
    // The message of the data::invalid that reading `text` raises; `lines` keeps what was
    // read before it.
    std::string failure(const std::string& text, std::vector<int>* kept = nullptr) {
        std::vector<int> lines;
        PolylineGeometryReader reader;
        try {
            read(kPoints + text, lines, reader);
        } catch (const data::invalid& e) {
            EXPECT_EQ(e.getClassName(), "PolylineGeometryReader");
            EXPECT_EQ(e.getOperation(), "readPolylineConnectivity");
            EXPECT_EQ(e.getErrorType(), ErrError);
            if (kept != nullptr) *kept = lines;
            return e.getMessage();
        }
        ADD_FAILURE() << "no error for: " << text;
        return {};
    }

private:
    std::string m_path;
};

TEST_F(PolylineReaderTest, SeparatorsRangesAndComments) {
    const std::vector<int> one{0, 1};
    EXPECT_EQ(segments("0 1\n"), one);
    EXPECT_EQ(segments("0,1\n"), one);
    EXPECT_EQ(segments("  0 , 1\t\n"), one);
    EXPECT_EQ(segments("2-5\n"), (std::vector<int>{2, 3, 3, 4, 4, 5}));
    EXPECT_EQ(segments("2 - 5\n"), (std::vector<int>{2, 3, 3, 4, 4, 5}));
    EXPECT_TRUE(segments("5-2\n").empty());
    // A minus sign always makes a range: "3 -1" is the range from 3 to 1.
    EXPECT_TRUE(segments("3 -1\n").empty());
    // Equal ends add nothing, so the next line's indices still pair up.
    EXPECT_EQ(segments("4-4\n0 1\n"), one);
    // Blank and "##" lines are skipped; text after the digits is ignored as atoi ignores it.
    EXPECT_EQ(segments("\n## comment\n   \n0 1\n1x 2y\n"), (std::vector<int>{0, 1, 1, 2}));
    // A single '#' is data: its index reads as 0.
    EXPECT_EQ(segments("#3 4\n"), (std::vector<int>{0, 4}));
    // Nothing after the marker: no segments (not the default chain of the points).
    EXPECT_TRUE(segments("").empty());

    // Without the marker the points are joined in order.
    std::vector<int> lines;
    PolylineGeometryReader reader;
    EXPECT_EQ(read("0 0 0\n1 0 0\n1 1 0\n", lines, reader).size(), 3u);
    EXPECT_EQ(lines, (std::vector<int>{0, 1, 1, 2}));
    EXPECT_EQ(reader.getFileType(), FileReaderBase::PolylineFile);

    // Copies read the same file.
    PolylineGeometryReader copy(reader);
    EXPECT_EQ(copy.getFilename(), reader.getFilename());
    EXPECT_EQ(copy.getObjectName(), "Polyline 1");
}

TEST_F(PolylineReaderTest, RefusalsNameTheLine) {
    std::vector<int> kept;
    EXPECT_EQ(failure("0 1\n1 2 3\n", &kept),
              "Line connectivity list must contain 2 indices per line, received 3 on line 11.");
    EXPECT_EQ(kept, (std::vector<int>{0, 1})); // what came before the bad line stays
    EXPECT_EQ(failure("5\n"), "Line connectivity list must contain 2 indices per line, received 1 on line 10.");
    EXPECT_EQ(failure("1-2-3\n"), "Line connectivity list must contain 2 indices per line, received 3 on line 10.");
    EXPECT_EQ(failure("0 7\n"), "Line connectivity index out of range on line 10, should be within: 0..6");
    EXPECT_EQ(failure("\n\n2-9\n"), "Line connectivity index out of range on line 12, should be within: 0..6");
    EXPECT_EQ(failure("0 99999999999999\n"), "Line connectivity index out of range on line 10, should be within: 0..6");
}

} // namespace
} // namespace zel::test

// The face section of user surface files: the list and range forms, comments, the four face
// sets, and every error message with its line number.
#include "framework/core/Error.h"
#include "framework/geometry/Geometry.h"
#include "locators/UserSurfaceGeometryReader.h"
#include "tests/support/ErrorChecks.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <vector>

namespace zel::test {
namespace {

// Six points; the face section follows the marker on line 9.
const char* const kHeader = "[Name]\n"     // line 1
                            "Six points\n" // 2
                            "0 0 0\n"      // 3
                            "1 0 0\n"      // 4
                            "1 1 0\n"      // 5
                            "0 1 0\n"      // 6
                            "0 2 0\n"      // 7
                            "1 2 0\n"      // 8
                            "[Faces]\n";   // 9

std::string writeFile(const std::string& name, const std::string& text) {
    // One file per test: ctest runs the tests side by side, as processes of their own.
    const std::string path = ::testing::TempDir() + "zel_usersurface_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// The faces of each set (TRIANGLE, QUAD, PENTAGON, HEXAGON), each face as its index list.
using Faces = std::array<std::vector<std::vector<int>>, 4>;

struct Read {
    Geometry geometry;
    Faces faces;
};

void readInto(Read& out, const std::string& text) {
    const char* names[4] = {"TRIANGLE", "QUAD", "PENTAGON", "HEXAGON"};
    const ShapeType types[4] = {ShapeType::Triangle, ShapeType::Quadrilateral, ShapeType::Pentagon, ShapeType::Hexagon};
    std::array<ShapeSet*, 4> sets{};
    for (int s = 0; s < 4; ++s) sets[std::size_t(s)] = out.geometry.addFaceSet(names[s], types[s], 1);
    UserSurfaceGeometryReader reader;
    reader.initialize(writeFile(::testing::UnitTest::GetInstance()->current_test_info()->name(), text), "S");
    TripletZELVector points;
    reader.readUserSurfaceFile(points, sets.data());
    out.geometry.setVertices(std::move(points));
    for (int s = 0; s < 4; ++s)
        for (int e = 0; e < sets[std::size_t(s)]->size(); ++e) {
            const auto nodes = sets[std::size_t(s)]->getElement(e);
            out.faces[std::size_t(s)].emplace_back(nodes.begin(), nodes.end());
        }
}

void expectInvalid(const std::string& text, const std::string& message,
                   const std::string& operation = "readUserSurfaceConnectivity") {
    Read read;
    expectError<data::invalid>([&] { readInto(read, text); },
                               {.className = "UserSurfaceGeometryReader", .operation = operation, .message = message});
}

TEST(UserSurfaceReader, ListAndRangeFormsGiveTheSameFacesInTheirSets) {
    Read read;
    readInto(read, std::string(kHeader) + "0 1 2\n"
                                          "0,1,2\n"
                                          "\t0, 1 ,2  \n"
                                          "\n"
                                          "## a comment line\n"
                                          "   \n"
                                          "0-2\n"
                                          "0 - 2\n"
                                          "#0 1 2\n" // one number sign is data: "#0" reads as 0
                                          "5-2\n"
                                          "2-5\n"
                                          "0 1 2 3\n"
                                          "1-5\n"
                                          "5, 4, 3, 2, 1, 0\n"
                                          "0-5\n");
    EXPECT_EQ(read.geometry.getNumVertices(), 6);
    const std::vector<int> tri{0, 1, 2};
    EXPECT_EQ(read.faces[0], (std::vector<std::vector<int>>(6, tri)));
    EXPECT_EQ(read.faces[1], (std::vector<std::vector<int>>{{5, 4, 3, 2}, {2, 3, 4, 5}, {0, 1, 2, 3}}));
    EXPECT_EQ(read.faces[2], (std::vector<std::vector<int>>{{1, 2, 3, 4, 5}}));
    EXPECT_EQ(read.faces[3], (std::vector<std::vector<int>>{{5, 4, 3, 2, 1, 0}, {0, 1, 2, 3, 4, 5}}));
    // The sets are cut to what was read.
    EXPECT_EQ(read.geometry.getFaceSet("QUAD")->size(), 3);
}

TEST(UserSurfaceReader, AFileThatEndsWithItsMarkerOrHasOnlyCommentsAfterItHasNoFaces) {
    for (const char* tail : {"", "\n## none\n\n"}) {
        Read read;
        readInto(read, std::string(kHeader) + tail);
        for (const auto& set : read.faces) EXPECT_TRUE(set.empty()) << tail;
        EXPECT_EQ(read.geometry.getNumVertices(), 6);
        EXPECT_EQ(read.geometry.getFaceSet("TRIANGLE")->size(), 0);
    }
    // The reader is one of surface files.
    EXPECT_EQ(UserSurfaceGeometryReader().getFileType(), FileReaderBase::SurfaceFile);
}

TEST(UserSurfaceReader, ErrorsNameTheLineAndTheRule) {
    expectInvalid("0 0 0\n1 0 0\n1 1 0\n", "Faces connectivity is not supplied.  Cannot create User Surface.",
                  "readUserSurfaceFile");
    struct Case {
        const char* faces; // after the header: its first line is line 10
        const char* message;
    };
    const Case cases[] = {
        {"4-4\n", "Face connectivity range must span 3 to 6 indices per line, line 10 only specifies range of 0."},
        {"0-1\n", "Face connectivity range must span 3 to 6 indices per line, line 10 only specifies range of -1."},
        {"1-2-3\n", "Face connectivity range must contain 2 indices per line, received 3 on line 10."},
        // A minus sign always makes a range: "-1 0 2" is one part.
        {"-1 0 2\n", "Face connectivity range must contain 2 indices per line, received 1 on line 10."},
        {"0 1 2 3 4 5 0\n", "Face connectivity list must contain 3 to 6 indices per line, received 7 on line 10."},
        {"0 1\n", "Face connectivity list must contain 3 to 6 indices per line, received 2 on line 10."},
        // An index equal to the number of points; the message names the last valid index.
        {"0 1 2\n\n## c\n0 1 6\n", "Face connectivity index out of range on line 13, should be within: 0..5"},
        {"3-6\n", "Face connectivity index out of range on line 10, should be within: 0..5"},
        // The range is checked before its span.
        {"6-6\n", "Face connectivity index out of range on line 10, should be within: 0..5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faces);
        expectInvalid(std::string(kHeader) + c.faces, c.message);
    }
}

} // namespace
} // namespace zel::test

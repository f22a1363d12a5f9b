// What foamToVTK -parallel writes: each processor's part after the other in one file, the
// points between processors once per processor. Read, it must be the serial export's case.
#include "host/readers/CaseReader.h"
#include "host/readers/PieceReader.h"
#include "host/readers/VtkXmlReader.h"
#include "tests/host_readers/ReaderTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace zel::host {
namespace {

namespace fs = std::filesystem;
using test::hexRow;

const fs::path kExports = fs::path(ZEL_TEST_DATA_DIR) / "openfoam" / "squareBendParallel";

using Place = std::tuple<double, double, double>;

Place placeOf(const MeshBlock& b, std::size_t p) { return {b.points[3 * p], b.points[3 * p + 1], b.points[3 * p + 2]}; }

std::map<Place, std::size_t> pointsByPlace(const MeshBlock& b) {
    std::map<Place, std::size_t> out;
    for (std::size_t p = 0; p < b.numPoints(); ++p) out.emplace(placeOf(b, p), p);
    return out;
}

// A patch of quads given by their corners, with its own copy of every corner.
MeshBlock quadPatch(const std::string& name, const std::vector<std::array<float, 12>>& quads,
                    std::vector<float> faceValues, std::vector<float> pointValues) {
    MeshBlock b;
    b.name = name;
    b.path = "boundary/" + name;
    std::vector<float> pts;
    for (const auto& q : quads) {
        const auto first = std::int64_t(pts.size() / 3);
        pts.insert(pts.end(), q.begin(), q.end());
        for (std::int64_t k = 0; k < 4; ++k) b.cells.connectivity.push_back(first + k);
        b.cells.types.push_back(VtkQuad);
        b.cells.offsets.push_back(std::int64_t(b.cells.connectivity.size()));
    }
    b.points = RealArray(pts);
    b.cellData.push_back({"p", 1, RealArray(std::move(faceValues))});
    b.pointData.push_back({"p", 1, RealArray(std::move(pointValues))});
    validateBlock(b);
    return b;
}

TEST(FoamParallelExport, TheExportJoinedIsTheSerialExportsCase) {
    const CaseData serial = readCase(kExports / "serial" / "squareBend_400.vtm");
    const CaseData parallel = readCase(kExports / "parallel" / "squareBend_400.vtm");
    // The export does hold copies (four processors meet along lines).
    const CaseData raw = readVtkXmlCase(kExports / "parallel" / "squareBend_400.vtm");
    ASSERT_EQ(raw.blocks.size(), 4u);
    EXPECT_GT(raw.blocks[0].numPoints(), serial.blocks[0].numPoints());
    EXPECT_GT(raw.blocks[3].numPoints(), serial.blocks[3].numPoints()) << "walls";

    ASSERT_EQ(parallel.blocks.size(), serial.blocks.size());
    for (std::size_t i = 0; i < serial.blocks.size(); ++i) {
        const MeshBlock& s = serial.blocks[i];
        const MeshBlock& p = parallel.blocks[i];
        EXPECT_EQ(p.name, s.name);
        EXPECT_EQ(p.numCells(), s.numCells()) << s.name;
        ASSERT_EQ(p.numPoints(), s.numPoints()) << s.name;
        const auto sPlaces = pointsByPlace(s);
        ASSERT_EQ(pointsByPlace(p).size(), p.numPoints()) << s.name << ": copies are left";
        for (const FieldArray& sa : s.pointData) {
            const FieldArray* pa = p.findPointData(sa.name);
            ASSERT_NE(pa, nullptr) << s.name << " " << sa.name;
            double scale = 0;
            for (std::size_t k = 0; k < sa.values.size(); ++k) scale = std::max(scale, std::fabs(sa.values[k]));
            // The volume's point values are the same numbers; a patch's seam values are made
            // here again from single-precision points, as foamToVTK made them in double.
            const double tolerance = s.isVolume() ? 0.0 : 3e-7 * scale;
            double worst = 0;
            for (std::size_t q = 0; q < p.numPoints(); ++q) {
                const std::size_t at = sPlaces.at(placeOf(p, q));
                for (int c = 0; c < sa.components; ++c)
                    worst = std::max(worst, std::fabs(pa->value(q, c) - sa.value(at, c)));
            }
            EXPECT_LE(worst, tolerance) << s.name << " " << sa.name;
        }
    }
}

TEST(FoamParallelExport, ACopiedFaceBetweenTwoCellsIsJoined) {
    CaseData c;
    c.blocks.push_back(hexRow(2));
    EXPECT_EQ(joinProcessorSeams(c), 4u);
    const MeshBlock& b = c.blocks[0];
    EXPECT_EQ(b.numPoints(), 12u);
    int common = 0;
    for (std::int64_t p : b.cells.cellPoints(1)) common += int(std::ranges::count(b.cells.cellPoints(0), p));
    EXPECT_EQ(common, 4);
    // The first copies are kept, with their values.
    EXPECT_EQ(b.findPointData("p")->tuples(), 12u);
    EXPECT_EQ(b.findPointData("p")->value(11), 15.0);
    EXPECT_NO_THROW(validateBlock(c.blocks[0]));
}

TEST(FoamParallelExport, CopiesThatAPatchCoversOrThatShareNoFaceStayApart) {
    // A baffle: the serial export has a patch on the face between the two cells.
    CaseData baffle;
    baffle.blocks.push_back(hexRow(2));
    baffle.blocks.push_back(quadPatch("baffle", {{1, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1}}, {1.0f}, {1, 1, 1, 1}));
    EXPECT_EQ(joinProcessorSeams(baffle), 0u);
    EXPECT_EQ(baffle.blocks[0].numPoints(), 16u);
    // Two cells that touch along an edge only share no face.
    MeshBlock edge = hexRow(2);
    for (std::size_t p = 8; p < 16; ++p) edge.points.f32Storage()[3 * p + 1] += 1.0f;
    CaseData apart;
    apart.blocks.push_back(std::move(edge));
    EXPECT_EQ(joinProcessorSeams(apart), 0u);
    EXPECT_EQ(apart.blocks[0].numPoints(), 16u);
}

TEST(FoamParallelExport, APatchSeamGetsItsValuesFromTheFacesOnBothSides) {
    // The two cells' bottom faces, one per processor; each processor had averaged only its own
    // face to the points of the common edge (1 and 3 there).
    CaseData c;
    c.blocks.push_back(hexRow(2));
    c.blocks.push_back(quadPatch("walls", {{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, 0, 0, 2, 0, 0, 2, 1, 0, 1, 1, 0}},
                                 {1.0f, 3.0f}, {1, 1, 1, 1, 3, 3, 3, 3}));
    EXPECT_EQ(joinProcessorSeams(c), 4u);
    const MeshBlock& walls = c.blocks[1];
    ASSERT_EQ(walls.numPoints(), 6u);
    EXPECT_NO_THROW(validateBlock(c.blocks[1]));
    for (std::size_t p = 0; p < walls.numPoints(); ++p) {
        const double x = walls.points[3 * p];
        // Both face centres are as far from the seam: the mean; elsewhere the file's values.
        const double expected = x == 1.0 ? 2.0 : x < 1.0 ? 1.0 : 3.0;
        EXPECT_NEAR(walls.findPointData("p")->value(p), expected, 1e-6) << "x = " << x;
    }
}

} // namespace
} // namespace zel::host

// Reading a case in pieces: dealing, shared points, ghost cells, the layout files and their
// faults.
#include "host/readers/PieceReader.h"
#include "host/readers/CaseReader.h"
#include "tests/host_readers/ReaderTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace zel::host {
namespace {

namespace fs = std::filesystem;

// hexRow(2) is two unit hexahedra as two pieces, each with its own copy of the four points of
// their common face.
using test::hexRow;

TEST(PieceReader, PiecesAreDealtInContiguousGroupsThatDifferByOneAtMost) {
    for (std::size_t count : {1u, 2u, 7u, 8u, 23u})
        for (int ranks : {1, 2, 3, 7, 8}) {
            std::size_t next = 0, smallest = count, largest = 0;
            for (int r = 0; r < ranks; ++r) {
                const auto [first, last] = piecesOfRank(count, r, ranks);
                EXPECT_EQ(first, next) << count << " pieces, rank " << r << " of " << ranks;
                next = last;
                smallest = std::min(smallest, last - first);
                largest = std::max(largest, last - first);
            }
            EXPECT_EQ(next, count);
            if (count >= std::size_t(ranks)) {
                EXPECT_LE(largest - smallest, 1u);
            } else {
                EXPECT_EQ(piecesOfRank(count, 0, ranks).second, 1u) << "the first process holds a piece";
            }
        }
}

TEST(PieceReader, SharedPointsBecomeOneByCoordinatesOrByGlobalIds) {
    for (bool ids : {false, true}) {
        MeshBlock b = hexRow(2, ids);
        mergeSharedPoints(b);
        EXPECT_EQ(b.numPoints(), 12u) << (ids ? "GlobalNodeIds" : "coordinates");
        // The second cell uses the first one's copies of the common face.
        const auto first = b.cells.cellPoints(0), second = b.cells.cellPoints(1);
        int common = 0;
        for (std::int64_t p : second) common += int(std::count(first.begin(), first.end(), p));
        EXPECT_EQ(common, 4);
        EXPECT_EQ(b.findPointData("p")->tuples(), 12u);
        EXPECT_NO_THROW(validateBlock(b));
    }
}

TEST(PieceReader, GhostCellsGoWithThePointsOnlyTheyUse) {
    MeshBlock b = hexRow(2);
    b.cellData.push_back({"vtkGhostType", 1, RealArray(std::vector<float>{0.0f, 1.0f})});
    b.cellData.push_back({"T", 1, RealArray(std::vector<float>{300.0f, 400.0f})});
    EXPECT_EQ(dropGhostCells(b), 1u);
    EXPECT_EQ(b.numCells(), 1u);
    EXPECT_EQ(b.numPoints(), 8u);
    EXPECT_EQ(b.findCellData("vtkGhostType"), nullptr);
    EXPECT_EQ(b.findCellData("T")->value(0), 300.0);
    EXPECT_EQ(b.findPointData("p")->value(7), 7.0);
    EXPECT_NO_THROW(validateBlock(b));
}

class PieceFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir();
        fs::create_directories(dir / "box");
        for (int i = 0; i < 2; ++i) {
            std::ofstream(dir / "box" / ("box_" + std::to_string(i) + ".vtu"))
                << "<VTKFile type=\"UnstructuredGrid\"><UnstructuredGrid><Piece NumberOfPoints=\"8\" "
                   "NumberOfCells=\"1\">"
                   "<Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" format=\"ascii\">"
                << i << " 0 0 " << i + 1 << " 0 0 " << i + 1 << " 1 0 " << i << " 1 0 " << i << " 0 1 " << i + 1
                << " 0 1 " << i + 1 << " 1 1 " << i
                << " 1 1</DataArray></Points><Cells>"
                   "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">0 1 2 3 4 5 6 7</DataArray>"
                   "<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">8</DataArray>"
                   "<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">12</DataArray></Cells></Piece>"
                   "</UnstructuredGrid></VTKFile>\n";
        }
        std::ofstream(dir / "box.pvtu") << "<VTKFile type=\"PUnstructuredGrid\"><PUnstructuredGrid GhostLevel=\"0\">"
                                           "<PPoints><PDataArray type=\"Float32\" NumberOfComponents=\"3\"/></PPoints>"
                                           "<Piece Source=\"box/box_0.vtu\"/><Piece Source=\"box/box_1.vtu\"/>"
                                           "</PUnstructuredGrid></VTKFile>\n";
        std::ofstream(dir / "case.vtm") << "<VTKFile type=\"vtkMultiBlockDataSet\"><vtkMultiBlockDataSet>"
                                           "<Piece name=\"box\"><DataSet index=\"0\" file=\"box/box_0.vtu\"/>"
                                           "<DataSet index=\"1\" file=\"box/box_1.vtu\"/></Piece>"
                                           "</vtkMultiBlockDataSet></VTKFile>\n";
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(PieceFiles, ParallelFilesAndMultipieceGroupsListTheirPieces) {
    for (const char* file : {"box.pvtu", "case.vtm"}) {
        const CaseLayout layout = readCaseLayout(dir / file);
        ASSERT_EQ(layout.blocks.size(), 1u) << file;
        EXPECT_TRUE(layout.decomposed);
        EXPECT_EQ(layout.blocks[0].name, "box");
        ASSERT_EQ(layout.blocks[0].pieces.size(), 2u);
        EXPECT_EQ(layout.blocks[0].pieces[1], dir / "box" / "box_1.vtu");
        // Read whole, the two pieces are one block whose common face is no longer doubled.
        const CaseData whole = readCase(dir / file);
        ASSERT_EQ(whole.blocks.size(), 1u);
        EXPECT_EQ(whole.blocks[0].numCells(), 2u);
        EXPECT_EQ(whole.blocks[0].numPoints(), 12u);
        // Each of two processes reads its own piece only.
        EXPECT_EQ(readCasePieces(layout, 1, 2).blocks.at(0).sourceFile, (dir / "box" / "box_1.vtu").string());
        EXPECT_TRUE(readCasePieces(layout, 2, 3).blocks.empty());
    }
}

TEST_F(PieceFiles, AMissingPieceIsAnErrorNamingIt) {
    fs::remove(dir / "box" / "box_1.vtu");
    const CaseLayout layout = readCaseLayout(dir / "box.pvtu");
    EXPECT_NO_THROW(readCasePieces(layout, 0, 2)) << "the other process's piece is not read here";
    test::expectReadError([&] { readCasePieces(layout, 1, 2); }, {"box_1.vtu"});
    std::ofstream(dir / "bad.pvtu")
        << "<VTKFile type=\"PUnstructuredGrid\"><PUnstructuredGrid><Piece/></PUnstructuredGrid></VTKFile>";
    EXPECT_THROW(readCaseLayout(dir / "bad.pvtu"), CaseReadError);
}

} // namespace
} // namespace zel::host

// The pieces a parallel run writes (.vtp) and the .pvtp over them, read back by the case
// readers: what ParaView is given must be the geometry and the arrays that were drawn.
#include "host/ParallelFiles.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Variable.h"
#include "framework/viewer/GraphicObject.h"
#include "framework/viewer/ViewerInterface.h"
#include "host/readers/CaseReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace zel::host::test {
namespace {

namespace fs = std::filesystem;

fs::path scratch(const char* name) {
    const fs::path dir = fs::path(ZEL_BINARY_DIR) / "test-output" / "parallel_files" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// A strip of `quads` unit quadrilaterals starting at x = x0, with a scalar whose name has a
// blank and an XML special character, and a vector.
void drawStrip(const std::string& path, float x0, int quads) {
    Geometry g;
    TripletZELVector v;
    for (int i = 0; i <= quads; ++i) {
        v.push_back({x0 + float(i), 0, 0});
        v.push_back({x0 + float(i), 1, 0});
    }
    g.setVertices(v);
    ShapeSet* set = g.addFaceSet("quads", ShapeType::Quadrilateral);
    for (int i = 0; i < quads; ++i) {
        const int q[4] = {2 * i, 2 * i + 2, 2 * i + 3, 2 * i + 1};
        set->addElement(q);
    }
    std::vector<float> p;
    TripletZELVector u;
    for (const TripletF& x : v) {
        p.push_back(x.x);
        u.push_back({x.x, x.y, -1});
    }
    auto pressure = std::make_unique<ScalarVariable>(p.data(), p.size());
    pressure->setName("Total P&T");
    g.addVariable(std::move(pressure));
    auto velocity = std::make_unique<VectorVariable>();
    velocity->setName("Velocity");
    velocity->setTripletValues(u);
    g.addVariable(std::move(velocity));
    ViewerInterface::instance()->draw(path, "fluid", g, GraphicObject());
}

TEST(ParallelFiles, PiecesAndTheirIndexReadBackAsTheWholeSurface) {
    const fs::path dir = scratch("index");
    ViewerInterface& viewer = *ViewerInterface::instance();
    // Process 0 holds two quadrilaterals of the plane, process 2 three; process 1 none.
    viewer.clear();
    drawStrip("/PLANE:Cut", 0, 2);
    viewer.writeVTP(pieceFolder(dir, 0).string());
    viewer.clear();
    drawStrip("/PLANE:Cut", 2, 3);
    const auto files = viewer.writeVTP(pieceFolder(dir, 2).string());
    viewer.clear();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(fs::path(files[0]).filename(), "PLANE_Cut__fluid.vtp");

    const auto index = writeParallelIndex(dir, 3);
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(fs::path(index[0]), dir / "PLANE_Cut__fluid.pvtp");

    const MeshBlock piece = readCase(files[0]).blocks.at(0);
    EXPECT_EQ(piece.numPoints(), 8u);
    EXPECT_EQ(piece.numCells(), 3u);
    const CaseData whole = readCase(index[0]);
    ASSERT_EQ(whole.blocks.size(), 1u);
    const MeshBlock& b = whole.blocks[0];
    EXPECT_EQ(b.kind, BlockKind::Surface);
    EXPECT_EQ(b.numCells(), 5u);
    EXPECT_EQ(b.numPoints(), 12u); // the two points at x = 2 are one
    const FieldArray* p = b.findPointData("Total P&T");
    ASSERT_NE(p, nullptr);
    const FieldArray* u = b.findPointData("Velocity");
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->components, 3);
    for (std::size_t i = 0; i < b.numPoints(); ++i) {
        EXPECT_EQ(p->value(i), b.points[3 * i]);
        EXPECT_EQ(u->value(i, 2), -1.0);
    }
    for (std::size_t c = 0; c < b.numCells(); ++c) EXPECT_EQ(b.cells.cellPoints(c).size(), 4u);
}

TEST(ParallelFiles, AnUnreadablePieceIsNamed) {
    const fs::path dir = scratch("bad");
    fs::create_directories(pieceFolder(dir, 1));
    std::ofstream(pieceFolder(dir, 1) / "broken.vtp") << "<VTKFile>\n";
    try {
        writeParallelIndex(dir, 2);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("broken.vtp"), std::string::npos) << e.what();
    }
    // Nothing written, nothing to list: no file.
    EXPECT_TRUE(writeParallelIndex(scratch("none"), 4).empty());
}

} // namespace
} // namespace zel::host::test

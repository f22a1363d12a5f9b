#include "framework/core/Error.h"
#include "framework/geometry/Geometry.h"
#include "framework/viewer/Colour.h"
#include "framework/viewer/GraphicObject.h"
#include "framework/viewer/ViewerInterface.h"
#include "tests/support/ErrorChecks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace zel::test {
namespace {

// The unit square [0,1]² at z = 0, one quadrilateral with normal +Z.
std::unique_ptr<Geometry> unitSquare() {
    auto g = std::make_unique<Geometry>();
    g->setVertices(TripletZELVector({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}));
    const int face[4] = {0, 1, 2, 3};
    g->addFaceSet("quad", ShapeType::Quadrilateral)->addElement(face);
    return g;
}

class Viewer : public ::testing::Test {
protected:
    void SetUp() override { viewer()->clear(); }
    void TearDown() override { viewer()->clear(); }
    static ViewerInterface* viewer() { return ViewerInterface::instance(); }
    // A unit square that lives as long as the test.
    Geometry* unitSquareHeld() {
        m_held = unitSquare();
        return m_held.get();
    }
    std::unique_ptr<Geometry> m_held;
};

TEST_F(Viewer, DrawAndDeleteBookkeeping) {
    const Geometry& square = *unitSquareHeld();
    GraphicObject graphic;
    viewer()->draw("/PLANE:P", "D1", square, graphic);
    viewer()->draw("/PLANE:P", "D2", square, graphic);
    viewer()->draw("/PLANE:P", "", square, graphic);
    viewer()->draw("/PLANE:Q", "D1", square, graphic);
    viewer()->draw("/PLANE:P/CONTOUR:C", "", square, graphic);
    viewer()->draw("/PLANE:P", "D1", square, graphic); // drawn again: still one entry
    EXPECT_EQ(viewer()->getNumItems(), 5u);
    EXPECT_EQ(viewer()->getItem("/PLANE:P", "D1")->drawCount, 2);
    EXPECT_EQ(viewer()->getGeometryNames("/PLANE:P"), (std::vector<std::string>{"", "D1", "D2"}));

    // The empty geometry name is a name like any other.
    EXPECT_EQ(viewer()->deleteFromViewer("/PLANE:P", "", -1, false), 1u);
    EXPECT_FALSE(viewer()->isDrawn("/PLANE:P", ""));
    EXPECT_TRUE(viewer()->isDrawn("/PLANE:P", "D1"));
    EXPECT_EQ(viewer()->deleteFromViewer("/PLANE:P", "D9", -1, false), 0u); // not drawn: no error
    EXPECT_EQ(viewer()->deleteFromViewer("/PLANE:P", "D2", 1, false), 1u);
    // Every geometry of a path; children only when asked.
    EXPECT_EQ(viewer()->deleteFromViewer("/PLANE:P", ViewerInterface::AllGeometries, -1, false), 1u);
    EXPECT_TRUE(viewer()->isDrawn("/PLANE:P/CONTOUR:C", ""));
    EXPECT_TRUE(viewer()->isDrawn("/PLANE:Q", "D1"));
    viewer()->draw("/PLANE:PQ", "", square, graphic); // a sibling whose path starts the same
    EXPECT_EQ(viewer()->deleteFromViewer("/PLANE:P", ViewerInterface::AllGeometries, -1, true), 1u);
    EXPECT_TRUE(viewer()->isDrawn("/PLANE:PQ", ""));
    EXPECT_EQ(viewer()->getNumItems(), 2u);

    const auto& history = viewer()->getHistory();
    ASSERT_EQ(history.size(), 12u);
    EXPECT_EQ(history[0].kind, ViewerEvent::Draw);
    EXPECT_EQ(history[6].kind, ViewerEvent::Delete);
    EXPECT_EQ(history[6].geometryName, "");
    EXPECT_EQ(history[6].removed, 1u);
    EXPECT_THROW(viewer()->draw("", "D1", square, graphic), internal::badParam);
}

TEST_F(Viewer, DrawingKeepsACopy) {
    auto square = unitSquare();
    const float t[4] = {1, 2, 3, 4};
    auto temperature = std::make_unique<ScalarVariable>(t, 4);
    temperature->setName("Temperature");
    square->addVariable(std::move(temperature));
    viewer()->draw("/USER SURFACE:S", "", *square, GraphicObject());
    square.reset();
    const DrawnItem* item = viewer()->getItem("/USER SURFACE:S", "");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->getNumPoints(), 4u);
    ASSERT_NE(item->findPointArray("Temperature"), nullptr);
    EXPECT_EQ(item->findPointArray("Temperature")->values, (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(item->graphic.getGeometry(), nullptr); // the borrowed pointer is not kept
}

TEST_F(Viewer, ProjectedAreaOfAUnitSquare) {
    const Geometry& square = *unitSquareHeld();
    GraphicObject graphic;
    viewer()->draw("/PLANE:P", "", square, graphic);
    // The default view looks down -Z onto the square: its full area. Tolerances: float
    // rounding of the unit vector.
    EXPECT_NEAR(viewer()->getProjectedArea(1), 1.0f, 1e-6);
    viewer()->setViewDirection(TripletF(0, 0, 5));
    EXPECT_NEAR(viewer()->getProjectedArea(1), 1.0f, 1e-6);
    // Seen at 60 degrees from its normal: cos 60 = 1/2.
    const float s60 = std::sqrt(3.0f) / 2.0f;
    viewer()->setViewDirection(TripletF(s60, 0, 0.5f));
    EXPECT_NEAR(viewer()->getProjectedArea(1), 0.5f, 1e-6);
    viewer()->setViewDirection(TripletF(0, -s60, -0.5f));
    EXPECT_NEAR(viewer()->getProjectedArea(1), 0.5f, 1e-6);
    // Edge-on: nothing.
    viewer()->setViewDirection(TripletF(1, 0, 0));
    EXPECT_NEAR(viewer()->getProjectedArea(1), 0.0f, 1e-7);
    // Each viewport has its own view; viewport 2 still has the default.
    EXPECT_NEAR(viewer()->getProjectedArea(2), 1.0f, 1e-6);

    // Hidden entries and entries without faces do not count; a second copy does.
    viewer()->setViewDirection(TripletF(0, 0, -1));
    GraphicObject hidden;
    hidden.setVisible(false);
    viewer()->draw("/PLANE:Hidden", "", square, hidden);
    GraphicObject noFaces;
    noFaces.setDrawFaces(false);
    viewer()->draw("/PLANE:Lines", "", square, noFaces);
    EXPECT_NEAR(viewer()->getProjectedArea(1), 1.0f, 1e-6);
    viewer()->draw("/PLANE:Copy", "", square, graphic);
    EXPECT_NEAR(viewer()->getProjectedArea(1), 2.0f, 1e-6);

    EXPECT_THROW(viewer()->setViewDirection(TripletF(0, 0, 0)), data::invalid);
    EXPECT_THROW(viewer()->setViewDirection(TripletF::undefined()), data::invalid);
    EXPECT_THROW(viewer()->setViewDirection(TripletF(0, 0, 1), 0), data::invalid);
    EXPECT_THROW(viewer()->getProjectedArea(0), data::invalid);
}

// Reads a legacy ASCII VTK PolyData file: the counts of each section and the point data.
struct VtkFile {
    std::size_t points = 0, vertices = 0, lines = 0, polygons = 0, pointData = 0;
    std::vector<TripletF> coordinates;
    std::vector<std::vector<int>> polygonCells;
    std::map<std::string, std::vector<float>> arrays;
};

VtkFile readVtk(const std::string& file) {
    std::ifstream in(file);
    EXPECT_TRUE(in.good()) << file;
    VtkFile vtk;
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "# vtk DataFile Version 3.0");
    std::getline(in, line); // title
    std::getline(in, line);
    EXPECT_EQ(line, "ASCII");
    std::getline(in, line);
    EXPECT_EQ(line, "DATASET POLYDATA");
    std::string word;
    while (in >> word) {
        if (word == "POINTS") {
            std::string type;
            in >> vtk.points >> type;
            vtk.coordinates.resize(vtk.points);
            for (auto& p : vtk.coordinates) in >> p.x >> p.y >> p.z;
        } else if (word == "VERTICES" || word == "LINES" || word == "POLYGONS") {
            std::size_t n = 0, size = 0;
            in >> n >> size;
            std::size_t read = 0;
            for (std::size_t c = 0; c < n; ++c) {
                int k = 0;
                in >> k;
                std::vector<int> cell(std::size_t(k), 0);
                for (int& v : cell) in >> v;
                read += 1 + cell.size();
                if (word == "POLYGONS") vtk.polygonCells.push_back(cell);
            }
            EXPECT_EQ(read, size) << word;
            (word == "VERTICES" ? vtk.vertices : word == "LINES" ? vtk.lines : vtk.polygons) = n;
        } else if (word == "POINT_DATA") {
            in >> vtk.pointData;
        } else if (word == "SCALARS" || word == "VECTORS") {
            std::string name, type;
            in >> name >> type;
            std::size_t components = 3;
            if (word == "SCALARS") {
                std::string lookup, table;
                in >> components >> lookup >> table;
            }
            std::vector<float>& values = vtk.arrays[name];
            values.resize(components * vtk.pointData);
            for (float& v : values) in >> v;
        } else {
            ADD_FAILURE() << "unexpected '" << word << "' in " << file;
            break;
        }
    }
    return vtk;
}

TEST_F(Viewer, WritesVtkPolyDataFiles) {
    // Two quadrilaterals and a triangle, with two feature lines, a scalar with a blank in its
    // name (undefined at one vertex) and a vector.
    Geometry g;
    g.setVertices(TripletZELVector({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {1, 2, 0.5f}}));
    ShapeSet* quads = g.addFaceSet("quads", ShapeType::Quadrilateral);
    const int q1[4] = {0, 1, 4, 3}, q2[4] = {1, 2, 5, 4};
    quads->addElement(q1);
    quads->addElement(q2);
    const int t1[3] = {3, 4, 6};
    g.addFaceSet("tris", ShapeType::Triangle)->addElement(t1);
    g.setLines(IntZELVector({0, 1, 1, 2}));
    const float p[7] = {1, 2, 3, 4, 5, 6, UNDEFINED_VALUE};
    auto pressure = std::make_unique<ScalarVariable>(p, 7);
    pressure->setName("Total Pressure");
    g.addVariable(std::move(pressure));
    auto velocity = std::make_unique<VectorVariable>();
    velocity->setName("Velocity");
    TripletZELVector u;
    for (int i = 0; i < 7; ++i) u.push_back({float(i), 0.5f, -float(i)});
    velocity->setTripletValues(u);
    g.addVariable(std::move(velocity));
    viewer()->draw("/USER SURFACE:Blade/Tip", "Rotor Domain", g, GraphicObject());

    // A point geometry: vertices only.
    SymbolGeometry points;
    points.setVertices(TripletZELVector({{0, 0, 1}, {0, 0, 2}}));
    viewer()->draw("/POINT:Probe", "", points, GraphicObject());

    const std::string folder = std::string(ZEL_BINARY_DIR) + "/test-output/viewer_vtk";
    std::filesystem::remove_all(folder);
    const std::vector<std::string> files = viewer()->writeVTK(folder);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(std::filesystem::path(files[0]).filename(), "POINT_Probe.vtk");
    EXPECT_EQ(std::filesystem::path(files[1]).filename(), "USER_SURFACE_Blade_Tip__Rotor_Domain.vtk");

    const VtkFile surface = readVtk(files[1]);
    EXPECT_EQ(surface.points, 7u);
    EXPECT_EQ(surface.polygons, 3u);
    EXPECT_EQ(surface.lines, 2u);
    EXPECT_EQ(surface.vertices, 0u);
    EXPECT_EQ(surface.coordinates[6], TripletF(1, 2, 0.5f));
    EXPECT_EQ(surface.polygonCells[1], (std::vector<int>{1, 2, 5, 4}));
    EXPECT_EQ(surface.pointData, 7u);
    ASSERT_EQ(surface.arrays.count("Total%20Pressure"), 1u);
    const std::vector<float>& values = surface.arrays.at("Total%20Pressure");
    EXPECT_EQ(values[5], 6.0f);
    EXPECT_EQ(values[6], UNDEFINED_VALUE); // written so that it reads back exactly
    ASSERT_EQ(surface.arrays.count("Velocity"), 1u);
    EXPECT_EQ(surface.arrays.at("Velocity")[3 * 4 + 2], -4.0f);

    const VtkFile probe = readVtk(files[0]);
    EXPECT_EQ(probe.points, 2u);
    EXPECT_EQ(probe.vertices, 2u);
    EXPECT_EQ(probe.polygons, 0u);

    // A folder that cannot be made is reported with its name.
    const std::string blocker = folder + "/file";
    std::ofstream(blocker) << "x";
    expectError<data::error>([&] { viewer()->writeVTK(blocker + "/sub"); }, {.fragments = {blocker}});
}

TEST_F(Viewer, ColourMapsAndGraphicSettings) {
    ColourMapDB* maps = ColourMapDB::instance();
    ColourMap* defaultMap = maps->getMap("");
    EXPECT_EQ(defaultMap, maps->getMap("Default Colour Map"));
    EXPECT_THROW(maps->getMap("No Such Map"), data::notFound);
    EXPECT_EQ(defaultMap->getColour(0.0f), Colour(0, 0, 1));
    EXPECT_EQ(defaultMap->getColour(0.5f), Colour(0, 1, 0));
    EXPECT_EQ(defaultMap->getColour(2.0f), Colour(1, 0, 0)); // clamped
    const Colour c = maps->getMap("Greyscale")->getColour(0.25f);
    EXPECT_FLOAT_EQ(c.g, 0.25f);

    ColourMap* grey = maps->getMap("Greyscale");
    const float orange = grey->addCustomColour(Colour(1, 0.5f, 0));
    const float teal = grey->addCustomColour(Colour(0, 0.5f, 0.5f));
    EXPECT_NE(orange, teal);
    EXPECT_EQ(grey->addCustomColour(Colour(1, 0.5f, 0)), orange); // the same colour again
    EXPECT_GE(orange, ColourMap::CustomColourBase);
    EXPECT_EQ(grey->getColourForValue(teal), Colour(0, 0.5f, 0.5f));
    EXPECT_THROW(grey->getCustomColour(0.5f), data::notFound);
    // Replacing a map's colours keeps the object and its custom colours.
    EXPECT_EQ(maps->addMap("Greyscale", {Colour(1, 1, 1), Colour(0, 0, 0)}), grey);
    EXPECT_EQ(grey->getColour(0.0f), Colour(1, 1, 1));
    EXPECT_EQ(grey->getCustomColour(orange), Colour(1, 0.5f, 0));

    const float rgb[3] = {0.2f, 0.4f, 0.6f};
    EXPECT_EQ(Colour::fromValues(rgb), Colour(0.2f, 0.4f, 0.6f));
    const float two[2] = {0.2f, 0.4f};
    EXPECT_THROW(Colour::fromValues(two), data::invalid);
    const float big[3] = {0.2f, 1.5f, 0.6f};
    EXPECT_THROW(Colour::fromValues(big), data::invalid);

    GraphicObject g;
    g.setTransparency(" 0.25 ");
    EXPECT_FLOAT_EQ(g.getTransparency(), 0.25f);
    EXPECT_THROW(g.setTransparency("a lot"), data::invalid);
    EXPECT_THROW(g.setTransparency("0.5 0.5"), data::invalid);
    EXPECT_THROW(g.setTransparency(1.5f), data::invalid);
    EXPECT_FLOAT_EQ(g.getTransparency(), 0.25f);
    EXPECT_THROW(g.setLineWidth(-1.0f), data::invalid);
    EXPECT_THROW(g.setColourRange(2.0f, 1.0f), data::invalid);
    g.setColourRange(1.0f, 1.0f);
    EXPECT_EQ(g.getColourMax(), 1.0f);
}

} // namespace
} // namespace zel::test

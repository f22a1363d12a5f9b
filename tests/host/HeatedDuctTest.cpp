// Boundary heat variables on a real heat-transfer result (the heatedDuct export: a hot floor,
// a cold ceiling, adiabatic sides), checked against the solver's own figures: the wall heat
// flux integrals of its function object, the enthalpy rise between inlet and outlet, and
// its heat transfer coefficient against the wall-adjacent cell; and the heat flow a
// structural load surface on the hot wall carries, with and without conservative scaling.
#include "tests/host/HostTestSupport.h"

#include "host/BoundaryGeometry.h"
#include "host/LoadDeckWriter.h"
#include "host/readers/CaseReader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace zel::host::test {
namespace {

std::filesystem::path caseFolder() { return std::filesystem::path(ZEL_TEST_DATA_DIR) / "openfoam" / "heatedDuct"; }
std::filesystem::path caseFile() { return caseFolder() / "VTK" / "heatedDuct_600.vtm"; }

// The last "integral" of each patch in the wallHeatFlux function object's file (W).
std::map<std::string, double> solverHeatFlows() {
    std::ifstream in(caseFolder() / "postProcessing" / "wallHeatFlux1" / "wallHeatFlux.dat");
    std::map<std::string, double> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        double time = 0, min = 0, max = 0, integral = 0;
        std::string patch;
        if (fields >> time >> patch >> min >> max >> integral) out[patch] = integral;
    }
    return out;
}

// The last value of a surfaceFieldValue file of one column.
double solverFigure(const std::string& object) {
    std::ifstream in(caseFolder() / "postProcessing" / object / "surfaceFieldValue.dat");
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') last = line;
    std::istringstream fields(last);
    double time = 0, value = NAN;
    fields >> time >> value;
    return value;
}

// The case without the arrays of these names (volume and patches, point and cell data).
CaseData without(std::initializer_list<const char*> names) {
    CaseData data = readCase(caseFile());
    for (MeshBlock& block : data.blocks)
        for (auto* arrays : {&block.pointData, &block.cellData})
            std::erase_if(*arrays, [&](const FieldArray& a) {
                return std::find(names.begin(), names.end(), a.name) != names.end();
            });
    return data;
}

// The vertex values of a scalar of `g` (which must have it).
const FloatZELVector& vertexValues(Geometry& g, const std::string& name) {
    Variable* v = g.getVariable(name, true);
    if (v == nullptr || v->getFloatValues(VarTypeVertex) == nullptr)
        throw std::runtime_error(g.getName() + " has no values of " + name);
    return *v->getFloatValues(VarTypeVertex);
}

class HeatedDuctTest : public HostTest {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(caseFile())) GTEST_SKIP() << caseFile() << " is not there";
        HostTest::SetUp();
    }
};

TEST_F(HeatedDuctTest, WallHeatFlowsAreTheSolversIntegralsSignedIntoTheFluid) {
    host->loadCase(caseFile(), {});
    host->runSession("> calculate sum, Heat Flow, hotWall\n"
                     "> calculate sum, Heat Flow, coldWall\n"
                     "> calculate sum, Heat Flow, adiabaticWalls\n"
                     "> calculate areaInt, Heat Flux, hotWall\n"
                     "> calculate areaInt, Heat Flux, coldWall\n",
                     "heat");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    const std::map<std::string, double> solver = solverHeatFlows();
    ASSERT_EQ(solver.size(), 3u);
    // The same faces and face fluxes: equal to single precision (about 200 faces summed).
    for (const auto& [patch, flow] : solver)
        EXPECT_NEAR(result("sum, Heat Flow, " + patch), flow, 1e-5 * std::abs(solver.at("hotWall"))) << patch;
    // Heat enters from the hot floor (positive), leaves through the cold ceiling.
    EXPECT_GT(result("sum, Heat Flow, hotWall"), 0.0);
    EXPECT_LT(result("sum, Heat Flow, coldWall"), 0.0);
    // The vertex heat flux is the heat flow per vertex area: its integral is the heat flow.
    for (const char* wall : {"hotWall", "coldWall"})
        EXPECT_NEAR(result(std::string("areaInt, Heat Flux, ") + wall), result(std::string("sum, Heat Flow, ") + wall),
                    1e-6 * solver.at("hotWall"))
            << wall;
    // What the walls give the fluid is its enthalpy rise from inlet to outlet (the enthalpy
    // flows of the solver, converged to about 1e-4 of the rise).
    const double rise = solverFigure("enthalpyOutlet") + solverFigure("enthalpyInlet"); // inlet's is negative
    const double walls = result("sum, Heat Flow, hotWall") + result("sum, Heat Flow, coldWall") +
                         result("sum, Heat Flow, adiabaticWalls");
    EXPECT_NEAR(walls, rise, 1e-3 * rise);
}

TEST_F(HeatedDuctTest, WithFlowsFromPointsTheHeatFlowIsThePointFluxTimesTheVertexArea) {
    LoadOptions options;
    options.boundaryFlows = FlowSource::Points;
    host->loadCase(caseFile(), options);
    auto* b = dynamic_cast<BoundaryGeometry*>(boundaryGeometry("hotWall"));
    ASSERT_NE(b, nullptr);
    const FloatZELVector& flow = vertexValues(*b, "Heat Flow");
    const FloatZELVector& flux = vertexValues(*b, "Heat Flux"); // the patch's point values
    const FloatZELVector& area = b->getVertexAreas();
    double sum = 0;
    for (std::size_t i = 0; i < flow.size(); ++i) {
        EXPECT_FLOAT_EQ(flow[i], float(double(flux[i]) * area[i])) << i;
        sum += flow[i];
    }
    // Interpolated point fluxes miss the solver's integral, but not by much.
    const double solver = solverHeatFlows().at("hotWall");
    EXPECT_NE(sum, solver);
    EXPECT_NEAR(sum, solver, 0.05 * solver);
}

TEST_F(HeatedDuctTest, AdjacentTemperatureIsTheWallCellsAndTheCoefficientFollowsFromIt) {
    host->loadCase(caseFile(), {});
    // OpenFOAM's coefficient against the wall-adjacent cell is q / (T_cell − T_wall) = −κ/δ:
    // one value on both walls (the cells are alike and κ constant).
    const double kappaOverDelta = 41.73745;
    for (const char* wall : {"hotWall", "coldWall"}) {
        auto* b = dynamic_cast<BoundaryGeometry*>(boundaryGeometry(wall));
        ASSERT_NE(b, nullptr);
        const auto& faces = b->getFaceFields();
        ASSERT_EQ(faces.count("Wall Adjacent Temperature"), 1u) << wall;
        const std::vector<float>& adjacent = faces.at("Wall Adjacent Temperature").values;
        const std::vector<float>& q = faces.at("Heat Flux").values;
        const std::vector<float>& tw = faces.at("Temperature").values;
        ASSERT_EQ(adjacent.size(), std::size_t(b->getNumElements()));
        // The face flux over the difference to the cell found is that value at every face:
        // a neighbouring cell's temperature would be off by far more.
        for (std::size_t f = 0; f < adjacent.size(); ++f)
            ASSERT_NEAR(q[f] / (tw[f] - adjacent[f]), kappaOverDelta, 2e-5 * kappaOverDelta) << wall << " face " << f;
        // Every vertex: the solver's coefficient with its sign turned, and the one computed
        // from flux and temperatures, agree with it.
        const FloatZELVector& h = vertexValues(*b, "Wall Heat Transfer Coefficient");
        const FloatZELVector& qv = vertexValues(*b, "Heat Flux");
        const FloatZELVector& tv = vertexValues(*b, "Temperature");
        const FloatZELVector& av = vertexValues(*b, "Wall Adjacent Temperature");
        for (std::size_t i = 0; i < h.size(); ++i) {
            ASSERT_NEAR(h[i], kappaOverDelta, 1e-5 * kappaOverDelta) << wall << " vertex " << i;
            ASSERT_NEAR(qv[i] / (tv[i] - av[i]), kappaOverDelta, 1e-4 * kappaOverDelta) << wall << " vertex " << i;
        }
    }
    // The floor's adjacent temperatures, with VTK's cell locator half a cell above each face
    // centre: the range of the face values and their area average, which the vertex values
    // keep.
    host->runSession("> calculate areaAve, Wall Adjacent Temperature, hotWall\n"
                     "> calculate areaAve, Wall Adjacent Temperature, coldWall\n",
                     "heat");
    const auto& hot = dynamic_cast<BoundaryGeometry*>(boundaryGeometry("hotWall"))->getFaceFields();
    const std::vector<float>& adjacent = hot.at("Wall Adjacent Temperature").values;
    EXPECT_NEAR(*std::min_element(adjacent.begin(), adjacent.end()), 323.9168, 1e-3);
    EXPECT_NEAR(*std::max_element(adjacent.begin(), adjacent.end()), 336.6917, 1e-3);
    EXPECT_NEAR(result("areaAve, Wall Adjacent Temperature, hotWall"), 335.15646, 1e-3);
    EXPECT_NEAR(result("areaAve, Wall Adjacent Temperature, coldWall"), 292.34602, 1e-3);
}

TEST_F(HeatedDuctTest, TheCoefficientIsComputedWithoutTheSolversAndHeatNeedsAWallHeatFlux) {
    // Without the solver's coefficient: flux / (wall − adjacent temperature) at each vertex.
    host->loadCase(without({"heatTransferCoeff(T)"}), {});
    ASSERT_TRUE(ObjectDB::instance()->hasObject("Wall Heat Transfer Coefficient"));
    for (const char* wall : {"hotWall", "coldWall"})
        for (const float h : vertexValues(*boundaryGeometry(wall), "Wall Heat Transfer Coefficient"))
            ASSERT_NEAR(h, 41.73745, 1e-4 * 41.73745) << wall;
    // An adiabatic wall: no flux, so no coefficient where the temperatures differ.
    for (const float h : vertexValues(*boundaryGeometry("adiabaticWalls"), "Wall Heat Transfer Coefficient"))
        ASSERT_EQ(h, 0.0f);

    // Without the wall heat flux there is no heat flux, heat flow or coefficient; the cells'
    // temperature next to the walls is still there.
    restartHost();
    host->loadCase(without({"heatTransferCoeff(T)", "wallHeatFlux"}), {});
    for (const char* name : {"Heat Flux", "Heat Flow", "Wall Heat Transfer Coefficient"})
        EXPECT_FALSE(ObjectDB::instance()->hasObject(name)) << name;
    EXPECT_TRUE(ObjectDB::instance()->hasObject("Wall Adjacent Temperature"));
    host->runSession("> calculate sum, Heat Flow, hotWall\n", "heat");
    EXPECT_GT(host->errorCount(), 0u);
    ASSERT_FALSE(host->results().empty());
    EXPECT_FALSE(host->results().back().value.has_value());

    // A wall heat flux of three components is no heat flux: left out with a warning.
    restartHost();
    CaseData data = without({"heatTransferCoeff(T)"});
    for (MeshBlock& block : data.blocks)
        for (auto* arrays : {&block.pointData, &block.cellData})
            for (FieldArray& a : *arrays) {
                if (a.name != "wallHeatFlux") continue;
                std::vector<float> tripled;
                for (std::size_t i = 0; i < a.values.size(); ++i) tripled.insert(tripled.end(), 3, float(a.values[i]));
                a = FieldArray{a.name, 3, RealArray(std::move(tripled))};
            }
    const LoadedCase loaded = host->loadCase(data, {});
    EXPECT_FALSE(ObjectDB::instance()->hasObject("Heat Flux"));
    EXPECT_TRUE(std::any_of(loaded.warnings.begin(), loaded.warnings.end(), [](const std::string& w) {
        return w.find("array 'wallHeatFlux' has 3 components where 'Heat Flux' has 1") != std::string::npos;
    })) << reports();
}

// A structural load surface over the hot floor that does not match the flow mesh: 5 × 2
// quadrilaterals of 30 mm × 10 mm where the flow has 24 × 8 faces.
std::unique_ptr<Geometry> coarseFloor() {
    auto g = std::make_unique<Geometry>();
    constexpr int nx = 5, nz = 2;
    TripletZELVector vertices;
    for (int k = 0; k <= nz; ++k)
        for (int i = 0; i <= nx; ++i) vertices.push_back(TripletF(0.05f + 0.03f * float(i), 0.0f, 0.01f * float(k)));
    g->setVertices(std::move(vertices));
    ShapeSet* set = g->addFaceSet("Quadrilaterals", ShapeType::Quadrilateral, nx * nz);
    std::vector<int>& conn = set->editConnectivity();
    conn.clear();
    for (int k = 0; k < nz; ++k)
        for (int i = 0; i < nx; ++i) {
            const int a = k * (nx + 1) + i;
            conn.insert(conn.end(), {a, a + nx + 1, a + nx + 2, a + 1});
        }
    return g;
}

TEST_F(HeatedDuctTest, ALoadSurfaceOnTheHotWallCarriesItsHeatFlow) {
    const WorkingFolder folder("zel_heat_");
    const std::filesystem::path& scratch = folder.path;
    host->loadCase(caseFile(), {});
    writeLoadDeck(*coarseFloor(), scratch / "floor.cdb");
    for (const char* conservative : {"True", "False"})
        host->runSession(std::string("USER SURFACE: Floor ") + conservative +
                             "\n  Option = NORVA\n  Input File = " + (scratch / "floor.cdb").string() +
                             "\n  File Units = mm\n  Use Mid Side Nodes = True\n"
                             "  Associated Boundary Specified = True\n  Associated Boundary = hotWall\n"
                             "  Maintain Conservative Values = " +
                             conservative + "\nEND\n",
                         "heat");
    host->runSession("> calculate sum, Heat Flow, hotWall\n"
                     "> calculate areaInt, Heat Flux on Floor True, Floor True\n"
                     "> calculate areaInt, Heat Flux on Floor False, Floor False\n"
                     "> export Floor True, floor.csv, Heat Flux, Wall Heat Transfer Coefficient\n",
                     "heat");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    const double boundary = result("sum, Heat Flow, hotWall");
    const double solver = solverHeatFlows().at("hotWall");
    const double conservative = result("areaInt, Heat Flux on Floor True, Floor True");
    EXPECT_NEAR(conservative, boundary, 1e-3 * boundary);
    EXPECT_NEAR(conservative, solver, 0.02 * solver);
    // Unscaled, the coarse surface samples at its own nodes the flux that falls by a factor
    // of five along the floor, steepest at the leading edge: near, but not the wall's flow.
    const double unscaled = result("areaInt, Heat Flux on Floor False, Floor False");
    EXPECT_NEAR(unscaled, boundary, 0.1 * boundary);
    EXPECT_GT(std::abs(unscaled - boundary), 0.01 * boundary);
    std::cout << "hot wall heat flow " << boundary << " W; on the load surface: conservative " << conservative
              << " W, unscaled " << unscaled << " W (" << 100.0 * (unscaled - boundary) / boundary << " %)\n";

    // The exported heat flux, weighted by the surface's vertex areas, gives the flow too.
    Geometry& surface = *object("Floor True")->getGeometry("");
    const FloatZELVector& areas = surface.getVertexAreas();
    std::string header;
    const std::vector<std::vector<double>> rows = csvRows("floor.csv", header);
    EXPECT_EQ(header, "Node Number, X [mm], Y [mm], Z [mm], Heat Flux [W m^-2], Wall Heat Transfer Coefficient "
                      "[W m^-2 K^-1]");
    ASSERT_EQ(rows.size(), areas.size());
    double exported = 0.0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        ASSERT_EQ(rows[row].size(), 6u) << "row " << row;
        exported += rows[row][4] * areas[row];
        EXPECT_NEAR(rows[row][5], 41.73745, 1e-4 * 41.73745) << "row " << row;
    }
    EXPECT_NEAR(exported, boundary, 1e-3 * boundary);
}

} // namespace
} // namespace zel::host::test

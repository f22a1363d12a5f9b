// A 3D OpenFOAM result with a wall shear stress field (simpleFoam squareBend, kept small in
// tests/data): flows, and the pressure and viscous parts of the force on the walls against
// the solver's function objects (tests/data/openfoam/squareBend/README.md); and the FE load
// exchange on it: a deck made from the walls is read as a load surface, projects fully onto
// them and covers their area, carries their force, gives the transfer report that an XML
// parser reads, and its loads are exported.
#include "tests/host/HostTestSupport.h"

#include "feloads/KVO2NorvaUtilities.h"
#include "host/LoadDeckWriter.h"

#include <cmath>
#include <filesystem>

namespace zel::host::test {
namespace {

std::filesystem::path squareBend() {
    return std::filesystem::path(ZEL_TEST_DATA_DIR) / "openfoam" / "squareBend" / "VTK" / "squareBend_400.vtm";
}

// The number between <TAG ...> and </TAG> after the n-th occurrence of `marker`.
double figureAfter(const std::string& text, const std::string& marker, int n = 0) {
    std::size_t at = 0;
    for (int k = 0; k <= n; ++k) at = text.find(marker, k == 0 ? 0 : at + 1);
    if (at == std::string::npos) return NAN;
    const std::size_t start = text.find('>', at) + 1;
    return std::stod(text.substr(start, text.find('<', start) - start));
}

// The case with ρ = 1 (kinematic pressure, as in the solver's figures), in a working folder of
// its own.
class SquareBendTest : public HostTest {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(squareBend())) GTEST_SKIP() << squareBend() << " is not there";
        HostTest::SetUp();
        folder = std::make_unique<WorkingFolder>("zel_loads_");
        scratch = folder->path;
        loaded = host->loadCase(squareBend(), withDensity(1.0));
    }
    // The load surface `name` of `deck`, projected onto the walls unless `associated` is off.
    void defineSurface(const std::string& name, const std::filesystem::path& deck, const std::string& units,
                       bool associated = true) {
        host->runSession("USER SURFACE: " + name + "\n  Option = NORVA\n  Input File = " + deck.string() +
                             "\n  File Units = " + units +
                             "\n  Use Mid Side Nodes = True\n"
                             "  Associated Boundary Specified = " +
                             (associated ? "True" : "False") + "\n  Associated Boundary = walls\nEND\n",
                         "loads");
    }

    LoadedCase loaded;
    std::unique_ptr<WorkingFolder> folder; // the last to go: after the Host
    std::filesystem::path scratch;
};

TEST_F(SquareBendTest, FlowsAndWallForcesAgreeWithOpenFoam) {
    EXPECT_EQ(loaded.boundaries, (std::vector<std::string>{"inlet", "outlet", "walls"}));
    host->runSession("> calculate massFlow, inlet\n"
                     "> calculate massFlow, outlet\n"
                     "> calculate areaAve, Pressure, inlet\n"
                     "> calculate force, walls, X\n"
                     "> calculate force, walls, Y\n"
                     "> calculate sum, Pressure Force X, walls\n"
                     "> calculate sum, Pressure Force Y, walls\n"
                     "> calculate sum, Viscous Force X, walls\n"
                     "> calculate sum, Viscous Force Y, walls\n"
                     "> calculate areaInt, Wall Shear X, walls\n",
                     "squareBend");
    // Flows and forces from the patches' face values: the solver's sums over faces, within
    // 0.2 % (the outlet's U_f·S_f misses sum(phi) by 0.005 %, the forces agree to 1e-6).
    EXPECT_NEAR(result("massFlow, inlet"), -0.025, 0.002 * 0.025);
    EXPECT_NEAR(result("massFlow, outlet"), 0.02499999, 0.002 * 0.025);
    EXPECT_NEAR(result("areaAve, Pressure, inlet"), 62.18718, 0.01 * 62.18718);
    const double fx = 0.6652421, fy = -0.00422256, magnitude = std::hypot(fx, fy);
    EXPECT_NEAR(result("force, walls, X"), fx, 0.002 * magnitude);
    EXPECT_NEAR(result("force, walls, Y"), fy, 0.002 * magnitude);
    const double px = 0.7011776, py = 0.000411399, pressure = std::hypot(px, py);
    EXPECT_NEAR(result("sum, Pressure Force X, walls"), px, 0.002 * pressure);
    EXPECT_NEAR(result("sum, Pressure Force Y, walls"), py, 0.002 * pressure);
    // The viscous part: the fluid drags the walls downstream (-x in the outlet leg).
    const double vx = -0.03593547, vy = -0.004633959, viscous = std::hypot(vx, vy);
    EXPECT_NEAR(result("sum, Viscous Force X, walls"), vx, 0.002 * viscous);
    EXPECT_NEAR(result("sum, Viscous Force Y, walls"), vy, 0.002 * viscous);
    // The point values' integral (what --boundary-flows points gives) is 0.4 % off.
    EXPECT_NEAR(result("areaInt, Wall Shear X, walls"), vx, 0.02 * viscous);
    EXPECT_EQ(host->errorCount(), 0u) << reports();
}

TEST_F(SquareBendTest, AWallDeckCarriesTheWallsAreaAndForce) {
    const Geometry& walls = *boundaryGeometry("walls");
    LoadDeckOptions split;
    split.split = 2;
    const LoadDeckCounts counts = writeLoadDeck(walls, scratch / "walls_mm.cdb", split);
    split.units = "m";
    writeLoadDeck(walls, scratch / "walls_m.cdb", split);
    EXPECT_EQ(counts.elements, std::size_t(4 * walls.getFaceSet(walls.getFaceSetNames().front())->size()));
    defineSurface("Wall Loads", scratch / "walls_mm.cdb", "mm");
    defineSurface("Wall Loads m", scratch / "walls_m.cdb", "m", false);
    host->runSession("> calculate area, walls\n"
                     "> calculate area, Wall Loads\n"
                     "> calculate area, Wall Loads m\n"
                     "> calculate sum, Force X, walls\n"
                     "> calculate sum, Force X, Wall Loads\n"
                     "> calculate sum, Force Z, Wall Loads\n",
                     "loads");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    // The same deck in millimetres and metres is the same surface; it covers the walls.
    const double area = result("area, walls");
    EXPECT_NEAR(result("area, Wall Loads"), area, 0.005 * area);
    EXPECT_NEAR(result("area, Wall Loads m"), result("area, Wall Loads"), 1e-5 * area);
    const Geometry* mm = object("Wall Loads")->getGeometry("");
    const Geometry* m = object("Wall Loads m")->getGeometry("");
    ASSERT_EQ(mm->getNumVertices(), m->getNumVertices());
    for (int i = 0; i < mm->getNumVertices(); i += 97)
        EXPECT_NEAR((mm->getVertices()[std::size_t(i)] - m->getVertices()[std::size_t(i)]).length(), 0.0f, 1e-6f);

    // The wall force of the solver (forces function object, x is > 1 % of the total) and the
    // force the load surface carries.
    const double fx = 0.6652421;
    EXPECT_NEAR(result("sum, Force X, Wall Loads"), fx, 0.01 * std::abs(fx));
    EXPECT_NEAR(result("sum, Force X, Wall Loads"), result("sum, Force X, walls"), 1e-4 * std::abs(fx));

    // The import report: full projection, the two sides' forces as the calculator gives them.
    const std::string text = readText(KVO2NorvaUtilities::kReportFile);
    EXPECT_EQ(parseXml(text).first, "KVO2NORVA") << text; // well-formed, and its root
    EXPECT_TRUE(contains(text, "<PROJECTION-SUCCESS type=\"percentage\">100</PROJECTION-SUCCESS>"));
    EXPECT_TRUE(contains(text, "<KVOFILE>" + squareBend().string() + "</KVOFILE>"));
    const double kvo = figureAfter(text, "<FORCE component=\"X\"");
    const double norva = figureAfter(text, "<FORCE component=\"X\"", 1);
    EXPECT_NEAR(kvo, result("sum, Force X, walls"), 1e-5 * std::abs(kvo));
    EXPECT_NEAR(norva, result("sum, Force X, Wall Loads"), 1e-5 * std::abs(norva));
    const double fz = result("sum, Force Z, Wall Loads");
    EXPECT_NEAR(figureAfter(text, "<FORCE component=\"Z\"", 1), fz, 1e-5 * std::abs(fz) + 1e-12);
}

TEST_F(SquareBendTest, LoadsAreExportedForTheStructuralSolver) {
    writeLoadDeck(*boundaryGeometry("walls"), scratch / "walls.cdb");
    defineSurface("Wall Loads", scratch / "walls.cdb", "mm");
    host->runSession("> export Wall Loads, loads.csv, Force, Shear Stress\n", "export");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    ASSERT_TRUE(std::filesystem::exists("loads.vtk"));
    // The table read back: one line per vertex, node number, coordinates in mm, the loads.
    std::string header;
    const std::vector<std::vector<double>> rows = csvRows("loads.csv", header);
    EXPECT_EQ(header, "Node Number, X [mm], Y [mm], Z [mm], Force X [N], Force Y [N], Force Z [N], "
                      "Shear Stress X [Pa], Shear Stress Y [Pa], Shear Stress Z [Pa]");
    Geometry& g = *object("Wall Loads")->getGeometry("");
    const TripletZELVector& force = *g.getVariable("Force on Wall Loads")->getTripletValues();
    const TripletZELVector& shear = *g.getVariable("Shear Stress on Wall Loads")->getTripletValues();
    ASSERT_EQ(rows.size(), std::size_t(g.getNumVertices()));
    double sum = 0.0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<double>& v = rows[i];
        ASSERT_EQ(v.size(), 10u) << "row " << i;
        EXPECT_NEAR(v[1], g.getVertices()[i].x * 1000.0, 1e-3);
        EXPECT_NEAR(v[4], force[i].x, 1e-7 * (1.0 + std::abs(force[i].x)));
        EXPECT_NEAR(v[9], shear[i].z, 1e-7 * (1.0 + std::abs(shear[i].z)));
        sum += v[4];
    }
    EXPECT_NEAR(sum, 0.6652421, 0.01 * 0.6652421);

    // Bad requests name what is wrong and write nothing.
    defineSurface("Loose", scratch / "walls.cdb", "mm", false);
    expectSessionFails("> export Loose, loose.csv\n", "export", "Load surface 'Loose' has no associated boundary");
    expectSessionFails("> export walls, w.csv\n", "export", "'walls' is no load surface");
    expectSessionFails("> export Wall Loads, bad.csv, Torque\n", "export", "'Torque' is no load variable");
    EXPECT_THROW(host->runSession("> export Wall Loads, heat.csv, Heat Flux\n", "export"), Error); // no heat here
    for (const char* file : {"loose.csv", "w.csv", "bad.csv", "heat.csv", "heat.vtk"})
        EXPECT_FALSE(std::filesystem::exists(file)) << file;
}

TEST_F(SquareBendTest, TheExampleSessionRuns) {
    host->runSessionFile(examplesFolder() / "loads.zel");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    const double area = result("area, walls");
    EXPECT_NEAR(result("area, Wall Loads"), area, 0.005 * area);
    EXPECT_NEAR(result("sum, Force X, Wall Loads"), 0.6652421, 0.01 * 0.6652421);
    EXPECT_TRUE(std::filesystem::exists("wall_loads.csv"));
    EXPECT_TRUE(std::filesystem::exists("wall_loads.vtk"));
    EXPECT_EQ(parseXml(readText(KVO2NorvaUtilities::kReportFile)).first, "KVO2NORVA");
}

} // namespace
} // namespace zel::host::test

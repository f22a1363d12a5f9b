// The FE load exchange on a real result (the squareBend export): a deck made from the walls
// is read as a load surface, projects fully onto them and covers their area, carries their
// force, gives the transfer report that an XML parser reads, and its loads are exported.
#include "tests/host/HostTestSupport.h"

#include "feloads/KVO2NorvaUtilities.h"
#include "host/LoadDeckWriter.h"

#include <expat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zel::host::test {
namespace {

std::filesystem::path squareBend() {
    return std::filesystem::path(ZEL_TEST_DATA_DIR) / "openfoam" / "squareBend" / "VTK" / "squareBend_400.vtm";
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Whether `text` is well-formed XML (one root element); `root` receives the root's name.
bool parsesAsXml(const std::string& text, std::string& root) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &root);
    XML_SetStartElementHandler(parser, [](void* data, const XML_Char* name, const XML_Char**) {
        auto* r = static_cast<std::string*>(data);
        if (r->empty()) *r = name;
    });
    const bool ok = XML_Parse(parser, text.data(), int(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}

// The number between <TAG ...> and </TAG> after the n-th occurrence of `marker`.
double figureAfter(const std::string& text, const std::string& marker, int n = 0) {
    std::size_t at = 0;
    for (int k = 0; k <= n; ++k) at = text.find(marker, k == 0 ? 0 : at + 1);
    if (at == std::string::npos) return NAN;
    const std::size_t start = text.find('>', at) + 1;
    return std::stod(text.substr(start, text.find('<', start) - start));
}

class LoadSessionTest : public HostTest {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(squareBend())) GTEST_SKIP() << squareBend() << " is not there";
        HostTest::SetUp();
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        scratch = std::filesystem::temp_directory_path() / ("zel_loads_" + std::to_string(stamp));
        std::filesystem::create_directories(scratch);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(scratch);
        LoadOptions options;
        options.density = 1.0;
        host->loadCase(squareBend(), options);
    }
    void TearDown() override {
        if (scratch.empty()) return;
        HostTest::TearDown();
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
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

    std::filesystem::path scratch;
    std::filesystem::path previous;
};

TEST_F(LoadSessionTest, AWallDeckCarriesTheWallsAreaAndForce) {
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
    std::string root;
    EXPECT_TRUE(parsesAsXml(text, root)) << text;
    EXPECT_EQ(root, "KVO2NORVA");
    EXPECT_NE(text.find("<PROJECTION-SUCCESS type=\"percentage\">100</PROJECTION-SUCCESS>"), std::string::npos);
    EXPECT_NE(text.find("<KVOFILE>" + squareBend().string() + "</KVOFILE>"), std::string::npos) << text;
    const double kvo = figureAfter(text, "<FORCE component=\"X\"");
    const double norva = figureAfter(text, "<FORCE component=\"X\"", 1);
    EXPECT_NEAR(kvo, result("sum, Force X, walls"), 1e-5 * std::abs(kvo));
    EXPECT_NEAR(norva, result("sum, Force X, Wall Loads"), 1e-5 * std::abs(norva));
    const double fz = result("sum, Force Z, Wall Loads");
    EXPECT_NEAR(figureAfter(text, "<FORCE component=\"Z\"", 1), fz, 1e-5 * std::abs(fz) + 1e-12);
}

TEST_F(LoadSessionTest, LoadsAreExportedForTheStructuralSolver) {
    writeLoadDeck(*boundaryGeometry("walls"), scratch / "walls.cdb");
    defineSurface("Wall Loads", scratch / "walls.cdb", "mm");
    host->runSession("> export Wall Loads, loads.csv, Force, Shear Stress\n", "export");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    ASSERT_TRUE(std::filesystem::exists("loads.vtk"));
    // The table read back: one line per vertex, node number, coordinates in mm, the loads.
    std::ifstream in("loads.csv");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "Node Number, X [mm], Y [mm], Z [mm], Force X [N], Force Y [N], Force Z [N], "
                    "Shear Stress X [Pa], Shear Stress Y [Pa], Shear Stress Z [Pa]");
    Geometry& g = *object("Wall Loads")->getGeometry("");
    const TripletZELVector& force = *g.getVariable("Force on Wall Loads")->getTripletValues();
    const TripletZELVector& shear = *g.getVariable("Shear Stress on Wall Loads")->getTripletValues();
    std::size_t rows = 0;
    double sum = 0.0;
    while (std::getline(in, line)) {
        std::vector<double> v;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ',')) v.push_back(std::stod(field));
        ASSERT_EQ(v.size(), 10u) << line;
        EXPECT_NEAR(v[1], g.getVertices()[rows].x * 1000.0, 1e-3);
        EXPECT_NEAR(v[4], force[rows].x, 1e-7 * (1.0 + std::abs(force[rows].x)));
        EXPECT_NEAR(v[9], shear[rows].z, 1e-7 * (1.0 + std::abs(shear[rows].z)));
        sum += v[4];
        ++rows;
    }
    EXPECT_EQ(rows, std::size_t(g.getNumVertices()));
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

TEST_F(LoadSessionTest, TheExampleSessionRuns) {
    host->runSessionFile(examplesFolder() / "loads.zel");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    const double area = result("area, walls");
    EXPECT_NEAR(result("area, Wall Loads"), area, 0.005 * area);
    EXPECT_NEAR(result("sum, Force X, Wall Loads"), 0.6652421, 0.01 * 0.6652421);
    EXPECT_TRUE(std::filesystem::exists("wall_loads.csv"));
    EXPECT_TRUE(std::filesystem::exists("wall_loads.vtk"));
    std::string root;
    EXPECT_TRUE(parsesAsXml(readText(KVO2NorvaUtilities::kReportFile), root));
}

} // namespace
} // namespace zel::host::test

// Polylines in zelpost sessions: a file rake and the rim of a slice on the cube case with the
// exact lengths and averages of its linear pressure, the boundary variables along the rim, and
// a bad file refused with its line (the example session on the elbow: ElbowTest).
#include "tests/host/HostTestSupport.h"

#include <filesystem>

namespace zel::host::test {
namespace {

namespace fs = std::filesystem;

TEST_F(HostTest, PolylinesInASession) {
    host->loadCase(cubeCase(4), {});
    // A rake along x at y = z = 0.5 in millimetres, with a probe temperature of its own.
    const fs::path rake = scratchFile("zel_host_polyline", "rake.txt",
                                      "X [mm], Y [mm], Z [mm], Probe T [C]\n"
                                      "100 500 500 20\n500 500 500 40\n900 500 500 60\n");
    host->runSession("POLYLINE: Rake\n  Input File = " + rake.string() +
                         "\nEND\n"
                         "PLANE: Slice\n  Option = YZ Plane\n  X = 0.55 [m]\nEND\n"
                         "POLYLINE: Rim\n  Option = Boundary Intersection\n  Location = Slice\n"
                         "  Boundary List = Boundary\n  Add Local Variable = True\nEND\n"
                         "POLYLINE: Rim Twice\n  Option = Boundary Intersection\n  Location = Slice\n"
                         "  Boundary List = Boundary, Boundary\n  Add Local Variable = True\nEND\n"
                         "> calculate length, Rim Twice\n"
                         "> calculate minVal, Normalized Force on Rim Twice Z, Rim Twice\n"
                         "> calculate length, Rake\n"
                         "> calculate lengthAve, Pressure, Rake\n"
                         "> calculate lengthAve, Probe T, Rake\n"
                         "> calculate length, Rim\n"
                         "> calculate lengthAve, Pressure, Rim\n"
                         "> calculate lengthInt, Pressure, Rim\n"
                         "> calculate maxVal, Boundary Normal on Rim X, Rim\n"
                         "> calculate minVal, Normalized Force on Rim Z, Rim\n",
                     "session");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    // p = 1 + 2x + 3y - z: exact on straight segments.
    EXPECT_NEAR(result("length, Rake"), 0.8, 1e-6);
    EXPECT_NEAR(result("lengthAve, Pressure, Rake"), 1 + 1.0 + 1.5 - 0.5, 4e-6);
    EXPECT_NEAR(result("lengthAve, Probe T, Rake"), 313.15, 1e-4);
    // The rim of the slice is the square's perimeter, one closed loop.
    EXPECT_NEAR(result("length, Rim"), 4.0, 4e-6);
    EXPECT_NEAR(result("lengthAve, Pressure, Rim"), 1 + 1.1 + 1.5 - 0.5, 4e-6);
    EXPECT_NEAR(result("lengthInt, Pressure, Rim"), 4.0 * 3.1, 2e-5);
    const Geometry* rim = object("Rim")->getGeometry("cube");
    ASSERT_NE(rim, nullptr);
    EXPECT_EQ(rim->getNumLines(), rim->getNumVertices());
    // The walls around the slice face ±y and ±z. Their momentum flow is the pressure force
    // p n A (no flow through them), so the normalized force is -p n per unit length: along
    // the top wall (normal +z) it points down.
    EXPECT_NEAR(result("maxVal, Boundary Normal on Rim X, Rim"), 0.0, 1e-6);
    EXPECT_LT(result("minVal, Normalized Force on Rim Z, Rim"), 0.0);
    // A boundary named twice in the list is cut once.
    EXPECT_NEAR(result("length, Rim Twice"), 4.0, 4e-6);
    EXPECT_FLOAT_EQ(float(result("minVal, Normalized Force on Rim Twice Z, Rim Twice")),
                    float(result("minVal, Normalized Force on Rim Z, Rim")));

    // A bad segment line is refused with the file's line; the polyline is left without
    // geometry.
    const fs::path bad = scratchFile("zel_host_polyline", "bad.txt", "0 0 0\n1 0 0\n[Lines]\n0 1\n1 2\n");
    expectSessionFails("POLYLINE: Rake\n  Input File = " + bad.string() + "\nEND\n", "bad session",
                       "Line connectivity index out of range on line 5, should be within: 0..1");
    EXPECT_EQ(object("Rake")->getNumGeometries(), 0u);
}

} // namespace
} // namespace zel::host::test

// A 3D OpenFOAM result with a wall shear stress field (simpleFoam squareBend, kept small in
// tests/data): flows, and the pressure and viscous parts of the force on the walls against
// the solver's function objects (tests/data/openfoam/squareBend/README.md).
#include "tests/host/HostTestSupport.h"

#include <cmath>
#include <filesystem>

namespace zel::host::test {
namespace {

std::filesystem::path squareBend() {
    return std::filesystem::path(ZEL_TEST_DATA_DIR) / "openfoam" / "squareBend" / "VTK" / "squareBend_400.vtm";
}

TEST_F(HostTest, SquareBendFlowsAndWallForcesAgreeWithOpenFoam) {
    if (!std::filesystem::exists(squareBend())) GTEST_SKIP() << squareBend() << " is not there";
    LoadOptions options;
    options.density = 1.0;
    const LoadedCase c = host->loadCase(squareBend(), options);
    EXPECT_EQ(c.boundaries, (std::vector<std::string>{"inlet", "outlet", "walls"}));
    EXPECT_TRUE(ObjectDB::instance()->hasObject("Wall Shear"));
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

} // namespace
} // namespace zel::host::test

// The OpenFOAM elbow (icoFoam, exported by foamToVTK): flows through the inlets and the outlet
// and the pressure force on wall-4 against the solver's own function objects.
#include "tests/host/HostTestSupport.h"

#include <cmath>
#include <filesystem>

namespace zel::host::test {
namespace {

std::filesystem::path elbowCase() {
    return std::filesystem::path(ZEL_SHARED_DATA_DIR) / "elbow" / "VTK" / "elbow_200.vtm";
}

TEST_F(HostTest, ElbowFlowsAndWallForceAgreeWithOpenFoam) {
    if (!std::filesystem::exists(elbowCase())) GTEST_SKIP() << elbowCase() << " is not there";
    LoadOptions options;
    options.density = 1.0; // kinematic pressure, rho = 1 in the solver's force figures
    const LoadedCase c = host->loadCase(elbowCase(), options);
    EXPECT_EQ(c.domains, std::vector<std::string>{"elbow"});
    EXPECT_EQ(c.boundaries, (std::vector<std::string>{"wall-4", "velocity-inlet-5", "velocity-inlet-6",
                                                      "pressure-outlet-7", "wall-8", "Default Boundary"}));
    host->runSession("> calculate massFlow, velocity-inlet-5\n"
                     "> calculate massFlow, velocity-inlet-6\n"
                     "> calculate massFlow, pressure-outlet-7\n"
                     "> calculate areaAve, Pressure, velocity-inlet-5\n"
                     "> calculate force, wall-4, X\n"
                     "> calculate force, wall-4, Y\n",
                     "elbow");
    // surfaceFieldValue sum(phi) at t = 10 (README of the export), within 0.2 %: the outlet's
    // face values give 52.49223 (U_f·S_f of the zero-gradient outlet, 0.04 % below phi).
    EXPECT_NEAR(result("massFlow, velocity-inlet-5"), -30.00763, 0.002 * 30.00763);
    EXPECT_NEAR(result("massFlow, velocity-inlet-6"), -22.50572, 0.002 * 22.50572);
    EXPECT_NEAR(result("massFlow, pressure-outlet-7"), 52.51335, 0.002 * 52.51335);
    EXPECT_NEAR(result("areaAve, Pressure, velocity-inlet-5"), 0.2013899, 0.02 * 0.2013899);
    // forces, pressure part (the export has no wall shear stress: the force is that part),
    // within 0.2 % of its magnitude; the face values give it to 1e-6.
    const double fx = 19.56856, fy = -32.71007, magnitude = std::hypot(fx, fy);
    EXPECT_NEAR(result("force, wall-4, X"), fx, 0.002 * magnitude);
    EXPECT_NEAR(result("force, wall-4, Y"), fy, 0.002 * magnitude);
    EXPECT_EQ(host->errorCount(), 0u) << reports();
}

TEST_F(HostTest, TheElbowExampleCutsAcrossTheOutletLeg) {
    if (!std::filesystem::exists(elbowCase())) GTEST_SKIP() << elbowCase() << " is not there";
    LoadOptions options;
    options.density = 1.0;
    host->loadCase(elbowCase(), options);
    host->runSessionFile(examplesFolder() / "elbow.zel");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    // Across the leg the slice carries the outlet's flow, less what the vertex values lose on
    // this coarse mesh (ParaView's slice: 46.80); along it (the old X = 60) it carried 1/6 of it.
    EXPECT_NEAR(result("massFlow, Outlet Slice"), 46.80, 0.01);
    EXPECT_NEAR(result("massFlow, pressure-outlet-7"), 52.49223, 1e-4);
}

} // namespace
} // namespace zel::host::test

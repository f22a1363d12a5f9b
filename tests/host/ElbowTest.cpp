// The OpenFOAM elbow (icoFoam, exported by foamToVTK): flows through the inlets and the outlet
// and the pressure force on wall-4 against the solver's own function objects, and the example
// sessions on it (a slice, polylines, user surfaces: file, offset, transformed, boundary strip).
#include "tests/host/HostTestSupport.h"

#include <cmath>
#include <filesystem>

namespace zel::host::test {
namespace {

namespace fs = std::filesystem;

// The elbow with ρ = 1: kinematic pressure, as in the solver's force figures.
class ElbowTest : public HostTest {
protected:
    void SetUp() override {
        const fs::path file = fs::path(ZEL_SHARED_DATA_DIR) / "elbow" / "VTK" / "elbow_200.vtm";
        if (!fs::exists(file)) GTEST_SKIP() << file << " is not there";
        HostTest::SetUp();
        loaded = host->loadCase(file, withDensity(1.0));
    }
    LoadedCase loaded;
};

TEST_F(ElbowTest, FlowsAndWallForceAgreeWithOpenFoam) {
    EXPECT_EQ(loaded.domains, std::vector<std::string>{"elbow"});
    EXPECT_EQ(loaded.boundaries, (std::vector<std::string>{"wall-4", "velocity-inlet-5", "velocity-inlet-6",
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

TEST_F(ElbowTest, TheElbowExampleCutsAcrossTheOutletLeg) {
    host->runSessionFile(examplesFolder() / "elbow.zel");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    // Across the leg the slice carries the outlet's flow, less what the vertex values lose on
    // this coarse mesh (ParaView's slice: 46.80); along it (the old X = 60) it carried 1/6 of it.
    EXPECT_NEAR(result("massFlow, Outlet Slice"), 46.80, 0.01);
    EXPECT_NEAR(result("massFlow, pressure-outlet-7"), 52.49223, 1e-4);
}

TEST_F(ElbowTest, ThePolylineExampleClosesTheRimAndFollowsTheRake) {
    // Its rake file is named relative to the session, whatever the working directory.
    host->runSessionFile(examplesFolder() / "polyline.zel");
    EXPECT_EQ(host->errorCount(), 0u) << reports();

    // The rim closes around the slice: twice its width across the leg and its depth.
    const Geometry* rim = object("Outlet Rim")->getGeometry("elbow");
    ASSERT_NE(rim, nullptr);
    const TripletF lo = rim->getVertices().getMinExtents(), hi = rim->getVertices().getMaxExtents();
    EXPECT_NEAR(result("length, Outlet Rim"), 2.0 * ((hi.y - lo.y) + (hi.z - lo.z)), 1e-4);
    EXPECT_EQ(rim->getNumLines(), rim->getNumVertices());
    EXPECT_NEAR(result("length, Rake"), 46.5, 1e-4);
    // The rake's straight pieces between ten samples against the cut line's every cell.
    EXPECT_NEAR(result("lengthAve, Velocity X, Rake"), result("lengthAve, Velocity X, Rake Line"),
                0.1 * std::fabs(result("lengthAve, Velocity X, Rake Line")));
}

TEST_F(ElbowTest, TheUserSurfaceExampleMatchesTheSlicesItLiesIn) {
    host->runSessionFile(examplesFolder() / "usersurface.zel");
    EXPECT_EQ(host->errorCount(), 0u) << reports();
    // 47.3 m x 1.86 m.
    EXPECT_NEAR(result("area, Section"), 47.3 * 1.86, 1e-3);
    // The section lies a little inside the slice, where the flow is the slice's: within 1 %.
    EXPECT_NEAR(result("areaAve, Velocity X, Section"), result("areaAve, Velocity X, Slice 60"),
                0.01 * result("areaAve, Velocity X, Slice 60"));
    EXPECT_NEAR(result("areaAve, Velocity X, Section Offset"), result("areaAve, Velocity X, Slice 61"),
                0.01 * result("areaAve, Velocity X, Slice 61"));
    // The turned copy covers the same ground, facing the other way.
    EXPECT_NEAR(result("area, Section Turned, X"), -result("area, Section, X"), 1e-3);
    EXPECT_NEAR(result("areaAve, Pressure, Section Turned"), result("areaAve, Pressure, Section"), 1e-6);
    // The wall strip: wall faces, through which nothing flows.
    EXPECT_GT(result("area, Wall Strip"), 1.0);
    EXPECT_EQ(result("massFlow, Wall Strip"), 0.0);
    // Naming a wall twice gives the same strip, not its faces twice over.
    host->runSession("USER SURFACE: Wall Strip Twice\n  Option = Boundary Intersection\n  Location = Slice 60\n"
                     "  Boundary List = wall-4, wall-8, wall-4\nEND\n"
                     "> calculate area, Wall Strip Twice\n",
                     "twice");
    EXPECT_NEAR(result("area, Wall Strip Twice"), result("area, Wall Strip"), 1e-9 * result("area, Wall Strip"));
}

} // namespace
} // namespace zel::host::test

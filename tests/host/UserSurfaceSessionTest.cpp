// User surfaces in zelpost sessions: a surface file on the cube case with the exact area and
// average of its linear pressure, an offset copy, a bad file refused with its line, and the
// example session on the OpenFOAM elbow (file, offset, transformed and boundary strip).
#include "tests/host/HostTestSupport.h"

#include "framework/core/Error.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zel::host::test {
namespace {

namespace fs = std::filesystem;

fs::path writeScratch(const std::string& name, const std::string& text) {
    const fs::path dir = fs::temp_directory_path() / "zel_host_usersurface";
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << text;
    return dir / name;
}

TEST_F(HostTest, UserSurfaceFromAFileInASession) {
    host->loadCase(cubeCase(4), {});
    // The square 0.2 < x < 0.6, 0.3 < y < 0.7 at z = 0.4 in millimetres, as a
    // quad and two triangles.
    const fs::path file = writeScratch("square.txt", "X [mm], Y [mm], Z [mm]\n"
                                                     "200 300 400\n400 300 400\n600 300 400\n"
                                                     "600 700 400\n400 700 400\n200 700 400\n"
                                                     "[Faces]\n0 1 4 5\n1 2 3\n1 3 4\n");
    host->runSession("USER SURFACE: Square\n  Input File = " + file.string() +
                         "\nEND\n"
                         "USER SURFACE: Lifted\n  Option = Offset From Surface\n  Surface Name = Square\n"
                         "  Offset Distance = 0.2 [m]\nEND\n"
                         "> calculate area, Square\n"
                         "> calculate areaAve, Pressure, Square\n"
                         "> calculate areaAve, Pressure, Lifted\n",
                     "session");
    EXPECT_NEAR(result("area, Square"), 0.16, 1e-6);
    // p = 1 + 2x + 3y - z at the centre (0.4, 0.5, 0.4), and 0.2 higher along the normal.
    EXPECT_NEAR(result("areaAve, Pressure, Square"), 1 + 0.8 + 1.5 - 0.4, 4e-6);
    EXPECT_NEAR(result("areaAve, Pressure, Lifted"), 1 + 0.8 + 1.5 - 0.6, 4e-6);
    EXPECT_NEAR(host->evaluate("areaInt(Pressure)@Square").value.value_or(0.0), 0.16 * 2.9, 1e-5);
    EXPECT_EQ(host->errorCount(), 0u) << reports();

    // A bad face line is refused with the file's line; the surface is left without geometry.
    const fs::path bad = writeScratch("bad.txt", "0 0 0\n1 0 0\n1 1 0\n[Faces]\n0 1 2 3\n");
    try {
        host->runSession("USER SURFACE: Square\n  Input File = " + bad.string() + "\nEND\n", "bad session");
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(e.getMessage().find("bad session"), std::string::npos) << e.getMessage();
        EXPECT_NE(e.getMessage().find("Face connectivity index out of range on line 5, should be within: 0..2"),
                  std::string::npos)
            << e.getMessage();
    }
    EXPECT_EQ(object("Square")->getNumGeometries(), 0u);
}

TEST_F(HostTest, UserSurfaceExampleOnTheElbow) {
    const fs::path elbow = fs::path(ZEL_SHARED_DATA_DIR) / "elbow" / "VTK" / "elbow_200.vtm";
    if (!fs::exists(elbow)) GTEST_SKIP() << elbow << " is not there";
    LoadOptions options;
    options.density = 1.0;
    host->loadCase(elbow, options);
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

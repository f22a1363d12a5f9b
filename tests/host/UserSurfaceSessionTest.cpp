// User surfaces in zelpost sessions: a surface file on the cube case with the exact area and
// average of its linear pressure, an offset copy, and a bad file refused with its line (the
// example session on the elbow: ElbowTest).
#include "tests/host/HostTestSupport.h"

#include <filesystem>

namespace zel::host::test {
namespace {

namespace fs = std::filesystem;

TEST_F(HostTest, UserSurfaceFromAFileInASession) {
    host->loadCase(cubeCase(4), {});
    // The square 0.2 < x < 0.6, 0.3 < y < 0.7 at z = 0.4 in millimetres, as a
    // quad and two triangles.
    const fs::path file = scratchFile("zel_host_usersurface", "square.txt",
                                      "X [mm], Y [mm], Z [mm]\n"
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
    const fs::path bad = scratchFile("zel_host_usersurface", "bad.txt", "0 0 0\n1 0 0\n1 1 0\n[Faces]\n0 1 2 3\n");
    expectSessionFails("USER SURFACE: Square\n  Input File = " + bad.string() + "\nEND\n", "bad session",
                       "Face connectivity index out of range on line 5, should be within: 0..2");
    EXPECT_EQ(object("Square")->getNumGeometries(), 0u);
}

} // namespace
} // namespace zel::host::test

// zelpost on OpenFOAM's own parallel export (foamToVTK -parallel of the squareBend case
// decomposed into four) against the serial export of the same time folder
// (tests/data/openfoam/squareBendParallel): the same boundaries and the same results.
#include "tests/host/HostTestSupport.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zel::host::test {
namespace {

const std::filesystem::path kExports = std::filesystem::path(ZEL_TEST_DATA_DIR) / "openfoam" / "squareBendParallel";

// z = 0 is a face between processors, so is x = -0.025 in the inlet leg: the probe "Seam"
// lies where four processors meet, "Leg" on z = 0; the cut planes cross the seams.
const char* const kSession = R"(PLANE: Cut
  Option = YZ Plane
  X = -0.2 [m]
END
PLANE: Mid
  Option = XY Plane
  Z = 0.002 [m]
END
POINT: Seam
  Point = -0.025, 0.045, 0.0 [m]
END
POINT: Leg
  Point = -0.3, -0.05, 0.0 [m]
END
POINT: Bend
  Point = 0.05, 0.01, 0.003 [m]
END
> calculate area, inlet
> calculate area, outlet
> calculate area, walls
> calculate massFlow, inlet
> calculate massFlow, outlet
> calculate areaAve, Pressure, inlet
> calculate areaAve, Pressure, walls
> calculate areaAve, Wall Shear X, walls
> calculate force, walls, X
> calculate count, walls
> calculate maxVal, Pressure, walls
> calculate area, Cut
> calculate massFlow, Cut
> calculate areaAve, Pressure, Cut
> calculate areaAve, Velocity X, Mid
> calculate probe, Pressure, Seam
> calculate probe, Pressure, Leg
> calculate probe, Pressure, Bend
> calculate volumeAve, Pressure, squareBend
)";

class SquareBendParallelTest : public HostTest {
protected:
    struct Run {
        std::vector<std::string> boundaries;
        std::vector<ResultRow> rows;
    };
    Run run(const std::string& folder) {
        host.reset();
        ErrorProgressReporter::instance()->clear();
        host = std::make_unique<Host>();
        Run r;
        r.boundaries = host->loadCase(kExports / folder / "squareBend_400.vtm", withDensity(1.0)).boundaries;
        host->runSession(kSession, folder);
        EXPECT_EQ(host->errorCount(), 0u) << folder << ":\n" << reports();
        r.rows = host->results();
        return r;
    }
};

TEST_F(SquareBendParallelTest, TheParallelExportGivesTheSerialExportsResults) {
    const Run serial = run("serial");
    const Run parallel = run("parallel");
    // No boundary of the faces between processors.
    EXPECT_EQ(serial.boundaries, (std::vector<std::string>{"inlet", "outlet", "walls"}));
    EXPECT_EQ(parallel.boundaries, serial.boundaries);
    ASSERT_EQ(parallel.rows.size(), serial.rows.size());
    for (std::size_t i = 0; i < serial.rows.size(); ++i) {
        const ResultRow& s = serial.rows[i];
        const ResultRow& p = parallel.rows[i];
        ASSERT_EQ(p.call, s.call);
        ASSERT_TRUE(s.value && p.value) << s.call << " is undefined";
        // They come out the same floats. Room is left for what could differ: the cells come in
        // another order (processor by processor), so sums round otherwise, and the walls'
        // values on the seams are made again from the faces in single precision (3e-7 of the
        // largest value at worst, FoamParallelExportTest).
        EXPECT_NEAR(*p.value, *s.value, 1e-6 * std::fabs(*s.value)) << s.call;
    }
    // A seam vertex counted twice would show here.
    EXPECT_EQ(parallel.rows[9].call, "count, walls");
    EXPECT_EQ(*parallel.rows[9].value, *serial.rows[9].value);
}

} // namespace
} // namespace zel::host::test

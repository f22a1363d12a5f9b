// The parallel zelpost against one process: cases split by split_case (make_cases.sh) run
// under mpirun -np 2 and 3 must give, on every process, the results of one process holding
// the whole case: integrals to 1e-12 relative, counts, min/max and probes exactly.
#include "framework/core/Reporter.h"
#include "host/CommandLine.h"
#include "host/DemoCase.h"
#include "host/Host.h"
#include "host/parallel/MpiCollective.h"
#include "host/readers/CaseReader.h"
#include "host/readers/PieceReader.h"

#include <gtest/gtest.h>
#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zel::host::test {
namespace {

namespace fs = std::filesystem;

const fs::path kCases = ZEL_PARALLEL_CASES;
const fs::path kSource = ZEL_SOURCE_DIR;

int worldRank() {
    int r = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &r);
    return r;
}

int worldSize() {
    int n = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &n);
    return n;
}

// One process holding the whole case, through the same partial results (so that the rows
// carry the unrounded totals).
class WholeCase : public Collective {
public:
    int rank() const override { return 0; }
    int size() const override { return 1; }
    PartialResult combine(const PartialResult& mine, std::string&) override { return mine; }
    std::vector<char> sharedKeys(std::span<const std::uint64_t> keys) override {
        return std::vector<char>(keys.size(), 0);
    }
    std::vector<char> ownedKeys(std::span<const std::uint64_t> keys) override {
        return std::vector<char>(keys.size(), 1);
    }
    std::vector<char> bestScores(std::span<const int> scores) override { return std::vector<char>(scores.size(), 1); }
    std::string firstFailure(const std::string& mine) override { return mine; }
    int maxOf(int value) override { return value; }
    std::vector<std::vector<char>> allGather(std::span<const char> mine) override {
        return {std::vector<char>(mine.begin(), mine.end())};
    }
    void setIdle(bool) override {}
    std::string finish(const std::string& message, bool failedHere, bool& failed) override {
        failed = failedHere;
        return message;
    }
};

struct SessionRun {
    std::vector<ResultRow> rows;
    int status = 0;
    std::string message;
    bool idle = false;
    std::vector<std::string> boundaries;
};

std::string sessionText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

SessionRun runWhole(CaseData data, const std::string& session, const LoadOptions& options) {
    WholeCase whole;
    Host host;
    host.setCollective(&whole);
    SessionRun run;
    run.boundaries = host.loadCase(std::move(data), options).boundaries;
    host.runSession(session, "session");
    run.rows = host.results();
    return run;
}

SessionRun runWhole(const fs::path& caseFile, const std::string& session, const LoadOptions& options) {
    return runWhole(readCase(caseFile), session, options);
}

// The run of zelpost's parallel branch, keeping the rows.
SessionRun runPieces(const fs::path& caseFile, const std::string& session, const LoadOptions& options) {
    SessionRun run;
    MpiCollective mpi;
    std::string failure;
    try {
        Host host;
        host.setCollective(&mpi);
        const CaseData data = readCasePieces(readCaseLayout(caseFile), mpi.rank(), mpi.size());
        mpi.setIdle(data.blocks.empty());
        if (data.blocks.empty()) {
            run.idle = true;
        } else {
            run.boundaries = host.loadCase(data, options).boundaries;
            host.runSession(session, "session");
            run.rows = host.results();
            if (host.errorCount() > 0) run.status = 1;
        }
    } catch (const PeerFailure&) {
        run.status = 1;
    } catch (const std::exception& e) {
        failure = e.what();
        run.status = 1;
    }
    bool failed = false;
    run.message = mpi.finish(failure, run.status != 0, failed);
    run.status = failed ? 1 : 0;
    return run;
}

constexpr double kIntegralTolerance = 1e-12;

bool isIntegral(const std::string& f) { return f != "count" && f != "minVal" && f != "maxVal" && f != "probe"; }

void expectSameResults(const SessionRun& whole, const SessionRun& pieces, const std::string& what) {
    ASSERT_EQ(pieces.status, 0) << what << ": " << pieces.message;
    if (pieces.idle) return;
    ASSERT_EQ(whole.rows.size(), pieces.rows.size()) << what;
    for (std::size_t i = 0; i < whole.rows.size(); ++i) {
        const ResultRow& w = whole.rows[i];
        const ResultRow& p = pieces.rows[i];
        ASSERT_EQ(w.call, p.call) << what;
        EXPECT_EQ(w.units, p.units) << what << ": " << w.call;
        ASSERT_EQ(w.exact.has_value(), p.exact.has_value()) << what << ": " << w.call;
        if (!w.exact) continue;
        if (isIntegral(w.function)) {
            EXPECT_NEAR(*p.exact, *w.exact, kIntegralTolerance * std::max(std::fabs(*w.exact), 1e-30))
                << what << ": " << w.call;
        } else {
            EXPECT_EQ(*p.exact, *w.exact) << what << ": " << w.call;
        }
    }
}

const char* const kCubeSession = R"(> calculate volume, cube
> calculate volumeInt, Pressure, cube
> calculate volumeAve, Pressure, cube
> calculate area, Boundary
> calculate areaAve, Pressure, Boundary
> calculate massFlow, Boundary
> calculate count, cube
> calculate count, Boundary
> calculate sum, Pressure, cube
> calculate ave, Pressure, Boundary
> calculate ave, Velocity, cube
> calculate minVal, Pressure, cube
> calculate maxVal, Velocity X, cube
PLANE: Cut
  Option = Point and Normal
  Point = 0.43, 0.5, 0.52 [m]
  Normal = 0.3, 0.4, 1
END
> calculate area, Cut
> calculate areaAve, Pressure, Cut
> calculate areaInt, Velocity X, Cut
> calculate massFlow, Cut
> calculate massFlowAve, Pressure, Cut
> calculate count, Cut
> calculate ave, Pressure, Cut
> calculate maxVal, Pressure, Cut
PLANE: Sample
  Plane Type = Sample
  Option = Point and Normal
  Point = 0.5, 0.45, 0.55 [m]
  Normal = 0.2, 0.1, 1
  Plane Bound = Rectangular
  Direction 1 Bound = 0.8 [m]
  Direction 2 Bound = 0.8 [m]
  Direction 1 Points = 30
  Direction 2 Points = 30
END
> calculate area, Sample
> calculate areaAve, Pressure, Sample
> calculate count, Sample
> calculate ave, Pressure, Sample
> calculate maxVal, Pressure, Sample
POINT: Inside
  Point = 0.31, 0.37, 0.61 [m]
END
> calculate probe, Pressure, Inside
LINE: Diag
  Line Type = Cut
  Point 1 = 0.05, 0.1, 0.2 [m]
  Point 2 = 0.95, 0.8, 0.9 [m]
END
> calculate length, Diag
> calculate lengthAve, Pressure, Diag
> calculate count, Diag
> calculate minVal, Pressure, Diag
)";

const char* const kSquareBendSession = R"(> calculate massFlow, inlet
> calculate massFlow, outlet
> calculate areaAve, Pressure, inlet
> calculate force, walls, X
> calculate force, walls, Y
> calculate torque, walls, Z
> calculate sum, Pressure Force X, walls
> calculate sum, Force X, walls
> calculate sum, Force Z, walls
> calculate maxVal, Force X, walls
> calculate minVal, Force Y, walls
> calculate maxVal, Area, walls
> calculate sum, Area, walls
> calculate maxVal, Mass Flow, inlet
> calculate maxVal, Normal X, walls
> calculate minVal, Normal Z, walls
> calculate sum, Mass Flow, outlet
> calculate areaInt, Wall Shear X, walls
> calculate count, walls
> calculate ave, Pressure, walls
> calculate maxVal, Pressure, walls
> calculate volumeAve, Pressure, squareBend
)";

// Calculator calls inside user expressions and variables, of boundaries that some processes
// have no faces of.
const char* const kInnerCallsSession = R"(LIBRARY:
  ROX:
    EXPRESSIONS:
      dp = Pressure - areaAve(Pressure)@inlet
      pout = massFlowAve(Pressure)@outlet
    END
  END
END
USER SCALAR VARIABLE: Head
  Expression = (Pressure - pout) / 1 [kg m^-3]
END
> calculate areaAve, dp, walls
> calculate maxVal, dp, walls
> calculate areaInt, Head, walls
> calculate minVal, Head, outlet
> calculate areaAve, dp / 1 [Pa] + areaAve(Head)@walls / 1 [m^2 s^-2], inlet
)";

class ParallelTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorProgressReporter::instance()->clear(); }
};

TEST_F(ParallelTest, CubeSessionsGiveTheWholeCasesResults) {
    const SessionRun whole = runWhole(kCases / "cube.vtu", kCubeSession, {});
    // With and without a ghost layer, with global node ids, and in more pieces than processes.
    for (const char* split : {"cube2", "cube3", "cube7", "cube2g", "cube3g", "cube7g", "cube3ids"})
        expectSameResults(whole, runPieces(kCases / split / "cube.pvtu", kCubeSession, {}), split);
}

TEST_F(ParallelTest, FacesBetweenPiecesAreNoBoundaryAndGhostCellsCountNot) {
    // The unit cube's boundary is 6 m^2 and its volume 1 m^3 however it is cut; the faces
    // between pieces would add to the one, ghost cells to the other.
    const std::string session = "> calculate area, Boundary\n> calculate volume, cube\n> calculate count, Boundary\n";
    const SessionRun whole = runWhole(kCases / "cube.vtu", session, {});
    for (const char* split : {"cube3", "cube7g"}) {
        const SessionRun pieces = runPieces(kCases / split / "cube.pvtu", session, {});
        ASSERT_EQ(pieces.status, 0) << pieces.message;
        ASSERT_EQ(pieces.rows.size(), 3u);
        EXPECT_NEAR(*pieces.rows[0].exact, 6.0, 1e-5) << split;
        EXPECT_NEAR(*pieces.rows[1].exact, 1.0, 1e-6) << split;
        // The boundary's vertices that two pieces share are counted once.
        EXPECT_EQ(*pieces.rows[2].exact, *whole.rows[2].exact) << split;
    }
}

TEST_F(ParallelTest, AProbeOnTheFaceBetweenTwoPiecesIsTheWholeCasesValue) {
    // cube2 is cut at the median of the cell centres in x: the point lies on a piece face
    // there, x taken from the cut's own points.
    const CaseData piece = readCasePieces(readCaseLayout(kCases / "cube2" / "cube.pvtu"), 0, 2);
    double cut = 0;
    for (std::size_t p = 0; p < piece.blocks[0].numPoints(); ++p) cut = std::max(cut, piece.blocks[0].points[3 * p]);
    // The largest x of piece 0 is a jittered vertex; a point of the interface is on the face
    // through a vertex of it: probe exactly at that vertex.
    std::size_t at = 0;
    for (std::size_t p = 0; p < piece.blocks[0].numPoints(); ++p)
        if (piece.blocks[0].points[3 * p] == cut) at = p;
    std::ostringstream session;
    session.precision(9);
    session << "POINT: Face\n  Point = " << piece.blocks[0].points[3 * at] << ", " << piece.blocks[0].points[3 * at + 1]
            << ", " << piece.blocks[0].points[3 * at + 2] << " [m]\nEND\n> calculate probe, Pressure, Face\n";
    const SessionRun whole = runWhole(kCases / "cube.vtu", session.str(), {});
    expectSameResults(whole, runPieces(kCases / "cube2" / "cube.pvtu", session.str(), {}), "cube2 interface");
}

TEST_F(ParallelTest, SquareBendSessionGivesTheWholeCasesResults) {
    LoadOptions options;
    options.density = 1.0;
    const SessionRun whole =
        runWhole(kSource / "tests/data/openfoam/squareBend/VTK/squareBend_400.vtm", kSquareBendSession, options);
    const SessionRun wholeInner =
        runWhole(kSource / "tests/data/openfoam/squareBend/VTK/squareBend_400.vtm", kInnerCallsSession, options);
    // Flows from the vertex values: their vertex areas are made whole at the seams too.
    LoadOptions points = options;
    points.boundaryFlows = FlowSource::Points;
    const SessionRun wholePoints =
        runWhole(kSource / "tests/data/openfoam/squareBend/VTK/squareBend_400.vtm", kSquareBendSession, points);
    ASSERT_EQ(wholeInner.rows.size(), 5u);
    for (const ResultRow& row : wholeInner.rows) EXPECT_TRUE(row.exact.has_value()) << row.call;
    for (const char* split : {"squareBend2", "squareBend3", "squareBend7"}) {
        expectSameResults(whole, runPieces(kCases / split / "squareBend_400.vtm", kSquareBendSession, options), split);
        expectSameResults(wholeInner, runPieces(kCases / split / "squareBend_400.vtm", kInnerCallsSession, options),
                          std::string(split) + " inner calls");
        expectSameResults(wholePoints, runPieces(kCases / split / "squareBend_400.vtm", kSquareBendSession, points),
                          std::string(split) + " flows from points");
    }
}

// As expectSameResults, every result within `relative` of the whole case's. (A failed
// ASSERT leaves this function only, so that every process goes on to the same next run.)
void expectCloseResults(const SessionRun& whole, const SessionRun& pieces, double relative, const std::string& what) {
    ASSERT_EQ(pieces.status, 0) << what << ": " << pieces.message;
    if (pieces.idle) return;
    ASSERT_EQ(pieces.rows.size(), whole.rows.size()) << what;
    for (std::size_t i = 0; i < whole.rows.size(); ++i) {
        ASSERT_TRUE(whole.rows[i].exact && pieces.rows[i].exact) << what << ": " << whole.rows[i].call;
        EXPECT_NEAR(*pieces.rows[i].exact, *whole.rows[i].exact, relative * std::fabs(*whole.rows[i].exact))
            << what << ": " << whole.rows[i].call;
    }
}

TEST_F(ParallelTest, FoamsOwnParallelExportGivesTheSerialExportsResults) {
    LoadOptions options;
    options.density = 1.0;
    const fs::path exports = kSource / "tests/data/openfoam/squareBendParallel";
    const SessionRun whole = runWhole(exports / "serial/squareBend_400.vtm", kSquareBendSession, options);
    // The export as it is: one piece per block, the first process holds it all.
    const SessionRun first = runPieces(exports / "parallel/squareBend_400.vtm", kSquareBendSession, options);
    if (!first.idle) {
        EXPECT_EQ(first.boundaries, whole.boundaries);
    }
    // Not the 1e-12 of one export cut in pieces: the walls' values on the processor seams are
    // made again from the faces in single precision (a few 1e-7 of the largest there), and
    // the cells come in another order.
    constexpr double kTolerance = 1e-6;
    expectCloseResults(whole, first, kTolerance, "foamToVTK -parallel");
    // Dealt again in pieces over the processes.
    for (const char* split : {"foamParallel2", "foamParallel3"})
        expectCloseResults(whole, runPieces(kCases / split / "squareBend_400.vtm", kSquareBendSession, options),
                           kTolerance, split);
}

TEST_F(ParallelTest, DemoSessionGivesTheWholeCasesResults) {
    // Hexahedra, wedges, pyramids and tetrahedra, each with faces between pieces that slices,
    // the cut line and the probe cross.
    const SessionRun whole = runWhole(makeDemoCase(), demoSession(), {});
    for (const char* split : {"demo2", "demo3", "demo7", "demo3g"})
        expectSameResults(whole, runPieces(kCases / split / "demo.vtm", demoSession(), {}), split);
}

TEST_F(ParallelTest, ElbowExamplesGiveTheWholeCasesResults) {
    const fs::path elbow = kSource / "../shared/data/elbow/VTK/elbow_200.vtm";
    if (!fs::exists(elbow) || !fs::exists(kCases / "elbow2")) GTEST_SKIP() << elbow << " is not there";
    LoadOptions options;
    options.density = 1.0;
    // The session's file references are relative to the examples folder.
    const fs::path here = fs::current_path();
    fs::current_path(kSource / "examples");
    // Slices, cut lines, polylines (boundary intersections and from a file), user surfaces
    // (from a file and turned), the patches' flows and forces.
    for (const char* file : {"elbow.zel", "polyline.zel", "usersurface.zel"}) {
        const std::string session = sessionText(file);
        const SessionRun whole = runWhole(elbow, session, options);
        for (const char* split : {"elbow2", "elbow3", "elbow7", "elbow3g"})
            expectSameResults(whole, runPieces(kCases / split / "elbow_200.vtm", session, options),
                              std::string(file) + " on " + split);
    }
    fs::current_path(here);
}

TEST_F(ParallelTest, VtkOutWritesEachProcesssPiecesAndAPvtpOverThem) {
    const fs::path session = kCases / "cut.zel";
    const fs::path pieces = kCases / "vtk-pieces", whole = kCases / "vtk-whole";
    if (worldRank() == 0) {
        std::ofstream(session) << "PLANE: Cut\n  Option = Point and Normal\n  Point = 0.43, 0.5, 0.52 [m]\n"
                                  "  Normal = 0.3, 0.4, 1\nEND\n> calculate area, Cut\n";
        fs::remove_all(pieces);
        fs::remove_all(whole);
    }
    MPI_Barrier(MPI_COMM_WORLD);
    MpiCollective mpi;
    std::ostringstream out, err;
    const int status = runZelpost(
        {(kCases / "cube3" / "cube.pvtu").string(), session.string(), "--vtk-out", pieces.string()}, out, err, &mpi);
    ASSERT_EQ(status, 0) << err.str();
    MPI_Barrier(MPI_COMM_WORLD);
    if (worldRank() != 0) {
        EXPECT_EQ(out.str(), "");
        return;
    }
    EXPECT_NE(out.str().find(".pvtp) to " + pieces.string()), std::string::npos) << out.str();
    std::ostringstream serialOut, serialErr;
    ASSERT_EQ(runZelpost({(kCases / "cube.vtu").string(), session.string(), "--vtk-out", whole.string()}, serialOut,
                         serialErr),
              0)
        << serialErr.str();
    // Every location of the one process, as a .pvtp whose pieces make up the same surface.
    int compared = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(whole)) {
        const fs::path pvtp = pieces / (e.path().stem().string() + ".pvtp");
        ASSERT_TRUE(fs::exists(pvtp)) << pvtp;
        const MeshBlock one = readCase(e.path()).blocks.at(0);
        const MeshBlock split = readCase(pvtp).blocks.at(0);
        EXPECT_EQ(split.numCells(), one.numCells()) << pvtp;
        EXPECT_EQ(split.pointData.size(), one.pointData.size()) << pvtp;
        ++compared;
    }
    EXPECT_GE(compared, 2) << "the cut and the boundary";
}

TEST_F(ParallelTest, ExpressionsCombineTheirCalculatorCallsOverTheProcesses) {
    const fs::path session = kCases / "empty.zel";
    if (worldRank() == 0) std::ofstream(session) << "\n";
    MPI_Barrier(MPI_COMM_WORLD);
    const std::vector<std::string> expressions = {"volume()@cube", "areaAve(Pressure)@Boundary",
                                                  "2 * massFlow()@Boundary", "count()@cube + 1",
                                                  "maxVal(Velocity X)@cube"};
    auto run = [&](const fs::path& caseFile, Collective* collective) {
        std::vector<std::string> args = {caseFile.string(), session.string(), "--json"};
        for (const std::string& e : expressions) args.insert(args.end(), {"-e", e});
        std::ostringstream out, err;
        const int status = collective != nullptr ? runZelpost(args, out, err, collective) : runZelpost(args, out, err);
        EXPECT_EQ(status, 0) << err.str();
        return out.str();
    };
    MpiCollective mpi;
    const std::string pieces = run(kCases / "cube3" / "cube.pvtu", &mpi);
    if (worldRank() != 0) {
        EXPECT_EQ(pieces, "");
        return;
    }
    const std::string whole = run(kCases / "cube.vtu", nullptr);
    // The printed values are rounded to float, as the expression language's are.
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(whole.find("null"), std::string::npos) << whole;
}

// The load surface example: its nodes take their loads from the walls made whole on every
// process, so the loads are those of one process, bit for bit, and only the first process
// writes the exported loads and the import report.
TEST_F(ParallelTest, TheLoadSurfaceExampleGivesTheWholeCasesLoads) {
    std::string session = sessionText(kSource / "examples/loads.zel");
    const std::string input = "Input File = squareBend_walls.cdb";
    ASSERT_NE(session.find(input), std::string::npos);
    session.replace(session.find(input), input.size(),
                    "Input File = " + (kSource / "examples/squareBend_walls.cdb").string());
    LoadOptions options;
    options.density = 1.0;
    const fs::path dir = kCases / "loads";
    const fs::path mine = dir / ("rank" + std::to_string(worldRank()));
    if (worldRank() == 0) fs::remove_all(dir);
    MPI_Barrier(MPI_COMM_WORLD);
    const fs::path here = fs::current_path();
    auto runIn = [&](const fs::path& folder, auto&& run) {
        fs::create_directories(folder);
        fs::current_path(folder); // where the export and the import report go
        SessionRun result = run();
        fs::current_path(here);
        return result;
    };
    const SessionRun whole = runIn(mine / "whole", [&] {
        return runWhole(kSource / "tests/data/openfoam/squareBend/VTK/squareBend_400.vtm", session, options);
    });
    ASSERT_EQ(whole.rows.size(), 7u);
    for (const char* split : {"squareBend2", "squareBend3", "squareBend7"}) {
        const SessionRun pieces =
            runIn(mine / split, [&] { return runPieces(kCases / split / "squareBend_400.vtm", session, options); });
        expectSameResults(whole, pieces, split);
        if (pieces.idle) continue;
        if (worldRank() == 0) {
            for (const char* file : {"wall_loads.csv", "wall_loads.vtk"})
                EXPECT_EQ(sessionText(mine / split / file), sessionText(mine / "whole" / file)) << split << ' ' << file;
            EXPECT_TRUE(fs::exists(mine / split / "KVO2NORVADiagnostics.xml")) << split;
        } else {
            EXPECT_TRUE(fs::is_empty(mine / split)) << split << ": written by process " << worldRank();
        }
    }
}

TEST_F(ParallelTest, AMissingPieceFailsEveryProcessNamingTheFile) {
    const fs::path session = kCases / "cube.zel";
    if (worldRank() == 0) std::ofstream(session) << kCubeSession;
    MPI_Barrier(MPI_COMM_WORLD);
    MpiCollective mpi;
    std::ostringstream out, err;
    const int status = runZelpost({(kCases / "cubeMissing" / "cube.pvtu").string(), session.string()}, out, err, &mpi);
    EXPECT_EQ(status, 1);
    if (worldRank() == 0) {
        EXPECT_NE(err.str().find("cube_1.vtu"), std::string::npos) << err.str();
        EXPECT_NE(err.str().find("does not exist"), std::string::npos) << err.str();
        EXPECT_EQ(err.str().find("zelpost:"), err.str().rfind("zelpost:")) << "reported more than once:\n" << err.str();
    } else {
        EXPECT_EQ(err.str(), "") << "only the first process prints";
    }
}

TEST_F(ParallelTest, ALoadThatFailsOnOneProcessEndsEveryProcess) {
    // The second piece of the walls is a copy of the first: the second process's load fails
    // (its walls are not on its cells' boundary) while the first goes on to calculate.
    if (worldSize() < 2) GTEST_SKIP() << "one process reads both pieces of the walls, and they are its boundary";
    const fs::path bad = kCases / "squareBendBadWalls";
    if (worldRank() == 0) {
        fs::remove_all(bad);
        fs::copy(kCases / "squareBend2", bad, fs::copy_options::recursive);
        fs::copy_file(bad / "boundary_walls" / "boundary_walls_0.vtp", bad / "boundary_walls" / "boundary_walls_1.vtp",
                      fs::copy_options::overwrite_existing);
        std::ofstream(bad / "session.zel") << "> calculate area, walls\n> calculate massFlow, inlet\n";
    }
    MPI_Barrier(MPI_COMM_WORLD);
    MpiCollective mpi;
    std::ostringstream out, err;
    const int status = runZelpost(
        {(bad / "squareBend_400.vtm").string(), (bad / "session.zel").string(), "--density", "1"}, out, err, &mpi);
    EXPECT_EQ(status, 1);
    if (worldRank() == 0) {
        EXPECT_NE(err.str().find("boundary_walls_1.vtp"), std::string::npos) << err.str();
        EXPECT_NE(err.str().find("is not a boundary node"), std::string::npos) << err.str();
    }
}

TEST_F(ParallelTest, AnErrorInTheSessionFailsEveryProcessOnce) {
    const fs::path session = kCases / "bad.zel";
    if (worldRank() == 0)
        std::ofstream(session) << "> calculate area, Boundary\n> calculate areaAve, NoSuchVariable, Boundary\n";
    MPI_Barrier(MPI_COMM_WORLD);
    MpiCollective mpi;
    std::ostringstream out, err;
    ErrorProgressReporter::instance()->clear();
    const int status =
        runZelpost({(kCases / "cube3" / "cube.pvtu").string(), session.string(), "--json"}, out, err, &mpi);
    EXPECT_EQ(status, 1);
    if (worldRank() == 0) {
        EXPECT_NE(out.str().find("\"value\": null"), std::string::npos) << out.str();
    } else {
        EXPECT_EQ(out.str(), "");
    }
}

} // namespace
} // namespace zel::host::test

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    ::testing::InitGoogleTest(&argc, argv);
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    // The first process reports; the others' failures still fail the run (mpirun's status).
    if (rank != 0) {
        auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
        delete listeners.Release(listeners.default_result_printer());
    }
    const int status = RUN_ALL_TESTS();
    int worst = 0;
    MPI_Allreduce(&status, &worst, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    MPI_Finalize();
    return worst;
}

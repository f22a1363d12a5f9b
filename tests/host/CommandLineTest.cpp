// zelpost's command line end to end: help, bad arguments, a legacy VTK case with a session
// and expressions, JSON output, VTK output, and non-zero exits on every kind of failure.
#include "tests/host/HostTestSupport.h"

#include "host/CommandLine.h"
#include "host/Host.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zel::host::test {
namespace {

namespace fs = std::filesystem;

fs::path scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir = fs::temp_directory_path() / "zel_host_cli" / info->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// A unit cube of one hexahedron as a legacy ASCII file, p = 1 + 2x, U = (2, 0, 0).
std::string cubeVtk() {
    std::string t = "# vtk DataFile Version 3.0\ncube\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 8 float\n";
    const int c[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    for (const auto& p : c) t += std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + "\n";
    t += "CELLS 1 9\n8 0 1 2 3 4 5 6 7\nCELL_TYPES 1\n12\nPOINT_DATA 8\nSCALARS p float 1\nLOOKUP_TABLE default\n";
    for (const auto& p : c) t += std::to_string(1 + 2 * p[0]) + "\n";
    t += "VECTORS U float\n";
    for (int i = 0; i < 8; ++i) t += "2 0 0\n";
    return t;
}

struct CliRun {
    int status;
    std::string out, err;
};
CliRun zelpost(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runZelpost(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(CommandLine, HelpAndBadArguments) {
    const CliRun help = zelpost({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* part : {"usage:", "--json", "--vtk-out", "--density", "wallShearStress", "Wall Shear",
                             "alpha.<phase>", "Mass Flow", "--boundary-flows", "Viscous Force", "--timings"})
        EXPECT_TRUE(contains(help.out, part));
    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{}, ""},
        {{"--frobnicate"}, ""},
        {{"case.vtu", "--vtk-out"}, ""},
        {{"case.vtu", "--density", "-3"}, "--density needs a positive number, not '-3'"},
        {{"case.vtu", "--boundary-flows", "cells"}, "--boundary-flows needs points or faces, not 'cells'"}};
    for (const auto& [args, message] : bad) {
        const CliRun r = zelpost(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_TRUE(contains(r.err, message));
    }
}

TEST(CommandLine, SessionsAndExpressionsOnALegacyCase) {
    const fs::path dir = scratch();
    write(dir / "cube.vtk", cubeVtk());
    write(dir / "s.zel", "PLANE: Mid\n  Option = YZ Plane\n  X = 0.25 [m]\nEND\n"
                         "> calculate areaAve, Pressure, Mid\n"
                         "> calculate massFlow, Mid\n"
                         "CALCULATOR:\n  Function = area\n  Location = Boundary\nEND\n"
                         "> calculate\n");
    const CliRun r =
        zelpost({(dir / "cube.vtk").string(), (dir / "s.zel").string(), "-e", "1 [m] + 2 [m]", "areaAve(Pressure)@Mid",
                 "massFlow()@Mid / 2", "--json", "--density", "3", "--vtk-out", (dir / "out").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.front(), '[');
    for (const char* row :
         {"{\"call\": \"areaAve, Pressure, Mid\", \"function\": \"areaAve\", \"location\": \"Mid\", \"value\": 4.5, "
          "\"units\": \"Pa\"}",
          // ρ U A with the density of the command line.
          "\"call\": \"massFlow, Mid\", \"function\": \"massFlow\", \"location\": \"Mid\", \"value\": 6,",
          "\"call\": \"area, Boundary\"", "\"value\": 6, \"units\": \"m^2\"",
          "\"call\": \"1 [m] + 2 [m]\", \"function\": \"1 [m] + 2 [m]\", \"location\": \"\", "
          "\"value\": 3, \"units\": \"m\"",
          // Calculator functions in expressions, in base units.
          "\"call\": \"areaAve(Pressure)@Mid\", \"function\": \"areaAve(Pressure)@Mid\", \"location\": \"\", "
          "\"value\": 4.5, \"units\": \"kg m^-1 s^-2\"",
          "\"call\": \"massFlow()@Mid / 2\", \"function\": \"massFlow()@Mid / 2\", \"location\": \"\", "
          "\"value\": 3, \"units\": \"kg s^-1\""})
        EXPECT_TRUE(contains(r.out, row));
    std::size_t files = 0;
    for (const auto& f : fs::directory_iterator(dir / "out")) files += f.path().extension() == ".vtk";
    EXPECT_EQ(files, 2u); // the plane and the boundary
}

TEST(CommandLine, TimingsOfEveryPhaseAndNoTableForAnEmptySession) {
    const fs::path dir = scratch();
    write(dir / "cube.vtk", cubeVtk());
    write(dir / "empty.zel", "");
    const CliRun empty = zelpost({(dir / "cube.vtk").string(), (dir / "empty.zel").string()});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_FALSE(contains(empty.out, "function")); // no empty result table
    EXPECT_FALSE(contains(empty.err, "timing:"));

    write(dir / "s.zel", "PLANE: Mid\n  Option = YZ Plane\n  X = 0.25 [m]\nEND\n> calculate area, Mid\n");
    const CliRun timed = zelpost({(dir / "cube.vtk").string(), (dir / "s.zel").string(), "--timings", "-e", "1 [m]"});
    EXPECT_EQ(timed.status, 0) << timed.err;
    const std::string session = (dir / "s.zel").string();
    for (const std::string& phase :
         {std::string("read"), std::string("decode"), std::string("domain build"), std::string("fields"),
          std::string("boundary build"), std::string("register"), std::string("load total"), session + ":1 PLANE: Mid",
          session + ":5 > calculate area, Mid", std::string("-e 1 [m]")})
        EXPECT_TRUE(contains(timed.err, "timing: " + phase + " "));
    EXPECT_TRUE(contains(timed.out, "area")); // results still go to stdout
}

TEST(CommandLine, EveryFailureGivesANonZeroStatus) {
    const fs::path dir = scratch();
    write(dir / "cube.vtk", cubeVtk());
    // A case that is not there.
    const CliRun missing = zelpost({(dir / "none.vtk").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "none.vtk"));
    // A malformed case file.
    write(dir / "bad.vtk", cubeVtk().substr(0, 200));
    EXPECT_EQ(zelpost({(dir / "bad.vtk").string()}).status, 1);
    // A session with a syntax error names the file and line.
    write(dir / "bad.zel", "PLANE: P\n  Option = YZ Plane\n");
    const CliRun bad = zelpost({(dir / "cube.vtk").string(), (dir / "bad.zel").string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(contains(bad.err, "bad.zel"));
    // A calculation that fails (no such location) is reported and undefined.
    write(dir / "nowhere.zel", "> calculate area, Nowhere\n");
    const CliRun nowhere = zelpost({(dir / "cube.vtk").string(), (dir / "nowhere.zel").string(), "--json"});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_TRUE(contains(nowhere.out, "\"value\": null"));
    // A session file that is not there.
    EXPECT_EQ(zelpost({(dir / "cube.vtk").string(), (dir / "none.zel").string()}).status, 1);
    // With --verbose a failure names where in the code it arose: the raise site inside the
    // calculator, not the session runner or the block processor that passed it on.
    // (Reports are echoed to the process's standard error.)
    ::testing::internal::CaptureStderr();
    zelpost({(dir / "cube.vtk").string(), (dir / "nowhere.zel").string()});
    const std::string quiet = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    const CliRun verbose = zelpost({(dir / "cube.vtk").string(), (dir / "nowhere.zel").string(), "--verbose"});
    const std::string loud = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(verbose.status, 1);
    EXPECT_FALSE(contains(quiet, ".cpp:"));
    const std::size_t place = loud.find(".cpp:");
    ASSERT_NE(place, std::string::npos) << loud;
    const std::string where = loud.substr(loud.rfind('[', place));
    EXPECT_FALSE(contains(where, "OKLProcessor.cpp"));
    EXPECT_FALSE(contains(where, "Host.cpp"));
}

TEST(CommandLine, JsonEscapesTextsAndWritesUndefinedAsNull) {
    ResultRow undefined;
    undefined.call = "areaAve(\"a\\b\")\n";
    undefined.function = "f";
    ResultRow exact;
    exact.call = exact.function = "area, P";
    exact.location = "P";
    exact.value = 0.5;
    exact.units = "m^2";
    exact.analytic = 0.25;
    std::ostringstream json;
    printJson({undefined, exact}, json);
    EXPECT_EQ(
        json.str(),
        "[\n  {\"call\": \"areaAve(\\\"a\\\\b\\\")\\n\", \"function\": \"f\", \"location\": \"\", \"value\": null, "
        "\"units\": \"\"},\n  {\"call\": \"area, P\", \"function\": \"area, P\", \"location\": \"P\", "
        "\"value\": 0.5, \"units\": \"m^2\", \"analytic\": 0.25, \"relative error\": 1}\n]\n");
    std::ostringstream empty;
    printJson({}, empty);
    EXPECT_EQ(empty.str(), "[]\n");
    std::ostringstream table;
    printTable({undefined, exact}, table);
    EXPECT_TRUE(contains(table.str(), "undefined"));
    EXPECT_TRUE(contains(table.str(), "1.00e+00")); // the relative error column
}

TEST(CommandLine, DemoPrintsResultsBesideAnalyticValues) {
    const CliRun table = zelpost({"--demo"});
    EXPECT_EQ(table.status, 0) << table.err;
    for (const char* part : {"analytic", "rel. error", "Slice Pyramid"}) EXPECT_TRUE(contains(table.out, part));
    const CliRun json = zelpost({"--demo", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_TRUE(contains(json.out, "\"relative error\": "));
}

} // namespace
} // namespace zel::host::test

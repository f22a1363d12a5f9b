#pragma once
// Shared helpers of the case reader tests: test data paths, scratch folders, error checks and
// a small mesh built in memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>

#include "host/readers/CaseData.h"
#include "host/readers/ReadError.h"

namespace zel::host::test {

inline std::filesystem::path vtkDataDir() { return std::filesystem::path(ZEL_TEST_DATA_DIR) / "vtk"; }
inline std::filesystem::path sharedDataDir() { return std::filesystem::path(ZEL_SHARED_DATA_DIR); }

inline std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeText(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
}

// A fresh folder for the running test (tests of one executable may run in parallel processes).
inline std::filesystem::path scratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    const auto dir = std::filesystem::temp_directory_path() / "zel_host_readers" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// Replaces the first occurrence of `from` (which must exist) by `to`.
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << "'" << from << "' not in the test input";
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Runs `read`, which must throw CaseReadError whose message holds every one of `parts`.
inline void expectReadError(const std::function<void()>& read, std::initializer_list<std::string> parts) {
    try {
        read();
        ADD_FAILURE() << "no error was thrown";
    } catch (const CaseReadError& e) {
        const std::string what = e.what();
        for (const std::string& p : parts)
            EXPECT_NE(what.find(p), std::string::npos) << "'" << p << "' not in: " << what;
    }
}

// Unit hexahedra side by side along x, each with its own eight points (as two processors
// write them), point value "p" = the point's index; with `globalIds`, "GlobalNodeIds" numbers
// the points of the grid so that copies of one point share their id.
inline MeshBlock hexRow(int count, bool globalIds = false) {
    MeshBlock b;
    b.name = "internal";
    b.path = "internal";
    std::vector<float> pts, values, ids;
    for (int h = 0; h < count; ++h) {
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i) {
                    pts.insert(pts.end(), {float(h + i), float(j), float(k)});
                    ids.push_back(float(h + i + (count + 1) * (j + 2 * k)));
                }
        for (int p : {0, 1, 3, 2, 4, 5, 7, 6}) b.cells.connectivity.push_back(8 * h + p);
        b.cells.types.push_back(VtkHexahedron);
        b.cells.offsets.push_back(std::int64_t(b.cells.connectivity.size()));
    }
    for (std::size_t p = 0; p < pts.size() / 3; ++p) values.push_back(float(p));
    b.points = RealArray(pts);
    b.pointData.push_back({"p", 1, RealArray(values)});
    if (globalIds) b.pointData.push_back({"GlobalNodeIds", 1, RealArray(ids)});
    validateBlock(b);
    return b;
}

} // namespace zel::host::test

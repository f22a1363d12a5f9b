// The structural solver's load surface file:
//   BM_ReadNorvaFile        readNorvaFile of a generated deck of 1000 × 1000 8-node
//                           quadrilaterals (1e6 elements, 3.0e6 nodes, mid-side nodes used,
//                           about 440 MB): MB/s (goal ≥ 300 on one core), and the peak
//                           memory the read adds, as a multiple of the vertices and faces it
//                           returns (goal ≤ 2)
//   BM_BareFileRead         the same file read in 4 MiB blocks and its line ends counted:
//                           what the disk and the page cache give, beside it
//   BM_ProjectLoadSurface   projectOnGeometry of 1e6 load surface vertices onto a wavy
//                           boundary of 1e6 quadrilaterals (goal ≥ 1e6 vertices/s), the
//                           boundary's surface index built in the timed part (indexed:0)
//                           or beforehand, as a session reuses it (indexed:1)
// The deck is written once to the system's temporary folder (ZEL_BENCH_DECK names another
// file to use). Memory is the growth of the resident set's high-water mark (Linux: VmHWM,
// reset through /proc/self/clear_refs); elsewhere the memory counter is 0.
#include "feloads/NorvaGeometryReader.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Projection.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace zel;

constexpr int kCells = 1000; // per side of the deck

// The deck of a kCells × kCells grid of 8-node quadrilaterals on the unit square, in mm.
std::string deckFile() {
    if (const char* given = std::getenv("ZEL_BENCH_DECK")) return given;
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "zel_bench_deck_1000.cdb";
    if (std::filesystem::exists(file)) return file.string();
    const std::string scratch = file.string() + ".tmp";
    std::FILE* out = std::fopen(scratch.c_str(), "wb");
    if (out == nullptr) return std::string();
    const int m = 2 * kCells + 1;
    auto number = [&](int i, int j) { return 1 + i + m * j; };
    std::fprintf(out, "ET,1,154\nKEYOPT,1,11,0\nNBLOCK,6,SOLID\n(3i9,6e21.13e3)\n");
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i)
            if (i % 2 == 0 || j % 2 == 0)
                std::fprintf(out, "%9d%9d%9d%21.13E%21.13E%21.13E\n", number(i, j), 0, 0, 1000.0 * i / (m - 1),
                             1000.0 * j / (m - 1), 0.0);
    std::fprintf(out, "N,R5.3,LOC,       -1,\nEBLOCK,19,SOLID\n(19i9)\n");
    int element = 1;
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i) {
            const int a = 2 * i, b = 2 * j;
            std::fprintf(out, "%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d\n", 1, 1, 1, 1, 0, 0, 0, 0, 8,
                         0, element++, number(a, b), number(a + 2, b), number(a + 2, b + 2), number(a, b + 2),
                         number(a + 1, b), number(a + 2, b + 1), number(a + 1, b + 2), number(a, b + 1));
        }
    std::fprintf(out, "       -1\n");
    std::fclose(out);
    std::filesystem::rename(scratch, file);
    return file.string();
}

// The resident set's high-water mark in bytes, reset first when `reset`.
double peakResident(bool reset) {
#ifdef __linux__
    if (reset) std::ofstream("/proc/self/clear_refs") << "5";
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            double kb = 0.0;
            status >> kb;
            return kb * 1024.0;
        }
        std::getline(status, key);
    }
#endif
    (void)reset;
    return 0.0;
}

double currentResident() {
#ifdef __linux__
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0.0;
            status >> kb;
            return kb * 1024.0;
        }
        std::getline(status, key);
    }
#endif
    return 0.0;
}

void BM_ReadNorvaFile(benchmark::State& state) {
    const std::string file = deckFile();
    if (file.empty()) {
        state.SkipWithError("cannot write the deck");
        return;
    }
    const double bytes = double(std::filesystem::file_size(file));
    double ratio = 0.0;
    for (auto _ : state) {
        Geometry geometry;
        std::array<ShapeSet*, 4> sets = {geometry.addFaceSet("TRIANGLE", ShapeType::Triangle, 1),
                                         geometry.addFaceSet("QUAD", ShapeType::Quadrilateral, 1),
                                         geometry.addFaceSet("PENTAGON", ShapeType::Pentagon, 1),
                                         geometry.addFaceSet("HEXAGON", ShapeType::Hexagon, 1)};
        NorvaGeometryReader reader("mm");
        reader.initialize(file, "Deck");
        std::string type, key;
        const double before = currentResident();
        peakResident(true);
        reader.readNorvaFile(geometry.getModifiableVertices(), sets.data(), type, key, true);
        const double added = peakResident(false) - before;
        const double returned = double(geometry.getVertices().size()) * (sizeof(TripletF) + sizeof(int)) +
                                double(sets[1]->size()) * 5.0 * sizeof(int);
        ratio = added / returned;
        if (sets[1]->size() != kCells * kCells) state.SkipWithError("wrong face count");
        benchmark::DoNotOptimize(geometry.getVertices().data());
    }
    state.SetBytesProcessed(int64_t(bytes) * state.iterations());
    state.counters["MB"] = bytes / 1e6;
    state.counters["peak/returned"] = ratio;
}

void BM_BareFileRead(benchmark::State& state) {
    const std::string file = deckFile();
    std::vector<char> block(std::size_t(4) << 20);
    std::size_t lines = 0;
    for (auto _ : state) {
        std::FILE* in = std::fopen(file.c_str(), "rb");
        lines = 0;
        std::size_t n = 0;
        while ((n = std::fread(block.data(), 1, block.size(), in)) > 0)
            for (std::size_t i = 0; i < n; ++i) lines += block[i] == '\n';
        std::fclose(in);
    }
    benchmark::DoNotOptimize(lines);
    state.SetBytesProcessed(int64_t(std::filesystem::file_size(file)) * state.iterations());
}

// A wavy boundary of n × n quadrilaterals over the unit square, and n × n points above it.
void BM_ProjectLoadSurface(benchmark::State& state) {
    const int n = int(state.range(0));
    auto height = [](double x, double y) { return 0.05 * std::sin(6.0 * x) * std::cos(5.0 * y); };
    TripletZELVector points;
    points.reserve(std::size_t(n) * std::size_t(n));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double x = (i + 0.37) / n, y = (j + 0.61) / n;
            points.push_back(TripletF(float(x), float(y), float(height(x, y) + 1e-4)));
        }
    for (auto _ : state) {
        state.PauseTiming();
        Geometry boundary;
        TripletZELVector vertices;
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i)
                vertices.push_back(
                    TripletF(float(double(i) / n), float(double(j) / n), float(height(double(i) / n, double(j) / n))));
        boundary.setVertices(std::move(vertices));
        ShapeSet* quads = boundary.addFaceSet("quads", ShapeType::Quadrilateral, n * n);
        std::vector<int>& conn = quads->editConnectivity();
        std::size_t c = 0;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const int a = i + (n + 1) * j;
                for (int v : {a, a + 1, a + n + 2, a + n + 1}) conn[c++] = v;
            }
        HybridInterpolant interpolant("");
        Geometry::ProjectionStatistics statistics;
        // A boundary's index is built once and kept; the second variant times the queries alone.
        if (state.range(1) != 0) SurfaceProjection::locator(boundary);
        state.ResumeTiming();
        boundary.projectOnGeometry(points, &interpolant, statistics);
        if (statistics.getSuccessPercentage() < 100.0) state.SkipWithError("points not projected");
        benchmark::DoNotOptimize(interpolant.getRecords().data());
    }
    state.SetItemsProcessed(int64_t(points.size()) * state.iterations());
}

BENCHMARK(BM_ReadNorvaFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareFileRead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ProjectLoadSurface)
    ->ArgNames({"n", "indexed"})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

BENCHMARK_MAIN();

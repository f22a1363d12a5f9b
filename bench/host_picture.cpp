// A picture of a slice of about 1,000,000 triangles at 1600 x 1200, as "> picture" draws it:
// rasterisation with the depth buffer (2 x 2 samples a pixel), the legend and title, and the
// PNG or SVG written. The scene is a wavy square (a linear field on it) so that the depth
// test and the value interpolation both work; building the slice itself is not timed.
// Goals: <= 0.5 s a picture on one core (run under `taskset -c 1`), and the picture's own
// memory <= 100 MB beyond the scene: peak_MB is the growth of the process's peak resident
// size over the pictures (the depth and colour samples are raster_MB of it).
#include <benchmark/benchmark.h>

#include "host/render/Picture.h"

#include <cmath>
#include <filesystem>

#include <sys/resource.h>

namespace {

using namespace zel::host::render;

// An n x n grid of quads, two triangles each, over [0, 1]^2, lifted a little in z.
Scene wavySquare(int n) {
    Scene scene;
    const int m = n + 1;
    scene.points.reserve(std::size_t(m) * std::size_t(m));
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i) {
            const float x = float(i) / float(n), y = float(j) / float(n);
            scene.points.emplace_back(x, y, 0.02f * std::sin(6.0f * x) * std::cos(5.0f * y));
            scene.values.push_back(1.0f + 2.0f * x + 3.0f * y);
        }
    scene.triangles.reserve(std::size_t(n) * std::size_t(n) * 6);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const std::uint32_t a = std::uint32_t(j * m + i), b = a + 1, c = a + std::uint32_t(m), d = c + 1;
            scene.triangles.insert(scene.triangles.end(), {a, b, d, a, d, c});
        }
    return scene;
}

void BM_SlicePicture(benchmark::State& state) {
    const Scene scene = wavySquare(708); // 1,002,528 triangles
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       (state.range(0) == 0 ? "zel-bench-picture.png" : "zel-bench-picture.svg");
    PictureStyle style;
    style.title = "Pressure on a slice";
    style.legendTitle = "Pressure [Pa]";
    std::size_t rasterBytes = 0;
    const auto peakKiB = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_maxrss);
    };
    const double peakBefore = peakKiB();
    for (auto _ : state) {
        const PictureResult r = renderPicture(scene, style, file);
        rasterBytes = r.rasterBytes;
        benchmark::DoNotOptimize(r.legendMax);
    }
    state.counters["triangles"] = double(scene.triangles.size() / 3);
    state.counters["peak_MB"] = (peakKiB() - peakBefore) * 1024.0 / 1e6;
    state.counters["raster_MB"] = double(rasterBytes) / 1e6;
    state.counters["file_MB"] = double(std::filesystem::file_size(file)) / 1e6;
    std::filesystem::remove(file);
}

} // namespace

BENCHMARK(BM_SlicePicture)->ArgName("png")->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_SlicePicture)->ArgName("svg")->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();

// The whole load of a case as zelpost does it (Host::loadCase: reading, decoding, domain and
// boundary build, registering) of 1,000,000 hexahedra, in three encodings, beside the bare
// read of the same file's bytes. Reported as MB/s of the file and cells/s.
// Goal: the load of the appended base64 file within the time of VTK's reader plus its
// surface filter on the same file (bench/case_load_reference.py measures that side by side).
#include <benchmark/benchmark.h>

#include "bench/HexCaseFiles.h"
#include "host/Host.h"
#include "host/readers/FileBytes.h"

#include <memory>

namespace {

using namespace zel::bench;

constexpr double kNumCells = double(kCells) * kCells * kCells;

void count(benchmark::State& state, const std::filesystem::path& file) {
    const double bytes = double(std::filesystem::file_size(file));
    // Rates of the wall time (UseRealTime), printed as "MB=.../s" and "cells=.../s".
    state.counters["MB"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["cells"] = benchmark::Counter(kNumCells, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = bytes / 1e6;
}

void BM_FileRead(benchmark::State& state) {
    const auto file = writeVtu(Encoding(state.range(0)));
    for (auto _ : state) {
        const zel::host::FileBytes bytes = zel::host::readFileBytes(file);
        benchmark::DoNotOptimize(bytes.data());
    }
    count(state, file);
}

void BM_LoadCase(benchmark::State& state) {
    const auto file = writeVtu(Encoding(state.range(0)));
    for (auto _ : state) {
        // A fresh registry per load; making and clearing it is not timed.
        state.PauseTiming();
        auto host = std::make_unique<zel::host::Host>();
        state.ResumeTiming();
        const zel::host::LoadedCase loaded = host->loadCase(file, {});
        state.PauseTiming();
        if (loaded.boundaries.size() != 1) state.SkipWithError("expected one boundary");
        host.reset();
        state.ResumeTiming();
    }
    count(state, file);
}

} // namespace

// Arguments: the Encoding of HexCaseFiles.h.
BENCHMARK(BM_FileRead)->ArgName("appended_raw")->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FileRead)->ArgName("appended_base64")->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FileRead)->ArgName("inline_zlib")->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LoadCase)->ArgName("appended_raw")->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LoadCase)->ArgName("appended_base64")->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LoadCase)->ArgName("inline_zlib")->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();

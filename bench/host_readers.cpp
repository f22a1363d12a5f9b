// Load time of the case readers on a mesh of 1,000,000 hexahedra (101^3 points) with a scalar
// and a vector point field and a scalar cell field, in the encodings solvers and ParaView write.
// Goal: each loads in a few seconds. The files are written once into the temporary folder.
#include <benchmark/benchmark.h>

#include "bench/HexCaseFiles.h"
#include "host/readers/CaseReader.h"

namespace {

using namespace zel::bench;

void BM_ReadHexahedra(benchmark::State& state) {
    const auto file = writeVtu(Encoding(state.range(0)));
    for (auto _ : state) {
        const zel::host::CaseData c = zel::host::readCase(file);
        if (c.blocks.at(0).numCells() != std::size_t(kCells) * kCells * kCells) state.SkipWithError("wrong cell count");
        benchmark::DoNotOptimize(c.blocks[0].points.size());
    }
    state.counters["MB"] = double(std::filesystem::file_size(file)) / 1e6;
}

} // namespace

BENCHMARK(BM_ReadHexahedra)->ArgName("appended_raw")->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadHexahedra)->ArgName("inline_zlib")->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadHexahedra)->ArgName("ascii")->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();

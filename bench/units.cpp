// Unit conversion as the calculator does it per call (cached texts), and the cost of one
// progress step in a hot loop.
#include "framework/core/Progress.h"
#include "framework/units/UnitsConverter.h"

#include <benchmark/benchmark.h>

namespace {

void BM_ConvertCachedCompound(benchmark::State& state) {
    const zel::UnitsConverter* uc = zel::UnitsConverter::instance();
    double out = 0.0;
    double v = 1.0;
    for (auto _ : state) {
        uc->convertUnits("W m^-2 K^-1", "kW m^-2 C^-1", v, out);
        benchmark::DoNotOptimize(out);
        v += 1.0;
    }
}
BENCHMARK(BM_ConvertCachedCompound);

void BM_ParseUncached(benchmark::State& state) {
    zel::UnitsConverter* uc = zel::UnitsConverter::instance();
    for (auto _ : state) {
        uc->clearCache();
        benchmark::DoNotOptimize(uc->parse("kg m^-1 s^-2 m^-1"));
    }
}
BENCHMARK(BM_ParseUncached);

void BM_ProgressIncrement(benchmark::State& state) {
    zel::ProgressTracker::setDisplay(zel::ProgressTracker::Display::Never);
    zel::ProgressTracker t("bench");
    t.add("loop", 1.0, 1000000000);
    t.start("loop");
    for (auto _ : state) t.increment();
    benchmark::DoNotOptimize(t.fraction());
}
BENCHMARK(BM_ProgressIncrement);

} // namespace

BENCHMARK_MAIN();

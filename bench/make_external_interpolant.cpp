// Mapping points into a domain: DomainGeometryBase::makeExternalInterpolant against the bare
// point search it is built on, on the benchmark mesh of geometry_search.cpp (100 x 100 x 100
// hexahedra of the unit cube sheared by x += 0.1 y) and the same 1,000,000 random points.
//   BM_BareFindElement           index build + Geometry::findElement of every point (the
//                                 loop of BM_LocateMillionPoints without its field sum)
//   BM_BareFindElements          index build + Geometry::findElements of all points
//   BM_MakeExternalInterpolant   index build + makeExternalInterpolant of the same points:
//                                 the search plus the interpolant's flat (node, weight)
//                                 records and the progress tracking
// The *Warm variants keep the index built, so they compare the per-point work alone.
// Target: BM_MakeExternalInterpolant within 1.2 x the bare search (it now runs on
// findElements, so compare it with BM_BareFindElements).
#include "domain/DomainGeometryBase.h"
#include "framework/geometry/GeometrySearch.h"
#include "framework/geometry/Interpolant.h"

#include "ShearedCube.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace zel;

DomainGeometryBase& mesh() {
    static const std::unique_ptr<DomainGeometryBase> g = [] {
        auto m = std::make_unique<DomainGeometryBase>();
        m->setName("Bench");
        m->setDomain("Bench");
        bench::fillShearedCube(*m);
        return m;
    }();
    return *g;
}

const TripletZELVector& points() {
    static const TripletZELVector pts(bench::shearedCubePoints());
    return pts;
}

void bareLoop(benchmark::State& state, bool coldIndex) {
    const Geometry& g = mesh();
    const TripletZELVector& pts = points();
    if (!coldIndex) GeometrySearch::locator(g);
    for (auto _ : state) {
        if (coldIndex) g.setCache(Geometry::CacheLocator, nullptr);
        std::int64_t located = 0;
        ElementWeights w;
        for (const TripletF& p : pts) {
            if (!g.findElement(p, w, false, SearchMode::Containing)) continue;
            ++located;
            benchmark::DoNotOptimize(w);
        }
        state.counters["located"] = double(located);
    }
}

void bareManyLoop(benchmark::State& state, bool coldIndex) {
    const Geometry& g = mesh();
    const TripletZELVector& pts = points();
    std::vector<ElementWeights> found(pts.size());
    if (!coldIndex) GeometrySearch::locator(g);
    for (auto _ : state) {
        if (coldIndex) g.setCache(Geometry::CacheLocator, nullptr);
        state.counters["located"] = double(g.findElements(pts.span(), found, SearchMode::Containing));
    }
}

void interpolantLoop(benchmark::State& state, bool coldIndex) {
    DomainGeometryBase& g = mesh();
    const TripletZELVector& pts = points();
    const std::vector<DomainGeometryBase*> domains{&g};
    if (!coldIndex) GeometrySearch::locator(g);
    for (auto _ : state) {
        if (coldIndex) g.setCache(Geometry::CacheLocator, nullptr);
        std::unique_ptr<ExternalInterpolant> interp(
            DomainGeometryBase::makeExternalInterpolant(pts, domains, false, false));
        state.counters["located"] = double(interp->getNumLocated());
        state.counters["records"] = double(interp->getRecords().size());
    }
}

void BM_BareFindElement(benchmark::State& state) { bareLoop(state, true); }
void BM_BareFindElements(benchmark::State& state) { bareManyLoop(state, true); }
void BM_MakeExternalInterpolant(benchmark::State& state) { interpolantLoop(state, true); }
void BM_BareFindElementWarm(benchmark::State& state) { bareLoop(state, false); }
void BM_BareFindElementsWarm(benchmark::State& state) { bareManyLoop(state, false); }
void BM_MakeExternalInterpolantWarm(benchmark::State& state) { interpolantLoop(state, false); }

BENCHMARK(BM_BareFindElement)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareFindElements)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MakeExternalInterpolant)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareFindElementWarm)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareFindElementsWarm)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MakeExternalInterpolantWarm)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();

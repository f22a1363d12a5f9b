// Mapping points into a domain: DomainGeometryBase::makeExternalInterpolant against the bare
// point search it is built on, on the benchmark mesh of geometry_search.cpp (100 x 100 x 100
// hexahedra of the unit cube sheared by x += 0.1 y) and the same 1,000,000 random points.
//   BM_BareFindElement           index build + Geometry::findElement of every point (the
//                                 loop of BM_LocateMillionPoints without its field sum)
//   BM_MakeExternalInterpolant   index build + makeExternalInterpolant of the same points:
//                                 the search plus the interpolant's flat (node, weight)
//                                 records and the progress tracking
// The *Warm variants keep the index built, so they compare the per-point work alone.
// Target: BM_MakeExternalInterpolant within 1.2 x BM_BareFindElement.
#include "domain/DomainGeometryBase.h"
#include "framework/geometry/GeometrySearch.h"
#include "framework/geometry/Interpolant.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace {

using namespace zel;

constexpr int kN = 100;

std::unique_ptr<DomainGeometryBase> makeMesh() {
    auto g = std::make_unique<DomainGeometryBase>();
    g->setName("Bench");
    g->setDomain("Bench");
    TripletZELVector v;
    v.reserve(std::size_t(kN + 1) * (kN + 1) * (kN + 1));
    for (int k = 0; k <= kN; ++k)
        for (int j = 0; j <= kN; ++j)
            for (int i = 0; i <= kN; ++i) {
                const float x = float(i) / kN, y = float(j) / kN, z = float(k) / kN;
                v.push_back({x + 0.1f * y, y, z});
            }
    g->setVertices(std::move(v));
    ShapeSet* set = g->addFaceSet("hexahedra", ShapeType::Hexahedron, kN * kN * kN);
    std::vector<int>& c = set->editConnectivity();
    auto id = [](int i, int j, int k) { return (k * (kN + 1) + j) * (kN + 1) + i; };
    std::size_t p = 0;
    for (int k = 0; k < kN; ++k)
        for (int j = 0; j < kN; ++j)
            for (int i = 0; i < kN; ++i) {
                const int h[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                                  id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
                for (int a : h) c[p++] = a;
            }
    return g;
}

DomainGeometryBase& mesh() {
    static const std::unique_ptr<DomainGeometryBase> g = makeMesh();
    return *g;
}

// The points of geometry_search.cpp: (u + 0.1 v, v, w) for u, v, w uniform in [0, 1), seed 12345.
const TripletZELVector& points() {
    static const TripletZELVector pts = [] {
        std::mt19937 rng(12345);
        std::uniform_real_distribution<float> u(0.0f, 1.0f);
        TripletZELVector p(1000000);
        for (auto& q : p) {
            const float a = u(rng), b = u(rng), c = u(rng);
            q = {a + 0.1f * b, b, c};
        }
        return p;
    }();
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

void interpolantLoop(benchmark::State& state, bool coldIndex) {
    DomainGeometryBase& g = mesh();
    const TripletZELVector& pts = points();
    const std::vector<DomainGeometryBase*> domains{&g};
    if (!coldIndex) GeometrySearch::locator(g);
    for (auto _ : state) {
        if (coldIndex) g.setCache(Geometry::CacheLocator, nullptr);
        std::unique_ptr<ExternalInterpolant> interp(DomainGeometryBase::makeExternalInterpolant(pts, domains, false, false));
        state.counters["located"] = double(interp->getNumLocated());
        state.counters["records"] = double(interp->getRecords().size());
    }
}

void BM_BareFindElement(benchmark::State& state) { bareLoop(state, true); }
void BM_MakeExternalInterpolant(benchmark::State& state) { interpolantLoop(state, true); }
void BM_BareFindElementWarm(benchmark::State& state) { bareLoop(state, false); }
void BM_MakeExternalInterpolantWarm(benchmark::State& state) { interpolantLoop(state, false); }

BENCHMARK(BM_BareFindElement)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MakeExternalInterpolant)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareFindElementWarm)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MakeExternalInterpolantWarm)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();

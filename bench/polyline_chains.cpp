// The chaining of a boundary intersection: the rim of a surface as n edges in shuffled order
// and random directions around a circle.
//   BM_ChainByIndex     the edges share their vertices (a surface whose faces share theirs):
//                       chainEdgesByIndex makes the one closed chain
//   BM_JoinByPosition   every edge has vertices of its own (faces that do not share theirs):
//                       chainEdgesByIndex leaves n chains, joinChainsByPosition joins them
//                       by the places of their ends
// The goal: both grow as n log n (the complexity fit), where comparing every chain with
// every other grows with n^2 per pass.
#include "locators/SegmentChains.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace {

using namespace zel;

// n edges around the unit circle in the plane z = 0.5; with `shared`, edge k joins vertices k
// and k + 1 (mod n), else vertices 2k and 2k + 1 at the same places.
void makeRim(int n, bool shared, std::vector<Edge>& edges, TripletZELVector& positions) {
    std::mt19937 rng(12345);
    const double step = 2.0 * 3.14159265358979323846 / n;
    auto at = [&](int k) {
        return TripletF(static_cast<float>(std::cos(step * k)), static_cast<float>(std::sin(step * k)), 0.5f);
    };
    edges.clear();
    positions.clear();
    for (int k = 0; k < n; ++k) {
        if (shared) {
            positions.push_back(at(k));
            edges.emplace_back(k, (k + 1) % n);
        } else {
            positions.push_back(at(k));
            positions.push_back(at(k + 1));
            edges.emplace_back(2 * k, 2 * k + 1);
        }
    }
    std::shuffle(edges.begin(), edges.end(), rng);
    std::bernoulli_distribution flip(0.5);
    for (Edge& e : edges)
        if (flip(rng)) e = e.reversed();
}

void BM_ChainByIndex(benchmark::State& state) {
    std::vector<Edge> edges;
    TripletZELVector positions;
    makeRim(static_cast<int>(state.range(0)), true, edges, positions);
    for (auto _ : state) {
        std::vector<VertexChain> chains = chainEdgesByIndex(edges);
        benchmark::DoNotOptimize(chains.data());
        if (chains.size() != 1) state.SkipWithError("the rim is not one chain");
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ChainByIndex)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity(benchmark::oNLogN);

void BM_JoinByPosition(benchmark::State& state) {
    std::vector<Edge> edges;
    TripletZELVector positions;
    makeRim(static_cast<int>(state.range(0)), false, edges, positions);
    for (auto _ : state) {
        std::vector<VertexChain> chains = chainEdgesByIndex(edges);
        joinChainsByPosition(chains, positions.span(), 1e-6);
        benchmark::DoNotOptimize(chains.data());
        if (chains.size() != 1) state.SkipWithError("the rim is not one chain");
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_JoinByPosition)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity(benchmark::oNLogN);

} // namespace

BENCHMARK_MAIN();

// The chaining of surface edges into polylines, against literal twins that compare every
// chain with every other, pass after pass, on random edge sets with fixed seeds: paths and
// loops in shuffled order and direction, branches, and vertices repeated in one place.
#include "locators/SegmentChains.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <list>
#include <numeric>
#include <random>

namespace zel::test {
namespace {

using Chains = std::vector<VertexChain>;

// ------------------------------------------------------------------------------ twins

Chains twinByIndex(const std::vector<Edge>& edges) {
    std::list<std::deque<int>> chains;
    for (const Edge& e : edges) {
        const int a = e[0], b = e[1];
        auto it = std::find_if(chains.begin(), chains.end(), [&](const std::deque<int>& c) {
            return a == c.front() || b == c.front() || a == c.back() || b == c.back();
        });
        if (it == chains.end()) {
            chains.push_back({a, b});
            continue;
        }
        std::deque<int>& c = *it;
        if (a == c.front())
            c.push_front(b);
        else if (b == c.front())
            c.push_front(a);
        else if (a == c.back())
            c.push_back(b);
        else
            c.push_back(a);
        for (bool joined = true; joined;) {
            joined = false;
            for (auto it2 = chains.begin(); it2 != chains.end(); ++it2) {
                if (it2 == it) continue;
                const std::deque<int>& c2 = *it2;
                const std::size_t n = c2.size();
                if (c2.front() == c.front())
                    for (std::size_t k = 1; k < n; ++k) c.push_front(c2[k]);
                else if (c2.back() == c.front())
                    for (std::size_t k = n - 1; k-- > 0;) c.push_front(c2[k]);
                else if (c2.front() == c.back())
                    for (std::size_t k = 1; k < n; ++k) c.push_back(c2[k]);
                else if (c2.back() == c.back())
                    for (std::size_t k = n - 1; k-- > 0;) c.push_back(c2[k]);
                else
                    continue;
                chains.erase(it2);
                joined = true;
                break;
            }
        }
    }
    Chains out;
    for (const auto& c : chains) out.emplace_back(c.begin(), c.end());
    return out;
}

void twinByPosition(Chains& list, const std::vector<TripletF>& positions, double tolerance) {
    auto coincident = [&](int u, int v) {
        return (TripletD(positions[std::size_t(u)]) - TripletD(positions[std::size_t(v)])).length() < tolerance;
    };
    std::list<std::deque<int>> chains;
    for (const auto& c : list) chains.emplace_back(c.begin(), c.end());
    for (bool changed = true; changed;) {
        changed = false;
    restart:
        for (auto i1 = chains.begin(); i1 != chains.end(); ++i1)
            for (auto i2 = chains.begin(); i2 != chains.end(); ++i2) {
                std::deque<int>& c1 = *i1;
                const std::deque<int>& c2 = *i2;
                if (i2 == i1) {
                    if (c1.back() != c1.front() && coincident(c1.back(), c1.front())) {
                        c1.push_back(c1.front());
                        changed = true;
                    }
                    continue;
                }
                if (coincident(c1.front(), c2.front()))
                    for (int v : c2) c1.push_front(v);
                else if (coincident(c1.front(), c2.back()))
                    for (auto v = c2.rbegin(); v != c2.rend(); ++v) c1.push_front(*v);
                else if (coincident(c1.back(), c2.front()))
                    for (int v : c2) c1.push_back(v);
                else if (coincident(c1.back(), c2.back()))
                    for (auto v = c2.rbegin(); v != c2.rend(); ++v) c1.push_back(*v);
                else
                    continue;
                chains.erase(i2);
                changed = true;
                goto restart;
            }
    }
    list.clear();
    for (const auto& c : chains) list.emplace_back(c.begin(), c.end());
}

// ------------------------------------------------------------------- random edge sets

// Paths and loops over shuffled vertex numbers, a few branches, in shuffled order with random
// directions.
std::vector<Edge> randomEdges(std::mt19937& rng, int vertices) {
    std::vector<int> ids(static_cast<std::size_t>(vertices));
    std::iota(ids.begin(), ids.end(), 0);
    std::shuffle(ids.begin(), ids.end(), rng);
    std::vector<Edge> edges;
    std::uniform_int_distribution<int> length(1, 12);
    std::bernoulli_distribution loop(0.3), flip(0.5), branch(0.08);
    for (std::size_t at = 0; at + 1 < ids.size();) {
        const std::size_t n = std::min<std::size_t>(std::size_t(length(rng)), ids.size() - 1 - at);
        for (std::size_t k = 0; k < n; ++k) edges.emplace_back(ids[at + k], ids[at + k + 1]);
        if (loop(rng) && n >= 2) edges.emplace_back(ids[at + n], ids[at]);
        at += n + 1;
    }
    std::uniform_int_distribution<int> any(0, vertices - 1);
    const std::size_t base = edges.size();
    for (std::size_t k = 0; k < base; ++k)
        if (branch(rng)) edges.emplace_back(edges[k][0], any(rng));
    std::shuffle(edges.begin(), edges.end(), rng);
    for (Edge& e : edges)
        if (flip(rng)) e = e.reversed();
    return edges;
}

TEST(PolylineChains, ByIndexMatchesTheTwinOnRandomEdgeSets) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        const std::vector<Edge> edges = randomEdges(rng, 4 + round % 60);
        ASSERT_EQ(chainEdgesByIndex(edges), twinByIndex(edges)) << "round " << round;
    }
}

TEST(PolylineChains, ByIndexClosesLoopsAndKeepsPathsWhole) {
    // A square given backwards and out of order: one chain whose last vertex is its first.
    const Chains loop = chainEdgesByIndex(std::vector<Edge>{{2, 3}, {0, 1}, {3, 0}, {1, 2}});
    ASSERT_EQ(loop.size(), 1u);
    EXPECT_EQ(loop[0].size(), 5u);
    EXPECT_EQ(loop[0].front(), loop[0].back());
    // Two pieces joined through a middle edge, and a separate segment.
    EXPECT_EQ(chainEdgesByIndex(std::vector<Edge>{{0, 1}, {7, 8}, {3, 2}, {1, 2}}), (Chains{{0, 1, 2, 3}, {7, 8}}));
    EXPECT_TRUE(chainEdgesByIndex({}).empty());
}

TEST(PolylineChains, ByPositionMatchesTheTwinOnRepeatedVertices) {
    std::mt19937 rng(777);
    // Points on a coarse lattice; each point is given several vertex numbers, a few of them
    // nudged by amounts on either side of the tolerance (so "coincident" is not transitive).
    const double tolerance = 1e-6;
    int joined = 0;
    for (int round = 0; round < 200; ++round) {
        const int places = 5 + round % 40;
        std::vector<TripletF> positions;
        std::vector<std::vector<int>> copies(static_cast<std::size_t>(places));
        std::uniform_int_distribution<int> lattice(0, 9), count(1, 3);
        std::uniform_real_distribution<float> nudge(-1.2e-6f, 1.2e-6f);
        std::bernoulli_distribution nudged(0.2);
        for (int p = 0; p < places; ++p) {
            const TripletF at(0.5f + 0.1f * float(lattice(rng)), 0.25f * float(p), 0.5f);
            for (int c = count(rng); c-- > 0;) {
                copies[std::size_t(p)].push_back(static_cast<int>(positions.size()));
                positions.push_back(nudged(rng) ? at + TripletF(nudge(rng), nudge(rng), 0.0f) : at);
            }
        }
        // Paths between places, each edge using any copy of its places.
        std::vector<Edge> edges;
        std::uniform_int_distribution<int> place(0, places - 1);
        const int count_edges = 3 + round % 50;
        for (int k = 0; k < count_edges; ++k) {
            const auto& a = copies[std::size_t(place(rng))];
            const auto& b = copies[std::size_t(place(rng))];
            const int u = a[std::size_t(rng() % a.size())], v = b[std::size_t(rng() % b.size())];
            if (u != v) edges.emplace_back(u, v);
        }
        Chains ours = chainEdgesByIndex(edges);
        Chains twin = ours;
        const std::size_t before = ours.size();
        joinChainsByPosition(ours, positions, tolerance);
        twinByPosition(twin, positions, tolerance);
        ASSERT_EQ(ours, twin) << "round " << round;
        joined += ours.size() < before;
    }
    EXPECT_GT(joined, 100) << "the rounds must exercise the joins";
}

TEST(PolylineChains, ByPositionJoinsWithAZeroLengthStepAndClosesLoops) {
    // Vertices 1 and 2 lie in one place, as do 3 and 4, and 5 and 0.
    const std::vector<TripletF> p{{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 0}, {0, 0, 0}};
    Chains chains{{0, 1}, {2, 3}, {4, 5}};
    joinChainsByPosition(chains, p, 1e-6);
    // 0-1 takes 2-3 at its back (both vertices kept), then 4-5 in front of it (its front lies
    // on 4-5's back, which is tested before its back on 4-5's front); its back (3) then lies
    // on its front (4) at another vertex, and the loop is closed.
    EXPECT_EQ(chains, (Chains{{4, 5, 0, 1, 2, 3, 4}}));

    // Chains whose ends are far apart stay as they are.
    Chains apart{{0, 3}};
    joinChainsByPosition(apart, p, 1e-6);
    EXPECT_EQ(apart, (Chains{{0, 3}}));
}

} // namespace
} // namespace zel::test

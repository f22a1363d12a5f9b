#pragma once
// The benchmark mesh shared by the search, interpolant and plane benchmarks: 100 x 100 x 100
// hexahedra of the unit cube sheared by x += 0.1 y (1,000,000 cells, 1,030,301 nodes, in
// lexicographic order), and 1,000,000 random points inside it. bench/vtk_reference.py builds
// the same mesh and points for VTK.
#include "framework/geometry/Geometry.h"

#include <random>
#include <vector>

namespace zel::bench {

constexpr int kCubeCells = 100; // cells per axis

// Fills `g` (a Geometry or a subclass) with the sheared cube as one hexahedron set.
inline void fillShearedCube(Geometry& g) {
    constexpr int n = kCubeCells;
    TripletZELVector v;
    v.reserve(std::size_t(n + 1) * (n + 1) * (n + 1));
    for (int k = 0; k <= n; ++k)
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const float x = float(i) / n, y = float(j) / n, z = float(k) / n;
                v.push_back({x + 0.1f * y, y, z});
            }
    g.setVertices(std::move(v));
    ShapeSet* set = g.addFaceSet("hexahedra", ShapeType::Hexahedron, n * n * n);
    std::vector<int>& c = set->editConnectivity();
    auto id = [](int i, int j, int k) { return (k * (n + 1) + j) * (n + 1) + i; };
    std::size_t p = 0;
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const int h[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                                  id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
                for (int a : h) c[p++] = a;
            }
}

// 1,000,000 points (u + 0.1 v, v, w), u, v, w uniform in [0, 1), seed 12345: all inside the
// cube, in no spatial order.
inline std::vector<TripletF> shearedCubePoints() {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<TripletF> p(1000000);
    for (auto& q : p) {
        const float a = u(rng), b = u(rng), c = u(rng);
        q = {a + 0.1f * b, b, c};
    }
    return p;
}

} // namespace zel::bench

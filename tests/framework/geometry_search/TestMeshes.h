#pragma once
// Small structured meshes of every cell type for the search and cutting tests.
#include "framework/geometry/Geometry.h"
#include "framework/geometry/MeshView.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zel::testmesh {

// A box of nx × ny × nz hexahedra on [0,1]^3 (optionally sheared x += shear·y and with the
// interior nodes jittered by up to `jitter` cell sizes), split into cells of `type`:
// hexahedra as they are, 2 wedges, 6 tetrahedra or 6 pyramids (around an added centre
// node) per hexahedron.
struct Mesh {
    std::vector<TripletF> vertices;
    ShapeType type = ShapeType::Hexahedron;
    std::vector<int> connectivity;

    MeshView view() const {
        MeshView v;
        v.vertices = vertices;
        v.blocks.push_back({type, cell::nodeCount(type), connectivity, 0});
        return v;
    }
    std::int64_t cells() const { return static_cast<std::int64_t>(connectivity.size()) / cell::nodeCount(type); }
    const TripletF& node(std::int64_t e, int j) const {
        return vertices[std::size_t(connectivity[std::size_t(e * cell::nodeCount(type) + j)])];
    }
    // The axis-aligned box of cell e: {lowest, highest} corner.
    std::array<TripletD, 2> bounds(std::int64_t e) const {
        std::array<TripletD, 2> b{TripletD(node(e, 0)), TripletD(node(e, 0))};
        for (int j = 1; j < cell::nodeCount(type); ++j)
            for (int k = 0; k < 3; ++k) {
                b[0][k] = std::min(b[0][k], double(node(e, j)[k]));
                b[1][k] = std::max(b[1][k], double(node(e, j)[k]));
            }
        return b;
    }
};

inline Mesh box(ShapeType type, int nx, int ny, int nz, float shear = 0.0f, float jitter = 0.0f, unsigned seed = 1) {
    Mesh m;
    m.type = type;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    auto id = [&](int i, int j, int k) { return (k * (ny + 1) + j) * (nx + 1) + i; };
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i) {
                float x = float(i) / float(nx), y = float(j) / float(ny), z = float(k) / float(nz);
                const bool interior = i > 0 && i < nx && j > 0 && j < ny && k > 0 && k < nz;
                if (jitter > 0.0f && interior) {
                    x += jitter * u(rng) / float(nx);
                    y += jitter * u(rng) / float(ny);
                    z += jitter * u(rng) / float(nz);
                }
                m.vertices.push_back({x + shear * y, y, z});
            }
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const int h[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                                  id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
                switch (type) {
                case ShapeType::Hexahedron: m.connectivity.insert(m.connectivity.end(), h, h + 8); break;
                case ShapeType::Wedge: {
                    // VTK wedges: triangle 0-1-2 turns clockwise seen from 3-4-5.
                    const int w[12] = {h[0], h[2], h[1], h[4], h[6], h[5], h[0], h[3], h[2], h[4], h[7], h[6]};
                    m.connectivity.insert(m.connectivity.end(), w, w + 12);
                    break;
                }
                case ShapeType::Tetrahedron: {
                    const int t[6][4] = {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6},
                                         {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}};
                    for (const auto& q : t)
                        for (int a : q) m.connectivity.push_back(h[a]);
                    break;
                }
                case ShapeType::Pyramid: {
                    TripletF c{0, 0, 0};
                    for (int a : h) c += m.vertices[static_cast<std::size_t>(a)];
                    const int centre = static_cast<int>(m.vertices.size());
                    m.vertices.push_back(c / 8.0f);
                    // Bases are the hexahedron's faces turned inwards, apex the centre.
                    for (const auto& f : cell::kHexFaces) {
                        const int p[5] = {h[f.nodes[3]], h[f.nodes[2]], h[f.nodes[1]], h[f.nodes[0]], centre};
                        m.connectivity.insert(m.connectivity.end(), p, p + 5);
                    }
                    break;
                }
                default: break;
                }
            }
    return m;
}

inline constexpr std::array<ShapeType, 4> kCellTypes = {ShapeType::Tetrahedron, ShapeType::Pyramid, ShapeType::Wedge,
                                                        ShapeType::Hexahedron};

} // namespace zel::testmesh

namespace zel::testmesh {

// A domain geometry holding the mesh's cells as one volume set.
inline std::unique_ptr<Geometry> geometry(const Mesh& m, const std::string& name = "Domain") {
    auto g = std::make_unique<Geometry>();
    g->setName(name);
    TripletZELVector v;
    v.vector() = m.vertices;
    g->setVertices(std::move(v));
    const int n = cell::nodeCount(m.type);
    ShapeSet* set = g->addFaceSet("cells", m.type, static_cast<int>(m.connectivity.size() / std::size_t(n)));
    set->editConnectivity() = m.connectivity;
    return g;
}

} // namespace zel::testmesh

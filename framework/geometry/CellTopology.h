#pragma once
// Element shapes of the geometry library: shape type codes, node counts, the local face and
// edge tables of the volume cells, and their shape functions.
//
// Node order and parametric coordinates are VTK's (VTK_TETRA, VTK_PYRAMID, VTK_WEDGE,
// VTK_HEXAHEDRON), since meshes come from VTK files:
//   tetrahedron  nodes 0-3;            (r,s,t) with r,s,t >= 0, r+s+t <= 1
//                N = 1-r-s-t, r, s, t
//   pyramid      base 0-3, apex 4;     (r,s,t) in [0,1]^3
//                N0..3 = bilinear base function * (1-t), N4 = t
//   wedge        triangle 0-2, then 3-5 above 0-2;  r,s >= 0, r+s <= 1, t in [0,1]
//                N = (1-r-s)(1-t), r(1-t), s(1-t), (1-r-s)t, rt, st
//   hexahedron   bottom 0-3, top 4-7 (4 above 0); (r,s,t) in [0,1]^3, trilinear
// Faces of a cell are numbered from 0 as in the tables below; each lists its local nodes so
// that the right-hand rule gives the outward normal for a cell in VTK's orientation:
//   tetrahedron  triangle 0-1-2 seen from node 3 is counter-clockwise;
//   pyramid      base 0-1-2-3 seen from the apex is counter-clockwise;
//   hexahedron   bottom 0-1-2-3 seen from the top is counter-clockwise;
//   wedge        triangle 0-1-2 seen from 3-4-5 is clockwise (its normal points away from
//                the top), so a VTK wedge has a negative Jacobian in (r, s, t) above, while
//                the other three have a positive one. Code that needs a sign (volumes,
//                point location) should use the sign of the whole cell's volume.
// Boundary flags address faces by these numbers (bit f = face f).
#include <array>
#include <cstdint>
#include <span>

namespace zel {

// Shape type codes of element sets. Faces: 2, 3, 8, 9 and 10 (a polygon set with its own
// vertex count per face, e.g. heptagons). Cells of domain meshes: 4-7.
enum class ShapeType : int {
    Point = 0,
    Line = 1,
    Triangle = 2,
    Quadrilateral = 3,
    Tetrahedron = 4,
    Pyramid = 5,
    Wedge = 6,
    Hexahedron = 7,
    Pentagon = 8,
    Hexagon = 9,
    Polygon = 10
};

namespace cell {

constexpr bool isFace(ShapeType t) {
    return t == ShapeType::Triangle || t == ShapeType::Quadrilateral || t == ShapeType::Pentagon ||
           t == ShapeType::Hexagon || t == ShapeType::Polygon;
}
constexpr bool isVolume(ShapeType t) {
    return t == ShapeType::Tetrahedron || t == ShapeType::Pyramid || t == ShapeType::Wedge ||
           t == ShapeType::Hexahedron;
}

// Nodes per element of a shape type; 0 for Polygon, whose sets carry their own count.
constexpr int nodeCount(ShapeType t) {
    switch (t) {
    case ShapeType::Point: return 1;
    case ShapeType::Line: return 2;
    case ShapeType::Triangle: return 3;
    case ShapeType::Quadrilateral: return 4;
    case ShapeType::Tetrahedron: return 4;
    case ShapeType::Pyramid: return 5;
    case ShapeType::Wedge: return 6;
    case ShapeType::Hexahedron: return 8;
    case ShapeType::Pentagon: return 5;
    case ShapeType::Hexagon: return 6;
    case ShapeType::Polygon: return 0;
    }
    return 0;
}

// The face shape type with `n` vertices: 3 Triangle, 4 Quadrilateral, 5 Pentagon,
// 6 Hexagon, more Polygon.
constexpr ShapeType faceTypeForCount(int n) {
    return n == 3   ? ShapeType::Triangle
           : n == 4 ? ShapeType::Quadrilateral
           : n == 5 ? ShapeType::Pentagon
           : n == 6 ? ShapeType::Hexagon
                    : ShapeType::Polygon;
}

// One local face: its node count (3 or 4) and local node numbers (unused entries are -1).
struct LocalFace {
    int count;
    std::array<int, 4> nodes;
};

inline constexpr std::array<LocalFace, 4> kTetFaces{
    {{3, {0, 1, 3, -1}}, {3, {1, 2, 3, -1}}, {3, {2, 0, 3, -1}}, {3, {0, 2, 1, -1}}}};
inline constexpr std::array<LocalFace, 5> kPyramidFaces{
    {{4, {0, 3, 2, 1}}, {3, {0, 1, 4, -1}}, {3, {1, 2, 4, -1}}, {3, {2, 3, 4, -1}}, {3, {3, 0, 4, -1}}}};
inline constexpr std::array<LocalFace, 5> kWedgeFaces{
    {{3, {0, 1, 2, -1}}, {3, {3, 5, 4, -1}}, {4, {0, 3, 4, 1}}, {4, {1, 4, 5, 2}}, {4, {2, 5, 3, 0}}}};
inline constexpr std::array<LocalFace, 6> kHexFaces{
    {{4, {0, 4, 7, 3}}, {4, {1, 2, 6, 5}}, {4, {0, 1, 5, 4}}, {4, {3, 7, 6, 2}}, {4, {0, 3, 2, 1}}, {4, {4, 5, 6, 7}}}};

using LocalEdge = std::array<int, 2>;
inline constexpr std::array<LocalEdge, 6> kTetEdges{{{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}}};
inline constexpr std::array<LocalEdge, 8> kPyramidEdges{
    {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {1, 4}, {2, 4}, {3, 4}}};
inline constexpr std::array<LocalEdge, 9> kWedgeEdges{
    {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}, {0, 3}, {1, 4}, {2, 5}}};
inline constexpr std::array<LocalEdge, 12> kHexEdges{
    {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}}};

// The local faces / edges of a cell type; empty for other types.
constexpr std::span<const LocalFace> faces(ShapeType t) {
    switch (t) {
    case ShapeType::Tetrahedron: return kTetFaces;
    case ShapeType::Pyramid: return kPyramidFaces;
    case ShapeType::Wedge: return kWedgeFaces;
    case ShapeType::Hexahedron: return kHexFaces;
    default: return {};
    }
}
constexpr std::span<const LocalEdge> edges(ShapeType t) {
    switch (t) {
    case ShapeType::Tetrahedron: return kTetEdges;
    case ShapeType::Pyramid: return kPyramidEdges;
    case ShapeType::Wedge: return kWedgeEdges;
    case ShapeType::Hexahedron: return kHexEdges;
    default: return {};
    }
}

inline constexpr int kMaxCellNodes = 8;

// Shape functions of a cell type at parametric point (r, s, t): fills n[0 .. nodeCount-1].
// Returns false for a type that is not a cell.
template <typename T> constexpr bool shapeFunctions(ShapeType type, T r, T s, T t, T* n) {
    switch (type) {
    case ShapeType::Tetrahedron:
        n[0] = T(1) - r - s - t;
        n[1] = r;
        n[2] = s;
        n[3] = t;
        return true;
    case ShapeType::Pyramid:
        n[0] = (T(1) - r) * (T(1) - s) * (T(1) - t);
        n[1] = r * (T(1) - s) * (T(1) - t);
        n[2] = r * s * (T(1) - t);
        n[3] = (T(1) - r) * s * (T(1) - t);
        n[4] = t;
        return true;
    case ShapeType::Wedge:
        n[0] = (T(1) - r - s) * (T(1) - t);
        n[1] = r * (T(1) - t);
        n[2] = s * (T(1) - t);
        n[3] = (T(1) - r - s) * t;
        n[4] = r * t;
        n[5] = s * t;
        return true;
    case ShapeType::Hexahedron:
        n[0] = (T(1) - r) * (T(1) - s) * (T(1) - t);
        n[1] = r * (T(1) - s) * (T(1) - t);
        n[2] = r * s * (T(1) - t);
        n[3] = (T(1) - r) * s * (T(1) - t);
        n[4] = (T(1) - r) * (T(1) - s) * t;
        n[5] = r * (T(1) - s) * t;
        n[6] = r * s * t;
        n[7] = (T(1) - r) * s * t;
        return true;
    default: return false;
    }
}

// Derivatives of the shape functions: d[3*i + k] = dN_i / d(r, s, t)_k.
template <typename T> constexpr bool shapeDerivatives(ShapeType type, T r, T s, T t, T* d) {
    const T one(1);
    switch (type) {
    case ShapeType::Tetrahedron: {
        const T v[12] = {-one, -one, -one, one, 0, 0, 0, one, 0, 0, 0, one};
        for (int i = 0; i < 12; ++i) d[i] = v[i];
        return true;
    }
    case ShapeType::Pyramid: {
        const T rm = one - r, sm = one - s, tm = one - t;
        const T v[15] = {-sm * tm, -rm * tm, -rm * sm, sm * tm, -r * tm, -r * sm, s * tm, r * tm,
                         -r * s,   -s * tm,  rm * tm,  -rm * s, 0,       0,       one};
        for (int i = 0; i < 15; ++i) d[i] = v[i];
        return true;
    }
    case ShapeType::Wedge: {
        const T u = one - r - s, tm = one - t;
        const T v[18] = {-tm, -tm, -u, tm, 0, -r, 0, tm, -s, -t, -t, u, t, 0, r, 0, t, s};
        for (int i = 0; i < 18; ++i) d[i] = v[i];
        return true;
    }
    case ShapeType::Hexahedron: {
        const T rm = one - r, sm = one - s, tm = one - t;
        const T v[24] = {-sm * tm, -rm * tm, -rm * sm, sm * tm, -r * tm, -r * sm, s * tm,  r * tm,
                         -r * s,   -s * tm,  rm * tm,  -rm * s, -sm * t, -rm * t, rm * sm, sm * t,
                         -r * t,   r * sm,   s * t,    r * t,   r * s,   -s * t,  rm * t,  rm * s};
        for (int i = 0; i < 24; ++i) d[i] = v[i];
        return true;
    }
    default: return false;
    }
}

// Parametric coordinates of the local nodes (3 per node), for tests and Newton starts.
inline constexpr double kTetNodeCoords[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
inline constexpr double kPyramidNodeCoords[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 1};
inline constexpr double kWedgeNodeCoords[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1};
inline constexpr double kHexNodeCoords[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};
constexpr std::span<const double> nodeParametricCoords(ShapeType type) {
    switch (type) {
    case ShapeType::Tetrahedron: return kTetNodeCoords;
    case ShapeType::Pyramid: return kPyramidNodeCoords;
    case ShapeType::Wedge: return kWedgeNodeCoords;
    case ShapeType::Hexahedron: return kHexNodeCoords;
    default: return {};
    }
}

} // namespace cell
} // namespace zel

#pragma once
// Search and cutting on geometries: what the Geometry members declared in Geometry.h do.
//
//   findElement(point, weights, flag, mode)   the cell of the geometry's volume sets that
//       holds the point (CellLocator.h): mode 1 (SearchMode::Containing) a cell containing
//       it within a parametric slack of about 1e-6; mode 2 (SearchMode::Nearest) else the
//       nearest cell within a quarter of that cell's largest box extent, with the weights of
//       the point's foot on the cell. `flag`: try the cell found by the previous call first
//       (points that come in spatial order, e.g. along a cut line). Weights: barycentric in
//       tetrahedra, the inverse of the isoparametric map elsewhere (CellShape.h).
//   findElements(points, weights, mode)   findElement of many points at once, with the
//       answers of findElement without `flag`; for points in no spatial order (the nodes of
//       another mesh, random probes) it is about 1.5 times faster, because the memory reads
//       of a group of points overlap instead of waiting one after the other.
//   intersectLineWithGeometry(domain, point, direction, hits)   fills this line geometry
//       with the crossings of the infinite line with the domain's cells, ordered along the
//       direction, and one segment per crossed cell (LineCutter.h). `hits` receives, per
//       crossed cell (key: its element id, Geometry::getElementOffsets numbering), the length
//       of the line inside it: its largest value is the size of the largest crossed cell
//       along the line, the scale of a merge tolerance. False when the line misses.
//   getFreeEdges / findFreeEdgesOnBoundaries   FreeEdges.cpp.
//   projectOnGeometry(points, interpolant, statistics)   Projection.h.
// GeometryIntersector::intersectWithGeometry (the slice by a plane) and Octree have headers
// of their own.
//
// A geometry's cell index (CellLocator) is built on the first search and kept in the
// geometry's locator cache slot; it is rebuilt when the mesh changes (getMeshVersion). The
// search code only borrows the geometry's arrays (MeshView), it never copies the mesh. The
// caches (and the last-cell hint) are kept without locks: one thread per geometry, as every
// call comes from the host's command thread.
#include "framework/geometry/CellLocator.h"
#include "framework/geometry/Geometry.h"

#include <array>
#include <cstdint>

namespace zel {

// The cell that holds a point and the point's weights on the cell's nodes.
struct ElementWeights {
    Geometry::CellRef element;                        // element set and element within it
    std::int64_t globalId = -1;                       // Geometry::getElementOffsets() numbering
    int count = 0;                                    // nodes of the cell
    std::array<int, cell::kMaxCellNodes> nodes{};     // node numbers (vertex indices)
    std::array<float, cell::kMaxCellNodes> weights{}; // shape-function weights, sum 1
    float distance = 0.0f;                            // 0 when the cell contains the point
};

// Views of a geometry's arrays: its volume sets (cells) or its face sets. Valid while the
// geometry's mesh is unchanged.
MeshView cellView(const Geometry& geometry);
MeshView faceView(const Geometry& geometry);

class GeometrySearch {
public:
    // The geometry's cell index, built on first use (the geometry keeps it).
    static const CellLocator& locator(const Geometry& geometry);
};

} // namespace zel

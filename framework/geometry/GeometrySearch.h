#pragma once
// Point location on geometries: Geometry::findElement and the views and caches behind it.
//
// A geometry's cell index (CellLocator) is built on the first search and kept in the
// geometry's locator cache slot; it is rebuilt when the mesh changes (getMeshVersion). The
// search code only borrows the geometry's arrays (MeshView), it never copies the mesh.
#include "framework/geometry/CellLocator.h"
#include "framework/geometry/Geometry.h"

#include <array>
#include <cstdint>

namespace zel {

// The cell that holds a point and the point's weights on the cell's nodes.
struct ElementWeights {
    Geometry::CellRef element;                          // element set and element within it
    std::int64_t globalId = -1;                         // Geometry::getElementOffsets() numbering
    int count = 0;                                      // nodes of the cell
    std::array<int, cell::kMaxCellNodes> nodes{};       // node numbers (vertex indices)
    std::array<float, cell::kMaxCellNodes> weights{};   // shape-function weights, sum 1
    float distance = 0.0f;                              // 0 when the cell contains the point
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

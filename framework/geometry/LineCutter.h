#pragma once
// The crossings of an infinite straight line with the volume cells of a mesh.
//
// The cells whose boxes the line may cross come from the cell index (a walk along the line
// through its bins). In each, the line is broken where it crosses the cell's faces
// (triangles, and quadrilaterals as the bilinear patches that neighbouring cells share),
// and a piece between two breaks belongs to the cell when its midpoint does: warped and
// non-convex cells are cut exactly along their faces. A cell that the line only touches at a
// node or along an edge gives no segment; a segment that lies in a face or along an edge
// shared by several cells is kept once. The end points of the segments, merged where
// neighbouring cells meet, are the vertices, ordered along the line.
#include "framework/geometry/CellLocator.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace zel {

struct LineCutResult {
    std::vector<TripletF> vertices; // #V crossings, in the order of the line parameter
    std::vector<double> parameters; // #V line parameters t of point + t·direction
    std::vector<int> segments;      // #S by 2 vertex indices, one segment per crossed cell
    // Per crossed cell (element number of the locator's view): the length of the line
    // inside it.
    std::vector<std::pair<std::int64_t, double>> chords;
};

class LineCutter {
public:
    // `direction` must not be zero (need not be unit; parameters are in its units).
    static void cut(const CellLocator& locator, const TripletD& point, const TripletD& direction, LineCutResult& out);
};

} // namespace zel

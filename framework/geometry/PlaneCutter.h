#pragma once
// The cut of a plane through the volume cells of a mesh, as polygons.
//
// Every node gets its signed distance n·x - d once; only cells whose nodes lie on both
// sides are cut. A cut point is made once per cut mesh edge and shared by all the cells
// around that edge; a node on the plane (within the rounding of its distance) gives one
// vertex, whatever the number of edges and cells that meet there. Each cut cell gives one
// convex polygon (3 to 6 vertices for a hexahedron, fewer for the other cells) ordered by
// the right-hand rule around the plane normal. Degenerate polygons (a plane that only
// touches a cell at a node or an edge) are dropped; a cell face lying in the plane gives
// one polygon, not one per cell on either side.
//
// Each vertex carries its edge-interpolation record: the two nodes of the cut edge and the
// weight of the first (a node on the plane: that node twice and weight 1).
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/MeshView.h"

#include <array>
#include <cstdint>
#include <vector>

namespace zel {

struct PlaneCutResult {
    std::vector<TripletF> vertices;         // #V cut points
    std::vector<EdgeInterpolantData> edges; // #V records, one per vertex
    // Polygons by vertex count: faces[0] triangles, [1] quadrilaterals, [2] pentagons,
    // [3] hexagons; each #F by (3 + k) vertex indices.
    std::array<std::vector<int>, 4> faces;
    double area = 0.0;         // total area of the polygons
    std::int64_t cutCells = 0; // cells that produced a polygon

    std::size_t faceCount() const {
        std::size_t n = 0;
        for (std::size_t k = 0; k < faces.size(); ++k) n += faces[k].size() / (k + 3);
        return n;
    }
};

class PlaneCutter {
public:
    // Cuts the volume blocks of `mesh` with the plane n·x = d (n need not be unit; the
    // polygons are oriented with it). `out` is overwritten.
    static void cut(const MeshView& mesh, const TripletD& normal, double d, PlaneCutResult& out);
};

} // namespace zel

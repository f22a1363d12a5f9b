#pragma once
// Closest points on a surface: a bounding-volume hierarchy over the faces of a mesh view.
//
// Triangles are kept as they are; a face of n >= 4 vertices is fanned into n triangles from
// its vertex centroid (exact for planar faces; on a warped quadrilateral the fan is the
// same surface the area weights integrate over). A closest point's weights on the face's
// vertices come from its barycentric coordinates in the fan triangle, the centroid's share
// going to every vertex equally, so linear fields on planar faces are reproduced exactly.
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/MeshView.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace zel {

// The closest point found on the surface.
struct SurfaceHit {
    std::size_t block = 0;     // block of the view
    std::int64_t face = -1;    // face within the block
    int sub = -1;              // fan triangle of the face (-1: the face is a triangle)
    double bary[3] = {0, 0, 0};
    double point[3] = {0, 0, 0};
    double distance = std::numeric_limits<double>::infinity();
};

class SurfaceLocator {
public:
    // Indexes the face blocks of `faces` (volume blocks are ignored). The view's arrays must
    // outlive the locator and stay unchanged.
    explicit SurfaceLocator(const MeshView& faces);

    // The closest point of the surface to p, if one lies within maxDistance.
    bool closest(const TripletD& p, SurfaceHit& hit,
                 double maxDistance = std::numeric_limits<double>::infinity()) const;
    // Appends the (vertex, weight) pairs of a hit (one per vertex of the face).
    void weights(const SurfaceHit& hit, std::vector<NodeWeight>& out) const;
    // Largest edge length of the face of a hit.
    double faceSize(const SurfaceHit& hit) const;

    std::size_t triangleCount() const { return m_tris.size(); }
    const MeshView& view() const { return m_view; }

private:
    struct Tri {
        float a[3], b[3], c[3];
        std::uint32_t block;
        std::int32_t sub;
        std::int64_t face;
    };
    struct Node {
        float lo[3], hi[3];
        std::uint32_t first;   // leaf: first triangle; inner: first of the two children
        std::uint32_t count;   // leaf: number of triangles; inner: 0
    };
    void build(std::uint32_t self, std::uint32_t begin, std::uint32_t end, std::vector<std::uint32_t>& order,
               const std::vector<float>& centres);

    MeshView m_view;
    std::vector<Tri> m_tris;
    std::vector<Node> m_nodes;
};

} // namespace zel

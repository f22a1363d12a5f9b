#pragma once
// Closest points on a surface: a bounding-volume hierarchy over the faces of a mesh view,
// built on flat arrays (median splits of a compact array of face centres, boxes bottom-up),
// each face's corner coordinates packed in leaf order so that a leaf is read contiguously.
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
    std::size_t block = 0;  // block of the view
    std::int64_t face = -1; // face within the block
    int sub = -1;           // fan triangle of the face (-1: the face is a triangle)
    double bary[3] = {0, 0, 0};
    double point[3] = {0, 0, 0};
    double distance = std::numeric_limits<double>::infinity();
    std::uint32_t primitive = std::numeric_limits<std::uint32_t>::max(); // the locator's face record
};

class SurfaceLocator {
public:
    // Indexes the face blocks of `faces` (volume blocks are ignored). The view's arrays must
    // outlive the locator and stay unchanged.
    explicit SurfaceLocator(const MeshView& faces);

    // The closest point of the surface to p, if one lies within maxDistance. `hint`: a hit of
    // an earlier query (a neighbouring point), whose face is tried first so that the search
    // starts with a close bound; the answer is the same without it (up to ties).
    bool closest(const TripletD& p, SurfaceHit& hit, double maxDistance = std::numeric_limits<double>::infinity(),
                 const SurfaceHit* hint = nullptr) const;
    // Appends the (vertex, weight) pairs of a hit (one per vertex of the face).
    void weights(const SurfaceHit& hit, std::vector<NodeWeight>& out) const;
    // Largest edge length of the face of a hit.
    double faceSize(const SurfaceHit& hit) const;

    std::size_t faceCount() const { return m_prims.size(); }
    std::size_t nodeCount() const { return m_wide.size(); }
    const MeshView& view() const { return m_view; }

private:
    // One face, in leaf order: its corners (and, for n >= 4, the fan centroid first) at
    // m_coords[offset ...].
    struct Prim {
        std::uint32_t block;
        std::uint32_t offset;
        std::int64_t face;
        std::int32_t corners;
    };
    struct Node {
        float lo[3], hi[3];
        std::uint32_t first; // leaf: first face; inner: first of the two children
        std::uint32_t count; // leaf: number of faces; inner: 0
    };
    struct BuildItem {
        float centre[3];
        std::uint32_t prim;
    };
    // The searched tree: four children a node, their boxes side by side per axis so that the
    // four distances are computed together. Child c is a leaf of faces [first[c], first[c] +
    // count[c]) when 0 < count[c] < kEmpty, the node first[c] when count[c] == 0, nothing when
    // count[c] == kEmpty.
    struct Wide {
        float lo[3][4], hi[3][4];
        std::uint32_t first[4];
        std::uint32_t count[4];
    };
    static constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();
    void build(std::uint32_t self, std::uint32_t begin, std::uint32_t end, std::vector<BuildItem>& items);
    // The wide node of binary node `node`'s children and grandchildren; returns its index.
    std::uint32_t widen(std::uint32_t node);
    // The query point rounded to single precision and the slack of box distances from it.
    struct Probe {
        float point[3];
        float slack;
    };
    // The squared distance from p to face record `prim` (within `best`), filling `hit`.
    bool testPrim(std::uint32_t prim, const double p[3], const Probe& probe, double& best, bool found,
                  SurfaceHit& hit) const;

    MeshView m_view;
    std::vector<Prim> m_prims;
    std::vector<float> m_coords;
    std::vector<Node> m_nodes; // the binary tree, while building
    std::vector<Wide> m_wide;
    float m_extent = 0.0f; // largest coordinate magnitude of the faces
};

} // namespace zel

#pragma once
// An octree over the faces of one face set: which faces contain or touch a point.
//
// Faces are stored in every leaf that their bounding box (grown by their tolerance)
// overlaps; a node splits while it holds more than 8 faces, up to depth 12, and stops
// splitting where that would not separate its faces. A query walks to the leaf of the point
// and tests its faces exactly (triangles; faces of 4 or more vertices fanned from their
// vertex centroid). A face touches the point when the point lies within 1e-5 of the face's
// size plus four float roundings of the point's coordinates: a mesh node that is a corner
// of the face, or lies on its edge or inside it, touches it.
//
// Usage: Construct(geometry, set); then per point IntersectWithPoint(p) and
// GetNextIntersection() until it returns -1.
#include "framework/geometry/Geometry.h"

#include <cstdint>
#include <span>
#include <vector>

namespace zel {

class Octree {
public:
    Octree() = default;

    // Builds the tree over the faces of `set`, whose vertex indices refer to `vertices`
    // (the geometry's). Any earlier tree is dropped. The arrays are copied where needed:
    // the tree does not refer to the geometry afterwards.
    void Construct(const Geometry& geometry, const ShapeSet& set);
    void Construct(std::span<const TripletF> vertices, const ShapeSet& set);

    // Finds the faces that contain or touch p; returns their number. GetNextIntersection
    // then returns them one by one (face indices of the set, ascending), and -1 at the end.
    int IntersectWithPoint(const TripletF& p);
    int GetNextIntersection();

    std::size_t getNumFaces() const { return m_faceCount; }
    std::size_t getNumNodes() const { return m_nodes.size(); }

private:
    struct Node {
        float lo[3], hi[3];
        std::int32_t child;  // first of 8 children, or -1 for a leaf
        std::uint32_t first; // leaf: range of m_items
        std::uint32_t count;
    };
    void split(std::size_t node, std::vector<int>& faces, int depth);
    bool touches(int face, const double p[3]) const;

    std::vector<TripletF> m_points; // corners of the faces, #faces by n
    std::vector<float> m_tolerance; // per face
    std::vector<float> m_boxes;     // per face: lo, hi (6 floats)
    int m_nodesPerFace = 0;
    std::size_t m_faceCount = 0;
    std::vector<Node> m_nodes;
    std::vector<int> m_items;
    std::vector<int> m_result;
    std::size_t m_next = 0;
};

} // namespace zel

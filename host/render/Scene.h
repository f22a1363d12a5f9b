#pragma once
// What a picture draws: the faces (as triangles) or the lines of a location's geometries,
// with one value per vertex. The geometries are copied in, so a scene outlives them.
#include "framework/geometry/Containers.h"

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace zel {
class Geometry;
}

namespace zel::host::render {

struct Scene {
    std::vector<TripletF> points;         // #V vertices
    std::vector<float> values;            // #V values (UNDEFINED_VALUE where undefined)
    std::vector<std::uint32_t> triangles; // #T by 3 indices into points
    std::vector<std::uint32_t> edges;     // #E by 2: the faces' own edges (not the fans'), each once
    std::vector<std::uint32_t> lines;     // #L by 2: line elements
    bool samplePoints = false;            // mark the vertices of the lines (a probe rake)

    // Adds the geometry's face sets, each face fanned into triangles from its first vertex
    // (faces with an unset node, -1, are skipped), or, when it has no faces, its line
    // elements; with `withEdges` also the faces' edges. values[i] belongs to vertex i;
    // data::invalid when the sizes differ.
    void add(const Geometry& geometry, std::span<const float> values, bool withEdges);
    // Removes repeated edges (an edge shared by two faces is drawn once).
    void uniqueEdges();

    bool hasFaces() const { return !triangles.empty(); }
    bool hasLines() const { return !lines.empty(); }
    // The smallest and largest defined value at the vertices of the triangles and lines;
    // false when there is none.
    bool valueRange(float& min, float& max) const;
    // Σ of the triangles' area vectors (right-hand rule) and Σ of their areas.
    std::pair<TripletD, double> areaSums() const;
    // The vertices used by the triangles and lines.
    std::vector<TripletF> usedPoints() const;
};

} // namespace zel::host::render

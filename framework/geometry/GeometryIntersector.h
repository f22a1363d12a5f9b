#pragma once
// The slice of a domain mesh by a plane, as a surface geometry (see PlaneCutter.h for how
// the cut is formed).
#include "framework/geometry/Geometry.h"
#include "framework/geometry/PlaneCutter.h"

#include <string>

namespace zel {

class GeometryIntersector {
public:
    // Fills `geometry` (empty) with the cut of the plane normal·x = planeConstant through the
    // cells of `domainGeometry`: the cut points as vertices, the polygons in face sets by
    // vertex count ("TRIANGLE" of shape type 2, "QUAD" 3, "PENTAGON" 8, "HEXAGON" 9; only
    // those that have faces), oriented with the normal, and an EdgeInterpolant for `domain`
    // (per vertex the two nodes of the cut mesh edge and the weight of the first). A plane
    // that misses the mesh leaves the geometry without vertices. Returns the number of faces.
    static std::size_t intersectWithGeometry(Geometry* geometry, const std::string& domain,
                                             const Geometry* domainGeometry, const TripletF& normal,
                                             float planeConstant);
    // The same with the cut already made (for callers that keep the PlaneCutResult).
    static std::size_t fill(Geometry& geometry, const std::string& domain, PlaneCutResult&& cut);
};

} // namespace zel

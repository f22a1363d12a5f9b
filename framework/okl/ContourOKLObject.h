#pragma once
// A contour ("CONTOUR"): the levels of a scalar variable on surface locations.
//
// Parameters:
//   "Location List"      the surface locations, comma-separated (their geometries with faces
//                        are contoured; lines and points are not);
//   "Colour Variable"    the variable (a vector variable contributes its magnitude);
//   "Number of Contours" N >= 2 levels, evenly spaced over the range, the first at its
//                        minimum and the last at its maximum;
//   "Range"              "Local" (the variable's range over the locations), "Global" (over
//                        the contour's "Domain List" domains, else as "Local") or "User
//                        Specified" ("Min" and "Max", in the variable's stored units).
//
// For every geometry name of the locations (a domain's piece, or the empty name for a
// whole-location geometry) the contour holds one ContourGeometry under that name, built from
// the locations' geometries of that name; with v_0 < ... < v_{N-1} the level values, its
// level k (counted from 0) holds
//   - the isoline segments where the variable equals v_k (a vertex counts as above the
//     level when its value is >= v_k), #S by 2 indices into the contour's vertices;
//   - the fringe faces of the band v_k <= f < v_{k+1} (the last level: f >= v_{N-1}), the
//     parts of the location's faces in that band; values below v_0 are in no band.
// The variable is taken as linear along each face edge. A face is clipped whole when each
// level crosses its boundary at most twice; otherwise (a saddle) it is clipped as a fan of
// triangles from its first vertex, so the bands of a face never overlap. Faces with an
// undefined value are left out. Fringe faces are stored in the face sets "<name>:TRIANGLE",
// ":QUAD", ":PENTAGON", ":HEXAGON" by their vertex count (larger pieces are split into
// triangles), <name> being the contour's name; the geometry's lines hold every isoline
// segment of every level (for drawing).
//
// Each contour vertex is a location vertex or a point on a location face edge; the
// geometry's HybridInterpolant records it as (source, [(vertex, weight)...]) onto the
// location geometries it was built from (its sources, in location order). Those geometries
// stay owned by their locations: the contour must be rebuilt (calculateContours) when a
// location is rebuilt, before its variables are asked for again.
#include "framework/okl/GeometricOKLObject.h"

#include <vector>

namespace zel {

class ContourOKLObject : public GeometricOKLObject {
public:
    ContourOKLObject(const std::string& type, const std::string& name) : GeometricOKLObject(type, name) {}
    ~ContourOKLObject() override;

    // Discards the contour's geometries and builds them again from the parameters (see
    // above). An empty "Location List" builds nothing. Errors (class "ContourOKLObject",
    // operation "calculateContours"; the object is then left without geometry):
    // data::notFound for a location that does not exist or a variable that no location
    // geometry provides; data::invalid for a location that is not a geometric object (or is
    // the contour itself), N < 2, or Max < Min.
    void calculateContours();

    // The level values of the current parameters and location data (empty when the
    // variable has no defined value there).
    std::vector<float> getLevelValues() const;

    // Rebuilds the contours, then does what every object does after its settings.
    void finishParameters() override;

    bool useVariableColouring() const override { return !getColourVariableName().empty(); }
    // The range of the levels (see "Range" above).
    bool getColourRange(float& min, float& max) const override;

private:
    // The location geometries with faces, grouped by geometry name (in order of appearance).
    struct Group {
        std::string name;
        std::vector<Geometry*> sources;
    };
    std::vector<Group> collectSources() const;
};

} // namespace zel

#pragma once
// The calc function of "USER SURFACE" objects. "Option" selects how the surface is made:
//
//   "From File"              read from a user surface file ("Input File",
//                            UserSurfaceGeometryReader); one ExternalGeometry under the empty
//                            geometry name, located in the object's domains; the file's
//                            variables are served by the reader the geometry keeps.
//   "From Contour"           the fringe faces of level "Contour Level" (1-based) of the
//                            contour "Contour Name"; one geometry per domain of the object
//                            (and one under the empty name for the contour's whole-location
//                            geometry) that interpolates through the contour's location
//                            surfaces.
//   "Offset From Surface"    the geometries of "Surface Name" moved along their vertex normals
//                            ("Offset Type" = "Normal") or along "Offset Direction"
//                            ("Translational") by "Offset Distance", or by the value of
//                            "Offset Variable" at each vertex when "Offset Mode" = "Variable";
//                            one geometry per geometry of the source, under the same name.
//   "Transformed Surface"    the geometries of "Surface Name" scaled about the centre of
//                            their bounding box ("Apply Scale", "Scale Factor"), rotated about
//                            an axis ("Apply Rotation", "Rotation Angle", "Rotation Axis
//                            Type", "Principal Axis" or "Rotation Axis From"/"To") and
//                            translated ("Apply Translation", "Translation Vector"), in that
//                            order; the copies are joined into one geometry under the empty
//                            name, located in the object's domains and the source's.
//   "Boundary Intersection"  the strip of faces of the boundaries of "Boundary List" that
//                            the slice plane or isosurface "Location" touches where it meets
//                            them: one geometry per domain of the object, with the
//                            boundaries' own faces, vertex interpolation and "momentum flow"
//                            values, so that flows on it agree with those on the boundaries.
//                            Faces are found with an octree over each boundary face set, or,
//                            when the environment variable ZEL_NO_OCTREE is set, by the mesh
//                            nodes they share with the touched nodes. Missing parameters and
//                            objects are reported as warnings and build nothing.
//   "NORVA"                  read from a structural solver's surface load file ("Input
//                            File", lengths in "File Units", mid-side nodes as vertices when
//                            "Use Mid Side Nodes"; NorvaGeometryReader): one ExternalGeometry
//                            under the empty name, projected onto the boundary "Associated
//                            Boundary" when "Associated Boundary Specified" (its load
//                            variables and the import report then come from that boundary),
//                            else located in the object's domains. The file's element type
//                            and key option are written back into "Surface Element Type"
//                            and "NORVA Key Option".
//   anything else            nothing is built ("Patran Import" included).
//
// A source geometry under the empty name (a file surface) spans no single domain: its offset
// copy is located in the offset surface's own domains.
//
// The contour surface's interpolant points at the geometries of the contour's locations,
// which those objects own: rebuild the user surface after its contour (which is rebuilt
// after its locations), as the database does when they change in that order.
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "locators/CalcFuncExecutive.h"

#include <array>
#include <string>
#include <vector>

namespace zel {

class ContourGeometry;
class DomainGeometryBase;
class GeometricOKLObject;
class Geometry;
class ProgressTracker;
class ShapeSet;
class UserSurfaceGeometryReader;

// "top" rebuilds, "colour" recolours, "render" draws and clears the change flags, "glyph" and
// other actions do nothing. Failures pass on; a failed "top" leaves the object without
// geometry (CalcFuncExecutive.h).
class ZEL_API UserSurfaceCalcFunc : public CalcFuncExecutive {
public:
    // `flag` is passed as the last flag of every external interpolant the surface asks for.
    explicit UserSurfaceCalcFunc(bool flag = true);
    CalcBase* clone() const override { return new UserSurfaceCalcFunc(*this); }

    bool getFlag() const { return m_flag; }
    // Builds in progress; a build's progress is named "User Surface <count>".
    static unsigned getBuildsInProgress();

    // Moves every vertex of `copy` (a mesh copy of `source`, same vertex order): "Normal"
    // along the source's vertex normal, "Translational" along `direction` (unit length), by
    // `distance`, or by the source's scalar variable `variable` at the vertex when that is
    // named and the source provides it per vertex (a vertex whose value is undefined stays).
    // Any other type moves nothing.
    static void offsetGeometry(Geometry* source, Geometry* copy, const std::string& type, float distance,
                               const TripletF& direction, const std::string& variable);
    // Scales `copy` about the centre of its bounding box by `scale`, rotates it by `angle`
    // radians about the axis from `axisFrom` to `axisTo` (right-hand rule), translates it by
    // `translation`; each step only when applied. `source` is the geometry copied (unused:
    // the copy holds the mesh).
    static void transformGeometry(Geometry* source, Geometry* copy, bool applyScale, bool applyTranslation,
                                  bool applyRotation, float scale, const TripletF& translation,
                                  const TripletF& axisFrom, const TripletF& axisTo, float angle);

private:
    struct OneStepMode;
    static const OneStepMode* findOneStepMode(const std::string& option);
    void build(GeometricOKLObject& object) override;
    void draw(GeometricOKLObject& object) override;
    void doFileSurface(GeometricOKLObject& object, ProgressTracker& progress) const;
    static void loadData(UserSurfaceGeometryReader* reader, Geometry* geometry);
    // The TRIANGLE, QUAD, PENTAGON and HEXAGON sets of a file surface (owned by `geometry`).
    using FileFaceSets = std::array<ShapeSet*, 4>;
    static FileFaceSets addFileFaceSets(Geometry& geometry);
    void doLoadFileSurface(GeometricOKLObject& object, ProgressTracker& progress) const;
    void doContourSurface(GeometricOKLObject* object) const;
    static int collectFringeFaces(Geometry* output, ContourGeometry* contour, int level, const std::string& domain);
    void doOffsetSurface(GeometricOKLObject* object) const;
    void doTransformedSurface(GeometricOKLObject* object) const;
    void doIntersection(GeometricOKLObject* object) const;
    // Fills `output` with the faces of `boundaries` (their geometries of `domain`, not owned)
    // that touch the mesh nodes of the edges that `location`'s free edges cross on them.
    static void calcIntersect(Geometry* output, std::vector<Geometry*>& boundaries, Geometry* location,
                              const std::string& domain, DomainGeometryBase* domainGeometry);

    bool m_flag = true;
    static unsigned s_buildsInProgress;
};

} // namespace zel

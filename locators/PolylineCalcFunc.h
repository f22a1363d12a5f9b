#pragma once
// The calc function of "POLYLINE" objects. "Option" selects how the polyline is built:
//
//   "From File"              the points and segments of "Input File" (PolylineGeometryReader),
//                            one ExternalGeometry under the empty name that keeps the reader,
//                            so the file's variables are the polyline's; interpolant over the
//                            object's domains;
//   "Boundary Intersection"  per domain of the object, the free edges of the "Location"
//                            surface (a boundary, a slice plane or an isosurface) that lie on
//                            the boundaries of "Boundary List", chained into paths, under the
//                            domain's name, with the edge or vertex interpolant of the
//                            location; with "Add Local Variable" the boundary variables
//                            (force, normal, heat flux) are computed along it;
//   "From Contour"           level "Contour Level" (from 1) of the contour "Contour Name",
//                            its isoline segments in chain order, per geometry name of the
//                            contour;
//   anything else            nothing is built.
//
// Problems of the boundary-intersection settings are reported (warnings, BoundaryIntersection.h)
// and leave the polyline empty; other failures pass on, and a failed rebuild leaves no
// geometry (CalcFuncExecutive.h). "render" draws what the mode built and clears the change
// flags; "glyph" and other actions are ignored.
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "locators/CalcFuncExecutive.h"

#include <string>
#include <vector>

namespace zel {

class EdgeInterpolant;
class GeometricOKLObject;
class Geometry;

class ZEL_API PolylineCalcFunc : public CalcFuncExecutive {
public:
    // `interpolantFlag` is passed as the last flag of every external interpolant.
    explicit PolylineCalcFunc(bool interpolantFlag = true);
    CalcBase* clone() const override { return new PolylineCalcFunc(*this); }

    bool getFlag() const { return m_flag; }

    // Appends to `result` the polyline of the free edges of `surface` that lie on
    // `boundaries` (not owned; the boundary objects own them): the edges chained by vertex,
    // then the chains whose ends lie in the same place joined (SegmentChains.h); vertices in
    // order of first use along the chains, one segment per consecutive pair.
    // With `makeInterpolant` the result gets a new interpolant onto `domain`, copied from the
    // surface's: its VertexInterpolant when `vertexInterpolant` is set (a boundary), else its
    // EdgeInterpolant (a slice); vertices appended by earlier calls are then not interpolated.
    // With `boundaryVariables` too and an edge interpolant, the boundary variables are
    // computed on the result, named after it. True when the result has a vertex.
    // internal::nullPointer "Null pointers provided to function." for a null result or
    // surface; "%s %s does not have an interpolant." (or "an edge interpolant.", "a vertex
    // interpolant.") with "Locator" and the surface's name.
    static bool calcIntersect(Geometry* result, std::vector<Geometry*>& boundaries, Geometry* surface,
                              bool vertexInterpolant, const std::string& domain, bool makeInterpolant,
                              bool boundaryVariables);

private:
    void build(GeometricOKLObject& object) override;
    void draw(GeometricOKLObject& object) override;
    void readFromFile(GeometricOKLObject& object) const;
    void doIntersection(GeometricOKLObject& object) const;
    void doContourLine(GeometricOKLObject& object) const;

    // The boundary variables along a boundary-intersection polyline (the phases from the data
    // storage): "[phase.]Normalized Force on <name>", "Boundary Normal on <name>" (each with
    // its X, Y, Z components, declared in the database) and "[phase.]Heat Flux". `interpolant`
    // is the polyline's (not owned); the boundaries are borrowed.
    static void calcBoundaryVariables(EdgeInterpolant& interpolant, Geometry& polyline,
                                      const std::vector<Geometry*>& boundaries, const std::string& name);
    static void calcForce(EdgeInterpolant& interpolant, Geometry& polyline, const std::vector<Geometry*>& boundaries,
                          const std::string& name);
    static void calcNormals(EdgeInterpolant& interpolant, Geometry& polyline, const std::vector<Geometry*>& boundaries,
                            const std::string& name);
    static void calcHeatFlux(EdgeInterpolant& interpolant, Geometry& polyline, const std::vector<Geometry*>& boundaries,
                             const std::string& name);

    bool m_flag = true;
};

} // namespace zel

#pragma once
// What the calc functions of the location types share: how a rebuild runs, how a geometry
// is given its interpolant and handed to its object, how points are read, and how a line
// geometry is drawn.
//
// A calc function is called by the host with an object and an action:
//   "top"     prepare the object for an update, discard its geometries, build new ones;
//             a failed build discards again, so that the object is left without geometry;
//   "colour"  the object recomputes its colouring;
//   "render"  the calc function's render step, the default legend, the change flags;
//   others    as the type supports them ("glyph", "symbol"); unknown actions are ignored.
//
// Geometries are attached under a geometry name: the empty name for a geometry that spans
// the object's domains, a domain name for one domain's piece. The object owns what is
// attached; until then a GeometryAutoPtr holds the geometry under construction.
//
// All coordinates are in the base units of the quantity "Length".
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "framework/geometry/Geometry.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zel {

class ExternalInterpolant;
class GeometricOKLObject;
class OKLObject;

class ZEL_API LocatorFrame {
public:
    // The base units of "Length", in which every point parameter is read.
    static std::string lengthUnits();

    // A point parameter ("Point 1") in length units. data::invalid "Parameter '%s' must be
    // defined by %d float values." (class `className`, operation `operation`) unless it holds
    // exactly three values.
    static TripletF readPoint(const OKLObject& object, const std::string& name, const char* className,
                              const char* operation);

    // The "top" action of the frame: prepare, discard, build. A failure of the build
    // discards the object's geometries once more and passes on.
    static void rebuild(GeometricOKLObject& object, const std::function<void()>& build);

    // The interpolant that maps `vertices` into the named domain meshes
    // (DomainGeometryBase::makeExternalInterpolant). Owned by the caller.
    static std::unique_ptr<ExternalInterpolant> makeInterpolant(const TripletZELVector& vertices,
                                                               const std::vector<std::string>& domains,
                                                               bool firstFlag, bool lastFlag);

    // Hands the geometry held by `geometry` to the object under `name`; the auto-pointer is
    // empty afterwards (the object owns the geometry, also when attaching fails).
    static void attach(GeometricOKLObject& object, const std::string& name, GeometryAutoPtr& geometry);

    // The domain geometry that the database object `domain` holds under the domain's name.
    // Null when no object of that name exists. internal::badParam "Bad cast of %s '%s' to
    // %s." when the object is not a geometric object, "Cannot get geometry for domain '%s'."
    // when it has no geometry of that name (class `className`, operation `operation`).
    static const Geometry* findDomainGeometry(const std::string& domain, const char* className,
                                              const char* operation);

    // The render step of line geometries (lines, polylines, user surfaces): purges the object
    // from the viewer, then for each geometry name in `names` either draws the object's
    // geometry of that name with the object's colour, line width, colour scale and
    // visibility, or deletes that entry from the viewer when the object has no such geometry.
    // internal::nullPointer "Couldn't find variable %s." when variable colouring is on and the
    // geometry cannot provide the colour variable, "Couldn't find variable okl object %s."
    // when the variable was not made by a locator and no object of its name exists (class
    // `className`, operation "render"). Any failure removes every drawing of the object and
    // passes on.
    static void renderLines(GeometricOKLObject& object, const std::vector<std::string>& names,
                            const char* className);
};

} // namespace zel

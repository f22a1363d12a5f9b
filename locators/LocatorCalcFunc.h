#pragma once
// What the calc functions of the location types share besides their executive
// (CalcFuncExecutive.h, which owns the actions): how a geometry is given its interpolant and
// handed to its object, how points are read, how geometries are drawn, how problems with the
// settings are reported, and how vertices are renumbered by first use.
//
// Geometries are attached under a geometry name: the empty name for a geometry that spans
// the object's domains, a domain name for one domain's piece. The object owns what is
// attached; until then a GeometryAutoPtr holds the geometry under construction.
//
// All coordinates are in the base units of the quantity "Length".
#include "framework/ZelExport.h"
#include "framework/core/Error.h"
#include "framework/geometry/Containers.h"
#include "framework/geometry/Geometry.h"

#include <cassert>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zel {

class ColourMap;
class ExternalGeometry;
class ExternalInterpolant;
class GeometricOKLObject;
class GraphicObject;
class OKLObject;
class Variable;

class ZEL_API LocatorFrame {
public:
    // The base units of "Length", in which every point parameter is read.
    static std::string lengthUnits();

    // A point parameter ("Point 1") in length units. data::invalid "Parameter '%s' must be
    // defined by %d float values." (class `className`, operation `operation`) unless it holds
    // exactly three values.
    static TripletF readPoint(const OKLObject& object, const std::string& name, const char* className,
                              const char* operation);

    // The interpolant that maps `vertices` into the named domain meshes
    // (DomainGeometryBase::makeExternalInterpolant). Owned by the caller.
    static std::unique_ptr<ExternalInterpolant> makeInterpolant(const TripletZELVector& vertices,
                                                                const std::vector<std::string>& domains, bool firstFlag,
                                                                bool lastFlag);

    // Hands the geometry held by `geometry` to the object under `name`; the auto-pointer is
    // empty afterwards (the object owns the geometry, also when attaching fails).
    static void attach(GeometricOKLObject& object, const std::string& name, GeometryAutoPtr& geometry);

    // The domain geometry that the database object `domain` holds under the domain's name.
    // Null when no object of that name exists. internal::badParam "Bad cast of %s '%s' to
    // %s." when the object is not a geometric object, "Cannot get geometry for domain '%s'."
    // when it has no geometry of that name (class `className`, operation `operation`).
    static const Geometry* findDomainGeometry(const std::string& domain, const char* className, const char* operation);

    // The frame of a render step: purges the object from the viewer, then for each geometry
    // name in `names` either draws the object's geometry of that name or, when the object has
    // no such geometry, deletes that entry from the viewer. The graphic of a geometry carries
    // the object's path, the geometry name and the colour map of "Colour Map", and is marked
    // changed when the object's geometry or rendering changed; `style` sets the rest, and may
    // raise. Any failure removes every drawing of the object and passes on.
    using GraphicStyle =
        std::function<void(GraphicObject& graphic, Geometry& geometry, const std::string& name, ColourMap& map)>;
    static void drawGeometries(GeometricOKLObject& object, const std::vector<std::string>& names,
                               const GraphicStyle& style);

    // The render step of line geometries (lines, polylines): drawGeometries with the object's
    // colour, line width, colour scale and visibility. internal::nullPointer "Couldn't find
    // variable %s." when variable colouring is on and the geometry cannot provide the colour
    // variable, "Couldn't find variable okl object %s." when the variable was not made by a
    // locator and no object of its name exists (class `className`, operation "render").
    static void renderLines(GeometricOKLObject& object, const std::vector<std::string>& names, const char* className);

    // The pieces of a colour-by-variable render step (class `className`, operation "render"):
    // the variable `variableName` that `holder` provides on its geometry `name`, else
    // internal::nullPointer `missing` (a format of the variable name); internal::nullPointer
    // `undefined` (a format of the variable name) unless a locator made the variable or the
    // database defines it; the graphic coloured by the variable with the object's variable
    // colouring and colour range.
    static Variable& findColourVariable(GeometricOKLObject& holder, const std::string& variableName,
                                        const std::string& name, const char* className, const char* missing);
    static void requireDefined(const Variable& variable, const std::string& variableName, const char* className,
                               const char* undefined);
    static void colourBy(GraphicObject& graphic, const GeometricOKLObject& object, const Variable& variable);

    // A new ExternalGeometry (a surface or polyline read from a file), held by `holder`.
    // internal::error "Cast to ExternalGeometry failed." (class `className`, operation
    // `operation`) when the geometry kernel makes another kind.
    static ExternalGeometry& newExternalGeometry(GeometryAutoPtr& holder, const char* className, const char* operation);

    // Reports a problem with the object's settings under the operation that found it; the
    // caller then builds less or nothing.
    static void report(const char* className, const char* operation, const std::string& message,
                       int errorType = ErrWarning);
};

// Appends to `vertices` the vertices of `source` that `indices` use, in order of first use,
// and makes `indices` refer to the appended ones; added(source index) is called for each
// vertex appended, in that order.
template <typename Added>
void appendByFirstUse(std::span<int> indices, std::span<const TripletF> source, TripletZELVector& vertices,
                      Added&& added) {
    std::vector<int> renumbered(source.size(), -1);
    for (int& index : indices) {
        assert(index >= 0 && std::size_t(index) < source.size());
        int& target = renumbered[std::size_t(index)];
        if (target < 0) {
            target = static_cast<int>(vertices.size());
            vertices.push_back(source[std::size_t(index)]);
            added(index);
        }
        index = target;
    }
}

} // namespace zel

#include "locators/LocatorCalcFunc.h"

#include "domain/DomainGeometryBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Interpolant.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitsConverter.h"
#include "framework/viewer/Colour.h"
#include "framework/viewer/GraphicObject.h"
#include "framework/viewer/ViewerInterface.h"

namespace zel {

std::string LocatorFrame::lengthUnits() { return UnitsConverter::instance()->getBaseUnitsFromQuant("Length"); }

TripletF LocatorFrame::readPoint(const OKLObject& object, const std::string& name, const char* className,
                                 const char* operation) {
    const std::vector<float> values = object.getFloatArray(name, lengthUnits());
    if (values.size() != 3)
        throw data::invalid(className, operation, _("Parameter '%s' must be defined by %d float values.", name, 3),
                            ErrError);
    return {values[0], values[1], values[2]};
}

std::unique_ptr<ExternalInterpolant> LocatorFrame::makeInterpolant(const TripletZELVector& vertices,
                                                                   const std::vector<std::string>& domains,
                                                                   bool firstFlag, bool lastFlag) {
    return std::unique_ptr<ExternalInterpolant>(
        DomainGeometryBase::makeExternalInterpolant(vertices, domains, firstFlag, lastFlag));
}

void LocatorFrame::attach(GeometricOKLObject& object, const std::string& name, GeometryAutoPtr& geometry) {
    object.setGeometry(name, geometry.release());
}

const Geometry* LocatorFrame::findDomainGeometry(const std::string& domain, const char* className,
                                                 const char* operation) {
    OKLObject* object = ObjectDB::instance()->getObjectByName(domain);
    if (object == nullptr) return nullptr;
    auto* geometric = dynamic_cast<GeometricOKLObject*>(object);
    if (geometric == nullptr)
        throw internal::badParam(className, operation,
                                 _("Bad cast of %s '%s' to %s.", "OKLObject", domain, "GeometricOKLObject"), ErrError);
    const Geometry* geometry = geometric->getGeometry(domain);
    if (geometry == nullptr)
        throw internal::badParam(className, operation, _("Cannot get geometry for domain '%s'.", domain), ErrError);
    return geometry;
}

void LocatorFrame::drawGeometries(GeometricOKLObject& object, const std::vector<std::string>& names,
                                  const GraphicStyle& style) {
    ViewerInterface* viewer = ViewerInterface::instance();
    const std::string path = object.getPath();
    try {
        object.purgeFromViewer();
        for (const std::string& name : names) {
            GraphicObject graphic;
            graphic.setPath(path);
            graphic.setDomain(name);
            ColourMap* map = ColourMapDB::instance()->getMap(
                object.hasParam("Colour Map") ? object.getValue("Colour Map") : std::string());
            graphic.setColourMap(map);
            Geometry* geometry = object.getGeometry(name);
            if (geometry == nullptr) {
                viewer->deleteFromViewer(path, name, -1, false);
                continue;
            }
            graphic.setGeometry(geometry);
            if (object.isGeometryChanged() || object.isRenderChanged()) graphic.setChanged(true);
            style(graphic, *geometry, name, *map);
            object.draw(&graphic);
        }
    } catch (...) {
        viewer->deleteFromViewer(path, ViewerInterface::AllGeometries, -1, false);
        throw;
    }
}

void LocatorFrame::renderLines(GeometricOKLObject& object, const std::vector<std::string>& names,
                               const char* className) {
    drawGeometries(object, names, [&](GraphicObject& graphic, Geometry&, const std::string& name, ColourMap& map) {
        const std::string mode = object.getValue("Colour Mode");
        graphic.setColourMode(mode);
        graphic.setConstantColour(map.addCustomColour(Colour::fromValues(object.getFloatArray("Colour"))));
        if (mode != "Constant") {
            const std::string variableName = object.getColourVariableName();
            Variable& variable =
                findColourVariable(object, variableName, name, className, "Couldn't find variable %s.");
            colourBy(graphic, object, variable);
            requireDefined(variable, variableName, className, "Couldn't find variable okl object %s.");
        }
        graphic.setLineWidth(object.getFloatValue("Line Width"));
        if (object.hasParam("Colour Scale")) graphic.setColourScale(object.getValue("Colour Scale"));
        if (!object.getBoolValue("Visibility")) graphic.setVisible(false);
    });
}

Variable& LocatorFrame::findColourVariable(GeometricOKLObject& holder, const std::string& variableName,
                                           const std::string& name, const char* className, const char* missing) {
    Variable* variable = holder.getVariable(variableName, name);
    if (variable == nullptr) throw internal::nullPointer(className, "render", _(missing, variableName), ErrError);
    return *variable;
}

void LocatorFrame::requireDefined(const Variable& variable, const std::string& variableName, const char* className,
                                  const char* undefined) {
    // A variable that a locator made lives on the geometry alone; any other must be one the
    // database defines.
    if (variable.getGlobalType() != VarTypeLocal && !ObjectDB::instance()->hasObject(variableName))
        throw internal::nullPointer(className, "render", _(undefined, variableName), ErrError);
}

void LocatorFrame::colourBy(GraphicObject& graphic, const GeometricOKLObject& object, const Variable& variable) {
    graphic.setColourVariable(&variable);
    graphic.setVariableColouring(object.useVariableColouring());
    float min = 0.0f, max = 0.0f;
    if (object.getColourRange(min, max)) graphic.setColourRange(min, max);
}

ExternalGeometry& LocatorFrame::newExternalGeometry(GeometryAutoPtr& holder, const char* className,
                                                    const char* operation) {
    holder.reset(GeometryAPI::instance()->newGeometry("ExternalGeometry", nullptr));
    auto* external = dynamic_cast<ExternalGeometry*>(holder.get());
    if (external == nullptr)
        throw internal::error(className, operation, _("Cast to %s failed.", "ExternalGeometry"), ErrError);
    return *external;
}

void LocatorFrame::report(const char* className, const char* operation, const std::string& message, int errorType) {
    ErrorProgressReporter::instance()->reportError(ErrorMsg(className, operation, message, errorType));
}

} // namespace zel

#include "framework/okl/GeometricObjectTypes.h"

#include "framework/geometry/UserGeometryReader.h"
#include "framework/okl/ContourOKLObject.h"
#include "framework/okl/CoordinateFrameOKLObject.h"
#include "framework/okl/DomainOKLObject.h"
#include "framework/okl/ExpressionsOKLObject.h"
#include "framework/okl/FileVariableObjects.h"
#include "framework/okl/GenericOKLObject.h"
#include "framework/okl/ObjectTypes.h"
#include "framework/okl/PlaneOKLObject.h"
#include "framework/okl/SymbolGeometricOKLObject.h"

namespace zel {

namespace {

template <typename T> ObjectFactoryFn factoryOf() {
    return [](const std::string& type, const std::string& name) -> std::unique_ptr<OKLObject> {
        return std::make_unique<T>(type, name);
    };
}

using P = ParamDefinition;

// What every drawn object has (as the location types of the registry).
std::vector<P> drawingParams(const std::string& colourMode) {
    return {
        P("Domain List", "All Domains"),  P("Visibility", "True"),
        P("Colour Mode", colourMode),     P("Colour", "0.75, 0.75, 0.75"),
        P("Colour Variable", "Pressure"), P("Colour Map", "Default Colour Map"),
        P("Colour Scale", "Linear"),      P("Line Width", "1"),
        P("Transparency", "0.0"),
    };
}

std::vector<P> concat(std::vector<P> own, const std::vector<P>& more) {
    own.insert(own.end(), more.begin(), more.end());
    return own;
}

// Not registered, or only as a name (a reset registry keeps the names of its types).
bool isUndefinedType(const ObjectTypeRegistry& registry, const std::string& type) {
    const ObjectTypeInfo* info = registry.find(type);
    return !info || (info->category.empty() && info->kinds.empty() && info->params.empty());
}

} // namespace

void registerGeometricObjectTypes(ObjectTypeRegistry& registry) {
    if (isUndefinedType(registry, "ISOSURFACE")) {
        ObjectTypeInfo info;
        info.type = "ISOSURFACE";
        info.category = "geometry";
        info.kinds = {"geometry", "point", "surface", "mesh-density", "edge-based"};
        info.params = concat({P("Variable", "Pressure"), P("Value", "0.0")}, drawingParams("Constant"));
        registry.registerType(std::move(info));
    }
    if (isUndefinedType(registry, "CONTOUR")) {
        ObjectTypeInfo info;
        info.type = "CONTOUR";
        info.kinds = {"geometry"};
        info.params = concat({P("Location List", ""), P("Number of Contours", "11"), P("Range", "Local"),
                              P("Min", "0.0"), P("Max", "1.0")},
                             drawingParams("Variable"));
        registry.registerType(std::move(info));
    }

    // A boundary-intersection polyline computes the boundary variables along it when set.
    if (const ObjectTypeInfo* polyline = registry.find("POLYLINE");
        polyline && !polyline->findParam("Add Local Variable"))
        registry.addParams("POLYLINE", {P("Add Local Variable", "False")});

    registry.setFactory("DOMAIN", factoryOf<DomainOKLObject>());
    for (const char* type : {"BOUNDARY", "LINE", "POLYLINE", "USER SURFACE", "ISOSURFACE"})
        registry.setFactory(type, factoryOf<GeometricOKLObject>());
    registry.setFactory("PLANE", factoryOf<PlaneOKLObject>());
    registry.setFactory("POINT", factoryOf<SymbolGeometricOKLObject>());
    registry.setFactory("INTERNAL POINT", factoryOf<SymbolGeometricOKLObject>());
    registry.setFactory("CONTOUR", factoryOf<ContourOKLObject>());
    registry.setFactory("COORD FRAME", factoryOf<CoordinateFrameOKLObject>());
    registry.setFactory("EXPRESSIONS", factoryOf<ExpressionsOKLObject>());
    for (const char* type :
         {"VARIABLE", "SCALAR VARIABLE", "VECTOR VARIABLE", "USER SCALAR VARIABLE", "USER VECTOR VARIABLE"})
        registry.setFactory(type, factoryOf<GenericOKLObject>());

    // Point-list files declare their variables as objects of this database.
    UserGeometryReader::setObjectGenerator(&declareFileVariables);
}

} // namespace zel

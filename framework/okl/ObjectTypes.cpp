#include "framework/okl/ObjectTypes.h"

#include "framework/okl/GeometricObjectTypes.h"

#include <algorithm>

namespace zel {

ObjectTypeRegistry* ObjectTypeRegistry::m_instance = nullptr;

bool ObjectTypeInfo::hasKind(const std::string& kind) const {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

const ParamDefinition* ObjectTypeInfo::findParam(const std::string& name) const {
    for (const auto& p : params)
        if (p.getName() == name) return &p;
    return nullptr;
}

ObjectTypeRegistry* ObjectTypeRegistry::instance() {
    if (!m_instance) m_instance = new ObjectTypeRegistry(); // lives until the process ends
    return m_instance;
}

ObjectTypeRegistry::ObjectTypeRegistry() { registerBuiltins(); }

void ObjectTypeRegistry::registerType(ObjectTypeInfo info) {
    auto it = m_types.find(info.type);
    if (it == m_types.end()) {
        const std::string type = info.type;
        m_types.emplace(type, std::make_unique<ObjectTypeInfo>(std::move(info)));
        return;
    }
    // Replace in place so that references handed out by get() stay valid.
    if (!info.factory) info.factory = std::move(it->second->factory);
    *it->second = std::move(info);
}

void ObjectTypeRegistry::setFactory(const std::string& type, ObjectFactoryFn factory) {
    auto it = m_types.find(type);
    if (it == m_types.end()) {
        ObjectTypeInfo info;
        info.type = type;
        info.factory = std::move(factory);
        m_types.emplace(type, std::make_unique<ObjectTypeInfo>(std::move(info)));
        return;
    }
    it->second->factory = std::move(factory);
}

void ObjectTypeRegistry::addParams(const std::string& type, const std::vector<ParamDefinition>& params) {
    auto it = m_types.find(type);
    if (it == m_types.end()) {
        ObjectTypeInfo info;
        info.type = type;
        it = m_types.emplace(type, std::make_unique<ObjectTypeInfo>(std::move(info))).first;
    }
    auto& own = it->second->params;
    for (const auto& p : params) {
        auto found =
            std::find_if(own.begin(), own.end(), [&](const ParamDefinition& q) { return q.getName() == p.getName(); });
        if (found != own.end())
            *found = p;
        else
            own.push_back(p);
    }
}

bool ObjectTypeRegistry::isRegistered(const std::string& type) const { return m_types.count(type) != 0; }

const ObjectTypeInfo* ObjectTypeRegistry::find(const std::string& type) const {
    auto it = m_types.find(type);
    return it == m_types.end() ? nullptr : it->second.get();
}

const ObjectTypeInfo& ObjectTypeRegistry::get(const std::string& type) const {
    const ObjectTypeInfo* info = find(type);
    return info ? *info : m_generic;
}

std::vector<std::string> ObjectTypeRegistry::getTypeNames() const {
    std::vector<std::string> names;
    names.reserve(m_types.size());
    for (const auto& [name, info] : m_types) names.push_back(name);
    return names;
}

void ObjectTypeRegistry::reset() {
    // Keep the records (objects may hold references to them); clear and refill.
    for (auto& [name, info] : m_types) {
        const std::string type = info->type;
        *info = ObjectTypeInfo();
        info->type = type;
    }
    registerBuiltins();
}

namespace {

using P = ParamDefinition;

// Parameters every location (geometric object drawn in the viewer) has.
std::vector<P> locationParams() {
    return {
        P("Domain List", "All Domains"),  P("Visibility", "True"),
        P("Colour Mode", "Constant"),     P("Colour", "0.75, 0.75, 0.75"),
        P("Colour Variable", "Pressure"), P("Colour Map", "Default Colour Map"),
        P("Colour Scale", "Linear"),      P("Line Width", "1"),
        P("Transparency", "0.0"),
    };
}

std::vector<P> withLocationParams(std::vector<P> own) {
    auto all = locationParams();
    all.insert(all.begin(), own.begin(), own.end());
    return all;
}

ObjectTypeInfo makeType(std::string type, std::string category, std::vector<std::string> kinds, std::vector<P> params) {
    ObjectTypeInfo info;
    info.type = std::move(type);
    info.category = std::move(category);
    info.kinds = std::move(kinds);
    info.params = std::move(params);
    return info;
}

} // namespace

void ObjectTypeRegistry::registerBuiltins() {
    const std::string geometry = "geometry";
    const std::string variable = "variable";

    registerType(makeType("DOMAIN", geometry, {"geometry", "point", "volume"}, {}));
    registerType(makeType("BOUNDARY", geometry, {"geometry", "point", "surface", "region2d", "mesh-density"},
                          withLocationParams({P("Boundary Type", "WALL"), P("Case Name", "")})));

    registerType(makeType("PLANE", geometry, {"geometry", "point", "surface", "mesh-density", "edge-based"},
                          withLocationParams({
                              P("Plane Type", "Slice"),
                              P("Option", "XY Plane"),
                              P("X", "0.0 [m]"),
                              P("Y", "0.0 [m]"),
                              P("Z", "0.0 [m]"),
                              P("Point", "0.0, 0.0, 0.0 [m]"),
                              P("Normal", "0.0, 0.0, 1.0"),
                              P("Point 1", "0.0, 0.0, 0.0 [m]"),
                              P("Point 2", "1.0, 0.0, 0.0 [m]"),
                              P("Point 3", "0.0, 1.0, 0.0 [m]"),
                              P("Plane Bound", "None"),
                              P("Bound Radius", "1.0 [m]"),
                              P("Direction 1 Bound", "1.0 [m]"),
                              P("Direction 2 Bound", "1.0 [m]"),
                              P("Direction 1 Orientation", "0 [degree]"),
                              P("Direction 1 Points", "10"),
                              P("Direction 2 Points", "10"),
                              P("Invert Plane Bound", "False"),
                          })));

    registerType(makeType("LINE", geometry, {"geometry", "point", "line", "edge-based"},
                          withLocationParams({
                              P("Option", "Two Points"),
                              P("Line Type", "Sample"),
                              P("Point 1", "0.0, 0.0, 0.0 [m]"),
                              P("Point 2", "1.0, 0.0, 0.0 [m]"),
                              P("Line Samples", "10"),
                          })));

    const std::vector<P> pointParams = withLocationParams({
        P("Option", "XYZ"),
        P("Point", "0.0, 0.0, 0.0 [m]"),
        P("Node Number", "1"),
        P("Location", ""),
        P("Variable", "Pressure"),
        P("Nearest Node Number", "-1"),
        P("Symbol", "Crosshair"),
        P("Symbol Size", "1.0"),
    });
    registerType(makeType("POINT", geometry, {"geometry", "point"}, pointParams));
    registerType(makeType("INTERNAL POINT", geometry, {"geometry", "point"}, pointParams));

    registerType(makeType("POLYLINE", geometry, {"geometry", "point", "line"},
                          withLocationParams({
                              P("Option", "From File"),
                              P("Input File", ""),
                              P("Location", ""),
                              P("Boundary List", ""),
                              P("Contour Name", ""),
                              P("Contour Level", "1"),
                          })));

    registerType(makeType("USER SURFACE", geometry, {"geometry", "point", "surface"},
                          withLocationParams({
                              P("Option", "From File"),
                              P("Input File", ""),
                              P("Location", ""),
                              P("Boundary List", ""),
                              P("Contour Name", ""),
                              P("Contour Level", "1"),
                              P("Surface Name", ""),
                              P("Offset Type", "Normal"),
                              P("Offset Distance", "0.0 [m]"),
                              P("Offset Mode", "Uniform"),
                              P("Offset Variable", ""),
                              P("Offset Direction", "0.0, 0.0, 1.0"),
                              P("Apply Rotation", "False"),
                              P("Apply Translation", "False"),
                              P("Apply Scale", "False"),
                              P("Scale Factor", "1.0"),
                              P("Translation Vector", "0.0, 0.0, 0.0 [m]"),
                              P("Rotation Angle", "0 [degree]"),
                              P("Rotation Axis Type", "Principal Axis"),
                              P("Principal Axis", "Z"),
                              P("Rotation Axis From", "0.0, 0.0, 0.0 [m]"),
                              P("Rotation Axis To", "0.0, 0.0, 1.0 [m]"),
                              P("Draw Faces", "True"),
                              P("Draw Lines", "False"),
                              P("Line Colour Mode", "Default"),
                              P("Line Colour", "0.0, 0.0, 0.0"),
                              P("Render Edge Angle", "0 [degree]"),
                              P("Surface Drawing", "Smooth Shading"),
                              P("Lighting", "True"),
                              P("Specular Lighting", "True"),
                              P("Culling Mode", "No Culling"),
                              P("File Units", "m"),
                              P("Use Mid Side Nodes", "False"),
                              P("Associated Boundary Specified", "False"),
                              P("Associated Boundary", ""),
                              P("Maintain Conservative Values", "True"),
                          })));

    registerType(makeType("COORD FRAME", "", {},
                          {P("Option", "Point and Axes"), P("Origin Point", "0.0, 0.0, 0.0 [m]"),
                           P("Z Axis Point", "0.0, 0.0, 1.0 [m]"), P("X Axis Point", "1.0, 0.0, 0.0 [m]")}));

    registerType(makeType("CALCULATOR", "", {},
                          {P("Function", ""), P("Expression", ""), P("Location", ""), P("Axis", ""), P("Fluid", ""),
                           P("Verbose", "False"), P("Result", ""), P("Result Units", "")}));

    registerType(makeType("EXPRESSIONS", "", {}, {}));
    // Variable definitions of the library: their parameters have no defaults, so that an
    // object lists only what its definition gives.
    registerType(makeType("VARIABLE", "", {}, {}));
    // Field variables: solver variables, and user variables defined by expressions.
    registerType(makeType("SCALAR VARIABLE", variable, {"variable"}, {P("Recipe", "Standard")}));
    registerType(makeType("VECTOR VARIABLE", variable, {"variable"}, {P("Recipe", "Standard")}));
    registerType(
        makeType("USER SCALAR VARIABLE", variable, {"variable"}, {P("Recipe", "Expression"), P("Expression", "")}));
    registerType(
        makeType("USER VECTOR VARIABLE", variable, {"variable"},
                 {P("Recipe", "Expression"), P("X Expression", ""), P("Y Expression", ""), P("Z Expression", "")}));

    registerType(makeType("LIBRARY", "", {}, {}));
    registerType(makeType("PHYSICAL CONSTANTS", "", {}, {}));
    registerType(makeType("DATA READER", "", {}, {}));
    registerType(makeType("CASE", "", {}, {P("Current Case Name", "")}));
    // Settings of the structural load export.
    registerType(
        makeType("EXPORT", "", {},
                 {P("NORVA Specify Reference Temperature", "False"), P("NORVA Reference Temperature", "300 [K]"),
                  P("NORVA Supplemental HTC", "0 [W m^-2 K^-1]")}));
    registerType(makeType("VIEWPORT MANAGER", "", {}, {P("Global Edge Colour", "0.0, 0.0, 0.0")}));

    // The classes of the geometric objects, and the types only they use.
    registerGeometricObjectTypes(*this);
}

} // namespace zel

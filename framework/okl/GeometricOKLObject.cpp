#include "framework/okl/GeometricOKLObject.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Variable.h"
#include "framework/geometry/Visitor.h"
#include "framework/okl/ObjectDB.h"
#include "framework/viewer/Colour.h"
#include "framework/viewer/GraphicObject.h"
#include "framework/viewer/ViewerInterface.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace zel {

namespace {

constexpr const char* ClassName = "GeometricOKLObject";

bool isOneOf(const std::string& name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), std::string_view(name)) != names.end();
}

// Reads a boolean parameter when the object has it.
void ifBool(const OKLObject& o, const char* name, void (GraphicObject::*set)(bool), GraphicObject& g) {
    if (o.hasParam(name)) (g.*set)(o.getBoolValue(name));
}

void ifText(const OKLObject& o, const char* name, void (GraphicObject::*set)(const std::string&), GraphicObject& g) {
    if (o.hasParam(name)) (g.*set)(o.getValue(name));
}

} // namespace

GeometricOKLObject::GeometricOKLObject(const std::string& type, const std::string& name) : OKLObject(type, name) {}

GeometricOKLObject::~GeometricOKLObject() = default;

// ------------------------------------------------------------------------ geometries

GeometricOKLObject::Slot* GeometricOKLObject::findSlot(const std::string& name) {
    for (Slot& s : m_slots)
        if (s.name == name) return &s;
    return nullptr;
}

const GeometricOKLObject::Slot* GeometricOKLObject::findSlot(const std::string& name) const {
    for (const Slot& s : m_slots)
        if (s.name == name) return &s;
    return nullptr;
}

void GeometricOKLObject::setGeometry(const std::string& name, std::unique_ptr<Geometry> geometry) {
    if (!geometry)
        throw internal::nullPointer(ClassName, "setGeometry",
                                    _("Null geometry given for '%s' of object '%s'.", name, getName()));
    for (Slot& s : m_slots) {
        if (s.get() != geometry.get()) continue;
        if (s.name != name) {
            // Whoever holds it keeps it: freeing it here would free it twice.
            (void)geometry.release();
            throw internal::badParam(
                ClassName, "setGeometry",
                _("Geometry '%s' of object '%s' is already held under the name '%s'.", name, getName(), s.name));
        }
        if (s.owned) {
            (void)geometry.release(); // the same geometry again: it is owned already
            return;
        }
        break; // a borrowed slot whose geometry is now handed over
    }
    if (Slot* s = findSlot(name)) {
        s->owned = std::move(geometry); // frees the geometry held before
        s->borrowed = nullptr;
    } else {
        Slot slot;
        slot.name = name;
        slot.owned = std::move(geometry);
        m_slots.push_back(std::move(slot));
    }
    setGeometryChanged();
}

void GeometricOKLObject::setGeometry(const std::string& name, Geometry* geometry) {
    setGeometry(name, std::unique_ptr<Geometry>(geometry));
}

void GeometricOKLObject::setExternalGeometry(const std::string& name, Geometry* geometry) {
    if (!geometry) {
        removeGeometry(name);
        return;
    }
    for (const Slot& s : m_slots)
        if (s.get() == geometry && s.name != name)
            throw internal::badParam(
                ClassName, "setExternalGeometry",
                _("Geometry '%s' of object '%s' is already held under the name '%s'.", name, getName(), s.name));
    Slot* s = findSlot(name);
    if (!s) {
        m_slots.emplace_back();
        s = &m_slots.back();
        s->name = name;
    }
    if (s->owned.get() == geometry) (void)s->owned.release(); // declared to belong to someone else from now on
    s->owned.reset();
    s->borrowed = geometry;
    setGeometryChanged();
}

Geometry* GeometricOKLObject::getGeometry(const std::string& name) const {
    const Slot* s = findSlot(name);
    return s ? s->get() : nullptr;
}

bool GeometricOKLObject::ownsGeometry(const std::string& name) const {
    const Slot* s = findSlot(name);
    return s && s->owned;
}

std::vector<std::string> GeometricOKLObject::getGeometryNames() const {
    std::vector<std::string> names;
    names.reserve(m_slots.size());
    for (const Slot& s : m_slots) names.push_back(s.name);
    return names;
}

std::vector<Geometry*> GeometricOKLObject::getGeometries() const {
    std::vector<Geometry*> geometries;
    for (const std::string& name : getGeometryNames())
        if (Geometry* g = getGeometry(name)) geometries.push_back(g);
    return geometries;
}

std::unique_ptr<Geometry> GeometricOKLObject::releaseGeometry(const std::string& name) {
    auto it = std::find_if(m_slots.begin(), m_slots.end(), [&](const Slot& s) { return s.name == name; });
    if (it == m_slots.end()) return nullptr;
    std::unique_ptr<Geometry> owned = std::move(it->owned);
    m_slots.erase(it);
    setGeometryChanged();
    return owned;
}

bool GeometricOKLObject::removeGeometry(const std::string& name) {
    auto it = std::find_if(m_slots.begin(), m_slots.end(), [&](const Slot& s) { return s.name == name; });
    if (it == m_slots.end()) return false;
    m_slots.erase(it);
    setGeometryChanged();
    return true;
}

// ------------------------------------------------------------------ operations by role

void GeometricOKLObject::prepareForUpdate() { setGeometryChanged(); }

void GeometricOKLObject::discardGeometries() {
    m_slots.clear();
    setGeometryChanged();
}

void GeometricOKLObject::recolour() {
    // Make the colour variable now, so that the render step finds it and the range is that
    // of the current geometries; a geometry that cannot provide it is reported when drawn.
    if (useVariableColouring()) {
        const std::string variable = getColourVariableName();
        for (Geometry* g : getGeometries()) (void)g->getVariable(variable, false);
    }
    setColourChanged();
}

std::string GeometricOKLObject::getColourVariableName() const {
    return hasParam("Colour Variable") ? getValue("Colour Variable") : std::string();
}

bool GeometricOKLObject::useVariableColouring() const {
    if (!hasParam("Colour Mode") || getValue("Colour Mode") == "Constant") return false;
    return !getColourVariableName().empty();
}

bool GeometricOKLObject::rangeOver(const std::vector<Geometry*>& geometries, const std::string& variable, float& min,
                                   float& max) {
    bool any = false;
    auto add = [&](float v) {
        if (isUndefined(v)) return;
        if (!any) {
            min = max = v;
            any = true;
        } else {
            min = std::min(min, v);
            max = std::max(max, v);
        }
    };
    for (Geometry* g : geometries) {
        const Variable* v = g->getVariable(variable, false);
        if (!v) continue;
        if (const FloatZELVector* values = v->getFloatValues(VarTypeVertex)) {
            for (float x : *values) add(x);
        } else if (const TripletZELVector* vectors = v->getTripletValues(VarTypeVertex)) {
            for (const TripletF& t : *vectors) add(t.length());
        }
    }
    if (!any) min = max = UNDEFINED_VALUE;
    return any;
}

bool GeometricOKLObject::getColourRange(float& min, float& max) const {
    const std::string range = hasParam("Range") ? getValue("Range") : std::string("Local");
    if (range == "User Specified") {
        min = getFloatValue("Min");
        max = getFloatValue("Max");
        if (max < min)
            throw data::invalid(ClassName, "getColourRange",
                                _("Max (%g) is below Min (%g) in the colour range of '%s'.", max, min, getName()));
        return true;
    }
    const std::string variable = getColourVariableName();
    if (range == "Global") {
        const std::vector<Geometry*> domains = getDomainList();
        if (!domains.empty()) return rangeOver(domains, variable, min, max);
    }
    return rangeOver(getGeometries(), variable, min, max);
}

void GeometricOKLObject::renderPlane() {
    purgeFromViewer();
    try {
        for (const std::string& name : getGeometryNames()) {
            if (!getGeometry(name)) continue;
            GraphicObject graphic = buildGraphicObject(name);
            draw(&graphic);
        }
    } catch (...) {
        ViewerInterface::instance()->deleteFromViewer(getPath(), ViewerInterface::AllGeometries, -1, false);
        throw;
    }
}

void GeometricOKLObject::updateSymbols() { setRenderChanged(); }

// ------------------------------------------------------------------------- variables

std::vector<Variable*> GeometricOKLObject::getVariable(const std::string& name) {
    std::vector<Variable*> variables;
    for (Geometry* g : getGeometries())
        if (Variable* v = g->getVariable(name, false)) variables.push_back(v);
    return variables;
}

Variable* GeometricOKLObject::getVariable(const std::string& name, const std::string& geometryName) {
    Geometry* g = getGeometry(geometryName);
    return g ? g->getVariable(name, false) : nullptr;
}

// --------------------------------------------------------------------------- domains

std::vector<Geometry*> GeometricOKLObject::getDomainList() const {
    std::vector<Geometry*> domains;
    for (const std::string& name : getDomainNameList()) {
        Geometry* g = nullptr;
        if (const auto* o = dynamic_cast<const GeometricOKLObject*>(ObjectDB::instance()->getObjectByName(name)))
            g = o->getGeometry(name);
        if (!g)
            if (GeometryInfo* info = Geometry::getGeometryInfo()) g = info->findGeometry(name);
        if (g) domains.push_back(g);
    }
    return domains;
}

// ------------------------------------------------------------------ visiting, drawing

void GeometricOKLObject::acceptVisitor(GeometryVisitor& visitor) {
    for (Geometry* g : getGeometries()) visitor.visitGeometry(*g);
}

void GeometricOKLObject::draw(GraphicObject* graphic) {
    if (!graphic)
        throw internal::nullPointer(ClassName, "draw", _("No graphic object given to draw object '%s'.", getName()));
    const Geometry* geometry = graphic->getGeometry();
    if (!geometry) geometry = getGeometry(graphic->getDomain());
    if (!geometry)
        throw data::notFound(ClassName, "draw",
                             _("Object '%s' has no geometry '%s' to draw.", getName(), graphic->getDomain()));
    const std::string path = graphic->getPath().empty() ? getPath() : graphic->getPath();
    ViewerInterface::instance()->draw(path, graphic->getDomain(), *geometry, *graphic);
}

void GeometricOKLObject::purgeFromViewer() {
    ViewerInterface::instance()->deleteFromViewer(getPath(), ViewerInterface::AllGeometries, -1, false);
}

void GeometricOKLObject::updateDefaultLegend() {
    ViewerInterface* viewer = ViewerInterface::instance();
    if (useVariableColouring() && !getGeometries().empty()) {
        LegendInfo legend;
        if (getColourRange(legend.min, legend.max)) {
            legend.path = getPath();
            legend.variable = getColourVariableName();
            legend.colourMap = hasParam("Colour Map") ? getValue("Colour Map") : std::string();
            legend.colourScale = hasParam("Colour Scale") ? getValue("Colour Scale") : std::string();
            viewer->setDefaultLegend(legend);
            return;
        }
    }
    if (const LegendInfo* legend = viewer->getDefaultLegend(); legend && legend->path == getPath())
        viewer->clearDefaultLegend();
}

GraphicObject GeometricOKLObject::buildGraphicObject(const std::string& name) {
    Geometry* geometry = getGeometry(name);
    if (!geometry)
        throw data::notFound(ClassName, "render", _("Object '%s' has no geometry '%s' to draw.", getName(), name));

    GraphicObject g;
    g.setPath(getPath());
    g.setDomain(name);
    ColourMap* map = ColourMapDB::instance()->getMap(hasParam("Colour Map") ? getValue("Colour Map") : std::string());
    g.setColourMap(map);
    g.setGeometry(geometry);
    g.setChanged(isGeometryChanged() || isRenderChanged());

    if (hasParam("Colour Mode")) g.setColourMode(getValue("Colour Mode"));
    if (hasParam("Colour")) g.setConstantColour(map->addCustomColour(Colour::fromValues(getFloatArray("Colour"))));
    if (useVariableColouring()) {
        const std::string variableName = getColourVariableName();
        Variable* variable = geometry->getVariable(variableName, false);
        if (!variable) throw internal::nullPointer(ClassName, "render", _("Couldn't find variable %s.", variableName));
        g.setColourVariable(variable);
        g.setVariableColouring(true);
        float min = 0.0f, max = 0.0f;
        if (getColourRange(min, max)) g.setColourRange(min, max);
    }
    if (hasParam("Line Width")) g.setLineWidth(getFloatValue("Line Width"));
    ifText(*this, "Colour Scale", &GraphicObject::setColourScale, g);
    ifBool(*this, "Visibility", &GraphicObject::setVisible, g);
    if (hasParam("Transparency")) g.setTransparency(getValue("Transparency"));
    ifBool(*this, "Draw Faces", &GraphicObject::setDrawFaces, g);
    ifBool(*this, "Draw Lines", &GraphicObject::setDrawLines, g);
    if (hasParam("Line Colour"))
        g.setLineColour(map->addCustomColour(Colour::fromValues(getFloatArray("Line Colour"))));
    ifText(*this, "Surface Drawing", &GraphicObject::setSurfaceDrawing, g);
    ifBool(*this, "Lighting", &GraphicObject::setLighting, g);
    ifBool(*this, "Specular Lighting", &GraphicObject::setSpecularLighting, g);
    ifText(*this, "Culling Mode", &GraphicObject::setCullingMode, g);
    return g;
}

// ---------------------------------------------------------------------- change flags

int GeometricOKLObject::changeFlagOfParameter(const std::string& name) {
    if (isOneOf(name,
                {"Colour", "Colour Mode", "Colour Variable", "Colour Map", "Colour Scale", "Range", "Min", "Max"}))
        return ColourChanged;
    if (isOneOf(name, {"Visibility", "Line Width", "Transparency", "Draw Faces", "Draw Lines", "Line Colour",
                       "Line Colour Mode", "Surface Drawing", "Lighting", "Specular Lighting", "Culling Mode", "Symbol",
                       "Symbol Size", "Render Edge Angle"}))
        return RenderChanged;
    if (isOneOf(name, {"Nearest Node Number"})) return -1;
    return GeometryChanged;
}

void GeometricOKLObject::setParameter(const std::string& name, const std::string& value) {
    OKLObject::setParameter(name, value);
    const int flag = changeFlagOfParameter(name);
    if (flag >= 0) setChangeFlag(static_cast<ChangeFlag>(flag));
}

} // namespace zel

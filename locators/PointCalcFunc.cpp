#include "locators/PointCalcFunc.h"

#include "domain/DomainGeometryBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/SymbolGeometricOKLObject.h"
#include "locators/LocatorCalcFunc.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace zel {

namespace {

const char* const kClass = "PointCalcFunc";

// The values whose extreme is sought: a scalar's own, a vector's magnitudes. Empty when the
// variable has no values of that type.
std::vector<float> valuesOf(const Variable& variable, VarType type) {
    if (variable.getNumComponents() == 1) {
        const auto* scalar = dynamic_cast<const ScalarVariable*>(&variable);
        if (scalar == nullptr)
            throw internal::nullPointer(kClass, "calcPoints", "Cast of locator variable to Scalar Variable failed.",
                                        ErrError);
        const FloatZELVector* values = scalar->getFloatValues(type);
        return values != nullptr ? values->vector() : std::vector<float>();
    }
    const auto* vector = dynamic_cast<const VectorVariable*>(&variable);
    if (vector == nullptr)
        throw internal::nullPointer(kClass, "calcPoints", "Cast to Vector Variable failed.", ErrError);
    std::vector<float> magnitudes;
    if (const TripletZELVector* values = vector->getTripletValues(type)) {
        magnitudes.reserve(values->size());
        for (const TripletF& v : *values) magnitudes.push_back(v.length());
    }
    return magnitudes;
}

} // namespace

// ------------------------------------------------------------------------------ actions

PointCalcFunc::PointCalcFunc(bool propagateErrors, bool interpolantFlag)
    // The misspelt class name of the reported cast is what hosts have always been shown.
    : CalcFuncExecutive(reporting(kClass, "SymbolGeometricOKLObject", "SymbolGeometricOKLObect",
                                  accepting<SymbolGeometricOKLObject>, propagateErrors)),
      m_interpolantFlag(interpolantFlag) {}

void PointCalcFunc::build(GeometricOKLObject& object) {
    auto& point = static_cast<SymbolGeometricOKLObject&>(object); // accepted
    if (point.hasParam("Nearest Node Number")) point.setParameter("Nearest Node Number", "-1");
    if (calcPoints(point)) updateNearestNode(point);
}

void PointCalcFunc::draw(GeometricOKLObject& object) {
    if (!static_cast<SymbolGeometricOKLObject&>(object).renderSymbol()) object.discardGeometries();
}

void PointCalcFunc::perform(GeometricOKLObject& object, const std::string& action) {
    if (action == "symbol") object.updateSymbols();
}

// ------------------------------------------------------------------------------- build

bool PointCalcFunc::calcPoints(SymbolGeometricOKLObject& object) const {
    auto newPoints = [] { return GeometryAutoPtr(GeometryAPI::instance()->newGeometry("SymbolGeometry", nullptr)); };
    // Every point faces the same way: the symbol's axes along y and z.
    auto setPoints = [](Geometry& geometry, TripletZELVector points) {
        auto& symbols = static_cast<SymbolGeometry&>(geometry);
        symbols.getDirection1().resize(points.size(), TripletF(0.0f, 1.0f, 0.0f));
        symbols.getDirection2().resize(points.size(), TripletF(0.0f, 0.0f, 1.0f));
        symbols.setVertices(std::move(points));
    };

    const std::string option = object.getValue("Option");
    if (option == "XYZ") {
        const std::vector<float> xyz = object.getFloatArray("Point", LocatorFrame::lengthUnits());
        if (xyz.size() != 3) {
            LocatorFrame::report(kClass, "calcPoints",
                                 _("Parameter '%s' must be defined by %d float values.", "Point", 3), ErrError);
            object.discardGeometries();
            return false;
        }
        GeometryAutoPtr geometry = newPoints();
        setPoints(*geometry, TripletZELVector{TripletF(xyz[0], xyz[1], xyz[2])});
        geometry->setName(object.getName());
        geometry->setInterpolant(LocatorFrame::makeInterpolant(geometry->getVertices(), object.getDomainNameList(),
                                                               false, m_interpolantFlag));
        LocatorFrame::attach(object, "", geometry);
        return true;
    }

    std::vector<std::string> names = object.getDomainNameList();
    if (names.empty())
        throw data::invalid(kClass, "calcPoints", "Empty domain list found in Domain List parameter.", ErrError);
    names.emplace_back();

    const bool nodeNumber = option == "Node Number";
    const bool minimum = option == "Variable Minimum";
    const bool maximum = option == "Variable Maximum";
    for (const std::string& name : names) {
        GeometryAutoPtr geometry = newPoints();
        geometry->setName(name);
        geometry->setDomain(name);
        TripletZELVector points;
        if (nodeNumber && !name.empty()) {
            const int node = object.getIntValue("Node Number");
            if (const Geometry* domain = LocatorFrame::findDomainGeometry(name, kClass, "calcPoints"))
                if (node >= 1 && node <= domain->getNumVertices())
                    points.push_back(domain->getVertices()[std::size_t(node - 1)]);
        } else if (minimum || maximum) {
            findExtrema(object, name, maximum, points);
        }
        if (points.empty()) continue; // the auto-pointer frees the empty geometry

        setPoints(*geometry, std::move(points));
        std::unique_ptr<ExternalInterpolant> interpolant(
            name.empty()
                ? DomainGeometryBase::makeExternalInterpolant(geometry->getVertices(), false, m_interpolantFlag)
                : DomainGeometryBase::makeExternalInterpolant(geometry->getVertices(), std::vector<std::string>{name},
                                                              false, m_interpolantFlag));
        geometry->setInterpolant(std::move(interpolant));
        LocatorFrame::attach(object, name, geometry);
    }
    return true;
}

void PointCalcFunc::findExtrema(SymbolGeometricOKLObject& object, const std::string& name, bool maximum,
                                TripletZELVector& points) const {
    const std::string location = object.getValue("Location");
    const VarType type = object.hasParam("Variable Boundary Values")
                             ? Variable::getVarType(object.getValue("Variable Boundary Values"))
                             : VarTypeVertex;
    auto warn = [&](const std::string& message) { LocatorFrame::report(kClass, "findExtrema", message); };
    if (location.empty()) {
        warn(_("Cannot create point '%s'. Location is not provided.", object.getName()));
        return;
    }
    OKLObject* found = ObjectDB::instance()->getObjectByName(location);
    if (found == nullptr) {
        warn(_("Cannot create point '%s'. Location '%s' is not found.", object.getName(), location));
        return;
    }
    auto* locator = dynamic_cast<GeometricOKLObject*>(found);
    if (locator == nullptr)
        throw internal::nullPointer(kClass, "calcPoints", _("Can't cast '%s' to GeometricOKLObject.", location),
                                    ErrError);
    Geometry* geometry = locator->getGeometry(name);
    if (geometry == nullptr) return;

    const std::string variableName = object.getValue("Variable");
    const Variable* variable = geometry->getVariable(variableName, false);
    if (variable == nullptr) {
        warn(_("Cannot create point '%s'. Variable '%s' is not found.", object.getName(), variableName));
        return;
    }
    const std::vector<float> values = valuesOf(*variable, type);
    const std::size_t count = std::min(values.size(), geometry->getVertices().size());

    bool any = false;
    float extreme = 0.0f;
    for (std::size_t i = 0; i < count; ++i) {
        const float v = values[i];
        if (isUndefined(v)) continue;
        if (!any || (maximum ? v > extreme : v < extreme)) extreme = v;
        any = true;
    }
    if (!any) return;
    // Exact ties all count: a variable constant on the location marks every vertex.
    for (std::size_t i = 0; i < count; ++i)
        if (values[i] == extreme) points.push_back(geometry->getVertices()[i]);
}

void PointCalcFunc::updateNearestNode(SymbolGeometricOKLObject& object) {
    if (!object.hasParam("Nearest Node Number")) return;
    int result = -1;
    const std::vector<std::string> names = object.getGeometryNames();
    const Geometry* first = names.empty() ? nullptr : object.getGeometry(names.front());
    const auto* interpolant =
        first != nullptr ? dynamic_cast<const ExternalInterpolant*>(first->getInterpolant()) : nullptr;
    if (interpolant != nullptr && !interpolant->getDomains().empty() && interpolant->getNumVertices() > 0) {
        // Only a point that lies in the interpolant's first domain has a node to report.
        const NodeDefinition def = interpolant->getInternalData(0);
        if (def.source == 0 && !def.nodes.empty()) {
            const NodeWeight* best = &def.nodes.front();
            for (const NodeWeight& nw : def.nodes)
                if (nw.weight > best->weight) best = &nw;
            result = best->node + 1;
        }
    }
    object.setParameter("Nearest Node Number", std::to_string(result));
}

} // namespace zel

// The boundary variables of a boundary-intersection polyline: what the boundaries it was cut
// from carry, per unit area at their vertices, gathered on the mesh nodes and brought to the
// polyline's vertices through its edge interpolant.
//
//   "[phase.]Normalized Force on <polyline>"  -(momentum flow / area) x the polyline's vertex
//                                             length: the force on the unit-width band of
//                                             boundary faces along the polyline (N);
//   "Boundary Normal on <polyline>"           the boundary's unit normal;
//   "[phase.]Heat Flux"                       heat flow / area (W m^-2). It holds a flux, so
//                                             it is named as one.
//
// A boundary vertex of zero area, and an undefined boundary value, add nothing; a polyline
// vertex whose mesh nodes no boundary vertex feeds is undefined.
#include "datastorage/DataStorageBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitsConverter.h"
#include "locators/PolylineCalcFunc.h"

#include <cstdint>
#include <functional>
#include <map>
#include <type_traits>

namespace zel {

namespace {

const char* const kClass = "PolylineCalcFunc";
const char* const kMomentumFlow = "momentum flow";
const char* const kHeatFlow = "Heat Flow";
const char* const kOn = " on ";
const char* const kDimensionless = "0,0,0,0,0,0,0,0,0,0";

// The interpolant of a boundary whose data used has `count` entries, after the checks every
// boundary must pass.
const VertexInterpolant& boundaryInterpolant(const Geometry& boundary, std::size_t count, const char* operation) {
    const auto* interpolant = dynamic_cast<const VertexInterpolant*>(boundary.getInterpolant());
    if (interpolant == nullptr)
        throw internal::error(kClass, operation,
                              _("%s %s does not have a VertexInterpolant.", "Boundary", boundary.getName()), ErrError);
    if (interpolant->getNumVertices() != count)
        throw data::invalid(kClass, operation,
                            _("%s interpolant vertices size (%d) does not match %s vertex areas (%d).", "Boundary",
                              interpolant->getNumVertices(), "Boundary", count),
                            ErrError);
    if (interpolant->getDomains().size() != 1)
        throw internal::error(kClass, operation, _("%s has more than one domain.", "VertexInterpolant"), ErrError);
    return *interpolant;
}

// A boundary's flow values (`count` of them; `what`: "momentum flow", "heat flow") must be one
// per vertex area.
void checkFlowSize(std::size_t count, std::size_t areas, const char* what, const char* operation) {
    if (count != areas)
        throw data::invalid(
            kClass, operation,
            _("%s %s size (%d) does not match %s vertex areas (%d).", "Boundary", what, count, "Boundary", areas),
            ErrError);
}

// Runs `perPhase(prefix)` for each phase of `selector`; the prefix is empty for a single
// phase. perPhase returns false to stop (the single-phase fallback).
void forEachPhase(int selector, const std::function<bool(const std::string&)>& perPhase) {
    const std::vector<std::string> phases = DataStorageBase::instance()->getPhases(selector, "");
    for (const std::string& phase : phases)
        if (!perPhase(phases.size() == 1 ? std::string() : phase + ".")) return;
}

// The boundary's variable `flow` (asking the storage to provide it when the boundary holds
// neither it nor the single-phase `plain`), switching `flow` to `plain` when the boundary
// holds that (the single-phase fallback; `fellBack` is then set).
Variable* boundaryFlow(Geometry& boundary, std::string& flow, const std::string& plain, bool& fellBack) {
    Variable* provided = nullptr;
    if (boundary.findVariable(flow) == nullptr && boundary.findVariable(plain) == nullptr)
        provided = DataStorageBase::instance()->getBoundaryFlow(flow, &boundary);
    if (flow != plain && boundary.findVariable(plain) != nullptr) {
        flow = plain;
        fellBack = true;
    }
    if (Variable* held = boundary.findVariable(flow)) return held;
    return provided != nullptr && provided->getName() == flow ? provided : nullptr;
}

// Gathers a flow of the boundaries per unit area on the mesh nodes: for each boundary that
// holds `flow` (see boundaryFlow) as a VariableT, value / area of each vertex with an area and
// a defined value is added to its node's entry. `what` names the flow in messages. False
// when no boundary holds it.
template <typename VariableT, typename Value>
bool gatherPerArea(const std::vector<Geometry*>& boundaries, std::string& flow, const std::string& plain,
                   bool& fellBack, const char* what, const char* operation, std::map<std::uint64_t, Value>& nodes) {
    bool any = false;
    for (Geometry* boundary : boundaries) {
        if (boundary == nullptr) continue;
        auto* variable = dynamic_cast<VariableT*>(boundaryFlow(*boundary, flow, plain, fellBack));
        if (variable == nullptr) continue;
        const auto* values = [&] {
            if constexpr (std::is_same_v<Value, float>)
                return variable->getFloatValues(VarTypeVertex);
            else
                return variable->getTripletValues(VarTypeVertex);
        }();
        const FloatZELVector& areas = boundary->getVertexAreas();
        const std::size_t count = values != nullptr ? values->size() : 0;
        checkFlowSize(count, areas.size(), what, operation);
        const VertexInterpolant& nodesOf = boundaryInterpolant(*boundary, areas.size(), operation);
        for (std::size_t i = 0; i < count; ++i) {
            const Value& value = (*values)[i];
            bool undefined = false;
            if constexpr (std::is_same_v<Value, float>)
                undefined = isUndefined(value);
            else
                undefined = value.isUndefined();
            if (areas[i] == 0.0f || undefined) continue;
            nodes.try_emplace(std::uint64_t(nodesOf.getInternalData(i)), Value()).first->second += value / areas[i];
        }
        any = true;
    }
    return any;
}

// Adds the vector variable to the polyline, then its X, Y, Z components.
void addWithComponents(Geometry& polyline, std::unique_ptr<VectorVariable> vector) {
    const VectorVariable* stored = static_cast<const VectorVariable*>(polyline.addVariable(std::move(vector)));
    for (int c = 0; c < 3; ++c) polyline.addVariable(std::make_unique<ScalarVariable>(*stored, c));
}

std::unique_ptr<VectorVariable> newLocalVector(const std::string& name, const EdgeInterpolant& interpolant) {
    auto v = std::make_unique<VectorVariable>(VarTypeVertex);
    v->setName(name);
    v->setGlobalType(VarTypeLocal);
    if (!interpolant.getDomains().empty()) v->setDomain(interpolant.getDomains().front());
    return v;
}

// Declares a vector variable of the polyline and its components in the database, unless an
// object of its name exists.
void declareVector(const std::string& name, const std::string& polyline, const std::string& baseUnits,
                   const std::string& dimensions, const std::string& quantity, const std::string& description) {
    ObjectDB& db = *ObjectDB::instance();
    if (db.hasObject(name)) return;
    auto add = [&](std::unique_ptr<OKLObject> object) { db.addObject(std::move(object))->finishParameters(); };

    std::unique_ptr<OKLObject> vector = ObjectFactory::instance()->createObject("VECTOR VARIABLE", name);
    vector->setParameter("Related Object", polyline);
    if (!baseUnits.empty()) vector->setParameter("Base Units", baseUnits);
    vector->setParameter("Variable Dimensions", dimensions);
    if (!quantity.empty()) vector->setParameter("Quantity Type", quantity);
    vector->setParameter("Variable Description", description);
    add(std::move(vector));

    static const char* const kSuffix[] = {" X", " Y", " Z"};
    for (int c = 0; c < 3; ++c) {
        const std::string component = name + kSuffix[c];
        if (db.hasObject(component)) continue;
        std::unique_ptr<OKLObject> scalar = ObjectFactory::instance()->createObject("SCALAR VARIABLE", component);
        scalar->setParameter("Related Object", polyline);
        if (!baseUnits.empty()) scalar->setParameter("Base Units", baseUnits);
        scalar->setParameter("Variable Dimensions", dimensions);
        scalar->setParameter("Recipe", "Vector Component");
        scalar->setParameter("Variable", name);
        scalar->setParameter("Component Index", std::to_string(c + 1));
        add(std::move(scalar));
    }
}

} // namespace

void PolylineCalcFunc::calcBoundaryVariables(EdgeInterpolant& interpolant, Geometry& polyline,
                                             const std::vector<Geometry*>& boundaries, const std::string& name) {
    calcForce(interpolant, polyline, boundaries, name);
    calcNormals(interpolant, polyline, boundaries, name);
    calcHeatFlux(interpolant, polyline, boundaries, name);
}

void PolylineCalcFunc::calcForce(EdgeInterpolant& interpolant, Geometry& polyline,
                                 const std::vector<Geometry*>& boundaries, const std::string& name) {
    forEachPhase(1, [&](const std::string& prefix) {
        std::string flow = prefix + kMomentumFlow;
        bool fellBack = false;
        std::map<std::uint64_t, TripletF> nodes;
        const bool any = gatherPerArea<VectorVariable>(boundaries, flow, kMomentumFlow, fellBack, "momentum flow",
                                                       "calcForce", nodes);
        const std::string result = (fellBack ? std::string() : prefix) + "Normalized Force" + kOn + name;
        if (any) {
            TripletZELVector traction;
            interpolant.interpolateFromMap(nodes, traction);
            const FloatZELVector& lengths = polyline.getVertexLengths();
            auto force = newLocalVector(result, interpolant);
            TripletZELVector& values = force->values(VarTypeLocal);
            values.resize(traction.size());
            for (std::size_t k = 0; k < traction.size(); ++k)
                values[k] = traction[k].isUndefined() ? TripletF::undefined() : -traction[k] * lengths[k];
            addWithComponents(polyline, std::move(force));
        }
        const std::string forceUnits = "kg m s^-2";
        declareVector(result, name, forceUnits, UnitsConverter::instance()->dimsFromUnits(forceUnits).commaString(),
                      "Force", "Force acting on the unit-width band of boundary faces around the polyline");
        return !fellBack;
    });
}

void PolylineCalcFunc::calcNormals(EdgeInterpolant& interpolant, Geometry& polyline,
                                   const std::vector<Geometry*>& boundaries, const std::string& name) {
    std::map<std::uint64_t, TripletF> nodes;
    for (Geometry* boundary : boundaries) {
        if (boundary == nullptr) continue;
        const TripletZELVector& normals = boundary->getVertexNormals();
        const VertexInterpolant& nodesOf = boundaryInterpolant(*boundary, normals.size(), "calcNormals");
        // A node on several boundaries keeps the normal of the last.
        for (std::size_t i = 0; i < normals.size(); ++i) nodes[std::uint64_t(nodesOf.getInternalData(i))] = normals[i];
    }
    const std::string result = std::string("Boundary Normal") + kOn + name;
    auto normal = newLocalVector(result, interpolant);
    interpolant.interpolateFromMap(nodes, normal->values(VarTypeLocal));
    addWithComponents(polyline, std::move(normal));
    declareVector(result, name, "", kDimensionless, "", "Vertex normals interpolated from the associated boundary");
}

void PolylineCalcFunc::calcHeatFlux(EdgeInterpolant& interpolant, Geometry& polyline,
                                    const std::vector<Geometry*>& boundaries, const std::string&) {
    forEachPhase(3, [&](const std::string& prefix) {
        std::string flow = prefix + kHeatFlow;
        bool fellBack = false;
        std::map<std::uint64_t, float> nodes;
        const bool any =
            gatherPerArea<ScalarVariable>(boundaries, flow, kHeatFlow, fellBack, "heat flow", "calcHeatFlux", nodes);
        if (any) {
            // The prefix of the flow it came from: a fallback to the plain flow is unprefixed.
            const std::string fluxName = (fellBack ? std::string() : prefix) + "Heat Flux";
            auto flux = std::make_unique<ScalarVariable>(VarTypeVertex);
            flux->setName(fluxName);
            flux->setGlobalType(VarTypeLocal);
            if (!interpolant.getDomains().empty()) flux->setDomain(interpolant.getDomains().front());
            interpolant.interpolateFromMap(nodes, flux->values(VarTypeLocal));
            polyline.addVariable(std::move(flux));
        }
        return !fellBack;
    });
}

} // namespace zel

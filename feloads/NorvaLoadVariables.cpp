// The load variables of a load surface: what NorvaGeometryReader::getVariable computes for
// the names that are not the geometry's own.
//
//   "Stress on S"                      the wall force per unit area of the associated
//                                      boundary (Σ over the fluids' "Force" of force / vertex
//                                      area), carried onto the surface S;
//   "Normal Stress on S"               its part along the surface's vertex normal n,
//                                      (s·n) n; "Shear Stress on S" the rest, s − (s·n) n;
//   "Force on S", "<phase>.Force ..."  that stress times the surface's vertex areas, so
//                                      that Σ Force over S is the boundary's force;
//   "Wall Heat Transfer Coefficient on S", "Wall Adjacent Temperature on S"
//                                      the boundary's bulk values, or, with a reference
//                                      temperature set for the export, h = q / (Tw − Tref)
//                                      and Tref (negative h replaced by the supplemental
//                                      coefficient hs, with T = Tw − q / hs);
//   "Heat Flux on S"                   q = (Tw − Ta) h, scaled so that the surface carries
//                                      the boundary's heat flow when "Maintain Conservative
//                                      Values" is set;
//   any other name                     the associated boundary's variable of that name,
//                                      carried onto the surface.
//
// Component names (" X", " Y", " Z" after a vector's name) give that component. Every
// variable made here is owned by the caller; the computed ones hold their values under
// VarTypeLocal.
#include "feloads/NorvaGeometryReader.h"

#include "calculator/GeomVariableUtils.h"
#include "datastorage/DataStorageBase.h"
#include "feloads/LoadExportSettings.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/core/StringUtilities.h"
#include "framework/core/Undefined.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/ObjectDB.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace zel {

namespace {

const char* const kClass = "NorvaGeometryReader";
constexpr float kEpsilon = 1.1920929e-7f; // single-precision epsilon
const TripletF kUndefinedTriplet(UNDEFINED_VALUE, UNDEFINED_VALUE, UNDEFINED_VALUE);

// 0, 1, 2 for a name ending in " X", " Y", " Z"; -1 otherwise.
int componentOf(const std::string& name) {
    static const char* const kSuffixes[3] = {" X", " Y", " Z"};
    for (int k = 0; k < 3; ++k)
        if (name.size() > 2 && StringUtilities::endsWith(name, kSuffixes[k])) return k;
    return -1;
}

bool objectExists(const std::string& name) { return OKLCoreAPI::instance()->hasObject(name); }

std::unique_ptr<ScalarVariable> localScalar(const std::string& name, FloatZELVector values) {
    auto v = std::make_unique<ScalarVariable>(VarTypeVertex);
    v->setGlobalType(VarTypeLocal);
    v->setFloatValues(std::move(values), VarTypeLocal);
    v->setName(name);
    return v;
}

std::unique_ptr<VectorVariable> localVector(const std::string& name, TripletZELVector values) {
    auto v = std::make_unique<VectorVariable>(VarTypeVertex);
    v->setGlobalType(VarTypeLocal);
    v->setTripletValues(std::move(values), VarTypeLocal);
    v->setName(name);
    return v;
}

// The values of the bulk variable `variable` on the location, per vertex (hybrid values).
FloatZELVectorConcrete bulk(const std::string& variable, GeometricOKLObject* location) {
    FloatZELVectorConcrete values;
    GeomVariableUtils::calculateBulkVariable(variable, true, location, values, VarTypeHybrid);
    return values;
}

void reportNotConservative(const char* operation) {
    ErrorProgressReporter::instance()->reportError(
        ErrorMsg(kClass, operation, "Heat flows cannot be made conservative!", ErrWarning));
}

} // namespace

std::unique_ptr<Variable> NorvaGeometryReader::getVariable(const std::string& name, Interpolant* interpolant) {
    if (std::find(m_geometryVariables.begin(), m_geometryVariables.end(), name) != m_geometryVariables.end())
        return nullptr; // the geometry computes it
    return getObjectVariable(name, interpolant);
}

Geometry& NorvaGeometryReader::surfaceGeometry(const char* operation) const {
    Geometry* geometry = m_object != nullptr ? m_object->getGeometry("") : nullptr;
    if (geometry == nullptr)
        throw data::invalid(kClass, operation,
                            _("Geometry not found on object: %s.", m_object != nullptr ? m_object->getName() : ""),
                            ErrError);
    return *geometry;
}

GeometricOKLObject& NorvaGeometryReader::associatedBoundary(const char* operation) const {
    const std::string name = m_object->getValue("Associated Boundary");
    OKLObject* object = findBoundary(name);
    if (object == nullptr) throw data::invalid(kClass, operation, _("Object not found: %s.", name), ErrError);
    auto* boundary = dynamic_cast<GeometricOKLObject*>(object);
    if (boundary == nullptr)
        throw internal::badParam(kClass, operation,
                                 _("Bad cast of %s '%s' to %s.", "OKLObject", name, "GeometricOKLObject"), ErrError);
    return *boundary;
}

std::unique_ptr<Variable> NorvaGeometryReader::getObjectVariable(const std::string& name, Interpolant* interpolant) {
    const char* const operation = "getObjectVariable";
    // 1. A variable of the file.
    {
        FloatZELVectorConcrete values;
        if (getVariableData(name, values)) {
            auto v = std::make_unique<ScalarVariable>(VarTypeVertex);
            v->setFloatValues(std::move(values), VarTypeVertex);
            v->setName(name);
            return v;
        }
    }
    // 2., 3. Everything else comes from the associated boundary.
    if (interpolant == nullptr) throw internal::error(kClass, operation, "An interpolant is required!", ErrError);
    if (m_object == nullptr) return nullptr;
    GeometricOKLObject& boundary = associatedBoundary(operation);
    const std::string& surface = m_object->getName();
    auto isLoadName = [&](const char* shortName) {
        return StringUtilities::startsWith(name, std::string(shortName) + " on ") &&
               name.find(surface) != std::string::npos;
    };
    const int component = componentOf(name);
    // The component of one of the surface's own vectors (the force or a stress).
    auto componentOfOwn = [&]() -> std::unique_ptr<Variable> {
        const std::string vectorName = name.substr(0, name.size() - 2);
        auto* vector = dynamic_cast<VectorVariable*>(m_object->getVariable(vectorName, ""));
        if (vector == nullptr)
            throw internal::bad_cast(
                kClass, operation, _("Bad cast of %s '%s' to %s.", "variable", vectorName, "VectorVariable"), ErrError);
        return std::make_unique<ScalarVariable>(*vector, component);
    };

    // 4. Stresses.
    if (isLoadName("Stress") || isLoadName("Normal Stress") || isLoadName("Shear Stress")) {
        if (component >= 0) return componentOfOwn();
        return calculateStressVariables(name, interpolant, std::string(), boundary);
    }
    // 5. Forces, of the mixture or of one phase ("<phase>.Force ...").
    const std::size_t phaseEnd = name.find(".Force");
    if (StringUtilities::startsWith(name, "Force") || phaseEnd != std::string::npos) {
        if (component >= 0) return componentOfOwn();
        const std::string phase = StringUtilities::startsWith(name, "Force") ? std::string() : name.substr(0, phaseEnd);
        return calculateForce(name, interpolant, phase, boundary);
    }
    // 6., 7. Heat transfer coefficient and adjacent temperature.
    for (const HTCOrTemp kind : {HeatTransferCoefficient, AdjacentTemperature}) {
        if (!isLoadName(kind == HeatTransferCoefficient ? "Wall Heat Transfer Coefficient"
                                                        : "Wall Adjacent Temperature"))
            continue;
        std::unique_ptr<Variable> made = LoadExportSettings::specifyReferenceTemperature()
                                             ? calculateSupplementedHTCOrTemp(kind, name)
                                             : calculateHTCOrTemp(kind, name);
        if (ObjectDB::instance()->getTopObjectByName(name) != nullptr) writeVariableDescription(name);
        return made;
    }
    // 8. Heat flux.
    if (isLoadName("Heat Flux")) return calculateHeatFlux(name, boundary);

    // 9. A variable of the boundary, carried onto the surface.
    const Variable* first = nullptr;
    for (const std::string& domain : interpolant->getDomains())
        if ((first = boundary.getVariable(name, domain)) != nullptr) break;
    if (first == nullptr)
        throw data::invalid(kClass, operation,
                            _("Variable '%s' not defined on geometry '%s'.", name, boundary.getName()), ErrError);
    std::unique_ptr<Variable> carried = interpolant->interpolate(name);
    if (carried == nullptr) return nullptr;
    // The values carried from a boundary are its hybrid (boundary) values: they are kept both
    // under the source's own type and as hybrid values, which the bulk computations read.
    const VarType type = first->getGlobalType();
    std::unique_ptr<Variable> result;
    if (auto* scalar = dynamic_cast<ScalarVariable*>(carried.get())) {
        auto typed = std::make_unique<ScalarVariable>(VarTypeVertex);
        typed->setGlobalType(type);
        FloatZELVector& values = scalar->values(VarTypeVertex);
        if (type != VarTypeHybrid) typed->setFloatValues(values, type);
        typed->setFloatValues(std::move(values), VarTypeHybrid);
        result = std::move(typed);
    } else {
        auto* vector = static_cast<VectorVariable*>(carried.get());
        auto typed = std::make_unique<VectorVariable>(VarTypeVertex);
        typed->setGlobalType(type);
        TripletZELVector& values = vector->values(VarTypeVertex);
        if (type != VarTypeHybrid) typed->setTripletValues(values, type);
        typed->setTripletValues(std::move(values), VarTypeHybrid);
        result = std::move(typed);
    }
    result->setName(name);
    return result;
}

// ------------------------------------------------------------------------------ stresses

std::unique_ptr<Variable> NorvaGeometryReader::calculateNORVAStress(Interpolant* interpolant, const std::string& phase,
                                                                    GeometricOKLObject& boundary) {
    const char* const operation = "calculateNORVAStress";
    // 1. The force variables to sum.
    std::vector<std::string> forces;
    if (!phase.empty()) {
        if (objectExists(phase + ".Force")) forces.push_back(phase + ".Force");
    } else {
        const std::vector<std::string> fluids = DataStorageBase::instance()->getPhases(1, "");
        if (fluids.size() >= 2)
            for (const std::string& fluid : fluids)
                if (objectExists(fluid + ".Force")) forces.push_back(fluid + ".Force");
        if (objectExists("Force")) forces.push_back("Force");
    }
    if (forces.empty()) throw data::invalid(kClass, operation, "No 'Force' variables can be found.", ErrError);

    // 2. The boundary's one domain and its geometry there.
    const std::vector<std::string> domains = boundary.getDomainNameList();
    if (domains.size() > 1)
        throw data::invalid(kClass, operation, _("Boundary '%s' defined in more than one domain.", boundary.getName()),
                            ErrError);
    if (domains.empty())
        throw data::invalid(kClass, operation, _("Boundary '%s' not defined in any domain.", boundary.getName()),
                            ErrError);
    Geometry* geometry = boundary.getGeometry(domains.front());
    if (geometry == nullptr)
        throw data::invalid(
            kClass, operation,
            _("Boundary '%s' has no defined geometry on domain '%s'.", boundary.getName(), domains.front()), ErrError);

    // 3. Force per unit area at every boundary vertex, summed over the force variables.
    const FloatZELVector& areas = geometry->getVertexAreas();
    TripletZELVector stress;
    for (std::size_t f = 0; f < forces.size(); ++f) {
        Variable* variable = boundary.getVariable(forces[f], domains.front());
        if (variable == nullptr)
            throw data::invalid(kClass, operation, _("Variable '%s' does not exist.", forces[f]), ErrError);
        const auto* force = dynamic_cast<const VectorVariable*>(variable);
        if (force == nullptr)
            throw data::invalid(kClass, operation, _("Cannot cast variable '%s' to Vector Variable.", forces[f]),
                                ErrError);
        const TripletZELVector* values = force->getTripletValues(VarTypeVertex);
        if (values == nullptr || values->size() != areas.size()) {
            std::cerr << "ERROR - Force & area vector sizes differ!" << std::endl;
            return nullptr;
        }
        if (f == 0) stress.resize(areas.size(), TripletF(0.0f, 0.0f, 0.0f));
        for (std::size_t i = 0; i < areas.size(); ++i) {
            const TripletF& v = (*values)[i];
            // A vertex without area (none on a surface mesh) or without a force has no stress.
            if (stress[i].isUndefined() || v.isUndefined() || !(areas[i] > 0.0f)) {
                stress[i] = kUndefinedTriplet;
                continue;
            }
            const double inverse = 1.0 / double(areas[i]);
            stress[i] = TripletF(float(stress[i].x + v.x * inverse), float(stress[i].y + v.y * inverse),
                                 float(stress[i].z + v.z * inverse));
        }
    }

    // 4. Onto the load surface: the interpolant's sources are the boundary's geometries.
    std::vector<std::span<const TripletF>> sources(interpolant->getNumSources());
    for (std::size_t k = 0; k < sources.size(); ++k)
        if (interpolant->getSource(k) == geometry) sources[k] = stress.span();
    TripletZELVector carried(interpolant->getNumVertices());
    interpolant->interpolate(std::span<const std::span<const TripletF>>(sources), carried.span());
    return localVector("Stress", std::move(carried));
}

std::unique_ptr<Variable> NorvaGeometryReader::calculateStressVariables(const std::string& name,
                                                                        Interpolant* interpolant,
                                                                        const std::string& phase,
                                                                        GeometricOKLObject& boundary) {
    const char* const operation = "calculateStressVariables";
    std::unique_ptr<Variable> made = calculateNORVAStress(interpolant, phase, boundary);
    const auto* stress = dynamic_cast<const VectorVariable*>(made.get());
    if (stress == nullptr)
        throw internal::badParam(kClass, operation,
                                 _("Bad cast of %s '%s' to %s.", "Variable", "Stress", "VectorVariable"), ErrError);
    const TripletZELVector& s = *stress->getTripletValues(VarTypeVertex);
    const Geometry& surface = surfaceGeometry(operation);
    const TripletZELVector& n = surface.getVertexNormals();
    if (s.size() != n.size()) {
        std::cerr << "NorvaGeometryReader::calculateStressVariables() - "
                  << "variable values vector sizes differ." << std::endl;
        return nullptr;
    }
    enum { Whole, Normal, Shear } part = Whole;
    if (StringUtilities::startsWith(name, "Normal Stress")) part = Normal;
    if (StringUtilities::startsWith(name, "Shear Stress")) part = Shear;
    TripletZELVector out(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i].isUndefined()) {
            out[i] = kUndefinedTriplet;
            continue;
        }
        const TripletD sd(s[i]);
        // Mid-side vertices lie on a face without being its corners: its normal is theirs.
        const TripletD nd = n[i].lengthSquared() > 0.0f ? TripletD(n[i]) : midSideNormal(surface, i);
        const TripletD normal = nd * sd.dot(nd);
        const TripletD value = part == Whole ? sd : part == Normal ? normal : sd - normal;
        out[i] = TripletF(value);
    }
    return localVector(name, std::move(out));
}

std::unique_ptr<Variable> NorvaGeometryReader::calculateForce(const std::string& name, Interpolant* interpolant,
                                                              const std::string& phase, GeometricOKLObject& boundary) {
    const char* const operation = "getObjectVariable";
    std::unique_ptr<Variable> made = calculateNORVAStress(interpolant, phase, boundary);
    const auto* stress = dynamic_cast<const VectorVariable*>(made.get());
    if (stress == nullptr)
        throw internal::badParam(kClass, operation,
                                 _("Bad cast of %s '%s' to %s.", "Variable", "Stress", "VectorVariable"), ErrError);
    const TripletZELVector& s = *stress->getTripletValues(VarTypeVertex);
    const FloatZELVector& a = surfaceGeometry(operation).getVertexAreas();
    if (s.size() != a.size()) {
        std::cerr << "ERROR - vector size mismatch!" << std::endl;
        return nullptr;
    }
    TripletZELVector force(s.size());
    for (std::size_t i = 0; i < s.size(); ++i)
        force[i] = s[i].isUndefined() ? kUndefinedTriplet
                                      : TripletF(float(double(s[i].x) * a[i]), float(double(s[i].y) * a[i]),
                                                 float(double(s[i].z) * a[i]));
    return localVector(name, std::move(force));
}

// ------------------------------------------------------------------------- heat transfer

std::unique_ptr<Variable> NorvaGeometryReader::calculateHTCOrTemp(HTCOrTemp kind, const std::string& name) {
    FloatZELVectorConcrete values = bulk(
        kind == HeatTransferCoefficient ? "Wall Heat Transfer Coefficient" : "Wall Adjacent Temperature", m_object);
    return localScalar(name, std::move(values));
}

std::unique_ptr<Variable> NorvaGeometryReader::calculateSupplementedHTCOrTemp(HTCOrTemp kind, const std::string& name) {
    if (kind != HeatTransferCoefficient && kind != AdjacentTemperature) return nullptr;
    const FloatZELVectorConcrete q = bulk("Heat Flux", m_object);
    const FloatZELVectorConcrete wall = bulk("Temperature", m_object);
    const double reference = LoadExportSettings::referenceTemperature();
    const double supplemental = LoadExportSettings::supplementalHTC();
    if (q.size() != wall.size()) {
        std::cerr << "ERROR - vector size mismatch!" << std::endl;
        return nullptr;
    }
    FloatZELVector out(q.size());
    for (std::size_t i = 0; i < q.size(); ++i) {
        if (isUndefined(q[i]) || isUndefined(wall[i])) {
            out[i] = UNDEFINED_VALUE;
            continue;
        }
        const double difference = double(wall[i]) - reference;
        double h = std::abs(difference) > kEpsilon ? double(q[i]) / difference : 0.0;
        double t = reference;
        if (h < 0.0) {
            h = 0.0;
            if (supplemental != 0.0) {
                h = supplemental;
                t = double(wall[i]) - double(q[i]) / supplemental;
            }
        }
        out[i] = float(kind == HeatTransferCoefficient ? h : t);
    }
    return localScalar(name, std::move(out));
}

std::unique_ptr<Variable> NorvaGeometryReader::calculateHeatFlux(const std::string& name,
                                                                 GeometricOKLObject& boundary) {
    const char* const operation = "calculateHeatFlux";
    // 1. The exported coefficient and adjacent temperature of this surface.
    const FloatZELVector* inputs[2] = {nullptr, nullptr};
    const std::string required[2] = {longName("Wall Heat Transfer Coefficient"), longName("Wall Adjacent Temperature")};
    for (int k = 0; k < 2; ++k) {
        const std::vector<Variable*> found =
            objectExists(required[k]) ? m_object->getVariable(required[k]) : std::vector<Variable*>();
        if (found.size() == 1) inputs[k] = found.front()->getFloatValues(VarTypeVertex);
        if (inputs[k] == nullptr)
            throw data::invalid(kClass, operation, _("Required Variable '%s' does not exist.", required[k]), ErrError);
    }
    const FloatZELVector& h = *inputs[0];
    const FloatZELVector& adjacent = *inputs[1];

    // 2. q = (Tw − Ta) h.
    const FloatZELVectorConcrete wall = bulk("Temperature", m_object);
    if (wall.size() != h.size() || adjacent.size() != h.size()) {
        std::cerr << "ERROR - vector size mismatch!" << std::endl;
        return nullptr;
    }
    FloatZELVector q(h.size());
    for (std::size_t i = 0; i < q.size(); ++i)
        q[i] = isUndefined(wall[i]) || isUndefined(adjacent[i]) || isUndefined(h[i])
                   ? UNDEFINED_VALUE
                   : float((double(wall[i]) - double(adjacent[i])) * double(h[i]));
    if (!m_object->getBoolValue("Maintain Conservative Values")) return localScalar(name, std::move(q));

    // 3. Scaled so that the surface carries the boundary's heat flow.
    const std::vector<Variable*> surfaceAreas = m_object->getVariable("Area");
    const FloatZELVector* as = surfaceAreas.size() == 1 ? surfaceAreas.front()->getFloatValues(VarTypeVertex) : nullptr;
    if (as == nullptr || as->size() != q.size()) {
        std::cerr << "Area Variable Vector has more than one element!" << std::endl;
        reportNotConservative("calculateHeatFlux 1");
        return localScalar(name, std::move(q));
    }
    const std::vector<Variable*> boundaryAreas = boundary.getVariable("Area");
    if (boundaryAreas.empty() || dynamic_cast<ScalarVariable*>(boundaryAreas.front()) == nullptr)
        throw internal::badParam(kClass, operation,
                                 _("Bad cast of %s '%s' to %s.", "Variable", "Area", "ScalarVariable"), ErrError);
    double qs = 0.0;
    for (std::size_t i = 0; i < q.size(); ++i)
        if (!isUndefined(q[i])) qs += double(q[i]) * double((*as)[i]);

    const std::vector<std::string> domains = boundary.getDomainNameList();
    Geometry* geometry = domains.size() == 1 ? boundary.getGeometry(domains.front()) : nullptr;
    if (geometry == nullptr) {
        reportNotConservative("calculateHeatFlux 2");
        return localScalar(name, std::move(q));
    }
    double qk = 0.0;
    for (const auto& [phase, flowName] : GeomVariableUtils::getVariableForAllPhases("Heat Flow", false)) {
        Variable* flow = geometry->findVariable(flowName);
        if (flow == nullptr && Geometry::getGeometryInfo() != nullptr) {
            // A name the results do not know reads as an expression there and fails: missing.
            try {
                flow = Geometry::getGeometryInfo()->getVariable(flowName, *geometry);
            } catch (const Error&) {
                flow = nullptr;
            }
        }
        const FloatZELVector* values = flow != nullptr ? flow->getFloatValues(VarTypeVertex) : nullptr;
        if (values == nullptr) {
            reportNotConservative("calculateHeatFlux 3");
            return localScalar(name, std::move(q));
        }
        FloatZELVectorConcrete fraction;
        const bool weighted = GeomVariableUtils::getVolumeFractionForPhase(phase, fraction, &boundary, VarTypeVertex);
        if (weighted && fraction.size() != values->size()) {
            reportNotConservative("calculateHeatFlux 4");
            return localScalar(name, std::move(q));
        }
        for (std::size_t i = 0; i < values->size(); ++i)
            if (!isUndefined((*values)[i])) qk += double((*values)[i]) * (weighted ? double(fraction[i]) : 1.0);
    }
    // An adiabatic surface (Qs = 0) cannot be scaled to carry a heat flow.
    if (qs == 0.0 || !std::isfinite(qk / qs)) {
        reportNotConservative("calculateHeatFlux 5");
        return localScalar(name, std::move(q));
    }
    const double factor = qk / qs;
    for (std::size_t i = 0; i < q.size(); ++i)
        if ((*as)[i] > kEpsilon && !isUndefined(q[i])) q[i] = float(factor * double(q[i]));
    return localScalar(name, std::move(q));
}

} // namespace zel

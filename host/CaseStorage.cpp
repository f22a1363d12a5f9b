#include "host/CaseStorage.h"

#include "host/BoundaryGeometry.h"

#include "framework/core/Error.h"
#include "framework/core/Undefined.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"

#include <algorithm>

namespace zel::host {

CaseStorage::CaseStorage() = default;

CaseStorage::~CaseStorage() { deleteAllVariables(); }

void CaseStorage::setDomainFields(const std::string& domain, std::map<std::string, DomainField> fields) {
    m_fields[domain] = std::move(fields);
}

void CaseStorage::removeDomain(const std::string& domain) {
    m_fields.erase(domain);
    // Variables made for the domain go with it (their values index its vertices).
    for (VariableIter it = getVariableIter(); !isLastVariable(it);) {
        if (it->first.domain == domain) {
            Variable* v = it->second;
            VariableIter next = std::next(it);
            removeVariable(it);
            delete v;
            it = next;
        } else {
            ++it;
        }
    }
}

const std::map<std::string, DomainField>* CaseStorage::findDomainFields(const std::string& domain) const {
    const auto it = m_fields.find(domain);
    return it == m_fields.end() ? nullptr : &it->second;
}

std::vector<std::string> CaseStorage::getAllPhases() {
    return m_phases.empty() ? std::vector<std::string>{kDefaultPhase} : m_phases;
}

std::vector<std::string> CaseStorage::getPhases(int, const std::string&) { return getAllPhases(); }

Variable* CaseStorage::makeExternalVariable(const std::string& name, const std::string& domain, bool&) {
    const auto fields = m_fields.find(domain);
    if (fields == m_fields.end()) return nullptr;
    std::unique_ptr<Variable> out;
    const auto field = fields->second.find(name);
    if (field != fields->second.end()) {
        const DomainField& f = field->second;
        const std::size_t n = f.values.size() / std::size_t(std::max(f.components, 1));
        if (f.components == 3) {
            auto v = std::make_unique<VectorVariable>(VarTypeConservative);
            TripletZELVector& t = v->values(VarTypeConservative);
            t.resize(n);
            for (std::size_t i = 0; i < n; ++i)
                t[i] = TripletF(f.values[3 * i], f.values[3 * i + 1], f.values[3 * i + 2]);
            out = std::move(v);
        } else if (f.components == 1) {
            auto v = std::make_unique<ScalarVariable>(f.values.data(), n, VarTypeConservative);
            out = std::move(v);
        } else {
            return nullptr; // tensors are not variables of the library
        }
    } else if (name == "X" || name == "Y" || name == "Z" || name == "Density") {
        const TripletZELVector& vertices = getGeometry(domain)->getVertices();
        auto v = std::make_unique<ScalarVariable>(VarTypeConservative);
        FloatZELVector& values = v->values(VarTypeConservative);
        values.resize(vertices.size());
        for (std::size_t i = 0; i < vertices.size(); ++i)
            values[i] = name == "X"   ? vertices[i].x
                        : name == "Y" ? vertices[i].y
                        : name == "Z" ? vertices[i].z
                                      : static_cast<float>(m_density);
        out = std::move(v);
    } else {
        return nullptr;
    }
    out->setName(name);
    out->setDomain(domain);
    return out.release();
}

Geometry* CaseStorage::findGeometryOf(const Interpolant* interpolant) {
    if (interpolant == nullptr) return nullptr;
    for (OKLObject* object : ObjectDB::instance()->getAllObjects()) {
        auto* geometric = dynamic_cast<GeometricOKLObject*>(object);
        if (geometric == nullptr) continue;
        for (const std::string& name : geometric->getGeometryNames()) {
            Geometry* g = geometric->getGeometry(name);
            if (g != nullptr && g->getInterpolant() == interpolant) return g;
        }
    }
    return nullptr;
}

namespace {
// A field variable of a geometry, or null when it has none: names without an object would be
// read by the registry as expressions.
Variable* fieldOf(Geometry& geometry, const std::string& name) {
    if (Variable* held = geometry.findVariable(name)) return held;
    return ObjectDB::instance()->hasObject(name) ? geometry.getVariable(name, false) : nullptr;
}
} // namespace

std::vector<float> CaseStorage::massFlowAt(Geometry& geometry, const std::string& phase) {
    const std::vector<double> exact = massFlowAtD(geometry, phase);
    return std::vector<float>(exact.begin(), exact.end());
}

std::vector<double> CaseStorage::massFlowAtD(Geometry& geometry, const std::string& phase,
                                             std::span<const TripletBase<double>> areaVectors) {
    const std::size_t n = static_cast<std::size_t>(geometry.getNumVertices());
    std::vector<double> flow(n, 0.0);
    Variable* velocity = fieldOf(geometry, "Velocity");
    const TripletZELVector* u = velocity != nullptr ? velocity->getTripletValues(VarTypeVertex) : nullptr;
    if (u == nullptr || u->size() != n) return flow;
    Variable* density = fieldOf(geometry, "Density");
    const FloatZELVector* rho = density != nullptr ? density->getFloatValues(VarTypeVertex) : nullptr;
    if (rho != nullptr && rho->size() != n) rho = nullptr;
    const FloatZELVector* alpha = nullptr;
    if (!phase.empty() && m_phases.size() > 1) {
        Variable* fraction = fieldOf(geometry, phase + ".Volume Fraction");
        alpha = fraction != nullptr ? fraction->getFloatValues(VarTypeVertex) : nullptr;
        if (alpha != nullptr && alpha->size() != n) alpha = nullptr;
    }
    const auto a = areaVectors.size() == n ? areaVectors : geometry.getVertexAreaVectorsD();
    for (std::size_t i = 0; i < n; ++i) {
        const TripletF& ui = (*u)[i];
        if (isUndefined(ui.x) || isUndefined(ui.y) || isUndefined(ui.z)) continue;
        double r = rho != nullptr && !isUndefined((*rho)[i]) ? double((*rho)[i]) : m_density;
        if (alpha != nullptr) r *= isUndefined((*alpha)[i]) ? 0.0 : double((*alpha)[i]);
        flow[i] = r * (double(ui.x) * a[i].x + double(ui.y) * a[i].y + double(ui.z) * a[i].z);
    }
    return flow;
}

void CaseStorage::getMassFlow(FloatZELVectorConcrete& values, const Interpolant* interpolant,
                              const std::string& phase) {
    Geometry* geometry = findGeometryOf(interpolant);
    if (geometry == nullptr)
        throw data::error("CaseStorage", "getMassFlow", "No location geometry holds the interpolant.", ErrError);
    const std::vector<float> flow = massFlowAt(*geometry, phase);
    const std::size_t n = std::min(values.size(), flow.size());
    for (std::size_t i = 0; i < n; ++i) values[i] = flow[i];
}

bool CaseStorage::getMassFlowD(std::vector<double>& values, Geometry& geometry, const std::string& phase) {
    if (auto* boundary = dynamic_cast<BoundaryGeometry*>(&geometry)) {
        values = boundary->vertexMassFlowsD(m_phases.size() > 1 ? phase : std::string());
        return !values.empty() || geometry.getNumVertices() == 0;
    }
    const Interpolant* interpolant = geometry.getInterpolant();
    if (interpolant == nullptr || !interpolant->canCalculateFlows()) return false;
    values = massFlowAtD(geometry, phase);
    return true;
}

Variable* CaseStorage::getBoundaryFlow(const std::string& name, Geometry* geometry) {
    if (geometry == nullptr) return nullptr;
    try {
        return geometry->getVariable(name, false);
    } catch (const expressions::eval&) {
        // A name that neither the boundary nor the case knows ("Heat Flow" of a case without
        // heat transfer) reaches the expression language, which refuses it: no such flow.
        return nullptr;
    }
}

} // namespace zel::host

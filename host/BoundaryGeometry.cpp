#include "host/BoundaryGeometry.h"

#include "datastorage/DataStorageBase.h"
#include "framework/core/Undefined.h"
#include "framework/okl/ObjectDB.h"
#include "host/CaseStorage.h"

#include <cmath>

namespace zel::host {
namespace {

constexpr const char* kMassFlow = "Mass Flow";
constexpr const char* kForce = "Force";
constexpr const char* kMomentumFlow = "momentum flow";

// "water.Mass Flow" -> ("water", "Mass Flow"); "Mass Flow" -> ("", "Mass Flow").
std::pair<std::string, std::string> splitPhase(const std::string& name) {
    for (const char* base : {kMassFlow, kForce, kMomentumFlow}) {
        const std::string b(base);
        if (name == b) return {std::string(), b};
        if (name.size() > b.size() + 1 && name.compare(name.size() - b.size(), b.size(), b) == 0 &&
            name[name.size() - b.size() - 1] == '.')
            return {name.substr(0, name.size() - b.size() - 1), b};
    }
    return {std::string(), std::string()};
}

const TripletZELVector* tripletsOf(Variable* v, std::size_t n) {
    const TripletZELVector* t = v != nullptr ? v->getTripletValues(VarTypeVertex) : nullptr;
    return t != nullptr && t->size() == n ? t : nullptr;
}
const FloatZELVector* floatsOf(Variable* v, std::size_t n) {
    const FloatZELVector* f = v != nullptr ? v->getFloatValues(VarTypeVertex) : nullptr;
    return f != nullptr && f->size() == n ? f : nullptr;
}

bool defined(const TripletF& t) { return !isUndefined(t.x) && !isUndefined(t.y) && !isUndefined(t.z); }

} // namespace

void BoundaryGeometry::copyKindData(Geometry& copy, bool copyMesh, bool copyData) const {
    Geometry::copyKindData(copy, copyMesh, copyData);
    if (!copyMesh) return;
    auto& to = static_cast<BoundaryGeometry&>(copy);
    to.m_faceOwners = m_faceOwners;
    to.m_faceFields = m_faceFields;
}

Variable* BoundaryGeometry::getVariable(const std::string& name, bool mustExist) {
    if (Variable* held = findVariable(name)) return held;
    if (std::unique_ptr<Variable> made = makeDerived(name)) return addVariable(std::move(made));
    // Components of the derived vectors are taken here: the domain has no such vectors.
    static const char* const kSuffixes[] = {" X", " Y", " Z"};
    for (int k = 0; k < 3; ++k) {
        const std::string suffix(kSuffixes[k]);
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string vectorName = name.substr(0, name.size() - suffix.size());
        if (splitPhase(vectorName).second.empty()) break;
        auto* vector = dynamic_cast<VectorVariable*>(getVariable(vectorName, false));
        if (vector == nullptr) break;
        return addVariable(std::make_unique<ScalarVariable>(*vector, k));
    }
    return Geometry::getVariable(name, mustExist);
}

Variable* BoundaryGeometry::field(const std::string& name) {
    if (Variable* held = findVariable(name)) return held;
    // Without an object the registry would read the name as an expression.
    return ObjectDB::instance()->hasObject(name) ? getVariable(name, false) : nullptr;
}

std::unique_ptr<Variable> BoundaryGeometry::makeDerived(const std::string& name) {
    const auto [phase, base] = splitPhase(name);
    if (base.empty()) return nullptr;
    auto* storage = dynamic_cast<CaseStorage*>(DataStorageBase::instance());
    if (storage == nullptr) return nullptr;
    const std::size_t n = static_cast<std::size_t>(getNumVertices());

    if (base == kMassFlow) {
        Variable* velocity = field("Velocity");
        if (tripletsOf(velocity, n) == nullptr) return nullptr;
        auto out = std::make_unique<ScalarVariable>();
        out->setFloatValues(FloatZELVector(storage->massFlowAt(*this, phase)));
        out->setName(name);
        out->setDomain(getDomain());
        return out;
    }

    // Force and momentum flow: phase-independent (the mixture's pressure and shear).
    if (!phase.empty()) return nullptr;
    const FloatZELVector* p = floatsOf(field("Pressure"), n);
    const TripletZELVector* tau = tripletsOf(field("Wall Shear"), n);
    if (p == nullptr && tau == nullptr) return nullptr;
    const TripletZELVector& a = getVertexAreaVectors();
    TripletZELVector force(n);
    for (std::size_t i = 0; i < n; ++i) {
        TripletF f(0.0f, 0.0f, 0.0f);
        bool ok = true;
        if (p != nullptr) {
            ok = ok && !isUndefined((*p)[i]);
            f = f + a[i] * (*p)[i];
        }
        if (tau != nullptr) {
            ok = ok && defined((*tau)[i]);
            f = f + (*tau)[i] * a[i].length();
        }
        force[i] = ok ? f : TripletF(UNDEFINED_VALUE, UNDEFINED_VALUE, UNDEFINED_VALUE);
    }
    if (base == kMomentumFlow) {
        const TripletZELVector* u = tripletsOf(field("Velocity"), n);
        const FloatZELVector* m = floatsOf(field(kMassFlow), n);
        if (u != nullptr && m != nullptr)
            for (std::size_t i = 0; i < n; ++i)
                if (defined(force[i]) && defined((*u)[i])) force[i] = force[i] + (*u)[i] * (*m)[i];
    }
    auto out = std::make_unique<VectorVariable>();
    out->setTripletValues(std::move(force));
    out->setName(name);
    out->setDomain(getDomain());
    return out;
}

} // namespace zel::host

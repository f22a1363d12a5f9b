#include "host/BoundaryGeometry.h"

#include "datastorage/DataStorageBase.h"
#include "framework/core/Undefined.h"
#include "framework/okl/ObjectDB.h"
#include "host/CaseStorage.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace zel::host {
namespace {

constexpr const char* kMassFlow = "Mass Flow";
constexpr const char* kForce = "Force";
constexpr const char* kMomentumFlow = "momentum flow";
constexpr const char* kHeatFlow = "Heat Flow";
constexpr const char* kHeatFlux = "Heat Flux";
constexpr const char* kAdjacentTemperature = "Wall Adjacent Temperature";
constexpr const char* kTransferCoefficient = "Wall Heat Transfer Coefficient";
constexpr const char* kTemperature = "Temperature";

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

void BoundaryGeometry::setFaceFields(std::map<std::string, DomainField> fields) {
    m_faceFields = std::move(fields);
    // Heat variables held already (a patch's point values of them, or made from earlier face
    // values) are made from these face values from now on.
    for (const std::string& held : getVariableNames())
        if (held == kHeatFlux || held == kHeatFlow || held == kAdjacentTemperature || held == kTransferCoefficient)
            removeVariable(held);
}

const std::vector<float>* BoundaryGeometry::faceValues(const std::string& name) const {
    const auto it = m_faceFields.find(name);
    if (it == m_faceFields.end() || it->second.components != 1) return nullptr;
    std::size_t faces = 0;
    for (int s = 0; s < getNumElementSets(); ++s)
        if (getElementSet(s).isFaceSet()) faces += std::size_t(getElementSet(s).size());
    return it->second.values.size() == faces ? &it->second.values : nullptr;
}

std::vector<float> BoundaryGeometry::fromFaces(std::span<const float> perFace, bool integral) const {
    const std::size_t n = static_cast<std::size_t>(getNumVertices());
    const std::vector<double> shares = getFaceVertexAreas();
    std::vector<double> sum(n, 0.0), weight(n, 0.0);
    std::size_t face = 0, entry = 0;
    for (int s = 0; s < getNumElementSets(); ++s) {
        const ShapeSet& set = getElementSet(s);
        if (!set.isFaceSet()) continue;
        for (int e = 0; e < set.size(); ++e, ++face)
            for (const int v : set.getElement(e)) {
                const double share = shares[entry++];
                if (isUndefined(perFace[face])) continue;
                sum[std::size_t(v)] += double(perFace[face]) * share;
                weight[std::size_t(v)] += share;
            }
    }
    std::vector<float> out(n, UNDEFINED_VALUE);
    for (std::size_t i = 0; i < n; ++i)
        if (weight[i] > 0.0) out[i] = static_cast<float>(integral ? sum[i] : sum[i] / weight[i]);
    return out;
}

double BoundaryGeometry::coefficientSign(std::span<const float> h) const {
    const std::vector<float>* q = faceValues(kHeatFlux);
    const std::vector<float>* wall = faceValues(kTemperature);
    const std::vector<float>* adjacent = faceValues(kAdjacentTemperature);
    if (q == nullptr || wall == nullptr || adjacent == nullptr) return 1.0;
    const std::vector<double> shares = getFaceVertexAreas();
    double agreement = 0.0;
    std::size_t face = 0, entry = 0;
    for (int s = 0; s < getNumElementSets(); ++s) {
        const ShapeSet& set = getElementSet(s);
        if (!set.isFaceSet()) continue;
        for (int e = 0; e < set.size(); ++e, ++face) {
            double area = 0.0;
            for (int k = 0; k < set.getNodesPerElement(); ++k) area += shares[entry++];
            const float terms[4] = {h[face], (*q)[face], (*wall)[face], (*adjacent)[face]};
            if (std::none_of(std::begin(terms), std::end(terms), [](float t) { return isUndefined(t); }))
                agreement += double(terms[0]) * terms[1] * (double(terms[2]) - terms[3]) * area;
        }
    }
    return agreement < 0.0 ? -1.0 : 1.0;
}

std::unique_ptr<Variable> BoundaryGeometry::makeHeat(const std::string& name) {
    const std::size_t n = static_cast<std::size_t>(getNumVertices());
    const std::vector<float>* faceFlux = faceValues(kHeatFlux);
    std::vector<float> values;
    if (name == kHeatFlow) {
        if (faceFlux != nullptr) {
            values = fromFaces(*faceFlux, true);
        } else {
            const FloatZELVector* q = floatsOf(field(kHeatFlux), n);
            if (q == nullptr) return nullptr;
            const FloatZELVector& a = getVertexAreas();
            values.resize(n);
            for (std::size_t i = 0; i < n; ++i)
                values[i] = isUndefined((*q)[i]) ? UNDEFINED_VALUE : static_cast<float>(double((*q)[i]) * a[i]);
        }
    } else if (name == kHeatFlux) {
        if (faceFlux == nullptr) return nullptr;  // the field of that name, if any
        values = fromFaces(*faceFlux, false);
    } else if (name == kAdjacentTemperature) {
        const std::vector<float>* adjacent = faceValues(kAdjacentTemperature);
        if (adjacent == nullptr) return nullptr;
        values = fromFaces(*adjacent, false);
    } else if (const std::vector<float>* h = faceValues(kTransferCoefficient)) {
        values = fromFaces(*h, false);
        if (coefficientSign(*h) < 0.0)
            for (float& v : values)
                if (!isUndefined(v)) v = -v;
    } else {
        const FloatZELVector* q = floatsOf(getVariable(kHeatFlux, false), n);
        const FloatZELVector* wall = floatsOf(field(kTemperature), n);
        const FloatZELVector* adjacent = floatsOf(getVariable(kAdjacentTemperature, false), n);
        if (q == nullptr || wall == nullptr || adjacent == nullptr) return nullptr;
        values.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const float qi = (*q)[i], tw = (*wall)[i], ta = (*adjacent)[i];
            if (isUndefined(qi) || isUndefined(tw) || isUndefined(ta)) {
                values[i] = UNDEFINED_VALUE;
                continue;
            }
            const double dt = double(tw) - double(ta);
            const double resolution = std::numeric_limits<float>::epsilon() * std::max(std::fabs(tw), std::fabs(ta));
            values[i] = std::fabs(dt) <= resolution ? 0.0f : static_cast<float>(qi / dt);
        }
    }
    auto out = std::make_unique<ScalarVariable>();
    out->setFloatValues(FloatZELVector(std::move(values)));
    out->setName(name);
    out->setDomain(getDomain());
    return out;
}

std::unique_ptr<Variable> BoundaryGeometry::makeDerived(const std::string& name) {
    if (name == kHeatFlow || name == kHeatFlux || name == kAdjacentTemperature || name == kTransferCoefficient)
        return makeHeat(name);
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

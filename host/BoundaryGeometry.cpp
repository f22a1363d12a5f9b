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
constexpr const char* kPressureForce = "Pressure Force";
constexpr const char* kViscousForce = "Viscous Force";

// "water.Mass Flow" -> ("water", "Mass Flow"); "Mass Flow" -> ("", "Mass Flow").
std::pair<std::string, std::string> splitPhase(const std::string& name) {
    for (const char* base : {kMassFlow, kForce, kMomentumFlow, kPressureForce, kViscousForce}) {
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

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

std::size_t faceCount(const Geometry& g) {
    std::size_t faces = 0;
    for (int s = 0; s < g.getNumElementSets(); ++s)
        if (g.getElementSet(s).isFaceSet()) faces += std::size_t(g.getElementSet(s).size());
    return faces;
}

} // namespace

void BoundaryGeometry::copyKindData(Geometry& copy, bool copyMesh, bool copyData) const {
    Geometry::copyKindData(copy, copyMesh, copyData);
    if (!copyMesh) return;
    auto& to = static_cast<BoundaryGeometry&>(copy);
    to.m_faceOwners = m_faceOwners;
    to.m_faceFields = m_faceFields;
    to.m_flowSource = m_flowSource;
    to.m_seam = m_seam;
    to.m_seamsKnown = m_seamsKnown;
    to.m_wholeAtSeams = m_wholeAtSeams;
}

void BoundaryGeometry::setSeamFaces(SeamFaces seam) {
    m_seam = std::move(seam);
    m_seamsKnown = true;
    m_wholeAtSeams.clear();
}

std::string vectorOfComponent(std::string name) {
    for (const char* suffix : {" X", " Y", " Z"})
        if (name.size() > 2 && name.compare(name.size() - 2, 2, suffix) == 0) {
            name.resize(name.size() - 2);
            break;
        }
    return name;
}

bool BoundaryGeometry::isWholeAtSeams(std::string name) const {
    if (!m_seamsKnown) return false;
    if (!hasSeamFaces()) return true;
    name = vectorOfComponent(std::move(name));
    return name == "Area" || name == "Normal" ||
           std::find(m_wholeAtSeams.begin(), m_wholeAtSeams.end(), name) != m_wholeAtSeams.end();
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
    // With flows from the vertex values the patch's "Heat Flux" stays what "Heat Flow" is made of.
    const bool points = m_flowSource == FlowSource::Points;
    for (const std::string& held : getVariableNames())
        if ((!points && (held == kHeatFlux || held == kHeatFlow)) || held == kAdjacentTemperature ||
            held == kTransferCoefficient)
            removeVariable(held);
}

const std::vector<float>* BoundaryGeometry::faceValues(const std::string& name) const {
    const auto it = m_faceFields.find(name);
    if (it == m_faceFields.end() || it->second.components != 1) return nullptr;
    return it->second.values.size() == faceCount(*this) ? &it->second.values : nullptr;
}

const std::vector<float>* BoundaryGeometry::faceVectors(const std::string& name) const {
    const auto it = m_faceFields.find(name);
    if (it == m_faceFields.end() || it->second.components != 3) return nullptr;
    return it->second.values.size() == 3 * faceCount(*this) ? &it->second.values : nullptr;
}

BoundaryGeometry::FaceSide BoundaryGeometry::ownFaces() const {
    return {&m_faceFields, getFaceAreaVectors(), faceCount(*this), false};
}

BoundaryGeometry::FaceSide BoundaryGeometry::seamFaces() const {
    return {&m_seam.fields, m_seam.areaVectors, m_seam.size(), true};
}

const std::vector<float>* BoundaryGeometry::flowValuesOf(const FaceSide& side, const std::string& name,
                                                         int components) const {
    if (m_flowSource != FlowSource::Faces) return nullptr;
    const auto it = side.fields->find(name);
    if (it == side.fields->end() || it->second.components != components) return nullptr;
    return it->second.values.size() == std::size_t(components) * side.faces ? &it->second.values : nullptr;
}

const std::vector<float>* BoundaryGeometry::flowFaceValues(const std::string& name) const {
    return m_flowSource == FlowSource::Faces ? faceValues(name) : nullptr;
}

const std::vector<float>* BoundaryGeometry::flowFaceVectors(const std::string& name) const {
    return m_flowSource == FlowSource::Faces ? faceVectors(name) : nullptr;
}

void BoundaryGeometry::spreadFaceFlows(std::span<const double> perFace, int components, std::vector<double>& sums,
                                       std::vector<char>& touched, bool seam) const {
    const std::size_t nc = std::size_t(components);
    if (seam) {
        for (std::size_t f = 0; f < m_seam.size(); ++f) {
            const std::size_t first = m_seam.offsets[f], end = m_seam.offsets[f + 1];
            double area = 0.0;
            for (std::size_t j = first; j < end; ++j) area += m_seam.shares[j];
            const std::span<const double> flow = perFace.subspan(f * nc, nc);
            if (!(area > 0.0) || std::any_of(flow.begin(), flow.end(), [](double v) { return std::isnan(v); }))
                continue;
            for (std::size_t j = first; j < end; ++j) {
                if (m_seam.corners[j] < 0) continue;
                const std::size_t v = std::size_t(m_seam.corners[j]);
                const double part = m_seam.shares[j] / area;
                for (std::size_t c = 0; c < nc; ++c) sums[v * nc + c] += flow[c] * part;
                touched[v] = 1;
            }
        }
        return;
    }
    const std::vector<double> shares = getFaceVertexAreas();
    std::size_t face = 0, entry = 0;
    for (int s = 0; s < getNumElementSets(); ++s) {
        const ShapeSet& set = getElementSet(s);
        if (!set.isFaceSet()) continue;
        for (int e = 0; e < set.size(); ++e, ++face) {
            const auto nodes = set.getElement(e);
            const std::size_t first = entry;
            entry += nodes.size();
            double area = 0.0;
            for (std::size_t j = first; j < entry; ++j) area += shares[j];
            const std::span<const double> flow = perFace.subspan(face * nc, nc);
            // A degenerate face has no flow (S_f = 0); a face without a value gives none.
            if (!(area > 0.0) || std::any_of(flow.begin(), flow.end(), [](double v) { return std::isnan(v); }))
                continue;
            for (std::size_t j = 0; j < nodes.size(); ++j) {
                const std::size_t v = std::size_t(nodes[j]);
                const double part = shares[first + j] / area;
                for (std::size_t c = 0; c < nc; ++c) sums[v * nc + c] += flow[c] * part;
                touched[v] = 1;
            }
        }
    }
}

std::vector<double> BoundaryGeometry::faceMassFlows(const std::string& phase, const FaceSide& side) const {
    const std::vector<float>* u = flowValuesOf(side, "Velocity", 3);
    auto* storage = dynamic_cast<CaseStorage*>(DataStorageBase::instance());
    if (u == nullptr || storage == nullptr) return {};
    // A density that varies is taken at the faces too, or not at all: mixing face velocities
    // with vertex densities would be neither sum.
    const std::vector<float>* rho = flowValuesOf(side, "Density", 1);
    if (rho == nullptr) {
        const auto* fields = storage->findDomainFields(getDomain());
        if (fields != nullptr && fields->count("Density") != 0) return {};
    }
    const std::vector<float>* alpha = nullptr;
    if (!phase.empty() && storage->getAllPhases().size() > 1) {
        alpha = flowValuesOf(side, phase + ".Volume Fraction", 1);
        if (alpha == nullptr) return {};
    }
    const std::vector<double>& S = side.areaVectors;
    const std::size_t faces = side.faces;
    std::vector<double> out(faces, kNoValue);
    for (std::size_t f = 0; f < faces; ++f) {
        const float* uf = u->data() + 3 * f;
        if (isUndefined(uf[0]) || isUndefined(uf[1]) || isUndefined(uf[2])) continue;
        double r = rho != nullptr && !isUndefined((*rho)[f]) ? double((*rho)[f]) : storage->getDensity();
        if (alpha != nullptr) r *= isUndefined((*alpha)[f]) ? 0.0 : double((*alpha)[f]);
        out[f] = r * (double(uf[0]) * S[3 * f] + double(uf[1]) * S[3 * f + 1] + double(uf[2]) * S[3 * f + 2]);
    }
    return out;
}

std::vector<float> BoundaryGeometry::fromFaces(std::span<const float> perFace, const std::vector<float>* perSeam,
                                               bool integral) const {
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
    if (perSeam != nullptr && perSeam->size() == m_seam.size())
        for (std::size_t f = 0; f < m_seam.size(); ++f) {
            if (isUndefined((*perSeam)[f])) continue;
            for (std::size_t j = m_seam.offsets[f]; j < m_seam.offsets[f + 1]; ++j) {
                if (m_seam.corners[j] < 0) continue;
                const std::size_t v = std::size_t(m_seam.corners[j]);
                sum[v] += double((*perSeam)[f]) * m_seam.shares[j];
                weight[v] += m_seam.shares[j];
            }
        }
    std::vector<float> out(n, UNDEFINED_VALUE);
    for (std::size_t i = 0; i < n; ++i)
        if (weight[i] > 0.0) out[i] = static_cast<float>(integral ? sum[i] : sum[i] / weight[i]);
    return out;
}

double BoundaryGeometry::coefficientAgreement() const {
    const std::vector<float>* h = faceValues(kTransferCoefficient);
    const std::vector<float>* q = faceValues(kHeatFlux);
    const std::vector<float>* wall = faceValues(kTemperature);
    const std::vector<float>* adjacent = faceValues(kAdjacentTemperature);
    if (h == nullptr || q == nullptr || wall == nullptr || adjacent == nullptr) return kNoValue;
    const std::vector<double> shares = getFaceVertexAreas();
    double agreement = 0.0;
    std::size_t face = 0, entry = 0;
    for (int s = 0; s < getNumElementSets(); ++s) {
        const ShapeSet& set = getElementSet(s);
        if (!set.isFaceSet()) continue;
        for (int e = 0; e < set.size(); ++e, ++face) {
            double area = 0.0;
            for (int k = 0; k < set.getNodesPerElement(); ++k) area += shares[entry++];
            const float terms[4] = {(*h)[face], (*q)[face], (*wall)[face], (*adjacent)[face]};
            if (std::none_of(std::begin(terms), std::end(terms), [](float t) { return isUndefined(t); }))
                agreement += double(terms[0]) * terms[1] * (double(terms[2]) - terms[3]) * area;
        }
    }
    return agreement;
}

double BoundaryGeometry::coefficientSign() const {
    const double agreement = std::isnan(m_wholeAgreement) ? coefficientAgreement() : m_wholeAgreement;
    return agreement < 0.0 ? -1.0 : 1.0; // NaN: without the face values to tell
}

BoundaryGeometry::SeamAreas BoundaryGeometry::seamAreas() const {
    const std::span<const double> areas = getVertexAreasD();
    const std::span<const TripletBase<double>> vectors = getVertexAreaVectorsD();
    SeamAreas out{{areas.begin(), areas.end()}, {vectors.begin(), vectors.end()}};
    const bool withVectors = m_seam.shareVectors.size() == 3 * m_seam.corners.size();
    for (std::size_t j = 0; j < m_seam.corners.size(); ++j) {
        if (m_seam.corners[j] < 0 || std::size_t(m_seam.corners[j]) >= out.areas.size()) continue;
        const std::size_t v = std::size_t(m_seam.corners[j]);
        out.areas[v] += m_seam.shares[j];
        if (withVectors)
            out.vectors[v] += TripletBase<double>(m_seam.shareVectors[3 * j], m_seam.shareVectors[3 * j + 1],
                                                  m_seam.shareVectors[3 * j + 2]);
    }
    return out;
}

std::unique_ptr<Variable> BoundaryGeometry::makeHeat(const std::string& name) {
    const std::size_t n = static_cast<std::size_t>(getNumVertices());
    const std::vector<float>* faceFlux = flowFaceValues(kHeatFlux);
    const FaceSide seam = seamFaces();
    // The seam faces' values of the face values a heat variable is made of (null: none).
    bool whole = true;
    auto atSeams = [&](const char* field) -> const std::vector<float>* {
        if (!hasSeamFaces()) return nullptr;
        const auto it = m_seam.fields.find(field);
        if (it != m_seam.fields.end() && it->second.components == 1 && it->second.values.size() == seam.faces)
            return &it->second.values;
        whole = false;
        return nullptr;
    };
    std::vector<float> values;
    if (name == kHeatFlow) {
        if (faceFlux != nullptr) {
            values = fromFaces(*faceFlux, atSeams(kHeatFlux), true);
        } else {
            const FloatZELVector* q = floatsOf(field(kHeatFlux), n);
            if (q == nullptr) return nullptr;
            FloatZELVector a = getVertexAreas();
            if (hasSeamFaces()) {
                const std::vector<double> seam = seamAreas().areas;
                for (std::size_t i = 0; i < n; ++i) a[i] = static_cast<float>(seam[i]);
            }
            values.resize(n);
            for (std::size_t i = 0; i < n; ++i)
                values[i] = isUndefined((*q)[i]) ? UNDEFINED_VALUE : static_cast<float>(double((*q)[i]) * a[i]);
        }
    } else if (name == kHeatFlux) {
        if (faceFlux == nullptr) return nullptr; // the field of that name, if any
        values = fromFaces(*faceFlux, atSeams(kHeatFlux), false);
    } else if (name == kAdjacentTemperature) {
        const std::vector<float>* adjacent = faceValues(kAdjacentTemperature);
        if (adjacent == nullptr) return nullptr;
        values = fromFaces(*adjacent, atSeams(kAdjacentTemperature), false);
    } else if (const std::vector<float>* h = faceValues(kTransferCoefficient)) {
        values = fromFaces(*h, atSeams(kTransferCoefficient), false);
        if (coefficientSign() < 0.0)
            for (float& v : values)
                if (!isUndefined(v)) v = -v;
    } else {
        const FloatZELVector* q = floatsOf(getVariable(kHeatFlux, false), n);
        const FloatZELVector* wall = floatsOf(field(kTemperature), n);
        const FloatZELVector* adjacent = floatsOf(getVariable(kAdjacentTemperature, false), n);
        if (q == nullptr || wall == nullptr || adjacent == nullptr) return nullptr;
        whole = isWholeAtSeams(kHeatFlux) && isWholeAtSeams(kAdjacentTemperature);
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
    if (whole) markWholeAtSeams(name);
    auto out = std::make_unique<ScalarVariable>();
    out->setFloatValues(FloatZELVector(std::move(values)));
    out->setName(name);
    out->setDomain(getDomain());
    return out;
}

std::unique_ptr<Variable> BoundaryGeometry::makeForce(const std::string& name, bool pressure, bool viscous,
                                                      bool& whole) {
    const std::size_t n = static_cast<std::size_t>(getNumVertices());
    const std::vector<float>* pf = pressure ? flowFaceValues("Pressure") : nullptr;
    const std::vector<float>* tf = viscous ? flowFaceVectors("Wall Shear") : nullptr;
    const FloatZELVector* p = pressure && pf == nullptr ? floatsOf(field("Pressure"), n) : nullptr;
    const TripletZELVector* tau = viscous && tf == nullptr ? tripletsOf(field("Wall Shear"), n) : nullptr;
    if (pf == nullptr && tf == nullptr && p == nullptr && tau == nullptr) return nullptr;

    std::vector<double> sums(3 * n, 0.0);
    std::vector<char> ok(n, 1);
    if (pf != nullptr || tf != nullptr) {
        const FaceSide sides[2] = {ownFaces(), seamFaces()};
        // Each part over this geometry's faces, then over the seam faces.
        auto spread = [&](const char* field, int components, auto&& faceForce) {
            std::vector<char> touched(n, 0);
            for (const FaceSide& side : sides) {
                if (side.seam && !hasSeamFaces()) continue;
                const std::vector<float>* values = flowValuesOf(side, field, components);
                if (values == nullptr) {
                    whole = false;
                    continue;
                }
                const std::vector<double>& S = side.areaVectors;
                std::vector<double> perFace(3 * side.faces);
                for (std::size_t f = 0; f < side.faces; ++f)
                    faceForce(values->data() + std::size_t(components) * f, &S[3 * f],
                              std::span<double>(perFace).subspan(3 * f, 3));
                spreadFaceFlows(perFace, 3, sums, touched, side.seam);
            }
            for (std::size_t i = 0; i < n; ++i) ok[i] = char(ok[i] && touched[i]);
        };
        if (pf != nullptr)
            spread("Pressure", 1, [](const float* pv, const double* S, std::span<double> out) {
                for (std::size_t c = 0; c < 3; ++c) out[c] = isUndefined(*pv) ? kNoValue : double(*pv) * S[c];
            });
        if (tf != nullptr)
            spread("Wall Shear", 3, [](const float* t, const double* S, std::span<double> out) {
                const double area = std::sqrt(S[0] * S[0] + S[1] * S[1] + S[2] * S[2]);
                const bool undefinedShear = isUndefined(t[0]) || isUndefined(t[1]) || isUndefined(t[2]);
                for (std::size_t c = 0; c < 3; ++c) out[c] = undefinedShear ? kNoValue : double(t[c]) * area;
            });
    }
    if (p != nullptr || tau != nullptr) {
        // The vertex areas of the whole boundary where other parts' faces meet this one's.
        TripletZELVector a = getVertexAreaVectors();
        // Shear acts on the area itself: |a_i| would shrink it where the normals turn (at a
        // duct's corners by half).
        FloatZELVector areas = getVertexAreas();
        if (hasSeamFaces()) {
            const SeamAreas seam = seamAreas();
            for (std::size_t i = 0; i < n; ++i) {
                a[i] = TripletF(seam.vectors[i]);
                areas[i] = static_cast<float>(seam.areas[i]);
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (p != nullptr) {
                const float pi = (*p)[i];
                if (isUndefined(pi)) ok[i] = 0;
                sums[3 * i] += double(a[i].x) * pi;
                sums[3 * i + 1] += double(a[i].y) * pi;
                sums[3 * i + 2] += double(a[i].z) * pi;
            }
            if (tau != nullptr) {
                const TripletF& t = (*tau)[i];
                if (!defined(t)) ok[i] = 0;
                const double area = areas[i];
                sums[3 * i] += double(t.x) * area;
                sums[3 * i + 1] += double(t.y) * area;
                sums[3 * i + 2] += double(t.z) * area;
            }
        }
    }
    TripletZELVector force(n);
    for (std::size_t i = 0; i < n; ++i)
        force[i] = ok[i] != 0 ? TripletF(float(sums[3 * i]), float(sums[3 * i + 1]), float(sums[3 * i + 2]))
                              : TripletF(UNDEFINED_VALUE, UNDEFINED_VALUE, UNDEFINED_VALUE);
    auto out = std::make_unique<VectorVariable>();
    out->setTripletValues(std::move(force));
    out->setName(name);
    out->setDomain(getDomain());
    return out;
}

std::vector<double> BoundaryGeometry::vertexMassFlowsD(const std::string& phase, bool withSeams) {
    bool whole = true;
    return massFlowSums(phase, withSeams, whole);
}

std::vector<double> BoundaryGeometry::massFlowSums(const std::string& phase, bool withSeams, bool& whole) {
    auto* storage = dynamic_cast<CaseStorage*>(DataStorageBase::instance());
    const std::size_t n = static_cast<std::size_t>(getNumVertices());
    if (storage == nullptr || n == 0) return {};
    if (const std::vector<double> perFace = faceMassFlows(phase); !perFace.empty()) {
        std::vector<double> sums(n, 0.0); // 0 where no face has a flow
        std::vector<char> touched(n, 0);
        spreadFaceFlows(perFace, 1, sums, touched);
        if (withSeams && hasSeamFaces()) {
            const std::vector<double> perSeam = faceMassFlows(phase, seamFaces());
            if (perSeam.empty())
                whole = false;
            else
                spreadFaceFlows(perSeam, 1, sums, touched, true);
        }
        return sums;
    }
    if (tripletsOf(field("Velocity"), n) == nullptr) return {};
    if (withSeams && hasSeamFaces()) return storage->massFlowAtD(*this, phase, seamAreas().vectors);
    return storage->massFlowAtD(*this, phase);
}

std::unique_ptr<Variable> BoundaryGeometry::makeDerived(const std::string& name) {
    if (hasSeamFaces() &&
        (name == "Area" || name == "Normal" || name == "Normal X" || name == "Normal Y" || name == "Normal Z")) {
        // The plain geometry's vertex areas and normals, with the seam faces' shares.
        const SeamAreas whole = seamAreas();
        const std::size_t n = whole.areas.size();
        std::unique_ptr<Variable> out;
        if (name == "Area") {
            auto scalar = std::make_unique<ScalarVariable>();
            scalar->setFloatValues(FloatZELVector(std::vector<float>(whole.areas.begin(), whole.areas.end())));
            out = std::move(scalar);
        } else {
            TripletZELVector normals(n);
            for (std::size_t i = 0; i < n; ++i) {
                const TripletBase<double>& v = whole.vectors[i];
                const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
                normals[i] = len > 0 ? TripletF(v / len) : TripletF(0, 0, 0);
            }
            if (name == "Normal") {
                auto vector = std::make_unique<VectorVariable>();
                vector->setTripletValues(std::move(normals));
                out = std::move(vector);
            } else {
                const int k = name.back() - 'X';
                std::vector<float> component(n);
                for (std::size_t i = 0; i < n; ++i) component[i] = normals[i][k];
                auto scalar = std::make_unique<ScalarVariable>();
                scalar->setFloatValues(FloatZELVector(std::move(component)));
                out = std::move(scalar);
            }
        }
        out->setName(name);
        out->setDomain(getDomain());
        return out;
    }
    if (name == kHeatFlow || name == kHeatFlux || name == kAdjacentTemperature || name == kTransferCoefficient)
        return makeHeat(name);
    const auto [phase, base] = splitPhase(name);
    if (base.empty()) return nullptr;
    auto* storage = dynamic_cast<CaseStorage*>(DataStorageBase::instance());
    if (storage == nullptr) return nullptr;
    const std::size_t n = static_cast<std::size_t>(getNumVertices());

    bool whole = true;
    if (base == kMassFlow) {
        const std::vector<double> exact = massFlowSums(phase, true, whole);
        if (exact.empty()) return nullptr;
        if (whole) markWholeAtSeams(name);
        auto out = std::make_unique<ScalarVariable>();
        out->setFloatValues(FloatZELVector(std::vector<float>(exact.begin(), exact.end())));
        out->setName(name);
        out->setDomain(getDomain());
        return out;
    }

    // Forces and momentum flow: phase-independent (the mixture's pressure and shear).
    if (!phase.empty()) return nullptr;
    if (base != kMomentumFlow) {
        std::unique_ptr<Variable> force = makeForce(name, base != kViscousForce, base != kPressureForce, whole);
        if (force != nullptr && whole) markWholeAtSeams(name);
        return force;
    }

    std::unique_ptr<Variable> made = makeForce(name, true, true, whole);
    if (made == nullptr) return nullptr;
    auto& momentum = static_cast<VectorVariable&>(*made);
    TripletZELVector values = *momentum.getTripletValues(VarTypeVertex);
    const std::vector<double> faceFlow = faceMassFlows(std::string());
    const std::vector<float>* uf = flowFaceVectors("Velocity");
    if (!faceFlow.empty() && uf != nullptr) {
        // (ρ U·S)_f U_f per face, spread as the mass flow is.
        std::vector<double> perFace(3 * faceFlow.size(), kNoValue);
        for (std::size_t f = 0; f < faceFlow.size(); ++f)
            for (std::size_t c = 0; c < 3; ++c) perFace[3 * f + c] = faceFlow[f] * double((*uf)[3 * f + c]);
        std::vector<double> sums(3 * n, 0.0);
        std::vector<char> touched(n, 0);
        spreadFaceFlows(perFace, 3, sums, touched);
        if (hasSeamFaces()) {
            const FaceSide seam = seamFaces();
            const std::vector<double> seamFlow = faceMassFlows(std::string(), seam);
            const std::vector<float>* seamU = flowValuesOf(seam, "Velocity", 3);
            if (seamFlow.empty() || seamU == nullptr) {
                whole = false;
            } else {
                std::vector<double> perSeam(3 * seamFlow.size(), kNoValue);
                for (std::size_t f = 0; f < seamFlow.size(); ++f)
                    for (std::size_t c = 0; c < 3; ++c) perSeam[3 * f + c] = seamFlow[f] * double((*seamU)[3 * f + c]);
                spreadFaceFlows(perSeam, 3, sums, touched, true);
            }
        }
        for (std::size_t i = 0; i < n; ++i)
            if (defined(values[i]) && touched[i] != 0)
                values[i] =
                    TripletF(float(double(values[i].x) + sums[3 * i]), float(double(values[i].y) + sums[3 * i + 1]),
                             float(double(values[i].z) + sums[3 * i + 2]));
    } else {
        const TripletZELVector* u = tripletsOf(field("Velocity"), n);
        const FloatZELVector* m = floatsOf(field(kMassFlow), n);
        if (m != nullptr && !isWholeAtSeams(kMassFlow)) whole = false;
        if (u != nullptr && m != nullptr)
            for (std::size_t i = 0; i < n; ++i)
                if (defined(values[i]) && defined((*u)[i])) values[i] = values[i] + (*u)[i] * (*m)[i];
    }
    momentum.setTripletValues(std::move(values));
    if (whole) markWholeAtSeams(name);
    return made;
}

} // namespace zel::host

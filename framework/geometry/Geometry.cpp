#include "framework/geometry/Geometry.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/FileReaderBase.h"
#include "framework/geometry/GeometryCache.h"

#include <algorithm>

namespace zel {

// ---------------------------------------------------------------- ShapeSet

ShapeSet::ShapeSet(std::string name, ShapeType type, int numElements, int nodesPerElement)
    : m_name(std::move(name)), m_type(type), m_nodes(cell::nodeCount(type)) {
    if (type == ShapeType::Polygon) {
        if (nodesPerElement < 3)
            throw internal::badParam(
                "ShapeSet", "ShapeSet",
                _("Polygon set '%s' needs at least 3 vertices per face, given %d.", m_name, nodesPerElement), ErrError);
        m_nodes = nodesPerElement;
    } else if (nodesPerElement != 0 && nodesPerElement != m_nodes) {
        throw internal::badParam("ShapeSet", "ShapeSet",
                                 _("Set '%s' of shape type %d has %d vertices per element, given %d.", m_name,
                                   static_cast<int>(type), m_nodes, nodesPerElement),
                                 ErrError);
    }
    if (m_nodes <= 0)
        throw internal::badParam("ShapeSet", "ShapeSet",
                                 _("Shape type %d cannot form an element set.", static_cast<int>(type)), ErrError);
    resize(numElements);
}

void ShapeSet::resize(int numElements) {
    if (numElements < 0)
        throw internal::badParam("ShapeSet", "resize", _("Negative element count %d.", numElements), ErrError);
    ++m_version;
    const int old = m_count;
    m_count = numElements;
    m_connectivity.resize(std::size_t(numElements) * std::size_t(m_nodes), -1);
    m_nums.resize(std::size_t(numElements));
    for (int i = old; i < numElements; ++i) m_nums[std::size_t(i)] = i;
}

void ShapeSet::setElement(int i, std::span<const int> nodes) {
    if (nodes.size() != std::size_t(m_nodes))
        throw internal::badParam("ShapeSet", "setElement",
                                 _("Set '%s' takes %d vertices per element, given %d.", m_name, m_nodes, nodes.size()),
                                 ErrError);
    assert(i >= 0 && i < m_count);
    std::copy(nodes.begin(), nodes.end(), editElement(i).begin());
}

int ShapeSet::addElement(std::span<const int> nodes, int number) {
    if (nodes.size() != std::size_t(m_nodes))
        throw internal::badParam("ShapeSet", "addElement",
                                 _("Set '%s' takes %d vertices per element, given %d.", m_name, m_nodes, nodes.size()),
                                 ErrError);
    ++m_version;
    m_connectivity.insert(m_connectivity.end(), nodes.begin(), nodes.end());
    m_nums.push_back(number < 0 ? m_count : number);
    return m_count++;
}

// ---------------------------------------------------------------- GeometryInfo

Geometry* GeometryInfo::findGeometry(const std::string& domain) const {
    const std::vector<Geometry*> all = getGeometries(false);
    for (Geometry* g : all)
        if (g != nullptr && g->getName() == domain) return g;
    for (Geometry* g : all)
        if (g != nullptr && g->getDomain() == domain) return g;
    return nullptr;
}

Variable* GeometryInfo::getVariable(const std::string& name, Geometry& geometry) const {
    return geometry.getVariable(name, false);
}

std::unique_ptr<Variable> GeometryInfo::evaluateOn(const std::string&, Geometry&) const { return nullptr; }

// ---------------------------------------------------------------- Geometry

GeometryInfo* Geometry::s_geometryInfo = nullptr;

GeometryInfo* Geometry::getGeometryInfo() { return s_geometryInfo; }
void Geometry::setGeometryInfo(GeometryInfo* info) { s_geometryInfo = info; }

Geometry::Geometry() = default;
Geometry::~Geometry() = default;

void Geometry::addParentDomain(const std::string& domain) {
    if (std::find(m_parentDomains.begin(), m_parentDomains.end(), domain) == m_parentDomains.end())
        m_parentDomains.push_back(domain);
}

ShapeSet* Geometry::addFaceSet(const std::string& name, ShapeType type, int numElements, int nodesPerElement) {
    if (getElementSetIndex(name) >= 0) return nullptr;
    m_sets.push_back(std::make_unique<ShapeSet>(name, type, numElements, nodesPerElement));
    ++m_setsVersion;
    return m_sets.back().get();
}

ShapeSet* Geometry::getFaceSet(const std::string& name) {
    const int i = getElementSetIndex(name);
    return i < 0 ? nullptr : m_sets[std::size_t(i)].get();
}

const ShapeSet* Geometry::getFaceSet(const std::string& name) const {
    const int i = getElementSetIndex(name);
    return i < 0 ? nullptr : m_sets[std::size_t(i)].get();
}

bool Geometry::removeFaceSet(const std::string& name) {
    const int i = getElementSetIndex(name);
    if (i < 0) return false;
    // Keep the version sum increasing although the set's own count leaves it.
    m_setsVersion += m_sets[std::size_t(i)]->getVersion() + 1;
    m_sets.erase(m_sets.begin() + i);
    return true;
}

std::vector<std::string> Geometry::getFaceSetNames() const {
    std::vector<std::string> names;
    names.reserve(m_sets.size());
    for (const auto& s : m_sets) names.push_back(s->getName());
    return names;
}

std::string Geometry::getElementSetName(int number) const {
    if (number < 0 || std::size_t(number) >= m_sets.size()) return {};
    return m_sets[std::size_t(number)]->getName();
}

int Geometry::getElementSetIndex(const std::string& name) const {
    for (std::size_t i = 0; i < m_sets.size(); ++i)
        if (m_sets[i]->getName() == name) return static_cast<int>(i);
    return -1;
}

bool Geometry::hasFaces() const {
    return std::any_of(m_sets.begin(), m_sets.end(), [](const auto& s) { return s->isFaceSet() && s->size() > 0; });
}

bool Geometry::hasCells() const {
    return std::any_of(m_sets.begin(), m_sets.end(), [](const auto& s) { return s->isVolumeSet() && s->size() > 0; });
}

std::uint64_t Geometry::getMeshVersion() const {
    std::uint64_t v = m_vertexVersion + m_setsVersion;
    for (const auto& s : m_sets) v += s->getVersion();
    return v;
}

std::span<const std::int64_t> Geometry::getElementOffsets() const {
    WeightCache& c = weights();
    if (!c.haveOffsets) {
        c.offsets.assign(m_sets.size() + 1, 0);
        for (std::size_t s = 0; s < m_sets.size(); ++s) c.offsets[s + 1] = c.offsets[s] + m_sets[s]->size();
        c.haveOffsets = true;
    }
    return c.offsets;
}

Geometry::CellRef Geometry::getElement(std::int64_t globalId) const {
    const auto offsets = getElementOffsets();
    if (globalId < 0 || globalId >= offsets.back()) return {};
    // The set is the last one whose offset is <= id (empty sets share offsets; skip them).
    const auto it = std::upper_bound(offsets.begin(), offsets.end(), globalId);
    const auto s = static_cast<int>(it - offsets.begin()) - 1;
    return {s, static_cast<int>(globalId - offsets[std::size_t(s)])};
}

Variable* Geometry::addVariable(std::unique_ptr<Variable> variable) {
    if (!variable) throw internal::nullPointer("Geometry", "addVariable", "Null pointer to variable.", ErrError);
    for (auto& v : m_variables)
        if (v->getName() == variable->getName()) {
            v = std::move(variable);
            return v.get();
        }
    m_variables.push_back(std::move(variable));
    return m_variables.back().get();
}

Variable* Geometry::addVariable(Variable* variable) { return addVariable(std::unique_ptr<Variable>(variable)); }

Variable* Geometry::findVariable(const std::string& name) const {
    for (const auto& v : m_variables)
        if (v->getName() == name) return v.get();
    return nullptr;
}

bool Geometry::removeVariable(const std::string& name) {
    for (auto it = m_variables.begin(); it != m_variables.end(); ++it)
        if ((*it)->getName() == name) {
            m_variables.erase(it);
            return true;
        }
    return false;
}

std::vector<std::string> Geometry::getVariableNames() const {
    std::vector<std::string> names;
    names.reserve(m_variables.size());
    for (const auto& v : m_variables) names.push_back(v->getName());
    return names;
}

Variable* Geometry::makeGeometricVariable(const std::string& name) {
    const std::size_t n = m_vertices.size();
    auto scalar = [&](auto&& valueOf) -> Variable* {
        auto v = std::make_unique<ScalarVariable>(VarTypeVertex);
        FloatZELVector& values = v->values(VarTypeVertex);
        values.resize(n);
        for (std::size_t i = 0; i < n; ++i) values[i] = valueOf(i);
        v->setName(name);
        v->setDomain(m_domain);
        return addVariable(std::move(v));
    };
    if (name == "X" || name == "Y" || name == "Z") {
        const int k = name[0] - 'X';
        return scalar([&](std::size_t i) { return m_vertices[i][k]; });
    }
    if (name == "Area" && hasFaces()) {
        const FloatZELVector& a = getVertexAreas();
        return scalar([&](std::size_t i) { return a[i]; });
    }
    if (name == "Length" && getNumLines() > 0) {
        const FloatZELVector& l = getVertexLengths();
        return scalar([&](std::size_t i) { return l[i]; });
    }
    if (name == "Volume" && hasCells()) {
        const FloatZELVector& vol = getVertexVolumes();
        return scalar([&](std::size_t i) { return vol[i]; });
    }
    if ((name == "Normal X" || name == "Normal Y" || name == "Normal Z") && hasFaces()) {
        const int k = name.back() - 'X';
        const TripletZELVector& nrm = getVertexNormals();
        return scalar([&](std::size_t i) { return nrm[i][k]; });
    }
    if (name == "Normal" && hasFaces()) {
        auto v = std::make_unique<VectorVariable>(VarTypeVertex);
        v->values(VarTypeVertex) = getVertexNormals();
        v->setName(name);
        v->setDomain(m_domain);
        return addVariable(std::move(v));
    }
    return nullptr;
}

Variable* Geometry::getVariable(const std::string& name, bool mustExist) {
    if (Variable* v = findVariable(name)) return v;
    if (Variable* v = makeGeometricVariable(name)) return v;
    if (GeometryInfo* info = getGeometryInfo())
        if (std::unique_ptr<Variable> v = info->evaluateOn(name, *this)) {
            v->setName(name);
            v->setDomain(m_domain);
            return addVariable(std::move(v));
        }
    if (m_interpolant) {
        if (std::unique_ptr<Variable> v = m_interpolant->interpolate(name)) {
            v->setDomain(m_domain);
            return addVariable(std::move(v));
        }
    }
    if (mustExist)
        throw data::notFound("Geometry", "getVariable",
                             _("%s '%s' does not exist on geometry '%s'.", "Variable", name, m_name), ErrError);
    return nullptr;
}

Variable* Geometry::makeFundamentalVariable(const std::string&) { return nullptr; }

Geometry* Geometry::newGeometry() const { return new Geometry(); }

void Geometry::copyKindData(Geometry&, bool, bool) const {}

std::unique_ptr<Geometry> Geometry::clone(bool copyMesh, bool copyData) const {
    std::unique_ptr<Geometry> copy(newGeometry());
    copy->m_name = m_name;
    copy->m_domain = m_domain;
    copy->m_parentDomains = m_parentDomains;
    copy->m_plane = m_plane;
    if (copyMesh) {
        copy->m_vertices = m_vertices;
        copy->m_lines = m_lines;
        copy->m_sets.reserve(m_sets.size());
        for (const auto& s : m_sets) copy->m_sets.push_back(std::make_unique<ShapeSet>(*s));
        if (m_weights) copy->m_weights = std::make_unique<WeightCache>(*m_weights);
        // The copied cache stays valid only if the copy's version equals ours.
        copy->m_vertexVersion = m_vertexVersion;
        copy->m_setsVersion = m_setsVersion;
    }
    if (copyData) {
        for (const auto& v : m_variables) copy->m_variables.push_back(v->clone(v->getName()));
        if (m_interpolant) copy->m_interpolant = m_interpolant->clone();
    }
    copyKindData(*copy, copyMesh, copyData);
    return copy;
}

// ---------------------------------------------------------------- kinds

Geometry* SymbolGeometry::newGeometry() const { return new SymbolGeometry(); }

void SymbolGeometry::copyKindData(Geometry& copy, bool copyMesh, bool) const {
    if (!copyMesh) return;
    auto& c = static_cast<SymbolGeometry&>(copy);
    c.m_direction1 = m_direction1;
    c.m_direction2 = m_direction2;
}

ExternalGeometry::ExternalGeometry() = default;
ExternalGeometry::~ExternalGeometry() = default;

void ExternalGeometry::setFileReader(std::unique_ptr<FileReaderBase> reader) { m_reader = std::move(reader); }
void ExternalGeometry::setFileReader(FileReaderBase* reader) { m_reader.reset(reader); }

Variable* ExternalGeometry::getVariable(const std::string& name, bool mustExist) {
    if (Variable* v = findVariable(name)) return v;
    if (m_reader) {
        if (std::unique_ptr<Variable> v = m_reader->getVariable(name, getInterpolant())) {
            v->setName(name);
            if (v->getDomain().empty()) v->setDomain(getDomain());
            return addVariable(std::move(v));
        }
    }
    return Geometry::getVariable(name, mustExist);
}

Geometry* ExternalGeometry::newGeometry() const { return new ExternalGeometry(); }

Geometry* ContourGeometry::newGeometry() const { return new ContourGeometry(); }

void ContourGeometry::copyKindData(Geometry& copy, bool copyMesh, bool) const {
    if (copyMesh) static_cast<ContourGeometry&>(copy).m_levels = m_levels;
}

const char* ContourGeometry::faceSetSuffix(int count) {
    switch (count) {
    case 3: return "TRIANGLE";
    case 4: return "QUAD";
    case 5: return "PENTAGON";
    case 6: return "HEXAGON";
    default: return "";
    }
}

// ---------------------------------------------------------------- GeometryAPI

GeometryAPI* GeometryAPI::instance() {
    static GeometryAPI api;
    return &api;
}

Geometry* GeometryAPI::newGeometry(const std::string& typeName, const GeometryAlgorithm*) {
    if (typeName.empty() || typeName == "Geometry") return new Geometry();
    if (typeName == "SymbolGeometry") return new SymbolGeometry();
    if (typeName == "ExternalGeometry") return new ExternalGeometry();
    if (typeName == "ContourGeometry") return new ContourGeometry();
    throw internal::badParam("GeometryAPI", "newGeometry", _("Unknown geometry type '%s'.", typeName), ErrError);
}

void GeometryAPI::deleteGeometry(Geometry* geometry) { delete geometry; }

void GeometryAutoPtr::reset(Geometry* geometry) {
    Geometry* old = m_geometry;
    m_geometry = geometry;
    if (old != nullptr && old != geometry) GeometryAPI::instance()->deleteGeometry(old);
}

} // namespace zel

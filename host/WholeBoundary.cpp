#include "host/WholeBoundary.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Undefined.h"
#include "framework/geometry/CellTopology.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "host/BoundaryGeometry.h"
#include "host/CaseStorage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

namespace zel::host {
namespace {

constexpr const char* kClass = "WholeBoundary";

// The quantities a boundary makes from its faces (BoundaryGeometry.h) or its mesh: their
// vertex values in a part are that part's sums, so they are made again on the whole.
bool madeFromFaces(const std::string& component, const std::map<std::string, DomainField>& faceFields) {
    const std::string name = vectorOfComponent(component);
    for (const char* plain : {"Area", "Normal", "X", "Y", "Z"})
        if (name == plain) return true;
    for (const char* heat : {"Heat Flux", "Wall Adjacent Temperature", "Wall Heat Transfer Coefficient"})
        if (name == heat) return faceFields.count(heat) != 0;
    const std::size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? name : name.substr(dot + 1);
    for (const char* share : {"Mass Flow", "Force", "Pressure Force", "Viscous Force", "momentum flow", "Heat Flow"})
        if (base == share) return true;
    return false;
}

class Writer {
public:
    template <typename T> void put(const T& v) {
        const auto* b = reinterpret_cast<const char*>(&v);
        m_bytes.insert(m_bytes.end(), b, b + sizeof(T));
    }
    template <typename T> void putArray(const T* data, std::size_t n) {
        put(std::uint64_t(n));
        const auto* b = reinterpret_cast<const char*>(data);
        m_bytes.insert(m_bytes.end(), b, b + n * sizeof(T));
    }
    void putString(const std::string& s) { putArray(s.data(), s.size()); }
    std::vector<char>& bytes() { return m_bytes; }

private:
    std::vector<char> m_bytes;
};

class Reader {
public:
    explicit Reader(const std::vector<char>& bytes) : m_bytes(bytes) {}
    template <typename T> T get() {
        T v{};
        take(&v, sizeof(T));
        return v;
    }
    template <typename T> std::vector<T> getArray() {
        const auto n = get<std::uint64_t>();
        if (n > (m_bytes.size() - m_at) / sizeof(T)) fail();
        std::vector<T> out(static_cast<std::size_t>(n));
        take(out.data(), out.size() * sizeof(T));
        return out;
    }
    std::string getString() {
        const std::vector<char> c = getArray<char>();
        return {c.begin(), c.end()};
    }

private:
    void take(void* to, std::size_t n) {
        if (n > m_bytes.size() - m_at) fail();
        if (n > 0) std::memcpy(to, m_bytes.data() + m_at, n);
        m_at += n;
    }
    [[noreturn]] static void fail() {
        throw internal::error(kClass, "gatherBoundary", "A process sent a truncated boundary.", ErrError);
    }
    const std::vector<char>& m_bytes;
    std::size_t m_at = 0;
};

struct Field {
    std::string name;
    int components = 1;
    std::vector<float> values;
};

// One process's part of the boundary.
struct Part {
    std::vector<float> coordinates; // #V by 3
    struct Set {
        int type = 0, nodes = 0;
        std::vector<int> connectivity; // #faces by nodes, into the part's vertices
    };
    std::vector<Set> sets; // the face sets, in the part's face order
    std::vector<Field> faceFields, pointFields;
    int flowSource = 0;
    std::string domain;
};

std::vector<char> packPart(BoundaryGeometry* g) {
    Writer w;
    w.put(std::uint8_t(g != nullptr ? 1 : 0));
    if (g == nullptr) return std::move(w.bytes());
    w.putString(g->getDomain());
    const TripletZELVector& v = g->getVertices();
    std::vector<float> xyz(3 * v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        for (int k = 0; k < 3; ++k) xyz[3 * i + std::size_t(k)] = v[i][k];
    w.putArray(xyz.data(), xyz.size());
    w.put(std::int32_t(g->getFlowSource() == FlowSource::Points ? 1 : 0));
    std::vector<const ShapeSet*> sets;
    for (int s = 0; s < g->getNumElementSets(); ++s)
        if (g->getElementSet(s).isFaceSet()) sets.push_back(&g->getElementSet(s));
    w.put(std::uint64_t(sets.size()));
    for (const ShapeSet* set : sets) {
        w.put(std::int32_t(set->getShapeType()));
        w.put(std::int32_t(set->getNodesPerElement()));
        const std::span<const int> c = set->getConnectivity();
        w.putArray(c.data(), std::size_t(set->size()) * std::size_t(set->getNodesPerElement()));
    }
    const std::map<std::string, DomainField>& faceFields = g->getFaceFields();
    w.put(std::uint64_t(faceFields.size()));
    for (const auto& [name, f] : faceFields) {
        w.putString(name);
        w.put(std::int32_t(f.components));
        w.putArray(f.values.data(), f.values.size());
    }
    // The case's fields at the vertices, and what the boundary holds of its own (a patch's
    // point values, variables evaluated already), less the sums made from the faces.
    std::vector<std::string> names = g->getVariableNames();
    auto* storage = dynamic_cast<CaseStorage*>(DataStorageBase::instance());
    if (const auto* fields = storage != nullptr ? storage->findDomainFields(g->getDomain()) : nullptr)
        for (const auto& [name, f] : *fields)
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    std::vector<Field> point;
    for (const std::string& name : names) {
        if (madeFromFaces(name, faceFields)) continue;
        Variable* var = g->getVariable(name, false);
        if (var == nullptr) continue;
        if (const FloatZELVector* f = var->getFloatValues(VarTypeVertex); f != nullptr && f->size() == v.size()) {
            point.push_back({name, 1, std::vector<float>(f->begin(), f->end())});
        } else if (const TripletZELVector* t = var->getTripletValues(VarTypeVertex);
                   t != nullptr && t->size() == v.size()) {
            Field field{name, 3, std::vector<float>(3 * v.size())};
            for (std::size_t i = 0; i < v.size(); ++i)
                for (int k = 0; k < 3; ++k) field.values[3 * i + std::size_t(k)] = (*t)[i][k];
            point.push_back(std::move(field));
        }
    }
    w.put(std::uint64_t(point.size()));
    for (const Field& f : point) {
        w.putString(f.name);
        w.put(std::int32_t(f.components));
        w.putArray(f.values.data(), f.values.size());
    }
    return std::move(w.bytes());
}

bool unpackPart(const std::vector<char>& bytes, Part& part) {
    Reader r(bytes);
    if (r.get<std::uint8_t>() == 0) return false;
    part.domain = r.getString();
    part.coordinates = r.getArray<float>();
    part.flowSource = r.get<std::int32_t>();
    part.sets.resize(std::size_t(r.get<std::uint64_t>()));
    for (Part::Set& s : part.sets) {
        s.type = r.get<std::int32_t>();
        s.nodes = r.get<std::int32_t>();
        s.connectivity = r.getArray<int>();
    }
    for (std::vector<Field>* fields : {&part.faceFields, &part.pointFields}) {
        fields->resize(std::size_t(r.get<std::uint64_t>()));
        for (Field& f : *fields) {
            f.name = r.getString();
            f.components = r.get<std::int32_t>();
            f.values = r.getArray<float>();
        }
    }
    return true;
}

// Coordinates as the key of a vertex (-0 as +0), compared exactly.
using VertexKey = std::array<std::uint32_t, 3>;
struct VertexKeyHash {
    std::size_t operator()(const VertexKey& k) const {
        std::uint64_t h = 14695981039346656037ull;
        for (std::uint32_t x : k) h = (h ^ x) * 1099511628211ull;
        return std::size_t(h);
    }
};
VertexKey keyOf(const float* xyz) {
    VertexKey k{};
    for (int i = 0; i < 3; ++i) {
        const float c = xyz[i] == 0.0f ? 0.0f : xyz[i];
        std::memcpy(&k[std::size_t(i)], &c, sizeof c);
    }
    return k;
}

// This process's part of the boundary `name`, or null.
BoundaryGeometry* boundaryPart(const std::string& name) {
    auto* object = dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName(name));
    if (object == nullptr) return nullptr;
    for (const std::string& d : object->getDomainNameList())
        if (auto* g = dynamic_cast<BoundaryGeometry*>(object->getGeometry(d))) return g;
    return nullptr;
}

} // namespace

std::unique_ptr<GeometricOKLObject> gatherBoundary(Collective& collective, const std::string& name) {
    const char* const operation = "gatherBoundary";
    auto* here = dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName(name));
    BoundaryGeometry* mine = boundaryPart(name);
    // A part of no faces sends nothing: it may also lack the fields.
    if (mine != nullptr && mine->getNumElements() == 0) mine = nullptr;
    const std::vector<std::vector<char>> all = collective.allGather(packPart(mine));

    std::vector<Part> parts;
    for (const std::vector<char>& bytes : all) {
        Part p;
        if (unpackPart(bytes, p)) parts.push_back(std::move(p));
    }
    if (parts.empty())
        throw data::invalid(kClass, operation, _("The boundary '%s' has no faces on any process.", name), ErrError);

    // Vertices: every part's, once each, in order of first appearance.
    std::unordered_map<VertexKey, int, VertexKeyHash> index;
    std::vector<float> xyz;
    std::vector<std::vector<int>> toWhole(parts.size());
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const std::vector<float>& c = parts[p].coordinates;
        toWhole[p].resize(c.size() / 3);
        for (std::size_t i = 0; i < c.size() / 3; ++i) {
            const auto [it, added] = index.try_emplace(keyOf(&c[3 * i]), int(xyz.size() / 3));
            if (added) xyz.insert(xyz.end(), {c[3 * i], c[3 * i + 1], c[3 * i + 2]});
            toWhole[p][i] = it->second;
        }
    }
    const std::size_t nv = xyz.size() / 3;

    auto whole = std::make_unique<BoundaryGeometry>();
    whole->setName(name);
    whole->setDomain(parts.front().domain);
    TripletZELVector vertices(nv);
    for (std::size_t i = 0; i < nv; ++i) vertices[i] = TripletF(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
    whole->setVertices(std::move(vertices));
    whole->setFlowSource(parts.front().flowSource == 1 ? FlowSource::Points : FlowSource::Faces);

    // Faces: one set per node count as a loaded boundary has them, each part's in process
    // order; `order` holds (part, face of the part) in the whole's face order.
    std::map<int, std::vector<std::pair<std::size_t, std::size_t>>> perCount; // nodes -> (part, set)
    std::vector<std::vector<std::size_t>> firstFace(parts.size());            // per part and set
    for (std::size_t p = 0; p < parts.size(); ++p) {
        std::size_t face = 0;
        for (std::size_t s = 0; s < parts[p].sets.size(); ++s) {
            const Part::Set& set = parts[p].sets[s];
            if (set.nodes <= 0 || set.connectivity.size() % std::size_t(set.nodes) != 0)
                throw internal::error(kClass, operation, "A process sent a malformed face set.", ErrError);
            firstFace[p].push_back(face);
            face += set.connectivity.size() / std::size_t(set.nodes);
            perCount[set.nodes].push_back({p, s});
        }
    }
    std::vector<std::pair<std::size_t, std::size_t>> order;
    for (const auto& [count, sources] : perCount) {
        std::size_t n = 0;
        for (const auto& [p, s] : sources) n += parts[p].sets[s].connectivity.size() / std::size_t(count);
        const ShapeType shape = cell::faceTypeForCount(count);
        const std::string setName = count == 3 ? "Triangles" : count == 4 ? "Quadrilaterals" : _("Polygons %d", count);
        ShapeSet* set = whole->addFaceSet(setName, shape, int(n), shape == ShapeType::Polygon ? count : 0);
        int* conn = set->editConnectivity().data();
        for (const auto& [p, s] : sources) {
            const std::vector<int>& c = parts[p].sets[s].connectivity;
            for (std::size_t j = 0; j < c.size(); ++j) {
                if (c[j] < 0 || std::size_t(c[j]) >= toWhole[p].size())
                    throw internal::error(kClass, operation, "A process sent a face of a vertex it has not.", ErrError);
                *conn++ = toWhole[p][std::size_t(c[j])];
            }
            for (std::size_t e = 0; e < c.size() / std::size_t(count); ++e) order.push_back({p, firstFace[p][s] + e});
        }
    }
    whole->setFaceOwners(std::vector<BoundaryFaceOwner>(order.size()));

    // Face values in the whole's face order; a part without one gives its faces none.
    std::map<std::string, DomainField> faceFields;
    for (const Part& part : parts)
        for (const Field& f : part.faceFields) faceFields[f.name].components = f.components;
    for (auto& [fieldName, field] : faceFields) {
        const std::size_t nc = std::size_t(field.components);
        field.values.assign(order.size() * nc, UNDEFINED_VALUE);
        std::vector<const Field*> from(parts.size(), nullptr);
        for (std::size_t p = 0; p < parts.size(); ++p)
            for (const Field& f : parts[p].faceFields)
                if (f.name == fieldName && std::size_t(f.components) == nc) from[p] = &f;
        for (std::size_t i = 0; i < order.size(); ++i) {
            const Field* f = from[order[i].first];
            if (f != nullptr && (order[i].second + 1) * nc <= f->values.size())
                std::copy_n(f->values.begin() + std::ptrdiff_t(order[i].second * nc), nc,
                            field.values.begin() + std::ptrdiff_t(i * nc));
        }
    }
    whole->setFaceFields(std::move(faceFields));

    // Vertex values: a vertex takes the first part's value that has one (the parts agree).
    std::map<std::string, int> pointNames;
    for (const Part& part : parts)
        for (const Field& f : part.pointFields) pointNames.emplace(f.name, f.components);
    for (const auto& [fieldName, nc] : pointNames) {
        std::vector<float> values(nv * std::size_t(nc), UNDEFINED_VALUE);
        std::vector<char> set(nv, 0);
        for (std::size_t p = 0; p < parts.size(); ++p)
            for (const Field& f : parts[p].pointFields) {
                if (f.name != fieldName || f.components != nc || f.values.size() != toWhole[p].size() * std::size_t(nc))
                    continue;
                for (std::size_t i = 0; i < toWhole[p].size(); ++i) {
                    const std::size_t w = std::size_t(toWhole[p][i]);
                    if (set[w] != 0) continue;
                    set[w] = 1;
                    std::copy_n(f.values.begin() + std::ptrdiff_t(i * std::size_t(nc)), nc,
                                values.begin() + std::ptrdiff_t(w * std::size_t(nc)));
                }
            }
        std::unique_ptr<Variable> variable;
        if (nc == 1) {
            auto s = std::make_unique<ScalarVariable>();
            s->setFloatValues(FloatZELVector(std::move(values)));
            variable = std::move(s);
        } else {
            TripletZELVector t(nv);
            for (std::size_t i = 0; i < nv; ++i) t[i] = TripletF(values[3 * i], values[3 * i + 1], values[3 * i + 2]);
            auto v = std::make_unique<VectorVariable>();
            v->setTripletValues(std::move(t));
            variable = std::move(v);
        }
        variable->setName(fieldName);
        variable->setDomain(whole->getDomain());
        whole->addVariable(std::move(variable));
    }

    std::unique_ptr<OKLObject> object = ObjectFactory::instance()->createObject("BOUNDARY", name);
    auto* geometric = dynamic_cast<GeometricOKLObject*>(object.get());
    if (geometric == nullptr)
        throw internal::error(kClass, operation, "BOUNDARY objects are not geometric objects.", ErrError);
    if (here != nullptr)
        for (const auto& [parameter, value] : here->getParameters(OKLObject::StateSetParams))
            geometric->setParameter(parameter, value);
    geometric->setParameter("Domain List", whole->getDomain());
    const std::string wholeDomain = whole->getDomain();
    geometric->setGeometry(wholeDomain, std::unique_ptr<Geometry>(whole.release()));
    object.release();
    return std::unique_ptr<GeometricOKLObject>(geometric);
}

namespace {

// A boundary's vertex as a key: its name and coordinates.
std::uint64_t seamKey(const std::string& boundary, const VertexKey& at) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : boundary) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    for (const std::uint32_t x : at)
        for (int b = 0; b < 4; ++b) h = (h ^ ((x >> (8 * b)) & 0xffu)) * 1099511628211ull;
    return h;
}

struct SeamPart {
    BoundaryGeometry* geometry = nullptr;
    std::string name;
    std::vector<VertexKey> keys; // per vertex
    std::vector<char> shared;    // per vertex: another process's part has it
};

} // namespace

void completeSeams(Collective& collective, const std::vector<std::string>& boundaries) {
    std::vector<SeamPart> parts;
    std::vector<std::uint64_t> keys;
    for (const std::string& name : boundaries) {
        BoundaryGeometry* g = boundaryPart(name);
        if (g == nullptr) continue;
        SeamPart part{g, name, {}, {}};
        const TripletZELVector& v = g->getVertices();
        part.keys.reserve(v.size());
        for (std::size_t i = 0; i < v.size(); ++i) {
            const float xyz[3] = {v[i].x, v[i].y, v[i].z};
            part.keys.push_back(keyOf(xyz));
            keys.push_back(seamKey(name, part.keys.back()));
        }
        parts.push_back(std::move(part));
    }
    const std::vector<char> shared = collective.sharedKeys(keys);
    std::size_t k = 0;
    for (SeamPart& part : parts) {
        part.shared.assign(shared.begin() + std::ptrdiff_t(k), shared.begin() + std::ptrdiff_t(k + part.keys.size()));
        k += part.keys.size();
    }

    // Each part's faces with a shared corner: their corners' coordinates and area shares, area
    // vectors and face values.
    Writer w;
    w.put(std::uint64_t(parts.size()));
    for (const SeamPart& part : parts) {
        const BoundaryGeometry& g = *part.geometry;
        const std::vector<double> shares = g.getFaceVertexAreas();
        const std::vector<double> shareVectors = g.getFaceVertexAreaVectors();
        const std::vector<double> S = g.getFaceAreaVectors();
        std::vector<std::uint64_t> offsets{0};
        std::vector<float> corners;
        std::vector<double> cornerShares, cornerVectors, areaVectors;
        std::vector<std::size_t> faces; // which faces, in face order
        std::size_t face = 0, entry = 0;
        for (int s = 0; s < g.getNumElementSets(); ++s) {
            const ShapeSet& set = g.getElementSet(s);
            if (!set.isFaceSet()) continue;
            for (int e = 0; e < set.size(); ++e, ++face) {
                const auto nodes = set.getElement(e);
                const std::size_t first = entry;
                entry += nodes.size();
                if (std::none_of(nodes.begin(), nodes.end(), [&](int n) { return part.shared[std::size_t(n)] != 0; }))
                    continue;
                for (std::size_t j = 0; j < nodes.size(); ++j) {
                    const TripletF& at = g.getVertices()[std::size_t(nodes[j])];
                    corners.insert(corners.end(), {at.x, at.y, at.z});
                    cornerShares.push_back(shares[first + j]);
                    cornerVectors.insert(cornerVectors.end(), shareVectors.begin() + std::ptrdiff_t(3 * (first + j)),
                                         shareVectors.begin() + std::ptrdiff_t(3 * (first + j) + 3));
                }
                offsets.push_back(cornerShares.size());
                areaVectors.insert(areaVectors.end(), S.begin() + std::ptrdiff_t(3 * face),
                                   S.begin() + std::ptrdiff_t(3 * face + 3));
                faces.push_back(face);
            }
        }
        w.putString(part.name);
        w.put(g.coefficientAgreement());
        w.putArray(offsets.data(), offsets.size());
        w.putArray(corners.data(), corners.size());
        w.putArray(cornerShares.data(), cornerShares.size());
        w.putArray(cornerVectors.data(), cornerVectors.size());
        w.putArray(areaVectors.data(), areaVectors.size());
        const std::map<std::string, DomainField>& fields = g.getFaceFields();
        w.put(std::uint64_t(fields.size()));
        for (const auto& [fieldName, f] : fields) {
            const std::size_t nc = std::size_t(f.components);
            std::vector<float> values(faces.size() * nc, UNDEFINED_VALUE);
            if (f.values.size() == face * nc)
                for (std::size_t i = 0; i < faces.size(); ++i)
                    std::copy_n(f.values.begin() + std::ptrdiff_t(faces[i] * nc), nc,
                                values.begin() + std::ptrdiff_t(i * nc));
            w.putString(fieldName);
            w.put(std::int32_t(f.components));
            w.putArray(values.data(), values.size());
        }
    }
    const std::vector<std::vector<char>> all = collective.allGather(w.bytes());

    // Every other process's faces that meet a shared vertex of a part here, in process order.
    std::map<std::string, std::size_t> partOf;
    for (std::size_t p = 0; p < parts.size(); ++p) partOf[parts[p].name] = p;
    std::vector<std::unordered_map<VertexKey, int, VertexKeyHash>> sharedIndex(parts.size());
    for (std::size_t p = 0; p < parts.size(); ++p)
        for (std::size_t i = 0; i < parts[p].keys.size(); ++i)
            if (parts[p].shared[i] != 0) sharedIndex[p].emplace(parts[p].keys[i], int(i));
    std::vector<BoundaryGeometry::SeamFaces> seams(parts.size());
    // Per part: the face values every sending process gave (a field one of them lacks is
    // dropped, so that the flows made of it are known not to be whole at the seams).
    std::vector<std::map<std::string, int>> fieldCount(parts.size());
    std::vector<int> senders(parts.size(), 0);
    // The heat transfer coefficient's agreement sum over all parts, in process order.
    std::vector<double> agreement(parts.size(), 0.0);
    std::vector<char> agreed(parts.size(), 0);
    for (std::size_t from = 0; from < all.size(); ++from) {
        const bool self = int(from) == collective.rank();
        Reader r(all[from]);
        const auto count = r.get<std::uint64_t>();
        for (std::uint64_t b = 0; b < count; ++b) {
            const std::string name = r.getString();
            const double theirAgreement = r.get<double>();
            const auto offsets = r.getArray<std::uint64_t>();
            const auto corners = r.getArray<float>();
            const auto cornerShares = r.getArray<double>();
            const auto cornerVectors = r.getArray<double>();
            const auto areaVectors = r.getArray<double>();
            const std::size_t nf = offsets.empty() ? 0 : offsets.size() - 1;
            if (offsets.empty() || offsets.back() != cornerShares.size() || corners.size() != 3 * cornerShares.size() ||
                cornerVectors.size() != corners.size() || areaVectors.size() != 3 * nf)
                throw internal::error(kClass, "completeSeams", "A process sent malformed seam faces.", ErrError);
            const auto it = partOf.find(name);
            if (it != partOf.end() && !std::isnan(theirAgreement)) {
                agreement[it->second] += theirAgreement;
                agreed[it->second] = 1;
            }
            std::vector<std::size_t> taken; // the faces that meet a vertex here
            if (it != partOf.end() && !self) {
                BoundaryGeometry::SeamFaces& seam = seams[it->second];
                const auto& index = sharedIndex[it->second];
                for (std::size_t f = 0; f < nf; ++f) {
                    if (offsets[f] > offsets[f + 1])
                        throw internal::error(kClass, "completeSeams", "A process sent malformed seam faces.",
                                              ErrError);
                    std::vector<int> local;
                    bool any = false;
                    for (std::uint64_t j = offsets[f]; j < offsets[f + 1]; ++j) {
                        const auto at = index.find(keyOf(&corners[3 * j]));
                        local.push_back(at != index.end() ? at->second : -1);
                        any = any || at != index.end();
                    }
                    if (!any) continue;
                    taken.push_back(f);
                    seam.corners.insert(seam.corners.end(), local.begin(), local.end());
                    seam.shares.insert(seam.shares.end(), cornerShares.begin() + std::ptrdiff_t(offsets[f]),
                                       cornerShares.begin() + std::ptrdiff_t(offsets[f + 1]));
                    seam.shareVectors.insert(seam.shareVectors.end(),
                                             cornerVectors.begin() + std::ptrdiff_t(3 * offsets[f]),
                                             cornerVectors.begin() + std::ptrdiff_t(3 * offsets[f + 1]));
                    seam.offsets.push_back(seam.corners.size());
                    seam.areaVectors.insert(seam.areaVectors.end(), areaVectors.begin() + std::ptrdiff_t(3 * f),
                                            areaVectors.begin() + std::ptrdiff_t(3 * f + 3));
                }
            }
            const auto fields = r.get<std::uint64_t>();
            for (std::uint64_t q = 0; q < fields; ++q) {
                const std::string fieldName = r.getString();
                const int nc = r.get<std::int32_t>();
                const auto values = r.getArray<float>();
                if (taken.empty()) continue;
                if (nc < 1 || values.size() != nf * std::size_t(nc))
                    throw internal::error(kClass, "completeSeams", "A process sent malformed seam faces.", ErrError);
                DomainField& to = seams[it->second].fields[fieldName];
                to.components = nc;
                // Faces taken before from processes without this field get none.
                to.values.resize((seams[it->second].size() - taken.size()) * std::size_t(nc), UNDEFINED_VALUE);
                for (const std::size_t f : taken)
                    to.values.insert(to.values.end(), values.begin() + std::ptrdiff_t(f * std::size_t(nc)),
                                     values.begin() + std::ptrdiff_t((f + 1) * std::size_t(nc)));
                ++fieldCount[it->second][fieldName];
            }
            if (!taken.empty()) ++senders[it->second];
        }
    }
    for (std::size_t p = 0; p < parts.size(); ++p) {
        BoundaryGeometry::SeamFaces& seam = seams[p];
        for (auto f = seam.fields.begin(); f != seam.fields.end();)
            f = fieldCount[p][f->first] == senders[p] ? std::next(f) : seam.fields.erase(f);
        parts[p].geometry->setSeamFaces(std::move(seam));
        if (agreed[p] != 0) parts[p].geometry->setWholeCoefficientAgreement(agreement[p]);
    }
}

} // namespace zel::host

#include "framework/okl/ContourOKLObject.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ParamDefinition.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <exception>
#include <limits>
#include <span>
#include <unordered_map>

namespace zel {

namespace {

constexpr const char* ClassName = "ContourOKLObject";

// A point of a location face: a vertex (a == b) or the point of edge (a, b) where the
// variable takes the value of level `level`, at weight wa of a.
struct CPoint {
    int a = -1;
    int b = -1;
    float wa = 1.0f;
    int level = -1;
    float f = 0.0f;
};

struct Key {
    int source;
    int a;
    int b;
    int level;
    bool operator==(const Key&) const = default;
};

struct KeyHash {
    std::size_t operator()(const Key& k) const noexcept {
        std::uint64_t h = std::uint64_t(std::uint32_t(k.a)) * 0x9E3779B97F4A7C15ull;
        h ^= (std::uint64_t(std::uint32_t(k.b)) + 0x7F4A7C15ull + (h << 6) + (h >> 2)) * 0xBF58476D1CE4E5B9ull;
        h ^= (std::uint64_t(std::uint32_t(k.level)) << 32) ^ std::uint64_t(std::uint32_t(k.source));
        return std::size_t(h ^ (h >> 31));
    }
};

// Builds one ContourGeometry from location geometries (sources) and the level values.
class ContourBuilder {
public:
    explicit ContourBuilder(const std::vector<float>& levels)
        : m_levels(levels), m_segments(levels.size()), m_fringes(levels.size()) {}

    // values: one per vertex of `geometry` (#V).
    void addSource(int source, const Geometry& geometry, const float* values) {
        m_source = source;
        m_positions = geometry.getVertices().data();
        m_values = values;
        const int numVertices = geometry.getNumVertices();
        std::vector<CPoint> loop;
        for (int s = 0; s < geometry.getNumElementSets(); ++s) {
            const ShapeSet& set = geometry.getElementSet(s);
            if (!set.isFaceSet()) continue;
            for (int e = 0; e < set.size(); ++e) {
                const auto nodes = set.getElement(e);
                loop.clear();
                bool valid = nodes.size() >= 3;
                for (int n : nodes) {
                    if (n < 0 || n >= numVertices || isUndefined(values[n]) || !std::isfinite(values[n])) {
                        valid = false;
                        break;
                    }
                    loop.push_back({n, n, 1.0f, -1, values[n]});
                }
                if (valid) addFace(loop);
            }
        }
    }

    bool empty() const { return m_vertices.empty(); }

    // Moves the result into `out`; face sets are named "<setPrefix>:TRIANGLE" etc.
    void finish(ContourGeometry& out, const std::string& setPrefix) {
        for (int count = 3; count <= 6; ++count) {
            std::vector<int>& faces = m_faces[std::size_t(count - 3)];
            if (faces.empty()) continue;
            const std::string name = setPrefix + ":" + ContourGeometry::faceSetSuffix(count);
            ShapeSet* set = out.addFaceSet(name, cell::faceTypeForCount(count), int(faces.size()) / count);
            if (!set) throw internal::error(ClassName, "calculateContours", _("Face set '%s' exists already.", name));
            set->editConnectivity() = std::move(faces);
        }
        std::vector<ContourGeometry::Level>& levels = out.getLevels();
        levels.resize(m_levels.size());
        IntZELVector lines;
        for (std::size_t k = 0; k < m_levels.size(); ++k) {
            levels[k].value = m_levels[k];
            lines.vector().insert(lines.end(), m_segments[k].begin(), m_segments[k].end());
            levels[k].segments = IntZELVector(std::move(m_segments[k]));
            levels[k].fringeFaces = std::move(m_fringes[k]);
        }
        out.setVertices(std::move(m_vertices));
        out.setLines(std::move(lines));
    }

    std::unique_ptr<HybridInterpolant> takeInterpolant(const std::string& domain,
                                                       const std::vector<Geometry*>& sources) {
        auto result = std::make_unique<HybridInterpolant>(domain);
        for (Geometry* g : sources) result->addSource(g);
        result->reserve(m_records.size(), m_records.size() * 2);
        for (const Record& r : m_records) {
            const NodeWeight nodes[2] = {{r.a, r.wa}, {r.b, 1.0f - r.wa}};
            result->pushVertex(r.source, std::span<const NodeWeight>(nodes, r.a == r.b ? 1 : 2));
        }
        return result;
    }

private:
    struct Record {
        int source;
        int a;
        int b;
        float wa;
    };

    static int bandOf(const std::vector<float>& levels, float f) {
        return int(std::upper_bound(levels.begin(), levels.end(), f) - levels.begin()) - 1;
    }

    void addFace(std::span<const CPoint> loop) {
        float fmin = loop[0].f, fmax = loop[0].f;
        for (const CPoint& p : loop) {
            fmin = std::min(fmin, p.f);
            fmax = std::max(fmax, p.f);
        }
        // Isolines: levels with fmin < v <= fmax (a vertex is above a level when f >= v).
        const auto first = std::upper_bound(m_levels.begin(), m_levels.end(), fmin);
        const auto last = std::upper_bound(m_levels.begin(), m_levels.end(), fmax);
        for (auto it = first; it != last; ++it) isoline(loop, int(it - m_levels.begin()));
        // Fringes: bands from that of fmin to that of fmax.
        const int kmax = bandOf(m_levels, fmax);
        for (int k = std::max(0, bandOf(m_levels, fmin)); k <= kmax; ++k) fringe(loop, k);
    }

    static int crossings(std::span<const CPoint> loop, float t, bool strictBelow) {
        int n = 0;
        for (std::size_t i = 0; i < loop.size(); ++i) {
            const CPoint& p = loop[i];
            const CPoint& q = loop[(i + 1) % loop.size()];
            const bool pin = strictBelow ? p.f < t : p.f >= t;
            const bool qin = strictBelow ? q.f < t : q.f >= t;
            n += pin != qin;
        }
        return n;
    }

    // The point between p and q (on one edge of the location face) where f = t. Its f is t
    // even when it is snapped onto an end of the edge, so that a later clip sees every
    // point of a clip edge on the same side.
    CPoint crossing(const CPoint& p, const CPoint& q, float t, int level) const {
        std::array<int, 4> nodes = {p.a, p.b, q.a, q.b};
        std::sort(nodes.begin(), nodes.end());
        const auto count = std::unique(nodes.begin(), nodes.end()) - nodes.begin();
        if (count == 1) return {nodes[0], nodes[0], 1.0f, -1, t};
        if (count > 2) {
            // Cannot happen: a clip edge crossing a level lies on one face edge.
            assert(false && "a crossing lies on one edge of the face");
            return {p.a, p.b, p.wa, p.level, t};
        }
        const int a = nodes[0], b = nodes[1];
        const float fa = m_values[a], fb = m_values[b];
        float wa = fa == fb ? 0.5f : (fb - t) / (fb - fa);
        wa = std::clamp(wa, 0.0f, 1.0f);
        constexpr float snap = 1e-6f;
        if (wa >= 1.0f - snap) return {a, a, 1.0f, -1, t};
        if (wa <= snap) return {b, b, 1.0f, -1, t};
        return {a, b, wa, level, t};
    }

    int vertexOf(const CPoint& p) {
        const Key key = p.a == p.b ? Key{m_source, p.a, p.a, -1} : Key{m_source, p.a, p.b, p.level};
        auto [it, inserted] = m_index.try_emplace(key, int(m_vertices.size()));
        if (inserted) {
            const TripletF& pa = m_positions[p.a];
            const TripletF& pb = m_positions[p.b];
            m_vertices.push_back(p.a == p.b ? pa : pa * p.wa + pb * (1.0f - p.wa));
            m_records.push_back({m_source, p.a, p.b, p.a == p.b ? 1.0f : p.wa});
        }
        return it->second;
    }

    void isoline(std::span<const CPoint> loop, int level) {
        const float v = m_levels[std::size_t(level)];
        if (loop.size() > 3 && crossings(loop, v, false) > 2) {
            // A saddle: contour the fan of triangles from the first vertex instead.
            for (std::size_t i = 1; i + 1 < loop.size(); ++i) {
                const std::array<CPoint, 3> tri = {loop[0], loop[i], loop[i + 1]};
                isoline(tri, level);
            }
            return;
        }
        int ends[2];
        int found = 0;
        for (std::size_t i = 0; i < loop.size() && found < 2; ++i) {
            const CPoint& p = loop[i];
            const CPoint& q = loop[(i + 1) % loop.size()];
            if ((p.f >= v) != (q.f >= v)) ends[found++] = vertexOf(crossing(p, q, v, level));
        }
        if (found == 2 && ends[0] != ends[1]) {
            m_segments[std::size_t(level)].push_back(ends[0]);
            m_segments[std::size_t(level)].push_back(ends[1]);
        }
    }

    void fringe(std::span<const CPoint> loop, int k) {
        const float lo = m_levels[std::size_t(k)];
        const bool bounded = std::size_t(k) + 1 < m_levels.size();
        const float hi = bounded ? m_levels[std::size_t(k) + 1] : std::numeric_limits<float>::infinity();
        if (!(hi > lo)) return; // an empty band (equal levels)
        if (loop.size() > 3 && (crossings(loop, lo, false) > 2 || (bounded && crossings(loop, hi, true) > 2))) {
            for (std::size_t i = 1; i + 1 < loop.size(); ++i) {
                const std::array<CPoint, 3> tri = {loop[0], loop[i], loop[i + 1]};
                fringe(tri, k);
            }
            return;
        }
        // Sutherland-Hodgman against f >= lo, then f < hi.
        clip(loop, lo, k, false, m_clipA);
        if (bounded) {
            clip(m_clipA, hi, k + 1, true, m_clipB);
            emitFace(m_clipB, k);
        } else {
            emitFace(m_clipA, k);
        }
    }

    void clip(std::span<const CPoint> in, float t, int level, bool strictBelow, std::vector<CPoint>& out) const {
        out.clear();
        for (std::size_t i = 0; i < in.size(); ++i) {
            const CPoint& p = in[i];
            const CPoint& q = in[(i + 1) % in.size()];
            const bool pin = strictBelow ? p.f < t : p.f >= t;
            const bool qin = strictBelow ? q.f < t : q.f >= t;
            if (pin) out.push_back(p);
            if (pin != qin) out.push_back(crossing(p, q, t, level));
        }
    }

    void emitFace(std::span<const CPoint> polygon, int k) {
        m_face.clear();
        for (const CPoint& p : polygon) {
            const int v = vertexOf(p);
            if (m_face.empty() || m_face.back() != v) m_face.push_back(v);
        }
        while (m_face.size() > 1 && m_face.front() == m_face.back()) m_face.pop_back();
        if (m_face.size() < 3) return;
        if (m_face.size() > 6) {
            for (std::size_t i = 1; i + 1 < m_face.size(); ++i) pushFace({m_face[0], m_face[i], m_face[i + 1]}, k);
            return;
        }
        pushFace(m_face, k);
    }

    void pushFace(std::span<const int> face, int k) {
        const int count = int(face.size());
        std::vector<int>& set = m_faces[std::size_t(count - 3)];
        m_fringes[std::size_t(k)].push_back({count, int(set.size()) / count});
        set.insert(set.end(), face.begin(), face.end());
    }
    void pushFace(std::initializer_list<int> face, int k) {
        pushFace(std::span<const int>(face.begin(), face.size()), k);
    }

    const std::vector<float>& m_levels;
    int m_source = 0;
    const TripletF* m_positions = nullptr; // the current source's vertices
    const float* m_values = nullptr;       // the current source's values
    std::unordered_map<Key, int, KeyHash> m_index;
    TripletZELVector m_vertices;
    std::vector<Record> m_records;           // one per contour vertex: its interpolation data
    std::array<std::vector<int>, 4> m_faces; // fringe faces of 3..6 vertices, flat
    std::vector<std::vector<int>> m_segments;
    std::vector<std::vector<ContourGeometry::FringeFace>> m_fringes;
    std::vector<CPoint> m_clipA, m_clipB; // scratch of fringe()
    std::vector<int> m_face;              // scratch of emitFace()
};

// The variable's values at the vertices of `geometry` (a vector's magnitudes), or false
// when the geometry cannot provide them.
bool valuesOn(Geometry& geometry, const std::string& name, std::vector<float>& values) {
    const Variable* v = geometry.getVariable(name, false);
    if (!v) return false;
    const std::size_t n = std::size_t(geometry.getNumVertices());
    if (const FloatZELVector* f = v->getFloatValues(VarTypeVertex)) {
        if (f->size() != n) return false;
        values.assign(f->begin(), f->end());
        return true;
    }
    if (const TripletZELVector* t = v->getTripletValues(VarTypeVertex)) {
        if (t->size() != n) return false;
        values.resize(n);
        for (std::size_t i = 0; i < n; ++i) values[i] = (*t)[i].length();
        return true;
    }
    return false;
}

} // namespace

ContourOKLObject::~ContourOKLObject() = default;

std::vector<ContourOKLObject::Group> ContourOKLObject::collectSources() const {
    std::vector<Group> groups;
    if (!hasParam("Location List")) return groups;
    for (const std::string& name : ParamDefinition::splitValue(getValue("Location List"))) {
        if (name.empty()) continue;
        OKLObject* object = ObjectDB::instance()->getObjectByName(name);
        if (!object)
            throw data::notFound(ClassName, "calculateContours",
                                 _("Location '%s' of contour '%s' does not exist.", name, getName()));
        auto* location = dynamic_cast<GeometricOKLObject*>(object);
        if (!location || location == this)
            throw data::invalid(ClassName, "calculateContours",
                                _("Location '%s' of contour '%s' is not a geometric object.", name, getName()));
        for (const std::string& geometryName : location->getGeometryNames()) {
            Geometry* g = location->getGeometry(geometryName);
            if (!g || !g->hasFaces()) continue;
            auto it =
                std::find_if(groups.begin(), groups.end(), [&](const Group& x) { return x.name == geometryName; });
            if (it == groups.end()) {
                groups.push_back({geometryName, {}});
                it = groups.end() - 1;
            }
            if (std::find(it->sources.begin(), it->sources.end(), g) == it->sources.end()) it->sources.push_back(g);
        }
    }
    return groups;
}

bool ContourOKLObject::getColourRange(float& min, float& max) const {
    const std::string range = hasParam("Range") ? getValue("Range") : std::string("Local");
    if (range == "User Specified") return GeometricOKLObject::getColourRange(min, max);
    const std::string variable = getColourVariableName();
    if (range == "Global") {
        const std::vector<Geometry*> domains = getDomainList();
        if (!domains.empty()) return rangeOver(domains, variable, min, max);
    }
    std::vector<Geometry*> sources;
    for (const Group& group : collectSources())
        sources.insert(sources.end(), group.sources.begin(), group.sources.end());
    return rangeOver(sources, variable, min, max);
}

std::vector<float> ContourOKLObject::getLevelValues() const {
    const int n = getIntValue("Number of Contours");
    if (n < 2)
        throw data::invalid(ClassName, "calculateContours",
                            _("Contour '%s' needs at least %d contours; %d given.", getName(), 2, n));
    float min = 0.0f, max = 0.0f;
    if (!getColourRange(min, max)) return {};
    std::vector<float> levels(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) levels[std::size_t(k)] = float(double(min) + (double(max) - double(min)) * k / (n - 1));
    levels.back() = max;
    // Rounding must not reorder levels that are (nearly) equal.
    for (std::size_t k = 1; k < levels.size(); ++k) levels[k] = std::max(levels[k], levels[k - 1]);
    return levels;
}

void ContourOKLObject::calculateContours() {
    discardGeometries();
    try {
        const std::vector<Group> groups = collectSources();
        if (groups.empty()) return;
        const std::string variable = getColourVariableName();
        if (variable.empty())
            throw data::invalid(ClassName, "calculateContours", _("Contour '%s' has no variable.", getName()));
        const std::vector<float> levels = getLevelValues();

        std::vector<float> values;
        bool anyVariable = false;
        for (const Group& group : groups) {
            ContourBuilder builder(levels);
            std::vector<Geometry*> used;
            for (Geometry* g : group.sources) {
                if (!valuesOn(*g, variable, values)) continue;
                anyVariable = true;
                if (levels.empty()) continue;
                builder.addSource(int(used.size()), *g, values.data());
                used.push_back(g);
            }
            if (builder.empty()) continue;
            auto contour = std::make_unique<ContourGeometry>();
            contour->setName(getName());
            const std::string domain = !group.name.empty() ? group.name : used.front()->getDomain();
            contour->setDomain(domain);
            if (!domain.empty()) contour->addParentDomain(domain);
            contour->setInterpolant(builder.takeInterpolant(domain, used));
            builder.finish(*contour, getName());
            setGeometry(group.name, std::move(contour));
        }
        if (!anyVariable)
            throw data::notFound(
                ClassName, "calculateContours",
                _("Variable '%s' of contour '%s' is not available on its locations.", variable, getName()));
    } catch (...) {
        discardGeometries();
        throw;
    }
}

void ContourOKLObject::finishParameters() {
    std::exception_ptr failure;
    try {
        calculateContours();
    } catch (...) {
        failure = std::current_exception();
    }
    OKLObject::finishParameters();
    if (failure) std::rethrow_exception(failure);
}

} // namespace zel

#include "framework/geometry/Interpolant.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"

#include <limits>

namespace zel {
namespace {

// Values are combined in double precision and stored as float.
inline bool undefinedValue(float v) { return isUndefined(v); }
inline bool undefinedValue(const TripletF& v) { return v.isUndefined(); }
template <typename T> T undefinedOf();
template <> float undefinedOf<float>() { return UNDEFINED_VALUE; }
template <> TripletF undefinedOf<TripletF>() { return TripletF::undefined(); }

template <typename T> struct Accumulator;
template <> struct Accumulator<float> {
    double v = 0.0;
    void add(float x, double w) { v += w * x; }
    float result() const { return static_cast<float>(v); }
};
template <> struct Accumulator<TripletF> {
    double x = 0.0, y = 0.0, z = 0.0;
    void add(const TripletF& p, double w) {
        x += w * p.x;
        y += w * p.y;
        z += w * p.z;
    }
    TripletF result() const { return {float(x), float(y), float(z)}; }
};

// Weight below which a missing or undefined node does not spoil a vertex.
constexpr float kNegligibleWeight = 1e-6f;

// Adds w * value of `node` from `src`; false when the node is missing or undefined and its
// weight matters.
template <typename T> bool addNode(Accumulator<T>& acc, std::span<const T> src, int node, float w) {
    if (node < 0 || std::size_t(node) >= src.size() || undefinedValue(src[std::size_t(node)]))
        return std::abs(w) < kNegligibleWeight;
    acc.add(src[std::size_t(node)], w);
    return true;
}

void checkOut(std::size_t outSize, std::size_t vertices, const char* cls) {
    if (outSize != vertices)
        throw internal::badParam(cls, "interpolate", _("Output has %d entries for %d vertices.", outSize, vertices),
                                 ErrError);
}

template <typename T>
void vertexInterpolate(std::span<const int> nodes, std::span<const std::span<const T>> sources, std::span<T> out) {
    checkOut(out.size(), nodes.size(), "VertexInterpolant");
    const std::span<const T> src = sources.empty() ? std::span<const T>() : sources[0];
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const int n = nodes[i];
        out[i] = (n >= 0 && std::size_t(n) < src.size()) ? src[std::size_t(n)] : undefinedOf<T>();
    }
}

template <typename T>
void edgeInterpolate(std::span<const EdgeInterpolantData> data, std::span<const std::span<const T>> sources,
                     std::span<T> out) {
    checkOut(out.size(), data.size(), "EdgeInterpolant");
    const std::span<const T> src = sources.empty() ? std::span<const T>() : sources[0];
    for (std::size_t i = 0; i < data.size(); ++i) {
        Accumulator<T> acc;
        const bool ok = addNode(acc, src, data[i].nodeA, data[i].weightA) &&
                        addNode(acc, src, data[i].nodeB, 1.0f - data[i].weightA);
        out[i] = ok ? acc.result() : undefinedOf<T>();
    }
}

template <typename T>
void weightedInterpolate(std::span<const int> source, std::span<const std::uint32_t> offsets,
                         std::span<const NodeWeight> records, std::span<const std::span<const T>> sources,
                         std::span<T> out) {
    checkOut(out.size(), source.size(), "Interpolant");
    for (std::size_t i = 0; i < source.size(); ++i) {
        const int s = source[i];
        if (s < 0 || std::size_t(s) >= sources.size() || sources[std::size_t(s)].empty()) {
            out[i] = undefinedOf<T>();
            continue;
        }
        const std::span<const T> src = sources[std::size_t(s)];
        Accumulator<T> acc;
        bool ok = true;
        for (std::uint32_t r = offsets[i]; r < offsets[i + 1] && ok; ++r)
            ok = addNode(acc, src, records[r].node, records[r].weight);
        out[i] = ok ? acc.result() : undefinedOf<T>();
    }
}

template <typename T, typename V>
void fromMap(std::span<const EdgeInterpolantData> data, const std::map<std::uint64_t, V>& nodeValues,
             ZELVector<T>& out) {
    out.resize(data.size());
    auto lookup = [&](int node, float w, Accumulator<T>& acc) {
        auto it = node >= 0 ? nodeValues.find(std::uint64_t(node)) : nodeValues.end();
        if (it == nodeValues.end() || undefinedValue(it->second)) return std::abs(w) < kNegligibleWeight;
        acc.add(it->second, w);
        return true;
    };
    for (std::size_t i = 0; i < data.size(); ++i) {
        Accumulator<T> acc;
        const bool ok =
            lookup(data[i].nodeA, data[i].weightA, acc) && lookup(data[i].nodeB, 1.0f - data[i].weightA, acc);
        out[i] = ok ? acc.result() : undefinedOf<T>();
    }
}

} // namespace

// ---------------------------------------------------------------- Interpolant

Geometry* Interpolant::getSource(std::size_t index) const {
    GeometryInfo* info = Geometry::getGeometryInfo();
    if (info == nullptr || index >= m_domains.size()) return nullptr;
    return info->findGeometry(m_domains[index]);
}

VarType Interpolant::sourceValueType(const Variable&, VarType type) const { return type; }

std::unique_ptr<Variable> Interpolant::interpolate(const std::string& name, VarType type) const {
    const std::size_t nSources = getNumSources();
    std::vector<const Variable*> vars(nSources, nullptr);
    int components = 0;
    for (std::size_t k = 0; k < nSources; ++k) {
        Geometry* g = getSource(k);
        if (g == nullptr) continue;
        vars[k] = g->getVariable(name, false);
        if (vars[k] != nullptr && components == 0) components = vars[k]->getNumComponents();
    }
    if (components == 0) return nullptr;

    const std::size_t n = getNumVertices();
    if (components == 1) {
        std::vector<std::span<const float>> spans(nSources);
        for (std::size_t k = 0; k < nSources; ++k)
            if (vars[k] != nullptr)
                if (const FloatZELVector* v = vars[k]->getFloatValues(sourceValueType(*vars[k], type)))
                    spans[k] = v->span();
        auto result = std::make_unique<ScalarVariable>(VarTypeVertex);
        FloatZELVector& values = result->values(VarTypeVertex);
        values.resize(n);
        interpolate(std::span<const std::span<const float>>(spans), values.span());
        result->setName(name);
        return result;
    }
    std::vector<std::span<const TripletF>> spans(nSources);
    for (std::size_t k = 0; k < nSources; ++k)
        if (vars[k] != nullptr)
            if (const TripletZELVector* v = vars[k]->getTripletValues(sourceValueType(*vars[k], type)))
                spans[k] = v->span();
    auto result = std::make_unique<VectorVariable>(VarTypeVertex);
    TripletZELVector& values = result->values(VarTypeVertex);
    values.resize(n);
    interpolate(std::span<const std::span<const TripletF>>(spans), values.span());
    result->setName(name);
    return result;
}

// ---------------------------------------------------------------- VertexInterpolant

std::unique_ptr<Interpolant> VertexInterpolant::clone() const { return std::make_unique<VertexInterpolant>(*this); }

void VertexInterpolant::interpolate(std::span<const std::span<const float>> sources, std::span<float> out) const {
    vertexInterpolate<float>(m_nodes.span(), sources, out);
}
void VertexInterpolant::interpolate(std::span<const std::span<const TripletF>> sources, std::span<TripletF> out) const {
    vertexInterpolate<TripletF>(m_nodes.span(), sources, out);
}

// ---------------------------------------------------------------- EdgeInterpolant

std::unique_ptr<Interpolant> EdgeInterpolant::clone() const { return std::make_unique<EdgeInterpolant>(*this); }

void EdgeInterpolant::interpolate(std::span<const std::span<const float>> sources, std::span<float> out) const {
    edgeInterpolate<float>(m_data, sources, out);
}
void EdgeInterpolant::interpolate(std::span<const std::span<const TripletF>> sources, std::span<TripletF> out) const {
    edgeInterpolate<TripletF>(m_data, sources, out);
}

void EdgeInterpolant::addData(const std::map<int, EdgeInterpolantData>& data) {
    if (data.empty()) return;
    if (data.begin()->first < 0)
        throw internal::badParam("EdgeInterpolant", "addData", _("Negative vertex index %d.", data.begin()->first),
                                 ErrError);
    const std::size_t needed = std::size_t(data.rbegin()->first) + 1;
    if (m_data.size() < needed) m_data.resize(needed, EdgeInterpolantData{-1, -1, 1.0f});
    for (const auto& [index, d] : data) m_data[std::size_t(index)] = d;
}

void EdgeInterpolant::interpolateFromMap(const std::map<std::uint64_t, float>& nodeValues, FloatZELVector& out) const {
    fromMap<float>(m_data, nodeValues, out);
}
void EdgeInterpolant::interpolateFromMap(const std::map<std::uint64_t, TripletF>& nodeValues,
                                         TripletZELVector& out) const {
    fromMap<TripletF>(m_data, nodeValues, out);
}

// ---------------------------------------------------------------- weighted kinds

void WeightedInterpolantBase::pushVertex(int source, std::span<const NodeWeight> nodes) {
    if (source < 0) {
        source = -1;
        nodes = {};
    }
    if (m_records.size() + nodes.size() > std::numeric_limits<std::uint32_t>::max())
        throw data::invalid("Interpolant", "pushVertex", "Too many interpolation records.", ErrError);
    m_source.push_back(source);
    m_records.insert(m_records.end(), nodes.begin(), nodes.end());
    m_offsets.push_back(static_cast<std::uint32_t>(m_records.size()));
}

std::size_t WeightedInterpolantBase::getNumLocated() const {
    std::size_t n = 0;
    for (int s : m_source) n += s >= 0 ? 1 : 0;
    return n;
}

void WeightedInterpolantBase::interpolate(std::span<const std::span<const float>> sources, std::span<float> out) const {
    weightedInterpolate<float>(m_source, m_offsets, m_records, sources, out);
}
void WeightedInterpolantBase::interpolate(std::span<const std::span<const TripletF>> sources,
                                          std::span<TripletF> out) const {
    weightedInterpolate<TripletF>(m_source, m_offsets, m_records, sources, out);
}

std::unique_ptr<Interpolant> ExternalInterpolant::clone() const { return std::make_unique<ExternalInterpolant>(*this); }

std::unique_ptr<Interpolant> HybridInterpolant::clone() const { return std::make_unique<HybridInterpolant>(*this); }

int HybridInterpolant::addSource(Geometry* surface) {
    if (surface == nullptr)
        throw internal::nullPointer("HybridInterpolant", "addSource", "Null pointer to source surface.", ErrError);
    m_sources.push_back(surface);
    return static_cast<int>(m_sources.size()) - 1;
}

Geometry* HybridInterpolant::getSource(std::size_t index) const {
    return index < m_sources.size() ? m_sources[index] : nullptr;
}

VarType HybridInterpolant::sourceValueType(const Variable& source, VarType type) const {
    if (type == VarTypeVertex && source.hasValues(VarTypeHybrid)) return VarTypeHybrid;
    return type;
}

} // namespace zel

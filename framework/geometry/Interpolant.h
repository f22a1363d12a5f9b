#pragma once
// Interpolants: how the vertices of a location geometry take their values from source
// data (domain meshes, or a surface for the hybrid kind).
//
//   VertexInterpolant    one source node per vertex (boundaries, volume regions)
//   EdgeInterpolant      nodes A and B of a mesh edge and the weight of A (plane cuts)
//   ExternalInterpolant  per vertex a domain index and (node, weight) pairs of the cell
//                        that holds it; domain index -1 = not located (lines, points, ...)
//   HybridInterpolant    per vertex a source index and (vertex, weight) pairs onto the
//                        vertices of source surfaces (projections, contours)
//
// Vertex, edge and external interpolants read from the domain geometries named by
// getDomains(), found through Geometry::s_geometryInfo. A vertex that was not located, or
// whose source lacks the variable, or any of whose contributing node values is undefined,
// gets the undefined value.
#include "framework/geometry/Containers.h"
#include "framework/geometry/Variable.h"

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zel {

class Geometry;

enum class InterpolantKind { Vertex, Edge, External, Hybrid };

struct NodeWeight {
    int node = -1;
    float weight = 0.0f;
};

struct EdgeInterpolantData {
    int nodeA = -1;
    int nodeB = -1;
    float weightA = 1.0f; // value = weightA * value(A) + (1 - weightA) * value(B)
};

// The (node, weight) pairs of one vertex and the index of its source (-1 = not located).
struct NodeDefinition {
    int source = -1;
    std::span<const NodeWeight> nodes;
};

class Interpolant {
public:
    virtual ~Interpolant() = default;

    virtual InterpolantKind getKind() const = 0;
    virtual std::unique_ptr<Interpolant> clone() const = 0;
    // Number of vertices the interpolant defines.
    virtual std::size_t getNumVertices() const = 0;
    // Whether the data storage can compute mass flows through these vertices from the
    // mesh data: true for vertex and edge interpolants, which sit on mesh nodes and edges.
    virtual bool canCalculateFlows() const = 0;

    // Names of the domains the vertices come from, in source order.
    const std::vector<std::string>& getDomains() const { return m_domains; }
    void addDomainName(const std::string& domain) { m_domains.push_back(domain); }

    // Interpolation from explicit source values: sources[k] holds the node values of
    // source k (an empty span: that source lacks the variable); out has one entry per
    // vertex (getNumVertices()).
    virtual void interpolate(std::span<const std::span<const float>> sources, std::span<float> out) const = 0;
    virtual void interpolate(std::span<const std::span<const TripletF>> sources, std::span<TripletF> out) const = 0;

    // The variable `name` at the vertices: asks each source geometry for it
    // (Geometry::getVariable, which for a domain geometry reaches the data storage), reads
    // its values of `type` (VarTypeVertex: each source variable's own type; the hybrid kind
    // prefers a source's hybrid values) and interpolates. The result is a new scalar or
    // vector variable named `name`, values under VarTypeVertex, global type VarTypeVertex,
    // owned by the caller. Null when no source holds the variable.
    std::unique_ptr<Variable> interpolate(const std::string& name, VarType type = VarTypeVertex) const;

    // Source geometry `index`, or null. Not owned: the registry (domains) or the location
    // object (hybrid surfaces) owns it.
    virtual Geometry* getSource(std::size_t index) const;
    virtual std::size_t getNumSources() const { return m_domains.size(); }

protected:
    Interpolant() = default;
    explicit Interpolant(const std::string& domain) { m_domains.push_back(domain); }
    Interpolant(const Interpolant&) = default;
    Interpolant& operator=(const Interpolant&) = default;
    // The value type read from a source variable for a requested `type`.
    virtual VarType sourceValueType(const Variable& source, VarType type) const;

private:
    std::vector<std::string> m_domains;
};

class VertexInterpolant : public Interpolant {
public:
    explicit VertexInterpolant(const std::string& domain = "") : Interpolant(domain) {}

    InterpolantKind getKind() const override { return InterpolantKind::Vertex; }
    std::unique_ptr<Interpolant> clone() const override;
    std::size_t getNumVertices() const override { return m_nodes.size(); }
    bool canCalculateFlows() const override { return true; }
    using Interpolant::interpolate;
    void interpolate(std::span<const std::span<const float>> sources, std::span<float> out) const override;
    void interpolate(std::span<const std::span<const TripletF>> sources, std::span<TripletF> out) const override;

    void reserve(std::size_t n) { m_nodes.reserve(n); }
    void pushVertex(int node) { m_nodes.push_back(node); }
    // Source node of vertex i.
    int getInternalData(std::size_t i) const { return m_nodes[i]; }
    std::span<const int> getNodes() const { return m_nodes.span(); }
    // Exchanges the node list (one node per vertex) with `nodes`.
    void swapInternalData(IntZELVector& nodes) { m_nodes.swap(nodes); }
    void swapInternalData(std::vector<int>& nodes) { m_nodes.swap(nodes); }

private:
    IntZELVector m_nodes;
};

class EdgeInterpolant : public Interpolant {
public:
    explicit EdgeInterpolant(const std::string& domain = "") : Interpolant(domain) {}

    InterpolantKind getKind() const override { return InterpolantKind::Edge; }
    std::unique_ptr<Interpolant> clone() const override;
    std::size_t getNumVertices() const override { return m_data.size(); }
    bool canCalculateFlows() const override { return true; }
    using Interpolant::interpolate;
    void interpolate(std::span<const std::span<const float>> sources, std::span<float> out) const override;
    void interpolate(std::span<const std::span<const TripletF>> sources, std::span<TripletF> out) const override;

    void reserve(std::size_t n) { m_data.reserve(n); }
    void pushVertex(const EdgeInterpolantData& data) { m_data.push_back(data); }
    void pushVertex(int nodeA, int nodeB, float weightA) { m_data.push_back({nodeA, nodeB, weightA}); }
    const EdgeInterpolantData& getInternalData(std::size_t i) const { return m_data[i]; }
    std::span<const EdgeInterpolantData> getData() const { return m_data; }
    // Stores each entry of `data` at its vertex index, growing the list as needed; vertices
    // not given keep their data (new ones get nodes -1, which interpolate as undefined).
    void addData(const std::map<int, EdgeInterpolantData>& data);

    // Values per vertex from values per mesh node: a node missing from the map makes the
    // vertex undefined unless its weight is below 1e-6. out is resized to the vertex count.
    void interpolateFromMap(const std::map<std::uint64_t, float>& nodeValues, FloatZELVector& out) const;
    void interpolateFromMap(const std::map<std::uint64_t, TripletF>& nodeValues, TripletZELVector& out) const;

private:
    std::vector<EdgeInterpolantData> m_data;
};

// Per vertex: a source index and (node, weight) pairs, in flat arrays (no allocation per
// vertex): the pairs of vertex i are records[offsets[i] .. offsets[i+1]).
class WeightedInterpolantBase : public Interpolant {
public:
    std::size_t getNumVertices() const override { return m_source.size(); }
    using Interpolant::interpolate;
    void interpolate(std::span<const std::span<const float>> sources, std::span<float> out) const override;
    void interpolate(std::span<const std::span<const TripletF>> sources, std::span<TripletF> out) const override;

    void reserve(std::size_t vertices, std::size_t records) {
        m_source.reserve(vertices);
        m_offsets.reserve(vertices + 1);
        m_records.reserve(records);
    }
    // Appends a vertex held by source `source` (-1: not located, no nodes).
    void pushVertex(int source, std::span<const NodeWeight> nodes);
    void pushVertex(const NodeDefinition& def) { pushVertex(def.source, def.nodes); }
    NodeDefinition getInternalData(std::size_t i) const {
        return {m_source[i],
                std::span<const NodeWeight>(m_records).subspan(m_offsets[i], m_offsets[i + 1] - m_offsets[i])};
    }
    // The flat arrays: source per vertex, #vertices+1 offsets into the records.
    std::span<const int> getSources() const { return m_source; }
    std::span<const std::uint32_t> getOffsets() const { return m_offsets; }
    std::span<const NodeWeight> getRecords() const { return m_records; }
    // Number of vertices with a source (located).
    std::size_t getNumLocated() const;

protected:
    WeightedInterpolantBase() = default;
    explicit WeightedInterpolantBase(const std::string& domain) : Interpolant(domain) {}

private:
    std::vector<int> m_source;
    std::vector<std::uint32_t> m_offsets{0};
    std::vector<NodeWeight> m_records;
};

// Points located in the cells of the domain meshes. The domain index of a vertex indexes
// getDomains(); the nodes are node numbers of that domain's mesh.
class ExternalInterpolant : public WeightedInterpolantBase {
public:
    ExternalInterpolant() = default;
    InterpolantKind getKind() const override { return InterpolantKind::External; }
    std::unique_ptr<Interpolant> clone() const override;
    bool canCalculateFlows() const override { return false; }
};

// Weights onto the vertices of source surfaces. Sources are added with addSource (the
// source index of a vertex indexes them); values are read from each source's variable,
// taking its hybrid values (VarTypeHybrid) where it has them.
class HybridInterpolant : public WeightedInterpolantBase {
public:
    explicit HybridInterpolant(const std::string& domain = "") : WeightedInterpolantBase(domain) {}
    InterpolantKind getKind() const override { return InterpolantKind::Hybrid; }
    std::unique_ptr<Interpolant> clone() const override;
    bool canCalculateFlows() const override { return false; }

    // `surface` is not owned: the location object that holds it must outlive this
    // interpolant's interpolations. Returns the new source index.
    int addSource(Geometry* surface);
    Geometry* getSource(std::size_t index) const override;
    std::size_t getNumSources() const override { return m_sources.size(); }

protected:
    VarType sourceValueType(const Variable& source, VarType type) const override;

private:
    std::vector<Geometry*> m_sources;
};

} // namespace zel

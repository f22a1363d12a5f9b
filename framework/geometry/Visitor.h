#pragma once
// Geometry visitors. A location visits each of its geometries (one per domain) with the
// same visitor, which accumulates across the calls.
//
// IntegrationVisitor keeps the integral Σ value·weight and the total weight Σ weight (both
// double) over the vertices; the kinds differ in the weight: AreaVisitor the vertex areas
// (or, with an axis, the areas projected on it: area vector · unit axis, signed),
// LengthVisitor the vertex lengths, VolumeVisitor the vertex volumes. A vertex whose value
// or weight is undefined adds nothing.
#include "framework/geometry/Containers.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace zel {

class Geometry;

class GeometryVisitor {
public:
    virtual ~GeometryVisitor() = default;

    // Only the vertices for which `keep(geometry, vertex)` is true count (the vertices that
    // another piece of a decomposed case counts are left out); empty: all.
    using VertexFilter = std::function<bool(const Geometry& geometry, std::size_t vertex)>;
    void setVertexFilter(VertexFilter keep) { m_keep = std::move(keep); }

    virtual void visitGeometry(Geometry& geometry) = 0;
    // With explicit per-vertex values (null: the visitor fetches its own). The base ignores
    // the values.
    virtual void visitGeometry(Geometry& geometry, const FloatZELVector* values) {
        (void)values;
        visitGeometry(geometry);
    }

protected:
    GeometryVisitor() = default;
    GeometryVisitor(const GeometryVisitor&) = default;
    GeometryVisitor& operator=(const GeometryVisitor&) = default;

    bool keeps(const Geometry& geometry, std::size_t vertex) const { return !m_keep || m_keep(geometry, vertex); }

    VertexFilter m_keep;
};

class IntegrationVisitor : public GeometryVisitor {
public:
    // `variableName` empty: only the weights are summed (the integral stays 0).
    explicit IntegrationVisitor(const std::string& variableName = "") : m_variableName(variableName) {}

    // Fetches the variable's values (VarTypeVertex) from the geometry and the weights
    // (weightsOf) and adds them. A missing variable: data::notFound.
    void visitGeometry(Geometry& geometry) override { visitGeometry(geometry, nullptr); }
    void visitGeometry(Geometry& geometry, const FloatZELVector* values) override;

    // Adds value × weight to the integral and the weight (|weight| with `absolute`) to the
    // total, per vertex; with null values only the weights. Sizes must agree
    // (internal::badParam otherwise).
    void doWeightedCalculation(const FloatZELVector& weights, const FloatZELVector* values, bool absolute);
    void doWeightedCalculation(std::span<const float> weights, const float* values, std::size_t valueCount,
                               bool absolute);
    void doWeightedCalculation(std::span<const double> weights, const float* values, std::size_t valueCount,
                               bool absolute);

    double getIntegral() const { return m_integral; }
    double getTotalWeight() const { return m_totalWeight; }
    // integral ÷ total weight; the undefined value when the total weight is 0.
    double getAverage() const;
    void reset() {
        m_integral = 0.0;
        m_totalWeight = 0.0;
    }
    const std::string& getVariableName() const { return m_variableName; }

protected:
    // The per-vertex weights of a kind, in double as the geometry accumulates them (float
    // weights would round a vertex's weight differently when its elements are split over the
    // pieces of a decomposed case); the base uses the vertex areas.
    virtual void weightsOf(const Geometry& geometry, std::vector<double>& weights) const;
    template <typename W>
    void addWeighted(std::span<const W> weights, const float* values, std::size_t valueCount, bool absolute);

    const Geometry* m_visiting = nullptr; // the geometry whose weights doWeightedCalculation gets
    std::string m_variableName;
    double m_integral = 0.0;
    double m_totalWeight = 0.0;
};

class AreaVisitor : public IntegrationVisitor {
public:
    using IntegrationVisitor::IntegrationVisitor;
    // Projects the areas on `direction` (normalised here; a zero direction: no projection).
    void setAxis(const TripletBase<float>& direction);
    void clearAxis() { m_hasAxis = false; }

protected:
    void weightsOf(const Geometry& geometry, std::vector<double>& weights) const override;

private:
    bool m_hasAxis = false;
    TripletBase<float> m_axis;
};

class LengthVisitor : public IntegrationVisitor {
public:
    using IntegrationVisitor::IntegrationVisitor;

protected:
    void weightsOf(const Geometry& geometry, std::vector<double>& weights) const override;
};

class VolumeVisitor : public IntegrationVisitor {
public:
    using IntegrationVisitor::IntegrationVisitor;

protected:
    void weightsOf(const Geometry& geometry, std::vector<double>& weights) const override;
};

// Sum, minimum, maximum and count of a variable's defined values over the vertices (a
// vector variable contributes its magnitudes). With an empty name it counts vertices.
class SummationVisitor : public GeometryVisitor {
public:
    explicit SummationVisitor(const std::string& variableName = "") : m_variableName(variableName) {}
    void visitGeometry(Geometry& geometry) override;
    void visitGeometry(Geometry& geometry, const FloatZELVector* values) override;

    double getSum() const { return m_sum; }
    // The undefined value while nothing was counted.
    double getMin() const;
    double getMax() const;
    std::uint32_t getCount() const { return m_count; }
    const std::string& getVariableName() const { return m_variableName; }

private:
    void add(float v);

    std::string m_variableName;
    double m_sum = 0.0;
    double m_min = 0.0;
    double m_max = 0.0;
    std::uint32_t m_count = 0;
};

} // namespace zel

#include "framework/geometry/Visitor.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"

namespace zel {

namespace {

const Variable& fetch(Geometry& geometry, const std::string& name, const char* cls) {
    Variable* v = geometry.getVariable(name, false);
    if (v == nullptr)
        throw data::notFound(cls, "visitGeometry",
                             _("No data exists for variable '%s' specified in object '%s'.", name, geometry.getName()),
                             ErrError);
    return *v;
}

} // namespace

// ---------------------------------------------------------------- IntegrationVisitor

void IntegrationVisitor::visitGeometry(Geometry& geometry, const FloatZELVector* values) {
    m_visiting = &geometry;
    std::vector<double> weights;
    weightsOf(geometry, weights);
    if (values == nullptr && !m_variableName.empty()) {
        const Variable& v = fetch(geometry, m_variableName, "IntegrationVisitor");
        values = v.getFloatValues(VarTypeVertex);
        if (values == nullptr)
            throw data::invalid("IntegrationVisitor", "visitGeometry",
                                _("Variable '%s' on '%s' has no scalar values.", m_variableName, geometry.getName()),
                                ErrError);
    }
    doWeightedCalculation(std::span<const double>(weights), values ? values->data() : nullptr,
                          values ? values->size() : 0, false);
}

void IntegrationVisitor::doWeightedCalculation(const FloatZELVector& weights, const FloatZELVector* values,
                                               bool absolute) {
    doWeightedCalculation(weights.span(), values ? values->data() : nullptr, values ? values->size() : 0, absolute);
}

void IntegrationVisitor::doWeightedCalculation(std::span<const float> weights, const float* values,
                                               std::size_t valueCount, bool absolute) {
    addWeighted(weights, values, valueCount, absolute);
}

void IntegrationVisitor::doWeightedCalculation(std::span<const double> weights, const float* values,
                                               std::size_t valueCount, bool absolute) {
    addWeighted(weights, values, valueCount, absolute);
}

template <typename W>
void IntegrationVisitor::addWeighted(std::span<const W> weights, const float* values, std::size_t valueCount,
                                     bool absolute) {
    if (values != nullptr && valueCount != weights.size())
        throw internal::badParam("IntegrationVisitor", "doWeightedCalculation",
                                 _("Value count %d does not match weight count %d.", valueCount, weights.size()),
                                 ErrError);
    double integral = 0.0, total = 0.0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        double w = double(weights[i]);
        if (isUndefined(static_cast<float>(w))) continue;
        if (m_visiting != nullptr && !keeps(*m_visiting, i)) continue;
        if (absolute) w = std::abs(w);
        if (values != nullptr) {
            if (isUndefined(values[i])) continue;
            integral += w * double(values[i]);
        }
        total += w;
    }
    m_integral += integral;
    m_totalWeight += total;
}

double IntegrationVisitor::getAverage() const {
    return m_totalWeight == 0.0 ? static_cast<double>(UNDEFINED_VALUE) : m_integral / m_totalWeight;
}

void IntegrationVisitor::weightsOf(const Geometry& geometry, std::vector<double>& weights) const {
    const auto a = geometry.getVertexAreasD();
    weights.assign(a.begin(), a.end());
}

void AreaVisitor::setAxis(const TripletBase<float>& direction) {
    m_axis = direction.normalised();
    m_hasAxis = m_axis.lengthSquared() > 0.0f && !m_axis.isUndefined();
}

void AreaVisitor::weightsOf(const Geometry& geometry, std::vector<double>& weights) const {
    if (!m_hasAxis) {
        IntegrationVisitor::weightsOf(geometry, weights);
        return;
    }
    const auto vec = geometry.getVertexAreaVectorsD();
    const TripletBase<double> axis(m_axis.x, m_axis.y, m_axis.z);
    weights.resize(vec.size());
    for (std::size_t i = 0; i < vec.size(); ++i) weights[i] = vec[i].dot(axis);
}

void LengthVisitor::weightsOf(const Geometry& geometry, std::vector<double>& weights) const {
    const auto l = geometry.getVertexLengthsD();
    weights.assign(l.begin(), l.end());
}

void VolumeVisitor::weightsOf(const Geometry& geometry, std::vector<double>& weights) const {
    const auto v = geometry.getVertexVolumesD();
    weights.assign(v.begin(), v.end());
}

// ---------------------------------------------------------------- SummationVisitor

void SummationVisitor::add(float v) {
    if (isUndefined(v)) return;
    m_sum += v;
    m_min = m_count == 0 ? v : std::min(m_min, double(v));
    m_max = m_count == 0 ? v : std::max(m_max, double(v));
    ++m_count;
}

void SummationVisitor::visitGeometry(Geometry& geometry) {
    if (m_variableName.empty()) {
        if (!m_keep) {
            m_count += static_cast<std::uint32_t>(geometry.getNumVertices());
            return;
        }
        for (std::size_t i = 0; i < std::size_t(geometry.getNumVertices()); ++i)
            if (keeps(geometry, i)) ++m_count;
        return;
    }
    const Variable& v = fetch(geometry, m_variableName, "SummationVisitor");
    if (const FloatZELVector* f = v.getFloatValues(VarTypeVertex)) {
        for (std::size_t i = 0; i < f->size(); ++i)
            if (keeps(geometry, i)) add((*f)[i]);
    } else if (const TripletZELVector* t = v.getTripletValues(VarTypeVertex)) {
        for (std::size_t i = 0; i < t->size(); ++i)
            if (keeps(geometry, i)) add((*t)[i].length());
    }
}

void SummationVisitor::visitGeometry(Geometry& geometry, const FloatZELVector* values) {
    if (values == nullptr) {
        visitGeometry(geometry);
        return;
    }
    for (std::size_t i = 0; i < values->size(); ++i)
        if (keeps(geometry, i)) add((*values)[i]);
}

double SummationVisitor::getMin() const { return m_count == 0 ? double(UNDEFINED_VALUE) : m_min; }
double SummationVisitor::getMax() const { return m_count == 0 ? double(UNDEFINED_VALUE) : m_max; }

} // namespace zel

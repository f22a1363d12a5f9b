#include "framework/geometry/Variable.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <array>
#include <utility>

namespace zel {

VarType Variable::getVarType(const std::string& name) {
    static const std::array<std::pair<const char*, VarType>, 5> names{{{"Hybrid", VarTypeHybrid},
                                                                       {"Expression", VarTypeExpression},
                                                                       {"Local", VarTypeLocal},
                                                                       {"Conservative", VarTypeConservative},
                                                                       {"Vertex", VarTypeVertex}}};
    for (const auto& [text, type] : names)
        if (name == text) return type;
    return VarTypeVertex;
}

// ---------------------------------------------------------------- ScalarVariable

ScalarVariable::ScalarVariable(const float* values, std::size_t count, VarType type) : Variable(type) {
    if (count != 0 && values == nullptr)
        throw internal::nullPointer("ScalarVariable", "ScalarVariable", "Null pointer to values.", ErrError);
    m_values[resolve(type)].redefine(values, count);
}

ScalarVariable::ScalarVariable(const VectorVariable& vector, int component) : Variable(vector.getGlobalType()) {
    if (component < 0 || component > 2)
        throw internal::badParam("ScalarVariable", "ScalarVariable",
                                 _("Component %d of vector variable '%s' does not exist.", component, vector.getName()),
                                 ErrError);
    static const char* const suffix[3] = {" X", " Y", " Z"};
    setName(vector.getName() + suffix[component]);
    setDomain(vector.getDomain());
    setTimestep(vector.getTimestep());
    for (int type : vector.getValueTypes()) {
        const TripletZELVector& src = *vector.getTripletValues(static_cast<VarType>(type));
        FloatZELVector& dst = m_values[type];
        dst.resize(src.size());
        for (std::size_t i = 0; i < src.size(); ++i)
            dst[i] = src[i].isUndefined() ? UNDEFINED_VALUE : src[i][component];
    }
}

std::unique_ptr<Variable> ScalarVariable::clone(const std::string& name) const {
    auto copy = std::make_unique<ScalarVariable>(*this);
    copy->setName(name);
    return copy;
}

std::size_t ScalarVariable::getSize(VarType type) const {
    auto it = m_values.find(resolve(type));
    return it == m_values.end() ? 0 : it->second.size();
}

void ScalarVariable::resize(std::size_t n, VarType type) { m_values[resolve(type)].resize(n, 0.0f); }

bool ScalarVariable::hasValues(VarType type) const { return m_values.count(resolve(type)) != 0; }

void ScalarVariable::clearValues(VarType type) { m_values.erase(resolve(type)); }

FloatZELVector* ScalarVariable::getFloatValues(VarType type) {
    auto it = m_values.find(resolve(type));
    return it == m_values.end() ? nullptr : &it->second;
}

const FloatZELVector* ScalarVariable::getFloatValues(VarType type) const {
    auto it = m_values.find(resolve(type));
    return it == m_values.end() ? nullptr : &it->second;
}

FloatZELVector& ScalarVariable::values(VarType type) { return m_values[resolve(type)]; }

void ScalarVariable::setFloatValues(FloatZELVector values, VarType type) {
    m_values[resolve(type)] = std::move(values);
}

// ---------------------------------------------------------------- VectorVariable

std::unique_ptr<Variable> VectorVariable::clone(const std::string& name) const {
    auto copy = std::make_unique<VectorVariable>(*this);
    copy->setName(name);
    return copy;
}

std::size_t VectorVariable::getSize(VarType type) const {
    auto it = m_values.find(resolve(type));
    return it == m_values.end() ? 0 : it->second.size();
}

void VectorVariable::resize(std::size_t n, VarType type) {
    m_values[resolve(type)].resize(n, TripletF(0.0f, 0.0f, 0.0f));
}

bool VectorVariable::hasValues(VarType type) const { return m_values.count(resolve(type)) != 0; }

void VectorVariable::clearValues(VarType type) { m_values.erase(resolve(type)); }

TripletZELVector* VectorVariable::getTripletValues(VarType type) {
    auto it = m_values.find(resolve(type));
    return it == m_values.end() ? nullptr : &it->second;
}

const TripletZELVector* VectorVariable::getTripletValues(VarType type) const {
    auto it = m_values.find(resolve(type));
    return it == m_values.end() ? nullptr : &it->second;
}

TripletZELVector& VectorVariable::values(VarType type) { return m_values[resolve(type)]; }

void VectorVariable::setTripletValues(TripletZELVector values, VarType type) {
    m_values[resolve(type)] = std::move(values);
}

std::vector<int> VectorVariable::getValueTypes() const {
    std::vector<int> types;
    types.reserve(m_values.size());
    for (const auto& entry : m_values) types.push_back(entry.first);
    return types;
}

} // namespace zel

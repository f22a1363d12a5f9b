#include "calculator/GeomVariableUtils.h"

#include "datastorage/DataStorageBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/OKLCoreAPI.h"

namespace zel {

namespace {

const char* const kClass = "GeomVariableUtils";

bool objectExists(const std::string& name) { return OKLCoreAPI::instance()->hasObject(name); }

void requireLocation(const GeometricOKLObject* location, const char* operation) {
    if (location == nullptr)
        throw internal::nullPointer(kClass, operation, _("Null pointer to %s.", "location"), ErrError);
}

// The float values of `type` of the first variable of that name on the location, or null.
const FloatZELVector* firstValues(GeometricOKLObject& location, const std::string& name, VarType type, bool& found) {
    const std::vector<Variable*> variables = location.getVariable(name);
    found = !variables.empty();
    return found ? variables.front()->getFloatValues(type) : nullptr;
}

} // namespace

std::vector<std::pair<std::string, std::string>> GeomVariableUtils::getVariableForAllPhases(const std::string& variable,
                                                                                            bool mustExist) {
    const std::vector<std::string> phases = DataStorageBase::instance()->getPhases(1, "");
    std::vector<std::pair<std::string, std::string>> pairs;
    if (phases.size() < 2) {
        if (!mustExist || objectExists(variable)) pairs.emplace_back(std::string(), variable);
        return pairs;
    }
    for (const std::string& phase : phases) {
        std::string name = phase + "." + variable;
        if (!mustExist || objectExists(name)) pairs.emplace_back(phase, std::move(name));
    }
    if (objectExists(variable)) pairs.emplace_back(std::string(), variable);
    return pairs;
}

bool GeomVariableUtils::getVolumeFractionForPhase(const std::string& phase, FloatZELVectorConcrete& values,
                                                  GeometricOKLObject* location, VarType type) {
    if (phase.empty()) return false;
    requireLocation(location, "getVolumeFractionForPhase");
    for (const char* fraction : {".Volume Fraction", ".Conservative Volume Fraction"}) {
        bool found = false;
        const FloatZELVector* source = firstValues(*location, phase + fraction, type, found);
        if (!found) continue;
        values.clear();
        if (source != nullptr) values.redefine(source->data(), source->size());
        return true;
    }
    return false;
}

void GeomVariableUtils::calculateBulkVariable(const std::string& variable, bool weightByVolumeFraction,
                                              GeometricOKLObject* location, FloatZELVectorConcrete& result,
                                              VarType type) {
    const std::vector<std::pair<std::string, std::string>> pairs = getVariableForAllPhases(variable, true);
    if (pairs.empty())
        throw data::invalid(kClass, "calculateBulkVariable", _("Required Variable '%s' does not exist.", variable),
                            ErrError);
    requireLocation(location, "calculateBulkVariable");
    result.clear();
    result.resize(0);
    bool first = true;
    FloatZELVectorConcrete fraction;
    for (const auto& [phase, name] : pairs) {
        const std::vector<Variable*> variables = location->getVariable(name);
        if (variables.size() != 1) continue; // missing, or the location spans several domains
        const FloatZELVector* values = variables.front()->getFloatValues(type);
        if (values == nullptr) continue;
        const std::size_t n = values->size();
        const bool weighted = weightByVolumeFraction && getVolumeFractionForPhase(phase, fraction, location, type);
        if (weighted && fraction.size() != n)
            throw data::invalid(
                kClass, "calculateBulkVariable",
                _("Inconsistent data sizes for variables: %s and %s.", name, phase + ".Volume Fraction"), ErrError);
        if (result.empty())
            result.resize(n);
        else if (result.size() != n)
            throw data::invalid(kClass, "calculateBulkVariable", "Inconsistent data sizes for variables.", ErrError);
        for (std::size_t i = 0; i < n; ++i) {
            const float weight = weighted ? fraction[i] : 1.0f;
            const float previous = first ? 0.0f : result[i];
            result[i] = weight * (*values)[i] + previous;
        }
        first = false;
    }
}

} // namespace zel

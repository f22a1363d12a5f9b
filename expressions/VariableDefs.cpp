#include "expressions/VariableDefs.h"

#include "expressions/VariableDefStoreBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/okl/OKLAPI.h"
#include "framework/okl/ParamDefinition.h"

#include <array>
#include <climits>
#include <vector>

namespace zel {

namespace {

const char* const kClass = "VariableDefs";
const char* const kLibraryPath = "/LIBRARY";
const char* const kConstantsPath = "/LIBRARY/ROX/PHYSICAL CONSTANTS";

// The descriptions of the object at `path` and below; a missing branch is reported as a
// notice and reads as empty.
std::vector<OKLAPI::ObjectInfo> describeOrReport(OKLAPI& api, const std::string& path, const char* whenMissing) {
    try {
        return api.getObjectInfo(path);
    } catch (const okl::error&) {
        ErrorProgressReporter::instance()->reportError(ErrorMsg(kClass, "processVariableDefs", whenMissing, ErrNotice));
        return {};
    }
}

// The parameters of one "VARIABLE" object.
struct VariableParams {
    std::string longName;
    std::string quantity;
    std::string userLevel;
    std::string tensorType;
    std::string description;
    std::string componentShortNames;
    std::string componentLongNames;
};

VariableParams readVariable(OKLAPI& api, const std::string& path) {
    VariableParams p;
    for (const OKLAPI::ObjectInfo& info : api.getObjectInfo(path)) {
        // Only the object's own parameters: a child block (there should be none) must not
        // change the definition.
        if (!info.isParam() || info.getPath() != path) continue;
        const std::string& name = info.getName();
        const std::string& value = info.getValue();
        if (name == "Long Name")
            p.longName = value;
        else if (name == "Quantity")
            p.quantity = value;
        else if (name == "User Level")
            p.userLevel = value;
        else if (name == "Tensor Type")
            p.tensorType = value;
        else if (name == "Variable Description")
            p.description = value;
        else if (name == "Component Short Names")
            p.componentShortNames = value;
        else if (name == "Component Long Names")
            p.componentLongNames = value;
    }
    return p;
}

// Items 1-3 of a list value; missing items are empty.
std::array<std::string, 3> firstThree(const std::string& value) {
    std::array<std::string, 3> out;
    const std::vector<std::string> items = ParamDefinition::splitValue(value);
    for (std::size_t k = 0; k < out.size() && k < items.size(); ++k) out[k] = items[k];
    return out;
}

void storeVariable(VariableDefStoreBase& store, const std::string& shortName, const VariableParams& p) {
    const int level = VariableDefs::userLevelOf(p.userLevel);
    if (p.tensorType == "SCALAR") {
        store.addScalarVarDef(p.longName, shortName, p.quantity, level, p.description);
    } else if (p.tensorType == "VECTOR") {
        const std::array<std::string, 3> longs = firstThree(p.componentLongNames);
        const std::array<std::string, 3> shorts = firstThree(p.componentShortNames);
        store.addVectorVarDef(p.longName, shortName, longs[0], longs[1], longs[2], shorts[0], shorts[1], shorts[2],
                              p.quantity, level, p.description);
    } else if (p.tensorType == "SYMTEN2") {
        // Symmetric tensors are known to the solver but not offered: nothing to store.
    } else {
        ErrorProgressReporter::instance()->reportError(ErrorMsg(
            kClass, "process", _("Unrecognised tensor type %s in definition of variable %s.", p.tensorType, shortName),
            ErrError));
    }
}

} // namespace

int VariableDefs::userLevelOf(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

void VariableDefs::process(OKLAPI* api) {
    if (api == nullptr) throw internal::nullPointer(kClass, "process", _("Null pointer to %s.", "OKLAPI"), ErrError);
    VariableDefStoreBase& store = *VariableDefStoreBase::instance();

    const std::vector<OKLAPI::ObjectInfo> library = describeOrReport(*api, kLibraryPath, "No variables were defined.");
    for (const OKLAPI::ObjectInfo& info : library) {
        if (!info.isObject() || info.getType() != "VARIABLE") continue;
        storeVariable(store, info.getName(), readVariable(*api, info.getPath()));
    }

    const std::vector<OKLAPI::ObjectInfo> constants =
        describeOrReport(*api, kConstantsPath, "No physical constants were defined.");
    for (const OKLAPI::ObjectInfo& info : constants)
        if (info.isParam()) store.addConstant(info.getName(), info.getValue());

    // Without a library there is nothing to delete (and its absence was reported above).
    if (!library.empty()) api->deleteObj(kLibraryPath);
}

} // namespace zel

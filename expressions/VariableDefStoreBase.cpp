#include "expressions/VariableDefStoreBase.h"

#include "datastorage/DataStorageBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitDimensions.h"
#include "framework/units/UnitsConverter.h"

#include <iostream>

namespace zel {

namespace {

const char* const kClass = "VariableDefStoreBase";

bool isComponentWord(const std::string& part) { return part == "X" || part == "Y" || part == "Z"; }

bool isOneOf(const std::string& word, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (word == w) return true;
    return false;
}

// Splits at every '.', keeping empty parts ("a..b" has three parts).
std::vector<std::string> splitAtDots(const std::string& name) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = name.find('.', start);
        parts.push_back(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts;
}

} // namespace

VariableDefStoreBase* VariableDefStoreBase::m_instance = nullptr;

VariableDefStoreBase::VariableDefStoreBase() {
    m_aliases = {{"X", "X Coordinate"}, {"Y", "Y Coordinate"}, {"Z", "Z Coordinate"}};
    const std::pair<const char*, const char*> families[] = {{"Gradient", "m^-1"},
                                                            {"Residual", "Dimensionless"},
                                                            {"Beta", "Dimensionless"},
                                                            {"Curl", "m^-1"},
                                                            {"Bforce", ""}};
    for (const auto& [word, unit] : families) {
        m_operatorTable.emplace_back(word, unit);
        for (const char* axis : {" X", " Y", " Z"}) m_operatorTable.emplace_back(std::string(word) + axis, unit);
    }
    m_operatorTable.emplace_back("Specific", "kg^-1 m^3");
    m_operatorTable.emplace_back("Volumetric", "kg m^-3");
    for (const auto& entry : m_operatorTable) m_operatorWords.insert(entry.first);
}

VariableDefStoreBase::~VariableDefStoreBase() {
    if (m_instance == this) m_instance = nullptr;
}

const std::vector<std::pair<std::string, std::string>>& VariableDefStoreBase::getVariableSuffixes() {
    static const std::vector<std::pair<std::string, std::string>> none;
    return none;
}

// ---------------------------------------------------------------- singleton

VariableDefStoreBase* VariableDefStoreBase::instance() {
    if (m_instance == nullptr)
        throw internal::error(kClass, "instance",
                              "VariableDefStoreBase::instance called before instance has been registered.", ErrError);
    return m_instance;
}

void VariableDefStoreBase::registerInstance(VariableDefStoreBase* instance) {
    if (m_instance != nullptr)
        throw internal::error(kClass, "registerInstance", "VariableDefStoreBase::registerInstance second time.",
                              ErrError);
    m_instance = instance;
}

// ---------------------------------------------------------------- definitions

void VariableDefStoreBase::addScalarVarDef(const std::string& longName, const std::string& shortName,
                                           const std::string& quantity, int userLevel, const std::string& description) {
    if (m_definitions.count(longName) != 0)
        throw data::duplicate(kClass, "addScalarVarDef", _("%s '%s' already exists.", "Variable Declaration", longName),
                              ErrError);
    Definition def;
    def.shortName = shortName;
    def.quantity = quantity;
    def.tensorType = Scalar;
    def.userLevel = userLevel;
    def.description = description;
    m_definitions.emplace(longName, std::move(def));
}

void VariableDefStoreBase::addVectorVarDef(const std::string& longName, const std::string& shortName,
                                           const std::string& compLong1, const std::string& compLong2,
                                           const std::string& compLong3, const std::string& compShort1,
                                           const std::string& compShort2, const std::string& compShort3,
                                           const std::string& quantity, int userLevel, const std::string& description) {
    if (m_definitions.count(longName) != 0)
        throw data::duplicate(kClass, "addVectorVarDef", _("%s '%s' already exists.", "Variable", longName), ErrError);
    Definition def;
    def.shortName = shortName;
    def.quantity = quantity;
    def.componentLongNames[0] = compLong1;
    def.componentLongNames[1] = compLong2;
    def.componentLongNames[2] = compLong3;
    def.componentShortNames[0] = compShort1;
    def.componentShortNames[1] = compShort2;
    def.componentShortNames[2] = compShort3;
    def.tensorType = Vector;
    def.userLevel = userLevel;
    def.description = description;
    m_definitions.emplace(longName, std::move(def));
}

void VariableDefStoreBase::addConstant(const std::string& name, const std::string& value) { m_constants[name] = value; }

const VariableDefStoreBase::Definition* VariableDefStoreBase::findDefinition(const std::string& longName) const {
    const auto it = m_definitions.find(longName);
    return it == m_definitions.end() ? nullptr : &it->second;
}

const std::string& VariableDefStoreBase::resolveAlias(const std::string& name) const {
    const auto it = m_aliases.find(name);
    return it == m_aliases.end() ? name : it->second;
}

// ---------------------------------------------------------------- questions about names

std::string VariableDefStoreBase::getVarDefData(const std::string& name, varDBdata field) const {
    const Definition* def = findDefinition(resolveAlias(name));
    if (def == nullptr) return {};
    const int f = static_cast<int>(field);
    if (f == DataShortName) return def->shortName;
    if (f == DataQuantity) return def->quantity;
    if (f >= DataComponentLongName1 && f < DataComponentLongName1 + kMaxComponents)
        return def->componentLongNames[std::size_t(f - DataComponentLongName1)];
    if (f >= DataComponentShortName1 && f < DataComponentShortName1 + kMaxComponents)
        return def->componentShortNames[std::size_t(f - DataComponentShortName1)];
    if (f == DataTensorType) {
        switch (def->tensorType) {
        case Scalar: return "SCALAR";
        case Vector: return "VECTOR";
        case SymmetricTensor2: return "SYMTEN2";
        default: return {};
        }
    }
    if (f == DataUserLevel) return def->userLevel >= 1 && def->userLevel <= 3 ? std::to_string(def->userLevel) : "0";
    return {};
}

std::string VariableDefStoreBase::getVarLongName(const std::string& name) const {
    if (name.empty())
        throw data::notFound(kClass, "getVarLongName", _("%s '%s' does not exist.", "Variable", name), ErrError);
    if (const auto alias = m_aliases.find(name); alias != m_aliases.end()) return alias->second;
    if (m_definitions.count(name) != 0) return name;
    for (const auto& [longName, def] : m_definitions)
        if (def.shortName == name) return longName;
    const std::size_t space = name.rfind(' ');
    if (space != std::string::npos && space + 2 == name.size() && isComponentWord(name.substr(space + 1))) {
        std::string vector = name.substr(0, space);
        if (m_definitions.count(vector) != 0) return vector;
    }
    return {};
}

std::string VariableDefStoreBase::getVariableDescription(const std::string& longName) const {
    const Definition* def = findDefinition(longName);
    if (def == nullptr || def->description == longName) return {};
    return def->description;
}

std::string VariableDefStoreBase::getVarComponentName(const std::string& name, int index) {
    const NameParts parts = splitVariableName(name);
    if (!parts.component.empty()) {
        std::cerr << "ERROR: VariableDefStoreBase::getVarComponentName: component passed in: " << name << std::endl;
        return name;
    }
    std::string result;
    if (parts.op.empty()) {
        std::string prefix;
        if (!parts.qualifier1.empty()) prefix += parts.qualifier1 + ".";
        if (!parts.qualifier2.empty()) prefix += parts.qualifier2 + ".";
        const Definition* def = findDefinition(parts.base);
        if (def != nullptr && def->tensorType != Scalar && index >= 0 && index < kMaxComponents)
            if (!def->componentLongNames[std::size_t(index)].empty())
                result = prefix + def->componentLongNames[std::size_t(index)];
    }
    if (result.empty()) {
        static const char* const suffixes[] = {" X", " Y", " Z"};
        result = index >= 0 && index < 3 ? name + suffixes[index] : name;
    }
    return result;
}

void VariableDefStoreBase::getUserLevelVars(int level, std::vector<std::string>& out) const {
    out.clear();
    for (const auto& [longName, def] : m_definitions) {
        if (def.userLevel != level) continue;
        out.push_back(longName);
        if (def.tensorType == Vector)
            for (int k = 0; k < 3; ++k) out.push_back(def.componentLongNames[std::size_t(k)]);
    }
}

void VariableDefStoreBase::splitVariableName(const std::string& name, std::string& qualifier1, std::string& qualifier2,
                                             std::string& base, std::string& op, std::string& component) {
    if (name.empty())
        throw data::invalid(kClass, "splitVariableName", "Cannot split an empty variable name.", ErrError);
    const std::vector<std::string> parts = splitAtDots(name);
    if (parts.size() >= 6)
        throw data::invalid(kClass, "splitVariableName", _("%s has too many parts for a valid variable name.", name),
                            ErrError);
    qualifier1.clear();
    qualifier2.clear();
    op.clear();
    component.clear();
    if (parts.size() == 1) {
        base = parts[0];
        return;
    }
    std::string comp;
    std::size_t i = parts.size() - 1;
    if (isComponentWord(parts[i])) {
        comp = parts[i];
        --i;
    }
    // An operator word needs a part before it to apply to; as the first part it is the base.
    std::size_t j = i;
    std::string opWord;
    if (i >= 1 && isAnOperator(parts[i])) {
        opWord = parts[i];
        if (parts[i - 1] == "Specific" || parts[i - 1] == "Volumetric") {
            if (i < 2)
                throw data::invalid(kClass, "splitVariableName",
                                    _("%s has no variable before '%s'.", name, parts[i - 1]), ErrError);
            j = i - 2;
        } else {
            j = i - 1;
        }
    }
    base = parts[j];
    op = opWord;
    component = comp;
    if (j >= 1) qualifier1 = parts[0];
    if (j >= 2) qualifier2 = parts[1];
}

VariableDefStoreBase::NameParts VariableDefStoreBase::splitVariableName(const std::string& name) {
    NameParts p;
    splitVariableName(name, p.qualifier1, p.qualifier2, p.base, p.op, p.component);
    return p;
}

bool VariableDefStoreBase::standardizeLongName(const std::string& name, std::string& out) const {
    if (const auto alias = m_aliases.find(name); alias != m_aliases.end()) {
        out = alias->second;
        return true;
    }
    out = name;
    return false;
}

bool VariableDefStoreBase::isAnOperator(const std::string& word) {
    for (const auto& entry : getVariableSuffixes())
        if (entry.first == word) return true;
    return false;
}

std::string VariableDefStoreBase::getBaseUnits(const std::string& name, bool fromExpression) {
    std::string work = name;
    const OKLObject* object = ObjectDB::instance()->getObjectByName(work);
    if (object == nullptr) {
        const std::vector<std::string> phases = DataStorageBase::instance()->getAllPhases();
        if (phases.size() >= 2) {
            for (const std::string& phase : phases) {
                const std::string qualified = phase + "." + work;
                if (const OKLObject* o = ObjectDB::instance()->getObjectByName(qualified)) {
                    work = qualified;
                    object = o;
                    break;
                }
            }
        }
    }
    const UnitsConverter& units = *UnitsConverter::instance();

    if (object == nullptr) {
        // A name known only by its definition.
        const NameParts parts = splitVariableName(work);
        if (isOneOf(parts.op,
                    {"Beta", "Beta X", "Beta Y", "Beta Z", "Residual", "Residual X", "Residual Y", "Residual Z"}))
            return {};
        const std::string longName = getVarLongName(parts.base);
        if (longName.empty()) return {};
        const std::string quantity = getVarDefData(longName, DataQuantity);
        if (quantity.empty()) return {};
        std::string result = units.getBaseUnitsFromQuant(quantity);
        if (isOneOf(parts.op,
                    {"Gradient", "Gradient X", "Gradient Y", "Gradient Z", "Curl", "Curl X", "Curl Y", "Curl Z"}))
            result = result + " " + units.getBaseUnitsFromQuant("Inverse Length");
        else if (parts.op == "Specific")
            result.clear();
        return result;
    }

    const std::string& type = object->getType();
    if (type == "SCALAR VARIABLE" || type == "VECTOR VARIABLE") {
        const std::string text = object->getValue("Variable Dimensions");
        std::vector<float> values;
        try {
            values = object->getFloatArray("Variable Dimensions");
        } catch (const data::invalid&) {
            values.clear(); // not numbers: reported below as a wrong dimension value
        }
        if (values.size() != std::size_t(UnitDimensions::NUM_DIMENSIONS))
            throw internal::error(kClass, "getBaseUnits",
                                  _("Invalid dimension value for variable '%s': (%s).", work, text), ErrError);
        UnitDimensions dims;
        for (int k = 0; k < UnitDimensions::NUM_DIMENSIONS; ++k) dims.setValue(k, values[std::size_t(k)]);
        return units.getBaseUnitName(dims);
    }
    if (type == "USER SCALAR VARIABLE" || type == "USER VECTOR VARIABLE") {
        try {
            return object->getValue("Base Units");
        } catch (const data::notFound&) {
            if (!fromExpression) throw;
        }
        const std::string text =
            object->hasParam("X Expression") ? object->getValue("X Expression") : object->getValue("Expression");
        return units.getBaseUnitName(ExpressionEvaluator::getDimensions(text, object->getName()));
    }
    throw data::notFound(kClass, "getBaseUnits", _("%s is not a Variable object.", work), ErrError);
}

// ---------------------------------------------------------------- names for the expression language

void VariableDefStoreBase::addVariable(const std::string& name, const std::string& target,
                                       std::vector<ExpressionVariableInfo>& out, std::set<std::string>& seen) {
    if (seen.insert(name).second) out.emplace_back(name, target, false, std::string(), std::string());
}

void VariableDefStoreBase::addVarDefs(std::vector<ExpressionVariableInfo>& out, std::set<std::string>& seen) {
    for (const auto& [longName, def] : m_definitions) {
        const std::string target = resolveAlias(longName);
        addVariable(def.shortName, target, out, seen);
        if (seen.insert(target).second) out.emplace_back(target, target, false, std::string(), std::string());
        if (def.tensorType == Vector)
            for (std::size_t k = 0; k < 3; ++k) {
                addVariable(def.componentShortNames[k], def.componentLongNames[k], out, seen);
                addVariable(def.componentLongNames[k], def.componentLongNames[k], out, seen);
            }
    }
}

} // namespace zel

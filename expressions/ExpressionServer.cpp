#include "expressions/ExpressionServer.h"

#include "expressions/VariableDefStoreBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/okl/ExpressionsOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitsConverter.h"

#include <algorithm>
#include <set>
#include <unordered_set>

namespace zel {

namespace {

const char* const kClass = "ExpressionServer";
const char* const kExpressionsPath = "/LIBRARY/ROX/EXPRESSIONS";

bool contains(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

} // namespace

ExpressionServer::ExpressionServer() { ObjectDB::instance()->addObserver(this); }

ExpressionServer::~ExpressionServer() { ObjectDB::instance()->removeObserver(this); }

// ---------------------------------------------------------------- Observer

void ExpressionServer::update(NotifyType type) {
    if (type == NotifyVariablesChanged || type == NotifyResultsLoaded) ExpressionEvaluator::clearExpressionCache();
}

void ExpressionServer::resetVariableUpdateFlags() {
    m_variablesNeedUpdate = true;
    m_prefixesNeedUpdate = true;
    VariableDefStoreBase::instance()->resetUpdateFlags();
    ExpressionEvaluator::clearExpressionCache();
}

// ---------------------------------------------------------------- expressions and constants

const std::vector<ExpressionDef>& ExpressionServer::getExpressions() {
    static const std::vector<ExpressionDef> none;
    const OKLObject* object = ObjectDB::instance()->getObjectByPath(kExpressionsPath);
    if (object == nullptr) return none;
    if (const auto* expressions = dynamic_cast<const ExpressionsOKLObject*>(object))
        return expressions->getExpressionList();
    ErrorProgressReporter::instance()->reportError(ErrorMsg(
        kClass, "getExpressions", _("Object '%s' is not of type '%s'.", "EXPRESSIONS", "EXPRESSIONS"), ErrWarning));
    return none;
}

const ExpressionDef* ExpressionServer::getExpression(const std::string& name) {
    for (const ExpressionDef& def : getExpressions())
        if (def.name == name) return &def;
    return nullptr;
}

const std::map<std::string, std::string>& ExpressionServer::getConstants() {
    return VariableDefStoreBase::instance()->getConstants();
}

// ---------------------------------------------------------------- variables

const std::vector<ExpressionVariableInfo>& ExpressionServer::getVariables(bool withUnits) {
    if (!m_variablesNeedUpdate && !m_variables.empty() && (m_variablesWithUnits || !withUnits)) return m_variables;

    VariableDefStoreBase& store = *VariableDefStoreBase::instance();
    const UnitsConverter& converter = *UnitsConverter::instance();
    const std::vector<std::string> names = ObjectDB::instance()->getNamesByCategory("variable");

    // Built aside and swapped in, so that a failure (units of a variable that cannot be
    // found) leaves the previous list and flags as they were.
    std::vector<ExpressionVariableInfo> list;
    list.reserve(names.size());
    std::unordered_set<std::string> listed;
    listed.reserve(names.size() * 3);
    std::string qualifier1, qualifier2, base, op, component, longName;
    for (const std::string& name : names) {
        store.splitVariableName(name, qualifier1, qualifier2, base, op, component);
        std::string units, dimensions;
        if (listed.insert(base).second) {
            if (withUnits) {
                units = getBaseUnits(base, false);
                dimensions = converter.dimsStringFromUnits(units);
            }
            const bool valid = ExpressionEvaluator::isValidGeniVariable(base);
            list.emplace_back(base, base, valid, units, dimensions);
            if (store.standardizeLongName(base, longName) && listed.insert(longName).second)
                list.emplace_back(longName, base, valid, units, dimensions);
        }
        const std::string shortName = store.getVarDefData(base, VariableDefStoreBase::DataShortName);
        if (!shortName.empty() && listed.insert(shortName).second)
            list.emplace_back(shortName, base, ExpressionEvaluator::isValidGeniVariable(shortName), units, dimensions);
    }

    m_variables.swap(list);
    m_variablesWithUnits = withUnits;
    m_variablesNeedUpdate = false;
    return m_variables;
}

const ExpressionVariableInfo* ExpressionServer::getVariable(const std::string& name, bool withUnits) {
    for (const ExpressionVariableInfo& info : getVariables(withUnits))
        if (info.name == name) return &info;
    return nullptr;
}

std::string ExpressionServer::getBaseUnits(const std::string& name, bool fromExpression) {
    return VariableDefStoreBase::instance()->getBaseUnits(name, fromExpression);
}

const std::vector<std::string>& ExpressionServer::getVariablePrefixes() {
    if (!m_prefixesNeedUpdate && !m_prefixes.empty()) return m_prefixes;

    VariableDefStoreBase& store = *VariableDefStoreBase::instance();
    const std::vector<std::string> names = ObjectDB::instance()->getNamesByCategory("variable");
    const std::set<std::string> variableNames(names.begin(), names.end());
    std::vector<std::string> prefixes;
    std::string qualifier1, qualifier2, base, op, component;
    for (const std::string& name : names) {
        store.splitVariableName(name, qualifier1, qualifier2, base, op, component);
        for (const std::string* qualifier : {&qualifier1, &qualifier2})
            if (!qualifier->empty() && variableNames.count(*qualifier) == 0 && !contains(prefixes, *qualifier))
                prefixes.push_back(*qualifier);
    }

    m_prefixes.swap(prefixes);
    m_prefixesNeedUpdate = false;
    return m_prefixes;
}

bool ExpressionServer::isVariablePrefix(const std::string& name) { return contains(getVariablePrefixes(), name); }

const std::vector<std::pair<std::string, std::string>>& ExpressionServer::getVariableSuffixes() {
    return VariableDefStoreBase::instance()->getVariableSuffixes();
}

bool ExpressionServer::isVariableSuffix(const std::string& name, SuffixEffect& effect) {
    for (const auto& [word, units] : getVariableSuffixes()) {
        if (word != name) continue;
        if (units.empty())
            effect = SuffixEffect(SuffixEffect::KeepUnits, std::string());
        else if (units == "Dimensionless")
            effect = SuffixEffect(SuffixEffect::Dimensionless, std::string());
        else
            effect = SuffixEffect(SuffixEffect::ApplyUnits, units);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- coordinate frames and locators

const std::vector<std::string>& ExpressionServer::getCoordinateFrames() {
    m_coordinateFrames.clear();
    for (const OKLObject* frame : ObjectDB::instance()->getObjectsByType("COORD FRAME"))
        m_coordinateFrames.push_back(frame->getName());
    return m_coordinateFrames;
}

bool ExpressionServer::isCoordinateFrame(const std::string& name) { return contains(getCoordinateFrames(), name); }

std::vector<std::string> ExpressionServer::getLocators() {
    return ObjectDB::instance()->getNamesByCategory("geometry");
}

bool ExpressionServer::isLocator(const std::string& name) { return contains(getLocators(), name); }

} // namespace zel

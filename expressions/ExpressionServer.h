#pragma once
// The expression server: answers the expression language's questions about names for this
// system — user expressions, constants, variables with their units, variable prefixes
// (phases) and operator suffixes, coordinate frames and locators — from the object database
// and the registered variable definition store (VariableDefStoreBase).
//
// The host creates one after it registered its storage and definition store; constructing
// it makes it the language's store, variables, coordinates and locators interface (see
// ExpressionInterfaces.h) and an observer of the object database, destroying it withdraws
// both.
//
// Caches: the variables list and the prefixes list are costly (they walk every variable
// object and ask for units), so they are kept between requests and rebuilt only at the
// first request after resetVariableUpdateFlags(); a request with units after a list built
// without units rebuilds the variables list too. The host calls resetVariableUpdateFlags()
// whenever variables or their definitions may have changed (results loaded, user variables
// added); object notifications alone do not rebuild the lists — the database's
// NotifyVariablesChanged and NotifyResultsLoaded only clear the language's compiled
// expressions. Coordinate frames and locators are read afresh at every request.
//
// Failures of the object database, the units library and the definition store pass through.
// Threads: none; every call comes on the host's command thread.
#include "framework/ZelExport.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/expressions/ExpressionTypes.h"
#include "framework/expressions/Observer.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zel {

class ZEL_API ExpressionServer : public Observer,
                                 public ExpressionStoreInterface,
                                 public ExpressionVariablesInterface,
                                 public ExpressionCoordinatesInterface,
                                 public ExpressionLocatorsInterface {
public:
    ExpressionServer();
    ~ExpressionServer() override;
    ExpressionServer(const ExpressionServer&) = delete;
    ExpressionServer& operator=(const ExpressionServer&) = delete;

    // --- Observer
    // NotifyVariablesChanged (4) and NotifyResultsLoaded (6) clear the expression cache;
    // other kinds do nothing.
    void update(NotifyType type) override;

    // --- ExpressionStoreInterface
    // The expression of that name in "/LIBRARY/ROX/EXPRESSIONS", or null (also when there
    // is no such object; an object there of another class is reported as a warning).
    // The pointer stays valid until that object's parameters change.
    const ExpressionDef* getExpression(const std::string& name) override;
    // The definition store's constants.
    const std::map<std::string, std::string>& getConstants() override;

    // --- ExpressionVariablesInterface
    // The entry of that name in the variables list, or null. The pointer stays valid until
    // the list is rebuilt (see above).
    const ExpressionVariableInfo* getVariable(const std::string& name, bool withUnits) override;
    // The definition store's getBaseUnits.
    std::string getBaseUnits(const std::string& name, bool fromExpression) override;
    // A qualifier (a phase) of some variable object's name that is not itself a variable name.
    bool isVariablePrefix(const std::string& name) override;
    // An operator word of the store's getVariableSuffixes(); effect: unit text "" keeps the
    // units (KeepUnits), "Dimensionless" drops them (Dimensionless), anything else is
    // multiplied onto them (ApplyUnits with that text). effect is untouched when false.
    bool isVariableSuffix(const std::string& name, SuffixEffect& effect) override;

    // --- ExpressionCoordinatesInterface
    // An object of type "COORD FRAME" of that name exists.
    bool isCoordinateFrame(const std::string& name) override;

    // --- ExpressionLocatorsInterface
    // An object of category "geometry" (a location, a domain or a boundary) of that name exists.
    bool isLocator(const std::string& name) override;

    // Marks both lists stale, sets the definition store's update flag and clears the
    // expression cache.
    void resetVariableUpdateFlags();

protected:
    // The lists behind the answers (protected so that a host or a test can inspect them).
    const std::vector<ExpressionDef>& getExpressions();
    const std::vector<ExpressionVariableInfo>& getVariables(bool withUnits);
    const std::vector<std::string>& getVariablePrefixes();
    const std::vector<std::pair<std::string, std::string>>& getVariableSuffixes();
    std::vector<std::string> getLocators();
    const std::vector<std::string>& getCoordinateFrames();

private:
    std::vector<std::string> m_coordinateFrames;     // rebuilt on every request
    std::vector<ExpressionVariableInfo> m_variables; // cache of getVariables
    bool m_variablesWithUnits = false;               // m_variables was built with units
    std::vector<std::string> m_prefixes;             // cache of getVariablePrefixes, in database order
    bool m_variablesNeedUpdate = true;
    bool m_prefixesNeedUpdate = true;
};

} // namespace zel

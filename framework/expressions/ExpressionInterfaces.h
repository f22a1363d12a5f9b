#pragma once
// The interfaces through which the expression language asks its host what names mean and
// evaluates calculator functions. The host implements them:
//   ExpressionCallbacksInterface   the function calculator (areaAve(...)@Location)
//   ExpressionFluidsInterface      the data storage (fluids that may prefix a calculator call)
//   ExpressionStoreInterface       user expressions and constants
//   ExpressionVariablesInterface   variables, their units, prefixes (phases) and suffixes
//   ExpressionCoordinatesInterface coordinate frames
//   ExpressionLocatorsInterface    locations that may follow '@'
//
// Registration: constructing an object of any of these interfaces makes it the one the
// language uses for that role (the last one constructed wins); destroying it withdraws it if
// it is still the registered one. ExpressionInterfaces sets them explicitly. Every change of
// registration clears the expression cache, since compiled expressions hold what names meant.
//
// Every operation is called on the thread that evaluates; none is called concurrently.
#include "framework/expressions/ExpressionTypes.h"
#include "framework/expressions/FunctionInfo.h"
#include "framework/units/Quantity.h"

#include <map>
#include <string>
#include <vector>

namespace zel {

class ExpressionCallbacksInterface {
public:
    ExpressionCallbacksInterface();
    virtual ~ExpressionCallbacksInterface();

    // The record of one function, or null when the name is no calculator function.
    virtual const FunctionInfo* getFunctionInfo(const std::string& name) = 0;
    // Evaluates function(expression)@location; axis and fluid are empty when not written.
    // Returns the value with its unit text; the undefined quantity when it cannot be evaluated.
    virtual Quantity evaluate(const std::string& function, const std::string& location, const std::string& expression,
                              const std::string& axis, const std::string& fluid) = 0;
    // The whole function table.
    virtual const std::map<std::string, FunctionInfo>& getFunctionInfo() = 0;
};

class ExpressionFluidsInterface {
public:
    ExpressionFluidsInterface();
    virtual ~ExpressionFluidsInterface();

    // Names of the fluids (phases) of the loaded results. A calculator call prefixed with a
    // name ("Water.massFlow()@Outlet") is checked against this list.
    virtual std::vector<std::string> getFluidNames() = 0;
};

class ExpressionStoreInterface {
public:
    ExpressionStoreInterface();
    virtual ~ExpressionStoreInterface();

    // The user expression of that name, or null. The pointer stays valid until the store changes.
    virtual const ExpressionDef* getExpression(const std::string& name) = 0;
    // Constants: name -> value text ("9.81 [m s^-2]"); the text is read as an expression.
    virtual const std::map<std::string, std::string>& getConstants() = 0;
};

class ExpressionVariablesInterface {
public:
    // What an operator suffix ("Velocity.Gradient") does to the units of the variable.
    struct SuffixEffect {
        enum Code : int {
            KeepUnits = 0,     // the units stay as they are
            Dimensionless = 1, // the result has no units
            ApplyUnits = 2     // `units` is multiplied onto the variable's units
        };
        SuffixEffect() = default;
        SuffixEffect(int code_, std::string units_) : code(code_), units(std::move(units_)) {}
        int code = KeepUnits;
        std::string units;
    };

    ExpressionVariablesInterface();
    virtual ~ExpressionVariablesInterface();

    // The entry for a name as written in expressions, or null. withUnits asks for entries
    // whose units are filled in. The pointer stays valid until the host rebuilds its list.
    virtual const ExpressionVariableInfo* getVariable(const std::string& name, bool withUnits) = 0;
    // Base units of a variable name; fromExpression is true when the evaluator asks.
    virtual std::string getBaseUnits(const std::string& name, bool fromExpression) = 0;
    // True when name may stand before "." in front of a variable (a phase: "Water").
    virtual bool isVariablePrefix(const std::string& name) = 0;
    // True when name may follow "." after a variable ("Gradient X"); effect says what it does
    // to the units and is left alone when the result is false.
    virtual bool isVariableSuffix(const std::string& name, SuffixEffect& effect) = 0;
};

class ExpressionCoordinatesInterface {
public:
    ExpressionCoordinatesInterface();
    virtual ~ExpressionCoordinatesInterface();

    virtual bool isCoordinateFrame(const std::string& name) = 0;
};

class ExpressionLocatorsInterface {
public:
    ExpressionLocatorsInterface();
    virtual ~ExpressionLocatorsInterface();

    // True when name is a location a calculator call may be evaluated on.
    virtual bool isLocator(const std::string& name) = 0;
};

// The registered host interfaces (each may be null: the language then knows no such names).
// The pointers are borrowed; the host owns the objects.
class ExpressionInterfaces {
public:
    static ExpressionCallbacksInterface* callbacks();
    static ExpressionFluidsInterface* fluids();
    static ExpressionStoreInterface* store();
    static ExpressionVariablesInterface* variables();
    static ExpressionCoordinatesInterface* coordinates();
    static ExpressionLocatorsInterface* locators();

    static void setCallbacks(ExpressionCallbacksInterface* callbacks);
    static void setFluids(ExpressionFluidsInterface* fluids);
    static void setStore(ExpressionStoreInterface* store);
    static void setVariables(ExpressionVariablesInterface* variables);
    static void setCoordinates(ExpressionCoordinatesInterface* coordinates);
    static void setLocators(ExpressionLocatorsInterface* locators);
    // Withdraws every registration.
    static void clear();
};

} // namespace zel

#pragma once
// The action "calculate" of the command language, on the CALCULATOR object:
//
//   > calculate help                    prints the function list (FunctionCalculator::printHelp)
//   > calculate                         evaluates the call held by the CALCULATOR object
//                                       ("Function", "Expression", "Location", "Axis", "Fluid")
//   > calculate areaAve, Pressure, Out  evaluates that call (the object's call is not changed)
//
// The result is converted to the user's preferred units and written to the object's
// "Result" and "Result Units" ("undefined" and empty when the evaluation failed; the
// evaluation reports its own errors); with "Verbose" it is also printed as
// "Result = <value> [<units>]". Then the object's other parameters are applied again through
// the command language, so that observers see the change.
//
// Its own failures (another action name; no CALCULATOR object for the stored form) and
// those of reading the call from the object pass on to the action dispatcher.
#include "framework/ZelExport.h"
#include "framework/okl/ActionExecutor.h"

#include <string>
#include <vector>

namespace zel {

class OKLObject;
class Quantity;

class ZEL_API CalculateExecutor : public ActionExecutor {
public:
    CalculateExecutor() = default;
    ~CalculateExecutor() override;

    // action[0] is the action name ("calculate"), the rest its arguments.
    void invoke(const std::vector<std::string>& action) override;

    // Writes a result into the CALCULATOR object as invoke does (converted to the user's
    // units, "undefined" for the undefined quantity, printed with "Verbose"), then applies the
    // object's other parameters again. For hosts that form the result themselves.
    static void storeResult(OKLObject& object, const std::string& function, const Quantity& result);
};

} // namespace zel

#include "calculator/CalculateExecutor.h"

#include "calculator/FunctionCalculator.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ParamDefinition.h"
#include "framework/units/Quantity.h"
#include "framework/units/UnitSystemHandler.h"
#include "framework/units/UnitsConverter.h"

#include <iostream>

namespace zel {

namespace {

const char* const kClass = "CalculateExecutor";
const char* const kObject = "CALCULATOR";

// Writes the value and unit of a defined result, converted to the user's preferred units.
void writeResult(OKLObject& object, const std::string& function, const Quantity& result, bool verbose) {
    float value = result.getValue();
    std::string unit = result.getUnits();
    const std::string quantityType = function == "torque" ? "Torque" : function == "force" ? "Force" : "";
    const EngineUnitSystemHandler& units = *EngineUnitSystemHandler::instance();
    if (units.getQuantityTypeFromUnits(unit) != "Temperature") {
        units.convertToUserUnits(value, unit, quantityType);
    } else {
        // Temperatures are shown in the preferred unit only on the absolute Rankine scale:
        // converting an absolute value to F would need an offset the result may not carry.
        const std::string preferred = units.getPreferredUnitFor("Temperature");
        if (preferred == "F" || preferred == "R") {
            float converted = value;
            UnitsConverter::instance()->convertUnits(unit, "R", value, converted, false);
            value = converted;
            unit.assign(1, 'R'); // not = "R": g++ 12 warns falsely (-Wrestrict) at -O2
        }
    }
    object.setParameter("Result", StringUtilities::toString(static_cast<double>(value)));
    object.setParameter("Result Units", unit);
    if (verbose) {
        std::cout << "Result = " << value;
        if (!unit.empty()) std::cout << " [" << unit << "]";
        std::cout << std::endl;
    }
}

// Applies the object's parameters other than the results again through the command language.
void reapplyParameters(const OKLObject& object) {
    std::string kept;
    for (const std::string& line : StringUtilities::stringToVector(object.getState(3), "\n")) {
        const std::string name = ParamDefinition::splitNameValue(line).first;
        if (name == "Result" || name == "Result Units") continue;
        kept += line + "\n";
    }
    if (!kept.empty()) OKLCoreAPI::instance()->processOKL(kept, 1);
}

} // namespace

CalculateExecutor::~CalculateExecutor() = default;

void CalculateExecutor::invoke(const std::vector<std::string>& action) {
    FunctionCalculator* calculator = FunctionCalculator::instance(false);
    const std::string name = action.empty() ? std::string() : action[0];
    if (name != "calculate")
        throw internal::badParam(kClass, "invoke", _("Action '%s' cannot be handled by %s.", name, "CalculateExecutor"),
                                 ErrError);
    if (action.size() >= 2 && action[1] == "help") {
        calculator->printHelp();
        return;
    }

    OKLObject* object = ObjectDB::instance()->getObjectByName(kObject);
    if (object == nullptr) {
        if (action.size() == 1)
            throw data::error(kClass, "invoke", "Insufficient Data provided to perform calculation.", ErrError);
        object = ObjectDB::instance()->addObject(ObjectFactory::instance()->createObject(kObject, kObject));
    }

    std::string function;
    std::vector<std::string> args;
    if (action.size() == 1) {
        calculator->getArgsFromObj(function, args, *object);
    } else {
        function = action[1];
        args.assign(action.begin() + 2, action.end());
    }

    storeResult(*object, function, calculator->evaluate(function, args));
}

void CalculateExecutor::storeResult(OKLObject& object, const std::string& function, const Quantity& result) {
    const bool verbose = object.getBoolValue("Verbose");
    if (result.isUndefined()) {
        object.setParameter("Result", "undefined");
        object.setParameter("Result Units", "");
        if (verbose) std::cout << "Result = undefined" << std::endl;
    } else {
        writeResult(object, function, result, verbose);
    }
    reapplyParameters(object);
}

} // namespace zel

// The exported C functions of zel_calculator.h. Each is a boundary: every failure is caught,
// reported and turned into the return value false.
#include "calculator/zel_calculator.h"

#include "calculator/FunctionCalculator.h"
#include "datastorage/DataStorageBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/core/Undefined.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/units/Quantity.h"
#include "framework/units/UnitSystemHandler.h"
#include "framework/units/UnitsConverter.h"
#include "framework/viewer/ViewerInterface.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

static_assert(sizeof(bool) == 1, "the C functions return a one-byte bool");

namespace zel {
namespace {

const char* const kClass = "FunctionCalculator";

// Copies text into a caller's buffer of `size` bytes: at most size - 1 characters and a
// terminating zero; the rest of the buffer is zero-filled, as strncpy would.
void copyBounded(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size < 1) return;
    const std::size_t room = static_cast<std::size_t>(size);
    const std::size_t n = std::min(text.size(), room - 1);
    std::memcpy(buffer, text.data(), n);
    std::memset(buffer + n, 0, room - n);
}

void requirePointer(const void* pointer, const char* what, const char* operation) {
    if (pointer == nullptr) throw internal::nullPointer(kClass, operation, _("Null pointer to %s.", what), ErrError);
}

// The calculation behind calculate and calculateUnits. *value is the undefined value from
// the moment the arguments are read.
Quantity calculateQuantity(const char* function, const char* const* args, float* value) {
    FunctionCalculator* calculator = FunctionCalculator::instance(false);
    requirePointer(function, "function name", "calculate");
    requirePointer(args, "argument list", "calculate");
    requirePointer(value, "value", "calculate");
    std::vector<std::string> list;
    for (const char* const* arg = args; *arg != nullptr; ++arg) list.emplace_back(*arg);
    *value = UNDEFINED_VALUE;
    const Quantity result = calculator->evaluate(function, list);
    if (result.isUndefined())
        throw internal::error("functionCalculator", "evaluate", _("Evaluation of '%s' is undefined.", function),
                              ErrError);
    *value = result.getValue();
    return result;
}

// Runs `body` and turns its failure into a report and false. Standard exceptions are
// reported by `reportSystem`.
template <typename Body, typename ReportSystem> bool guarded(Body&& body, ReportSystem&& reportSystem) {
    try {
        body();
        return true;
    } catch (const Error& error) {
        ErrorProgressReporter::instance()->reportError(error, ErrError);
    } catch (const std::exception& e) {
        reportSystem(e);
    } catch (...) {
        // Nothing is known about it, so nothing is reported.
    }
    return false;
}

void reportSystemError(const std::exception& e) {
    ErrorProgressReporter::instance()->reportError(
        ErrorMsg(kClass, "calculate", _("System Error: %s", e.what()), ErrStdException));
}

} // namespace
} // namespace zel

extern "C" {

ZEL_API bool calculate(const char* function, const char* const* args, float* value) {
    using namespace zel;
    return guarded([&] { calculateQuantity(function, args, value); }, reportSystemError);
}

ZEL_API bool calculateUnits(const char* function, const char* const* args, float* value, char* units, int unitsSize) {
    using namespace zel;
    return guarded(
        [&] {
            const Quantity result = calculateQuantity(function, args, value);
            copyBounded(result.getUnits(), units, unitsSize);
        },
        reportSystemError);
}

ZEL_API bool evaluateInPreferred(const char* expression, float* value, char* units, int unitsSize) {
    using namespace zel;
    return guarded(
        [&] {
            requirePointer(expression, "expression", "evaluateInPreferred");
            requirePointer(value, "value", "evaluateInPreferred");
            const Quantity q = ExpressionEvaluator::evalSingleValue(expression, "expression");
            if (q.isUndefined())
                throw internal::error("ExpressionEvaluator", "evaluate",
                                      _("Evaluation of '%s' is undefined.", expression), ErrError);
            float converted = q.getValue();
            std::string unit = q.getUnits();
            EngineUnitSystemHandler::instance()->convertToUserUnits(converted, unit, "");
            *value = converted;
            copyBounded(unit, units, unitsSize);
        },
        [](const std::exception& e) {
            ErrorProgressReporter::instance()->reportError(
                data::error("IntegrateExecutor", "calculate", _("System Error: %s", e.what()), ErrStdException));
        });
}

ZEL_API bool getViewArea(float* area, char* units, int unitsSize) {
    using namespace zel;
    return guarded(
        [&] {
            FunctionCalculator::instance(false);
            requirePointer(area, "area", "getViewArea");
            *area = UNDEFINED_VALUE;
            *area = ViewerInterface::instance()->getProjectedArea(1);
            copyBounded(UnitsConverter::instance()->getBaseUnitsFromQuant("Area"), units, unitsSize);
        },
        reportSystemError);
}

ZEL_API bool calcTurboVariables(void) {
    using namespace zel;
    return guarded([] { DataStorageBase::instance()->createAdditionalTurboVariables(""); }, reportSystemError);
}

} // extern "C"

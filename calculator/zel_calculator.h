/* The C entry points of the function calculator, for plain C callers.
 *
 * Every function returns true on success and false after its error has been reported
 * through the framework's error reporter; none lets an exception escape. Unit texts are
 * copied into the caller's buffer of unitsSize bytes, cut to unitsSize - 1 characters and
 * always ended by a zero (nothing is written when unitsSize is below 1). The value of an
 * undefined result is 3.4028235e38 (the largest float).
 *
 * Calls must come on the host's command thread. */
#ifndef ZEL_CALCULATOR_H
#define ZEL_CALCULATOR_H

#include "framework/ZelExport.h"

#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Evaluates a calculator function. args: the arguments as FunctionCalculator takes them
 * (expression, location, axis, fluid, each only when the function takes it), ended by a
 * null pointer. *value receives the result; it holds the undefined value after a failed
 * evaluation. An undefined result is a failure ("Evaluation of '<function>' is undefined."). */
ZEL_API bool calculate(const char* function, const char* const* args, float* value);

/* As calculate, and copies the result's unit text into units. */
ZEL_API bool calculateUnits(const char* function, const char* const* args, float* value, char* units, int unitsSize);

/* Evaluates an expression that has one value and converts it to the user's preferred unit
 * of its quantity. */
ZEL_API bool evaluateInPreferred(const char* expression, float* value, char* units, int unitsSize);

/* The area that the drawn faces cover in the current view, and the base unit of area. */
ZEL_API bool getViewArea(float* area, char* units, int unitsSize);

/* Asks the data storage to create its additional turbo variables. */
ZEL_API bool calcTurboVariables(void);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_CALCULATOR_H */

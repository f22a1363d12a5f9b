/* A C caller of the calculator's entry points: compiled as C by the calculator tests to show
 * that zel_calculator.h is a C header (no C++ types, extern "C" only under C++). */
#include "calculator/zel_calculator.h"

#include <stddef.h>

_Static_assert(sizeof(bool) == 1, "the entry points return a one-byte bool");

int zel_c_header_check(void);

int zel_c_header_check(void)
{
    const char* const args[] = {"Wall", NULL};
    float value = 0.0f;
    char units[16];
    bool ok = calculate("area", args, &value);
    ok = calculateUnits("area", args, &value, units, (int)sizeof units) && ok;
    ok = evaluateInPreferred("1 [m]", &value, units, (int)sizeof units) && ok;
    ok = getViewArea(&value, units, (int)sizeof units) && ok;
    ok = calcTurboVariables() && ok;
    return ok ? 0 : 1;
}

/* The consumer's C side: the calculator's entry points as a plain C caller uses them. */
#include "calculator/zel_calculator.h"

#include <stddef.h>

/* The area average of `variable` on `location`, and its unit text. */
bool areaAveFromC(const char* variable, const char* location, float* value, char* units, int unitsSize)
{
    const char* const args[] = {variable, location, NULL};
    return calculateUnits("areaAve", args, value, units, unitsSize);
}

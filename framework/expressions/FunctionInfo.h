#pragma once
// The record of one calculator function, as the calculator publishes it to the expression
// language (ExpressionCallbacksInterface::getFunctionInfo). The layout is shared with the
// calculator: three 32-bit argument uses, four one-byte location flags, the dimensions.
#include "framework/units/UnitDimensions.h"

#include <cstdint>

namespace zel {

// How a calculator function uses one of its arguments.
enum class ArgumentUse : std::int32_t { NotTaken = 0, Optional = 1, Required = 2 };

struct FunctionInfo {
    ArgumentUse expressionArg = ArgumentUse::NotTaken; // the expression between the parentheses
    ArgumentUse axisArg = ArgumentUse::NotTaken;       // the axis, written as a suffix: force_x()
    ArgumentUse fluidArg = ArgumentUse::NotTaken;      // the fluid, written as a prefix: Water.massFlow()
    bool onPoint = false;                              // usable on any geometric location
    bool onLine = false;                               // usable on a location with line data
    bool onSurface = false;                            // usable on a location with surface data
    bool onVolume = false;                             // usable on a location with volume data
    // Multiplied onto the dimensions of the expression argument; for a function without an
    // expression argument, the dimensions of the whole result.
    UnitDimensions dimensions;
};

} // namespace zel

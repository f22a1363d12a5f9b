#pragma once
// Everything of the units library in one include.
#include "framework/units/Quantity.h"
#include "framework/units/UnitDimensions.h"
#include "framework/units/UnitSystemHandler.h"
#include "framework/units/UnitsConverter.h"

#pragma once
// Tick values and the texts of legends and axes.
#include <string>
#include <vector>

namespace zel::host::render {

// 5 to 7 evenly spaced round values inside [lo, hi] (ends included when they are round):
// multiples of m·10^k, the roundest m first (5, 2.5, 2, 1, then 4, then 3, 6, 8, 1.5), the
// largest step that gives 5 to 7 of them. `step` receives the spacing. A range that is
// empty or not finite gives the single value lo (step 0).
std::vector<double> niceTicks(double lo, double hi, double* step = nullptr);

// A tick value with as many decimals as its step needs ("0.25", "1500", "-2.5e-05").
std::string formatTick(double value, double step);
// A value shown on its own (a legend's ends): 5 significant digits, trailing zeros dropped,
// scientific notation outside [1e-3, 1e6).
std::string formatValue(double value);

// A unit text as a label shows it: exponents as superscripts ("m s^-1" -> "m s⁻¹",
// "kg m^-3" -> "kg m⁻³"); the empty text stays empty.
std::string prettyUnits(const std::string& units);
// "Name [units]", or the name alone without units.
std::string withUnits(const std::string& name, const std::string& units);

} // namespace zel::host::render

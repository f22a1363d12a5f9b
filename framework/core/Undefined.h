#pragma once
// The undefined value: the largest single-precision value marks an undefined result and,
// in any component of a triplet, an undefined vector. Sums and averages skip it.
#include <limits>

namespace zel {

inline constexpr float UNDEFINED_VALUE = std::numeric_limits<float>::max(); // 3.4028235e38

inline constexpr bool isUndefined(float v) { return v == UNDEFINED_VALUE; }
inline constexpr bool isUndefined(double v) { return v == static_cast<double>(UNDEFINED_VALUE); }

} // namespace zel

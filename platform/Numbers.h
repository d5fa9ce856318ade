#pragma once
#include <cmath>

namespace kv {

// Rounded, halves to even: the rounding of the original's Round(), and of OLE's number conversions.
// std::nearbyint follows the current rounding mode, which nothing in this program changes.
inline double roundHalfEven(double value) { return std::nearbyint(value); }

}  // namespace kv

// Money: amounts are doubles; they are rounded to cents only where a rule
// says so, always through round2.
//
// Ties go away from zero (0.125 -> 0.13, -0.125 -> -0.13). A value that is a
// tie in decimal but a hair below it in binary (1.005 is held as
// 1.00499999999999989...) counts as the tie: the value is first nudged by a
// relative 1e-12, far below a cent for any amount the program handles and far
// above the representation error of a double.
#pragma once

#include <cmath>

namespace velmora::money {

inline double round2(double value) {
  const double nudged = value + std::copysign(std::fabs(value) * 1e-12, value);
  return std::round(nudged * 100.0) / 100.0;
}

}  // namespace velmora::money

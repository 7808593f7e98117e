// Money: amounts are doubles; they are rounded to cents only where a rule
// says so, always through round2.
//
// round2 rounds the decimal number the double stands for: its shortest
// round-trip form (what std::to_chars prints), rounded half away from zero on
// its digits. So 1.005, held as 1.00499999999999989..., prints as "1.005" and
// rounds to 1.01, while 4999000.004999 stays a non-tie at any size and rounds
// to 4999000.00. No relative nudge is involved.
//
// Comparisons that the rules state on money ("above three minimum salaries")
// compare whole cents (`cents`), never binary products.
#pragma once

#include <cstdint>

namespace velmora::money {

// `value` rounded to 2 decimals, ties away from zero. Non-finite values pass.
double round2(double value);

// `value` in whole cents, rounded as round2 does. Values beyond ±9e16 cents
// saturate.
int64_t cents(double value);

}  // namespace velmora::money

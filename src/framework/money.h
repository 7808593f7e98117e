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
#include <string>

namespace velmora::money {

// The shortest round-trip digits of |value| ("d1d2d3...", what std::to_chars
// prints) and the power of ten of the first: |value| = d1.d2d3... x 10^exponent.
// Every rounding of the project starts from them.
struct Digits {
  std::string digits;
  int exponent = 0;
};
Digits shortestDigits(double value);

// `value` rounded to 2 decimals, ties away from zero. Non-finite values pass.
double round2(double value);

// `value` in whole cents, rounded as round2 does. Values beyond ±9e16 cents
// saturate.
int64_t cents(double value);

// Whole cents as the double nearest to their decimal value (the division is
// correctly rounded, and cents below 2^53 are exact).
inline double fromCents(int64_t c) { return static_cast<double>(c) / 100; }

// `percent` per cent of `amount` cents, in whole cents rounded half away
// from zero, computed on the decimals (the percentage taken as the decimal
// its double stands for): 10 % of 972,356.35 is 97,235.64, never the .63
// that binary noise gives. Money sums are carried in cents, so a reader who
// adds the printed lines gets the printed total.
int64_t percentOf(int64_t amount, double percent);

// The finest price the program keeps: a hundredth of a cent. Anything finer
// but not zero (a subnormal number among them) is a typing or file mistake
// whose figures would print as 0.00 while they count.
inline constexpr double kFinestPrice = 0.0001;
// What is wrong with a price, wherever it comes in (a form, a supplier's
// list, an update, a FIEBDC-3 file), in Spanish; empty when it is a price:
// a finite number, not a negative zero, and 0 or at least a hundredth of a
// cent away from it.
std::string priceProblem(double price);

}  // namespace velmora::money

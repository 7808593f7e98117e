#include "framework/money.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace velmora::money {

namespace {

// The shortest round-trip digits of |value| as an integer count of
// hundredths, rounded half away from zero; nullopt-like -1 when it does not
// fit (the caller then leaves the value as it is).
int64_t absoluteCents(double value) {
  // Far from a half cent the binary product rounds the same way as the
  // decimal: only near a tie are the digits read (a budget's thousands of
  // rows are summed in cents on every opening).
  const double hundredths = std::fabs(value) * 100;
  if (hundredths < 1e15) {
    const double below = std::floor(hundredths);
    const double fromTie = std::fabs(hundredths - below - 0.5);
    if (fromTie > hundredths * 1e-15 + 1e-9) return static_cast<int64_t>(below) + (hundredths - below > 0.5 ? 1 : 0);
  }
  const auto [digits, exponent] = shortestDigits(value);
  // value = 0.d1d2d3... × 10^(exponent + 1); the hundredths digit is the one
  // at index (exponent + 2) of `digits`.
  const int kept = exponent + 3;  // digits up to and including hundredths
  if (kept < 0) return 0;         // below half a cent by far
  if (kept > 18) return -1;       // beyond what int64 cents hold
  int64_t whole = 0;
  for (int i = 0; i < kept; ++i) whole = whole * 10 + (i < static_cast<int>(digits.size()) ? digits[i] - '0' : 0);
  if (kept < static_cast<int>(digits.size()) && digits[kept] >= '5') ++whole;
  return whole;
}

}  // namespace

Digits shortestDigits(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
  // buf: d[.ddd]e±XX
  Digits d;
  const char* p = buf;
  for (; p < res.ptr && *p != 'e'; ++p)
    if (*p != '.') d.digits.push_back(*p);
  if (p < res.ptr) std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), res.ptr, d.exponent);
  return d;
}

double round2(double value) {
  if (!std::isfinite(value) || value == 0) return value;
  const int64_t c = absoluteCents(value);
  if (c < 0) return value;  // too large to carry cents in a double anyway
  // Build "c e-2" and read it back, so the result is the double nearest to
  // the decimal, not a product that may be off by one ulp.
  char buf[40];
  auto res = std::to_chars(buf, buf + 30, c);
  *res.ptr++ = 'e';
  *res.ptr++ = '-';
  *res.ptr++ = '2';
  double out = 0;
  std::from_chars(buf, res.ptr, out);
  return value < 0 ? -out : out;
}

int64_t cents(double value) {
  constexpr int64_t kLimit = 90'000'000'000'000'000;
  if (std::isnan(value)) return 0;
  if (!std::isfinite(value)) return value < 0 ? -kLimit : kLimit;
  if (value == 0) return 0;
  int64_t c = absoluteCents(value);
  if (c < 0 || c > kLimit) c = kLimit;
  return value < 0 ? -c : c;
}

int64_t percentOf(int64_t amount, double percent) {
  if (!std::isfinite(percent) || amount == 0 || percent == 0) return 0;
  // percent = P / 10^k exactly, from its shortest round-trip digits.
  const auto [digits, exponent] = shortestDigits(percent);
  // value = d1.d2d3... x 10^exponent = digits x 10^(exponent - (n - 1))
  const int scale = static_cast<int>(digits.size()) - 1 - exponent;  // k, may be negative
  __int128 whole = 0;
  for (char d : digits) whole = whole * 10 + (d - '0');
  __int128 numerator = static_cast<__int128>(amount < 0 ? -amount : amount) * whole;
  __int128 denominator = 100;
  if (scale > 0) {
    if (scale > 30) return cents(fromCents(amount) * percent / 100);  // beyond exact reach: no such percentage
    for (int i = 0; i < scale; ++i) denominator *= 10;
  } else {
    for (int i = 0; i < -scale && numerator < (static_cast<__int128>(1) << 100); ++i) numerator *= 10;
  }
  __int128 q = numerator / denominator;
  if ((numerator % denominator) * 2 >= denominator) ++q;  // half away from zero
  const bool negative = (amount < 0) != (percent < 0);
  const int64_t result = static_cast<int64_t>(q);
  return negative ? -result : result;
}

std::string priceProblem(double price) {
  if (!std::isfinite(price)) return "precio no finito";
  if (price == 0 && std::signbit(price)) return "precio cero con signo negativo (-0)";
  if (price != 0 && std::fabs(price) < kFinestPrice) return "precio menor que una centésima de centavo (0.0001)";
  return {};
}

}  // namespace velmora::money

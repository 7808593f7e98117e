#include "framework/picture.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "framework/text.h"
#include "tables/dates.h"

namespace velmora::picture {

Picture parse(std::string_view pic) {
  Picture p;
  if (pic.empty()) return p;
  p.kind = pic[0];
  size_t i = 1;
  if (i < pic.size() && (pic[i] == '_' || pic[i] == '-')) ++i;
  else if (p.kind == 'n') p.separators = true;
  if (i < pic.size() && pic[i] == '0') p.zeroFilled = true;
  int w = 0;
  while (i < pic.size() && std::isdigit(static_cast<unsigned char>(pic[i]))) w = w * 10 + (pic[i++] - '0');
  p.width = w;
  if (i < pic.size() && pic[i] == '.') {
    ++i;
    int d = 0;
    while (i < pic.size() && std::isdigit(static_cast<unsigned char>(pic[i]))) d = d * 10 + (pic[i++] - '0');
    p.decimals = d;
  }
  if (i < pic.size() && (pic[i] == 'B' || pic[i] == 'b')) p.blankWhenZero = true;
  return p;
}

std::string formatNumber(double value, std::string_view pic) {
  const Picture p = parse(pic);
  if (p.blankWhenZero && value == 0) return {};
  char buf[64];
  if (p.zeroFilled) {
    std::snprintf(buf, sizeof buf, "%0*lld", p.width, static_cast<long long>(std::llround(value)));
    return buf;
  }
  std::snprintf(buf, sizeof buf, "%.*f", p.decimals, value);
  if (!p.separators) return buf;
  std::string digits(buf);
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.erase(0, 1);
  const auto dot = digits.find('.');
  std::string whole = digits.substr(0, dot), frac = dot == std::string::npos ? "" : digits.substr(dot);
  std::string out;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += ',';
    out += whole[i];
  }
  return (negative ? "-" : "") + out + frac;
}

std::string formatDate(int32_t day, std::string_view pic) {
  if (day == 0) return {};
  (void)pic;
  const auto d = tables::civilDate(day);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.day, d.month, d.year);
  return buf;
}

std::optional<double> parseNumber(std::string_view typed) {
  std::string clean;
  for (char c : typed) {
    if (c != ',' && c != ' ') clean += c;
  }
  if (clean.empty()) return 0.0;
  char* end = nullptr;
  const double v = std::strtod(clean.c_str(), &end);
  if (end != clean.c_str() + clean.size()) return std::nullopt;
  return v;
}

std::optional<int32_t> parseDate(std::string_view typed) {
  const std::string t = text::clip(typed);
  if (t.empty()) return 0;
  int d = 0, m = 0, y = 0;
  if (std::sscanf(t.c_str(), "%d/%d/%d", &d, &m, &y) != 3) return std::nullopt;
  if (y < 100) y += 2000;
  if (m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
  const int32_t n = tables::dayNumber(y, m, d);
  if (tables::civilDate(n).day != d) return std::nullopt;
  return n;
}

}  // namespace velmora::picture

#include "framework/picture.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "framework/dates.h"
#include "framework/text.h"

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
  if (p.zeroFilled) {
    std::string digits = std::to_string(std::llabs(std::llround(value)));
    if (static_cast<int>(digits.size()) < p.width) digits.insert(0, p.width - digits.size(), '0');
    return (value < 0 && std::llround(value) != 0 ? "-" : "") + digits;
  }
  std::string digits = text::formatFixed(value, p.decimals);
  if (!p.separators) return digits;
  // A comma every three digits of the whole part, built in one string.
  const size_t start = !digits.empty() && digits[0] == '-' ? 1 : 0;
  const size_t dot = digits.find('.', start);
  const size_t end = dot == std::string::npos ? digits.size() : dot;
  const size_t whole = end - start;
  std::string out;
  out.reserve(digits.size() + whole / 3);
  out.append(digits, 0, start);
  for (size_t i = 0; i < whole; ++i) {
    if (i > 0 && (whole - i) % 3 == 0) out += ',';
    out += digits[start + i];
  }
  out.append(digits, end, std::string::npos);
  return out;
}

std::string formatDate(int32_t day, std::string_view pic) {
  if (day == 0) return {};
  (void)pic;
  const auto d = dates::civilDate(day);
  const auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  std::string year = std::to_string(d.year);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  return two(d.day) + "/" + two(d.month) + "/" + year;
}

std::optional<double> parseNumber(std::string_view typed) {
  std::string clean;
  for (char c : typed) {
    if (c != ',' && c != ' ') clean += c;
  }
  if (clean.empty()) return 0.0;
  if (clean[0] == '+') clean.erase(0, 1);
  return text::parseDecimal(clean);
}

std::optional<int32_t> parseDate(std::string_view typed) {
  const std::string t = text::clip(typed);
  if (t.empty()) return 0;
  int d = 0, m = 0, y = 0;
  if (std::sscanf(t.c_str(), "%d/%d/%d", &d, &m, &y) != 3) return std::nullopt;
  if (y < 100) y += 2000;
  if (m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
  const int32_t n = dates::dayNumber(y, m, d);
  if (dates::civilDate(n).day != d) return std::nullopt;
  return n;
}

}  // namespace velmora::picture

// Screen and report pictures: how a stored value is shown and read back.
//
//   sN      text of N characters
//   nW.D    number W wide with D decimals and thousands separators
//   n_W     integer without separators;  n-W  integer that may be negative
//   n05     five-digit zero-filled integer
//   d6      date dd/mm/yyyy
//   a trailing B shows blank when the value is zero
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::picture {

struct Picture {
  char kind = 's';  // 's' text, 'n' number, 'd' date
  int width = 0;
  int decimals = 0;
  bool separators = false;
  bool zeroFilled = false;
  bool blankWhenZero = false;
};

Picture parse(std::string_view pic);

std::string formatNumber(double value, std::string_view pic);
std::string formatDate(int32_t dayNumber, std::string_view pic = "d6");

// Reads what the user typed for a numeric or date picture; nothing when it
// is not a number or a date. Blank reads as 0.
std::optional<double> parseNumber(std::string_view typed);
std::optional<int32_t> parseDate(std::string_view typed);

}  // namespace velmora::picture

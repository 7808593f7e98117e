// Dates and times of day as stored in the tables.
//
// A date is a day number: day 1 is 1 January 1900, counting every day since
// (so 2 January 1900 is 2); 0 means "no date". A time of day is a clock value:
// hundredths of a second since midnight plus one, so that midnight is 1 and 0
// means "no time".
#pragma once

#include <ctime>

#include <cstdint>

namespace velmora::dates {

struct CivilDate {
  int year;
  int month;
  int day;
};

int32_t dayNumber(int year, int month, int day);
CivilDate civilDate(int32_t dayNumber);
int32_t today();
// The local calendar time of an instant, as the user's clock shows it.
std::tm localTime(std::time_t instant);
int32_t clockNow();

}  // namespace velmora::dates

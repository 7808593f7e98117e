#include "framework/dates.h"

#include <chrono>
#include <ctime>

namespace velmora::dates {
namespace {
using namespace std::chrono;
constexpr sys_days kDayZero = sys_days{year{1899} / December / 31};
}  // namespace

int32_t dayNumber(int y, int m, int d) {
  const sys_days day{year{y} / month{static_cast<unsigned>(m)} / ::std::chrono::day{static_cast<unsigned>(d)}};
  return static_cast<int32_t>((day - kDayZero).count());
}

CivilDate civilDate(int32_t n) {
  const year_month_day ymd{kDayZero + days{n}};
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

std::tm localTime(std::time_t instant) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &instant);
#else
  localtime_r(&instant, &local);
#endif
  return local;
}

namespace {
// The local wall-clock time of now, as the user sees it.
// Every record written is stamped with the day and the time: one conversion
// per second is enough.
std::tm localNow() {
  thread_local std::time_t convertedSecond = -1;
  thread_local std::tm converted{};
  const std::time_t now = std::time(nullptr);
  if (now != convertedSecond) {
    converted = localTime(now);
    convertedSecond = now;
  }
  return converted;
}
}  // namespace

int32_t today() {
  const std::tm t = localNow();
  return dayNumber(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}

int32_t clockNow() {
  const std::tm t = localNow();
  return (t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec) * 100 + 1;
}

}  // namespace velmora::dates

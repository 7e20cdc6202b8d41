#include "store/utc_day.h"

#include <chrono>
#include <cstdio>

namespace intake {

std::int64_t UtcDayNumber(UnixSeconds time) {
  std::int64_t day = time / kSecondsPerDay;
  if (time % kSecondsPerDay < 0) --day;
  return day;
}

std::string UtcDayText(std::int64_t day_number) {
  const std::chrono::year_month_day date{
      std::chrono::sys_days{std::chrono::days{static_cast<int>(day_number)}}};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

}  // namespace intake

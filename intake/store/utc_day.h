// Days of receipt: stores keep a day as its number since 1970-01-01 (UTC),
// which is compact in the day tables and easy to range over; the read side
// shows it as "YYYY-MM-DD".
#pragma once

#include <cstdint>
#include <string>

#include "store/store.h"

namespace intake {

inline constexpr std::int64_t kSecondsPerDay = 86400;

// Floors, so a time before 1970 still lands on its own day.
std::int64_t UtcDayNumber(UnixSeconds time);
std::string UtcDayText(std::int64_t day_number);

}  // namespace intake

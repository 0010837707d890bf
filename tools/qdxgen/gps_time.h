// GPS time arithmetic of the generator: absolute GPS seconds since 1980-01-06,
// weeks and times of week, and calendar dates read on the GPS time scale.
#pragma once

#include <cstdint>

namespace kavrino::qdxgen {

inline constexpr int64_t kWeekSeconds = 604800;
inline constexpr int64_t kWeekMs = 604800000;
inline constexpr int64_t kDayMs = 86400000;

// Days from 1970-01-01 of a proleptic Gregorian date.
inline int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

inline constexpr int64_t kGpsEpochDays = 3657;  // 1980-01-06 from 1970-01-01

// Milliseconds since the GPS epoch of a calendar time on the GPS scale.
inline int64_t CalendarToGpsMs(int year, int month, int day, int hour, int minute, double second) {
  int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kGpsEpochDays;
  return days * kDayMs + (static_cast<int64_t>(hour) * 3600 + minute * 60) * 1000 +
         static_cast<int64_t>(second * 1000.0 + 0.5);
}

inline int64_t WeekOf(int64_t gps_ms) {
  return gps_ms / kWeekMs;
}
inline int64_t TowMsOf(int64_t gps_ms) {
  return gps_ms % kWeekMs;
}

}  // namespace kavrino::qdxgen

// Conversions between GPS time, calendar dates and days of year.
#pragma once

#include <cstdint>

namespace kavrino {

inline constexpr int64_t kGpsEpochUnixSeconds = 315964800;
inline constexpr int64_t kSecondsPerWeek = 604800;
inline constexpr int64_t kMsPerWeek = 604800000;
inline constexpr int64_t kMsPerDay = 86400000;

struct CalendarTime {
  uint32_t year = 0;   // four digits
  uint32_t day = 0;    // day of the month, 1-31
  uint32_t month = 0;  // 1-12
  uint32_t hour = 0;
  uint32_t minute = 0;
  double second = 0;  // with fraction
};

// Calendar reading of GPS time (no leap-second correction).
CalendarTime GpsSecondsToCalendar(double gps_seconds);
// Inverse: a calendar date read on the GPS time scale; the year is normalised
// (below 80: +2000, 80..1900: +1900) and out-of-range days and months carry over.
double CalendarToGpsSeconds(const CalendarTime& calendar);
uint32_t DayOfYear(uint32_t year, uint32_t month, uint32_t day);
double WeekTowToSeconds(uint32_t week, double tow_seconds);
// Current UTC wall-clock time, whole seconds.
CalendarTime CurrentUtcTime();
// Ties a time-of-day start/end (below one day) to the day of reference_ms.
void SettleTimeOfDay(int64_t reference_ms, int64_t* start, int64_t* end);
inline bool IsInWindow(int64_t t, int64_t start, int64_t end) {
  return t >= start && t <= end;
}

}  // namespace kavrino

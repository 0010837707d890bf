// Conversions between GPS time, calendar dates and days of year.
#pragma once

#include <cstdint>

namespace kavrino {

inline constexpr int64_t kGpsEpochUnixSeconds = 315964800;
inline constexpr int64_t kSecondsPerDay = 86400;
inline constexpr int64_t kSecondsPerWeek = 604800;
inline constexpr int64_t kMsPerWeek = 604800000;
inline constexpr int64_t kMsPerDay = 86400000;

// Time window markers (block time in ms since the GPS epoch). Values below one
// day are times of day, tied to the day of the data before use.
inline constexpr int64_t kNoStartMs = -1;
inline constexpr int64_t kNoEndMs = 0x4000000000000000LL;

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

// week x 604800 + seconds, as continuous GPS seconds.
inline double GpsSecondsFromWeek(int64_t week, double seconds) {
  return static_cast<double>(week) * 604800.0 + seconds;
}

// A week number kept in its low `bits` bits, widened to the full week nearest
// to `full_week` (the week of the block that carried it):
// stored + 2^bits x trunc((full_week - stored + 2^(bits-1)) / 2^bits).
int64_t WidenWeek(int64_t stored_week, int64_t full_week, int bits);

// Leap-second count meaning "unknown".
inline constexpr int kLeapCountUnknown = -128;
// The GPS-UTC leap-second count in force after `gps_seconds` (whole GPS
// seconds), from the built-in table: kLeapCountUnknown at or before the first
// leap second and after 2019-12-31 23:59:59.
int8_t LeapCountFromTable(int64_t gps_seconds);

}  // namespace kavrino

#include "core/time.h"

#include <cmath>
#include <ctime>
#include <iterator>

namespace kavrino {
namespace {

// The leap-second table is not used for epochs after 2019-12-31 23:59:59 (GPS time).
constexpr int64_t kLeapTableValidUntil = 1261871999;

// GPS time of 00:00:00 UTC on the day each leap second took effect; row k
// brings the count k + 1.
constexpr int64_t kLeapThresholds[] = {
    46828800,  78364801,  109900802, 173059203,  252028804,  315187205,
    346723206, 393984007, 425520008, 457056009,  504489610,  551750411,
    599184012, 820108813, 914803214, 1025136015, 1119744016, 1167264017,
};

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Days from 1970-01-01 to year-month-day of the proleptic Gregorian calendar
// (month 1..12).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yoe = year - era * 400;                                          // [0, 399]
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;  // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;                     // [0, 146096]
  return era * 146097 + doe - 719468;
}

struct CivilDate {
  int64_t year;
  int64_t month;
  int64_t day;
};

CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = FloorDiv(days, 146097);
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

bool IsLeapYear(uint32_t year) {
  return (year % 400 == 0) || (year % 4 == 0 && year % 100 != 0);
}

// Seconds far enough out to cover any meaningful date while keeping every
// conversion below well defined (about 3 million years either way).
constexpr double kSecondsLimit = 1e14;

}  // namespace

CalendarTime GpsSecondsToCalendar(double gps_seconds) {
  if (!std::isfinite(gps_seconds)) gps_seconds = 0;
  if (gps_seconds > kSecondsLimit) gps_seconds = kSecondsLimit;
  if (gps_seconds < -kSecondsLimit) gps_seconds = -kSecondsLimit;
  const double whole = std::trunc(gps_seconds);
  const int64_t unix_seconds = static_cast<int64_t>(whole) + kGpsEpochUnixSeconds;
  const int64_t days = FloorDiv(unix_seconds, kSecondsPerDay);
  const int64_t second_of_day = unix_seconds - days * kSecondsPerDay;
  const CivilDate date = CivilFromDays(days);

  CalendarTime out;
  out.year = static_cast<uint32_t>(date.year);
  out.month = static_cast<uint32_t>(date.month);
  out.day = static_cast<uint32_t>(date.day);
  out.hour = static_cast<uint32_t>(second_of_day / 3600);
  out.minute = static_cast<uint32_t>(second_of_day % 3600 / 60);
  out.second = static_cast<double>(second_of_day % 60) + (gps_seconds - whole);
  return out;
}

double CalendarToGpsSeconds(const CalendarTime& calendar) {
  uint32_t year = calendar.year;
  if (year < 80) {
    year += 2000;
  } else if (year <= 1900) {
    year += 1900;
  }
  // The fields are carried as the C library's broken-down time carries them
  // (int, year since 1900, month from 0) and normalised the same way: months
  // carry into years, and days, hours and minutes simply add up.
  const int tm_year = static_cast<int>(year - 1900u);
  const int tm_mon = static_cast<int>(calendar.month - 1u);
  const int tm_mday = static_cast<int>(calendar.day);
  const int tm_hour = static_cast<int>(calendar.hour);
  const int tm_min = static_cast<int>(calendar.minute);

  const int64_t full_year = int64_t{tm_year} + 1900 + FloorDiv(tm_mon, 12);
  const int64_t month = tm_mon - FloorDiv(tm_mon, 12) * 12 + 1;
  const int64_t days = DaysFromCivil(full_year, month, 1) + tm_mday - 1;
  const int64_t unix_seconds =
      days * kSecondsPerDay + int64_t{tm_hour} * 3600 + int64_t{tm_min} * 60;
  return static_cast<double>(unix_seconds - kGpsEpochUnixSeconds) + calendar.second;
}

uint32_t DayOfYear(uint32_t year, uint32_t month, uint32_t day) {
  static constexpr uint32_t kDaysBeforeMonth[12] = {0,   31,  59,  90,  120, 151,
                                                    181, 212, 243, 273, 304, 334};
  // Months outside 1..12 are held to the nearest month of the year.
  const uint32_t index = month < 1 ? 0 : (month > 12 ? 11 : month - 1);
  uint32_t result = day + kDaysBeforeMonth[index];
  if (index >= 2 && IsLeapYear(year)) ++result;
  return result;
}

double WeekTowToSeconds(uint32_t week, double tow_seconds) {
  return tow_seconds + week * 604800.0;
}

int64_t WidenWeek(int64_t stored_week, int64_t full_week, int bits) {
  const int64_t span = int64_t{1} << bits;
  return stored_week + span * ((full_week - stored_week + span / 2) / span);  // towards zero
}

int8_t LeapCountFromTable(int64_t gps_seconds) {
  if (gps_seconds > kLeapTableValidUntil) return kLeapCountUnknown;
  int8_t count = kLeapCountUnknown;
  for (size_t k = 0; k < std::size(kLeapThresholds); ++k) {
    if (kLeapThresholds[k] < gps_seconds) count = static_cast<int8_t>(k + 1);
  }
  return count;
}

CalendarTime CurrentUtcTime() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  CalendarTime out;
  if (gmtime_r(&now, &parts) == nullptr) return out;
  out.year = static_cast<uint32_t>(parts.tm_year + 1900);
  out.month = static_cast<uint32_t>(parts.tm_mon + 1);
  out.day = static_cast<uint32_t>(parts.tm_mday);
  out.hour = static_cast<uint32_t>(parts.tm_hour);
  out.minute = static_cast<uint32_t>(parts.tm_min);
  out.second = parts.tm_sec;
  return out;
}

void SettleTimeOfDay(int64_t reference_ms, int64_t* start, int64_t* end) {
  const int64_t day_start = reference_ms / kMsPerDay * kMsPerDay;
  if (*start < kMsPerDay && *start != -1) *start = day_start + *start;
  if (*end < kMsPerDay) *end = day_start + *end;
}

}  // namespace kavrino

#include "core/time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <random>
#include <vector>

namespace kavrino {
namespace {

std::vector<double> Fields(const CalendarTime& t) {
  return {double(t.year), double(t.month),  double(t.day),
          double(t.hour), double(t.minute), t.second};
}

TEST(GpsSecondsToCalendar, AgreesWithGmtime) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<int64_t> secs(-400LL * 366 * 86400, 4000LL * 366 * 86400);
  for (int i = 0; i < 20000; ++i) {
    const int64_t s = secs(rng);
    const std::time_t unix_time = s + kGpsEpochUnixSeconds;
    std::tm r{};
    ASSERT_NE(gmtime_r(&unix_time, &r), nullptr);
    const std::vector<double> want = {r.tm_year + 1900.0, r.tm_mon + 1.0,   double(r.tm_mday),
                                      double(r.tm_hour),  double(r.tm_min), double(r.tm_sec)};
    ASSERT_EQ(Fields(GpsSecondsToCalendar(static_cast<double>(s))), want) << s;
    ASSERT_EQ(DayOfYear(r.tm_year + 1900, r.tm_mon + 1, r.tm_mday), r.tm_yday + 1u) << s;
  }
  // Fractions keep their sign; values out of range are held, not trapped.
  EXPECT_EQ(Fields(GpsSecondsToCalendar(604800.5)), (std::vector<double>{1980, 1, 13, 0, 0, 0.5}));
  EXPECT_EQ(Fields(GpsSecondsToCalendar(-0.25)), (std::vector<double>{1980, 1, 6, 0, 0, -0.25}));
  EXPECT_EQ(GpsSecondsToCalendar(std::nan("")).year, 1980u);
  EXPECT_GT(GpsSecondsToCalendar(1e300).year, 3000000u);
  GpsSecondsToCalendar(-1e300);
}

// Out-of-range days, months, hours and minutes carry as timegm carries them.
TEST(CalendarToGpsSeconds, AgreesWithTimegm) {
  std::mt19937_64 rng(11);
  std::uniform_int_distribution<int> year(1901, 2400), month(-30, 40), day(-400, 400),
      hour(-50, 100), minute(-100, 200);
  for (int i = 0; i < 20000; ++i) {
    std::tm p{};
    p.tm_year = year(rng) - 1900;
    p.tm_mon = month(rng);
    p.tm_mday = day(rng);
    p.tm_hour = hour(rng);
    p.tm_min = minute(rng);
    const CalendarTime t{uint32_t(p.tm_year + 1900), uint32_t(p.tm_mday), uint32_t(p.tm_mon + 1),
                         uint32_t(p.tm_hour),        uint32_t(p.tm_min),  0.0};
    const std::time_t ref = timegm(&p);
    ASSERT_EQ(CalendarToGpsSeconds(t), static_cast<double>(ref - kGpsEpochUnixSeconds))
        << t.year << " " << t.month << " " << t.day << " " << t.hour << " " << t.minute;
  }
  // Years below 80 are 20xx, 80..1900 are read as 1900 + year; fractions add.
  EXPECT_EQ(CalendarToGpsSeconds({1980, 6, 1, 0, 0, 1}), 1.0);
  EXPECT_EQ(CalendarToGpsSeconds({80, 6, 1, 0, 0, 0}), 0.0);
  EXPECT_EQ(CalendarToGpsSeconds({1970, 1, 1, 0, 0, 0.5}), 0.5 - 315964800.0);
  EXPECT_EQ(CalendarToGpsSeconds({1980, uint32_t(-25), 2, 0, 0, 0}), 0.0);
  EXPECT_EQ(CalendarToGpsSeconds({79, 1, 1, 0, 0, 0}), CalendarToGpsSeconds({2079, 1, 1, 0, 0, 0}));
  EXPECT_EQ(CalendarToGpsSeconds({1900, 1, 1, 0, 0, 0}),
            CalendarToGpsSeconds({3800, 1, 1, 0, 0, 0}));
}

TEST(CurrentUtcTime, MatchesTheSystemClock) {
  const std::time_t before = std::time(nullptr);
  const CalendarTime now = CurrentUtcTime();
  const double unix_now = CalendarToGpsSeconds(now) + kGpsEpochUnixSeconds;
  EXPECT_GE(unix_now, static_cast<double>(before));
  EXPECT_LE(unix_now, static_cast<double>(std::time(nullptr)));
  EXPECT_EQ(now.second, std::trunc(now.second));
}

}  // namespace
}  // namespace kavrino

#include "core/time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>

namespace kavrino {
namespace {

struct CalendarCase {
  double gps_seconds;
  uint32_t year, month, day, hour, minute;
  double second;
};

// Whole seconds are checked against gmtime below; these are the fractions.
TEST(GpsSecondsToCalendar, Fractions) {
  const CalendarCase cases[] = {
      {604800.5, 1980, 1, 13, 0, 0, 0.5},
      {-0.25, 1980, 1, 6, 0, 0, -0.25},  // the fraction keeps its sign
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gps_seconds);
    const CalendarTime t = GpsSecondsToCalendar(c.gps_seconds);
    EXPECT_EQ(t.year, c.year);
    EXPECT_EQ(t.month, c.month);
    EXPECT_EQ(t.day, c.day);
    EXPECT_EQ(t.hour, c.hour);
    EXPECT_EQ(t.minute, c.minute);
    EXPECT_DOUBLE_EQ(t.second, c.second);
  }
}

TEST(GpsSecondsToCalendar, SurvivesNonFiniteAndHugeValues) {
  EXPECT_EQ(GpsSecondsToCalendar(std::nan("")).year, 1980u);
  EXPECT_GT(GpsSecondsToCalendar(1e300).year, 3000000u);
  GpsSecondsToCalendar(-1e300);  // must not trap
}

TEST(GpsSecondsToCalendar, AgreesWithGmtime) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<int64_t> secs(-400LL * 366 * 86400, 4000LL * 366 * 86400);
  for (int i = 0; i < 20000; ++i) {
    const int64_t s = secs(rng);
    const std::time_t unix_time = s + kGpsEpochUnixSeconds;
    std::tm ref{};
    ASSERT_NE(gmtime_r(&unix_time, &ref), nullptr);
    const CalendarTime t = GpsSecondsToCalendar(static_cast<double>(s));
    ASSERT_EQ(t.year, static_cast<uint32_t>(ref.tm_year + 1900)) << s;
    ASSERT_EQ(t.month, static_cast<uint32_t>(ref.tm_mon + 1)) << s;
    ASSERT_EQ(t.day, static_cast<uint32_t>(ref.tm_mday)) << s;
    ASSERT_EQ(t.hour, static_cast<uint32_t>(ref.tm_hour)) << s;
    ASSERT_EQ(t.minute, static_cast<uint32_t>(ref.tm_min)) << s;
    ASSERT_EQ(t.second, ref.tm_sec) << s;
  }
}

// Carries of out-of-range fields are checked against timegm below.
TEST(CalendarToGpsSeconds, YearsAndFractions) {
  const CalendarCase cases[] = {
      {1.0, 1980, 1, 6, 0, 0, 1},
      {0.0, 80, 1, 6, 0, 0, 0},                     // two-digit year from 80
      {-315964800.0 + 0.5, 1970, 1, 1, 0, 0, 0.5},  // fractions added
  };
  for (const auto& c : cases) {
    CalendarTime t{c.year, c.day, c.month, c.hour, c.minute, c.second};
    EXPECT_DOUBLE_EQ(CalendarToGpsSeconds(t), c.gps_seconds)
        << c.year << "-" << static_cast<int>(c.month) << "-" << static_cast<int>(c.day);
  }
  // Day 0 and below count back from the first of the month.
  const CalendarTime back{1980, static_cast<uint32_t>(-25), 2, 0, 0, 0};
  EXPECT_EQ(CalendarToGpsSeconds(back), 0.0);
  // Year 79 is 2079, year 1900 is read as 3800.
  const CalendarTime y79{79, 1, 1, 0, 0, 0};
  const CalendarTime y2079{2079, 1, 1, 0, 0, 0};
  EXPECT_EQ(CalendarToGpsSeconds(y79), CalendarToGpsSeconds(y2079));
  const CalendarTime y1900{1900, 1, 1, 0, 0, 0};
  const CalendarTime y3800{3800, 1, 1, 0, 0, 0};
  EXPECT_EQ(CalendarToGpsSeconds(y1900), CalendarToGpsSeconds(y3800));
}

// The conversion must normalise exactly as the C library's UTC conversion does,
// also for days, months, hours and minutes out of their ranges.
TEST(CalendarToGpsSeconds, AgreesWithTimegm) {
  std::mt19937_64 rng(11);
  std::uniform_int_distribution<int> year(1901, 2400);
  std::uniform_int_distribution<int> month(-30, 40);
  std::uniform_int_distribution<int> day(-400, 400);
  std::uniform_int_distribution<int> hour(-50, 100);
  std::uniform_int_distribution<int> minute(-100, 200);
  for (int i = 0; i < 20000; ++i) {
    std::tm parts{};
    parts.tm_year = year(rng) - 1900;
    parts.tm_mon = month(rng);
    parts.tm_mday = day(rng);
    parts.tm_hour = hour(rng);
    parts.tm_min = minute(rng);
    const CalendarTime t{
        static_cast<uint32_t>(parts.tm_year + 1900), static_cast<uint32_t>(parts.tm_mday),
        static_cast<uint32_t>(parts.tm_mon + 1),     static_cast<uint32_t>(parts.tm_hour),
        static_cast<uint32_t>(parts.tm_min),         0.0};
    const std::time_t ref = timegm(&parts);
    ASSERT_EQ(CalendarToGpsSeconds(t), static_cast<double>(ref - kGpsEpochUnixSeconds))
        << t.year << " " << t.month << " " << t.day << " " << t.hour << " " << t.minute;
  }
}

TEST(DayOfYear, Table) {
  struct Case {
    uint32_t year, month, day, expected;
  } const cases[] = {
      {2000, 3, 1, 61},    {1900, 3, 1, 60}, {2019, 12, 31, 365},
      {2020, 12, 31, 366}, {2019, 1, 1, 1},  {2024, 2, 29, 60},
      {2100, 3, 1, 60},    {2019, 0, 5, 5},  {2019, 13, 1, 335},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DayOfYear(c.year, c.month, c.day), c.expected) << c.year << "-" << c.month;
  }
}

TEST(CurrentUtcTime, MatchesSystemClock) {
  const std::time_t before = std::time(nullptr);
  const CalendarTime now = CurrentUtcTime();
  const std::time_t after = std::time(nullptr);
  const double as_gps = CalendarToGpsSeconds(now) + kGpsEpochUnixSeconds;
  EXPECT_GE(as_gps, static_cast<double>(before));
  EXPECT_LE(as_gps, static_cast<double>(after));
  EXPECT_EQ(now.second, static_cast<int>(now.second));
}

TEST(SettleTimeOfDay, Table) {
  const int64_t noon = 2059 * kMsPerWeek + kMsPerDay + 12 * 3600000LL;  // 2019-06-24 12:00
  const int64_t day = noon - 12 * 3600000LL;
  struct Case {
    int64_t start, end, want_start, want_end;
  } const cases[] = {
      {36000000, 0x4000000000000000LL, day + 36000000, 0x4000000000000000LL},
      {-1, 3600000, -1, day + 3600000},
      {0, 0, day, day},
      {kMsPerDay, kMsPerDay + 5, kMsPerDay, kMsPerDay + 5},  // absolute values stay
      {noon - 1, noon + 1, noon - 1, noon + 1},
  };
  for (const auto& c : cases) {
    int64_t start = c.start, end = c.end;
    SettleTimeOfDay(noon, &start, &end);
    EXPECT_EQ(start, c.want_start) << c.start;
    EXPECT_EQ(end, c.want_end) << c.end;
  }
}

}  // namespace
}  // namespace kavrino

TEST(WidenWeek, NearestFullWeek) {
  const struct {
    int64_t stored, full;
    int bits;
    int64_t widened;
  } cases[] = {
      {36, 2084, 10, 2084},   {12, 2060, 8, 2060}, {250, 2060, 8, 2042},  {63, 2060, 6, 2047},
      {1023, 2048, 10, 2047}, {0, 2047, 10, 2048}, {1000, 100, 10, 1000},  // towards zero
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kavrino::WidenWeek(c.stored, c.full, c.bits), c.widened) << c.stored << " " << c.full;
  }
}

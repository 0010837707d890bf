// Navigation number text against its printf definition, and the record lines.
#include "rinex/nav/nav_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "core/time.h"
#include "support/capture.h"

namespace kavrino {
namespace {

using test::CaptureWrites;

// The definition: "%*.*E" one column wider, a three-digit exponent with a
// leading 0 cut to two digits, then one leading blank removed.
std::string Reference(int width, int precision, double value) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%*.*E", width + 1, precision, value);
  std::string s = buf;
  size_t e = s.find('E');
  if (e == std::string::npos) return s;
  if (e + 4 < s.size() && s[e + 2] == '0' && s.size() - e == 5) {
    s.erase(e + 2, 1);
    s = " " + s;
  }
  if (!s.empty() && s[0] == ' ') s.erase(0, 1);
  return s;
}

std::string Fast(int width, int precision, double value) {
  char buf[kNavNumberTextMax];
  return std::string(buf, AppendNavNumber(buf, width, precision, value));
}

TEST(FormatNavNumber, MatchesDefinitionOnBoundaries) {
  const double values[] = {0.0,
                           1234.5,
                           -0.000001,
                           1e-100,
                           1e100,
                           9.9999999999995e99,
                           9.99999999999949e99,
                           1e-99,
                           0.5,
                           1.5,
                           2.5,
                           1.25,
                           0.125,
                           9.9999999999995,
                           9.99999999999949,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::denorm_min(),
                           3.141592653589793,
                           604800.0,
                           -2.0e10,
                           4294967295.0,
                           static_cast<double>(static_cast<float>(1.1e-10))};
  const int formats[][2] = {{19, 12}, {12, 4}, {17, 10}, {16, 9}, {5, 0}, {1, 3}};
  for (double v : values) {
    for (const auto& f : formats) {
      EXPECT_EQ(Fast(f[0], f[1], v), Reference(f[0], f[1], v)) << v << " " << f[0] << "." << f[1];
      EXPECT_EQ(Fast(f[0], f[1], -v), Reference(f[0], f[1], -v))
          << -v << " " << f[0] << "." << f[1];
    }
  }
}

TEST(FormatNavNumber, MatchesDefinitionOnRandomValues) {
  std::mt19937_64 rng(20240611);
  std::uniform_int_distribution<int> width(0, 24);
  std::uniform_int_distribution<int> precision(0, 17);
  for (int i = 0; i < 200000; ++i) {
    uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    if (i % 2 == 0)
      v = std::ldexp(static_cast<double>(bits >> 11), static_cast<int>(rng() % 80) - 100);
    const int w = i % 3 == 0 ? 19 : width(rng);
    const int p = i % 3 == 0 ? 12 : precision(rng);
    ASSERT_EQ(Fast(w, p, v), Reference(w, p, v)) << std::hexfloat << v << " " << w << "." << p;
  }
}

TEST(FormatNavNumber, KnownTextsAndStreamResult) {
  EXPECT_EQ(Fast(19, 12, 1234.5), " 1.234500000000E+03");
  EXPECT_EQ(Fast(19, 12, -0.000001), "-1.000000000000E-06");
  EXPECT_EQ(Fast(19, 12, 0.0), " 0.000000000000E+00");
  EXPECT_EQ(Fast(19, 12, 1e-100), "1.000000000000E-100");
  EXPECT_EQ(CaptureWrites([](OutStream* out) { EXPECT_EQ(WriteNavNumber(out, 12, 4, 0.5), 12u); }),
            "  5.0000E-01");
}

TEST(FormatNavNumber, NonFiniteKeepsItsColumns) {
  for (double v : {std::nan(""), -std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_EQ(Fast(19, 12, v), std::string(19, ' '));
  }
  EXPECT_EQ(
      CaptureWrites([](OutStream* out) { WriteOrbitLine(out, test::Rinex(3), std::nan(""), 1.0); }),
      std::string(23, ' ') + " 1.000000000000E+00\n");
}

TEST(NavRecordLines, RecordStartLayouts) {
  CalendarTime t;
  t.year = 2019;
  t.month = 6;
  t.day = 24;
  t.hour = 13;
  t.minute = 31;
  t.second = 59.5;
  const double epoch = CalendarToGpsSeconds(t);
  const std::string values = " 1.000000000000E+00-2.000000000000E+00 0.000000000000E+00\n";
  struct Case {
    uint8_t sat;
    int version;
    const char* start;
  } cases[] = {
      {5, 2, "05 19  6 24 13 31 59.5"},   {5, 4, "05 19  6 24 13 31 59.5"},
      {5, 3, "G05 2019 06 24 13 31 59"},  {120, 3, "S20 2019 06 24 13 31 59"},
      {120, 2, "20 19  6 24 13 31 59.5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CaptureWrites([&](OutStream* out) {
                WriteNavRecordStart(out, c.sat, test::Rinex(c.version), epoch, 1.0, -2.0, 0.0);
              }),
              c.start + values);
  }
}

TEST(NavRecordLines, OrbitLineVariants) {
  const std::string one = " 1.000000000000E+00";
  const std::string neg = "-2.500000000000E-01";
  EXPECT_EQ(CaptureWrites(
                [](OutStream* out) { WriteOrbitLine(out, test::Rinex(3), 1, -0.25, 1, -0.25); }),
            "    " + one + neg + one + neg + "\n");
  EXPECT_EQ(CaptureWrites(
                [](OutStream* out) { WriteOrbitLine(out, test::Rinex(2), 1, -0.25, 1, -0.25); }),
            "   " + one + neg + one + neg + "\n");
  EXPECT_EQ(CaptureWrites(
                [](OutStream* out) { WriteOrbitLineWithGap(out, test::Rinex(3), 1, -0.25, 1); }),
            "    " + one + neg + std::string(19, ' ') + one + "\n");
  EXPECT_EQ(CaptureWrites([](OutStream* out) { WriteOrbitLine(out, test::Rinex(4), 1, -0.25, 1); }),
            "   " + one + neg + one + "\n");
  EXPECT_EQ(CaptureWrites([](OutStream* out) { WriteOrbitLine(out, test::Rinex(3), 1, -0.25); }),
            "    " + one + neg + "\n");
  EXPECT_EQ(CaptureWrites([](OutStream* out) { WriteOrbitLine(out, test::Rinex(3), -0.25); }),
            "    " + neg + "\n");
  EXPECT_EQ(GpsSecondsFromWeek(2056, 345600.5), 2056 * 604800.0 + 345600.5);
}

}  // namespace
}  // namespace kavrino

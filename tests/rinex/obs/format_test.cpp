// Every number text of the writers gives exactly what printf gives: the fixed
// fields of observation and meteorological values, the observation field
// routine, integers, and the navigation numbers.
#include "rinex/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "rinex/nav/nav_format.h"

namespace kavrino {
namespace {

std::string Printf(const char* format, int width, int precision, double v) {
  char buf[1024];
  return std::string(
      buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, format, width, precision, v)));
}

// A navigation number: "%*.*E" one column wider, a three-digit exponent with a
// leading 0 cut to two digits, then one leading blank removed; blanks when not
// finite.
std::string NavReference(int width, int precision, double v) {
  if (!std::isfinite(v)) return std::string(static_cast<size_t>(width), ' ');
  std::string s = Printf("%*.*E", width + 1, precision, v);
  const size_t e = s.find('E');
  if (s.size() - e == 5 && s[e + 2] == '0') s = " " + s.erase(e + 2, 1);
  return s[0] == ' ' ? s.substr(1) : s;
}

void ExpectSame(double v, int width, int precision) {
  char buf[kFixedTextMax + kMaxFixedWidth];
  ASSERT_EQ(std::string(buf, FormatFixed(buf, sizeof buf, v, width, precision)),
            Printf("%*.*f", width, precision, v))
      << std::hexfloat << v << " width " << width << " precision " << precision;
  ASSERT_EQ(std::string(buf, AppendNavNumber(buf, width, precision, v)),
            NavReference(width, precision, v))
      << std::hexfloat << v << " width " << width << " precision " << precision;
}

// The observation field routine takes every finite value below 1e9 in
// magnitude and gives what "%14.3f" gives; it declines every other value. It
// writes into observation lines in place, so no byte past its text may change.
void ExpectObsFieldSame(double v) {
  char fast[16];
  std::memset(fast, '#', sizeof fast);
  const size_t n = FormatObsFixed(fast, v);
  const std::string expected = std::fabs(v) < 1e9 ? Printf("%*.*f", 14, 3, v) : "";
  ASSERT_EQ(std::string(fast, sizeof fast), expected + std::string(16 - expected.size(), '#'))
      << std::hexfloat << v;
  ASSERT_EQ(n, expected.size());
}

std::vector<double> BoundaryValues() {
  // Ties, values near 1e9, 2^53 and the powers of ten, the extremes and the
  // non-finite values; each is also taken negated.
  const char* text =
      "0 0.0625 0.0005 0.0015 0.0025 1.0005 2.5 3.5 0.125 0.375 0.5 1.5 0.0004 1.25 1234.5 "
      "999999999.9995 999999999.9994999 1e9 999999999.999 1234567890.1234 4294967.296 "
      "4294967296 4294967295 9007199254740992 9007199254740993 1e15 1e19 18446744073709551616 "
      "1e20 1e22 1e23 1e300 1.7976931348623157e308 2.2250738585072014e-308 "
      "4.9406564584124654e-324 inf nan 2e10 45.25 59.9 604800 3.141592653589793 0.000001 1e-99 "
      "1e-100 1e100 9.9999999999995e99 9.99999999999949e99 9.9999999999995 9.99999999999949";
  std::vector<double> v;
  for (char* end = nullptr;; text = end) {
    double m = std::strtod(text, &end);
    if (end == text) break;
    v.insert(v.end(), {m, -m, std::nextafter(m, 0.0), std::nextafter(m, 2 * m + 1)});
    if (std::fabs(m) < 3e38) v.push_back(static_cast<float>(m));
  }
  // Ties k/2^n; where the whole part gains a digit, also by rounding up.
  for (int k = 1; k < 64; k += 2) v.push_back(k / 2048.0);
  for (double power = 1.0; power <= 1e9; power *= 10.0) {
    for (double x : {power, power - 0.0005, power - 0.0004999, power + 0.0005}) {
      v.insert(v.end(), {x, -x, std::nextafter(x, 0.0), std::nextafter(x, 2e9)});
    }
  }
  return v;
}

TEST(NumberFormat, BoundaryValuesMatchPrintf) {
  for (double v : BoundaryValues()) {
    for (int precision = 0; precision <= 12; ++precision) {
      for (int width : {0, 1, 5, 12, 14, 16, 17, 19}) ExpectSame(v, width, precision);
    }
    ExpectSame(v, 20, 17);
    ExpectSame(v, 0, 40);
    ExpectObsFieldSame(v);
  }
}

TEST(NumberFormat, RandomValuesMatchPrintf) {
  std::mt19937_64 rng(4242);
  std::uniform_real_distribution<double> wide(-1e9, 1e9);
  std::uniform_int_distribution<int64_t> millis(-1000000000000LL, 1000000000000LL);
  std::uniform_int_distribution<int64_t> sixteenths(-16000000000LL, 16000000000LL);
  for (int i = 0; i < 300000; ++i) {
    uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    ExpectSame(v, i % 3 == 0 ? 19 : 14, i % 13);
    ExpectSame(std::ldexp(static_cast<double>(bits >> 11), static_cast<int>(bits % 80) - 100),
               static_cast<int>(rng() % 25), static_cast<int>(rng() % 18));
    ExpectObsFieldSame(v);
    // Values meant as whole millimetres, exact binary ties, single precision.
    for (double x : {wide(rng), static_cast<double>(millis(rng)) / 1000.0,
                     static_cast<double>(sixteenths(rng)) / 16.0,
                     static_cast<double>(static_cast<float>(wide(rng) / 1e7)),
                     std::ldexp(wide(rng), -static_cast<int>(bits % 40))}) {
      ExpectSame(x, 14, 3);
      ExpectObsFieldSame(x);
    }
  }
}

TEST(NumberFormat, KeepsOnlyTheCapacityLikeSnprintf) {
  for (double v : {1e30, -123456789012.345, 3.4e38, 12.5}) {
    char fast[16];
    const size_t n = FormatFixed(fast, sizeof fast, v, 14, 3);
    char ref[17];
    EXPECT_EQ(n, static_cast<size_t>(std::snprintf(ref, sizeof ref, "%14.3f", v)));
    EXPECT_EQ(std::string(fast, std::min(n, sizeof fast)), std::string(ref)) << v;
  }
}

TEST(NumberFormat, IntegersMatchSnprintf) {
  std::mt19937_64 rng(99);
  std::vector<uint64_t> values = {0, 1, 9, 10, 99, 100, 999, 4294967295ULL, UINT64_MAX};
  for (int i = 0; i < 2000; ++i) values.push_back(rng() >> (rng() % 64));
  for (uint64_t u : values) {
    const int64_t s = static_cast<int64_t>(u) * ((u & 1) ? -1 : 1);
    for (int width : {0, 1, 2, 3, 4, 21}) {
      for (bool zero : {false, true}) {
        char buf[64], ref[64];
        std::snprintf(ref, sizeof ref, zero ? "%0*llu" : "%*llu", width,
                      static_cast<unsigned long long>(u));
        ASSERT_EQ(std::string(buf, FormatUnsigned(buf, sizeof buf, u, width, zero)), ref);
        std::snprintf(ref, sizeof ref, zero ? "%0*lld" : "%*lld", width, static_cast<long long>(s));
        ASSERT_EQ(std::string(buf, FormatSigned(buf, sizeof buf, s, width, zero)), ref);
      }
    }
  }
}

}  // namespace
}  // namespace kavrino

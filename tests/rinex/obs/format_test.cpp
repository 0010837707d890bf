// The fast number formatting must give exactly what snprintf gives.
#include "rinex/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace kavrino {
namespace {

std::string Fast(double v, int width, int precision) {
  char buf[kFixedTextMax + kMaxFixedWidth];
  size_t n = FormatFixed(buf, sizeof buf, v, width, precision);
  return std::string(buf, n);
}

std::string Reference(double v, int width, int precision) {
  char buf[1024];
  int n = std::snprintf(buf, sizeof buf, "%*.*f", width, precision, v);
  return std::string(buf, static_cast<size_t>(n));
}

void ExpectSame(double v, int width, int precision) {
  ASSERT_EQ(Fast(v, width, precision), Reference(v, width, precision))
      << "value " << std::hexfloat << v << " width " << width << " precision " << precision;
}

std::vector<double> BoundaryValues() {
  // Ties, values near 1e9 and 2^53, the extremes and the non-finite values;
  // each is also taken negated.
  const char* text =
      "0 0.0625 0.0005 0.0015 0.0025 1.0005 2.5 3.5 0.125 0.375 0.5 1.5 0.0004 "
      "999999999.9995 999999999.9994999 1e9 999999999.999 1234567890.1234 4294967.296 "
      "4294967296 9007199254740992 9007199254740993 1e15 1e19 18446744073709551616 1e20 1e22 "
      "1e23 1e300 1.7976931348623157e308 2.2250738585072014e-308 4.9406564584124654e-324 inf "
      "nan 2e10 45.25 59.9 1234.567";
  std::vector<double> v;
  for (char* end = nullptr;; text = end) {
    double m = std::strtod(text, &end);
    if (end == text) break;
    v.push_back(m);
    v.push_back(-m);
    if (m < 3e38) v.push_back(static_cast<float>(m));
  }
  // Neighbours of every tie k/2^n just below, on and above.
  for (int k = 1; k < 64; k += 2) {
    double tie = k / 2048.0;
    v.push_back(tie);
    v.push_back(std::nextafter(tie, 0.0));
    v.push_back(std::nextafter(tie, 1.0));
  }
  return v;
}

TEST(FormatFixed, BoundaryValuesMatchSnprintf) {
  for (double v : BoundaryValues()) {
    for (int precision = 0; precision <= 12; ++precision) {
      for (int width : {0, 1, 14, 19}) ExpectSame(v, width, precision);
    }
    ExpectSame(v, 20, 17);
    ExpectSame(v, 0, 40);
  }
}

TEST(FormatFixed, RandomBitPatternsMatchSnprintf) {
  std::mt19937_64 rng(12345);
  for (int i = 0; i < 200000; ++i) {
    uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    ExpectSame(v, 14, static_cast<int>(i % 13));
  }
}

TEST(FormatFixed, RandomObservationRangeMatchesSnprintf) {
  std::mt19937_64 rng(777);
  std::uniform_real_distribution<double> wide(-1e9, 1e9);
  std::uniform_int_distribution<int64_t> millis(-1000000000000LL, 1000000000000LL);
  std::uniform_int_distribution<int64_t> sixteenths(-16000000000LL, 16000000000LL);
  for (int i = 0; i < 300000; ++i) {
    ExpectSame(wide(rng), 14, 3);
    // Values meant as whole millimetres and exact binary ties.
    ExpectSame(static_cast<double>(millis(rng)) / 1000.0, 14, 3);
    ExpectSame(static_cast<double>(sixteenths(rng)) / 16.0, 14, 3);
    ExpectSame(static_cast<double>(static_cast<float>(wide(rng) / 1e7)), 14, 3);
  }
}

TEST(FormatFixed, KeepsOnlyTheCapacityLikeSnprintf) {
  const double values[] = {1e30, -123456789012.345, 3.4e38, 12.5};
  for (double v : values) {
    char fast[16];
    size_t n = FormatFixed(fast, sizeof fast, v, 14, 3);
    char ref[17];
    int m = std::snprintf(ref, sizeof ref, "%14.3f", v);
    EXPECT_EQ(n, static_cast<size_t>(m));
    size_t kept = n < sizeof fast ? n : sizeof fast;
    EXPECT_EQ(std::string(fast, kept), std::string(ref)) << v;
  }
}

// The observation field routine takes every finite value below 1e9 in
// magnitude and gives what snprintf gives; it declines every other value. It
// writes into observation lines in place, so no byte past its text may change.
void ExpectObsFieldSame(double v) {
  char fast[16];
  std::memset(fast, '#', sizeof fast);
  const size_t n = FormatObsFixed(fast, v);
  if (!(std::fabs(v) < 1e9)) {
    ASSERT_EQ(n, 0u) << std::hexfloat << v;
    ASSERT_EQ(std::string(fast, sizeof fast), std::string(sizeof fast, '#'));
    return;
  }
  ASSERT_EQ(std::string(fast, n), Reference(v, 14, 3)) << std::hexfloat << v;
  ASSERT_EQ(std::string(fast + n, sizeof fast - n), std::string(sizeof fast - n, '#'))
      << std::hexfloat << v;
}

TEST(FormatObsFixed, MatchesSnprintfOrDeclines) {
  std::vector<double> values = BoundaryValues();
  for (double edge : {1e9, 999999999.9995, 999999999.9994999, 0.0005, 2.2250738585072014e-308}) {
    values.push_back(std::nextafter(edge, 0.0));
    values.push_back(-std::nextafter(edge, 0.0));
    values.push_back(std::nextafter(edge, 2e9));
  }
  // Where the whole part gains a digit, also by rounding up.
  for (double power = 1.0; power <= 1e9; power *= 10.0) {
    for (double v : {power, power - 0.0005, power - 0.0004999, power + 0.0005}) {
      values.push_back(v);
      values.push_back(-v);
    }
  }
  for (double v : values) ExpectObsFieldSame(v);
  std::mt19937_64 rng(4242);
  std::uniform_real_distribution<double> wide(-1e9, 1e9);
  std::uniform_int_distribution<int64_t> sixteenths(-16000000000LL, 16000000000LL);
  for (int i = 0; i < 300000; ++i) {
    uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    ExpectObsFieldSame(v);
    ExpectObsFieldSame(wide(rng));
    ExpectObsFieldSame(static_cast<double>(sixteenths(rng)) / 16.0);
    ExpectObsFieldSame(std::ldexp(wide(rng), -static_cast<int>(bits % 40)));
  }
}

TEST(FormatIntegers, MatchSnprintf) {
  std::mt19937_64 rng(99);
  std::vector<uint64_t> values = {0, 1, 9, 10, 99, 100, 999, 4294967295ULL, UINT64_MAX};
  for (int i = 0; i < 2000; ++i) values.push_back(rng() >> (rng() % 64));
  for (uint64_t u : values) {
    for (int width : {0, 1, 2, 3, 4, 21}) {
      char buf[64];
      char ref[64];
      size_t n = FormatUnsigned(buf, sizeof buf, u, width, false);
      std::snprintf(ref, sizeof ref, "%*llu", width, static_cast<unsigned long long>(u));
      ASSERT_EQ(std::string(buf, n), ref);
      n = FormatUnsigned(buf, sizeof buf, u, width, true);
      std::snprintf(ref, sizeof ref, "%0*llu", width, static_cast<unsigned long long>(u));
      ASSERT_EQ(std::string(buf, n), ref);
      int64_t s = static_cast<int64_t>(u) * ((u & 1) ? -1 : 1);
      n = FormatSigned(buf, sizeof buf, s, width, false);
      std::snprintf(ref, sizeof ref, "%*lld", width, static_cast<long long>(s));
      ASSERT_EQ(std::string(buf, n), ref);
      n = FormatSigned(buf, sizeof buf, s, width, true);
      std::snprintf(ref, sizeof ref, "%0*lld", width, static_cast<long long>(s));
      ASSERT_EQ(std::string(buf, n), ref);
    }
  }
}

}  // namespace
}  // namespace kavrino

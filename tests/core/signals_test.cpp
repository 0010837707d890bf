#include "core/signals.h"

#include <gtest/gtest.h>

#include <csignal>

namespace kavrino {
namespace {

TEST(SvidToSatIndex, RangeBoundaries) {
  struct Case {
    int svid;
    int index;
  };
  const Case cases[] = {
      {0, 0},     {1, 1},     {37, 37},   {38, 38},   {61, 61},   {62, 68},   {63, 62},
      {68, 67},   {69, 68},   {70, 69},   {71, 71},   {106, 106}, {107, 107}, {119, 119},
      {120, 120}, {140, 140}, {141, 161}, {177, 197}, {178, 0},   {180, 0},   {181, 201},
      {187, 207}, {188, 0},   {190, 0},   {191, 211}, {197, 217}, {198, 141}, {215, 158},
      {216, 218}, {222, 224}, {223, 0},   {255, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SvidToSatIndex(static_cast<uint8_t>(c.svid)), c.index) << "svid " << c.svid;
  }
}

TEST(SatIndexConstellation, Ranges) {
  struct Case {
    int index;
    uint8_t constellation;
  };
  const Case cases[] = {
      {0, CONST_OTHER},     {1, CONST_GPS},     {37, CONST_GPS},     {38, CONST_GLONASS},
      {68, CONST_GLONASS},  {69, CONST_OTHER},  {70, CONST_OTHER},   {71, CONST_GALILEO},
      {106, CONST_GALILEO}, {107, CONST_OTHER}, {119, CONST_OTHER},  {120, CONST_SBAS},
      {158, CONST_SBAS},    {159, CONST_OTHER}, {161, CONST_BEIDOU}, {197, CONST_BEIDOU},
      {200, CONST_OTHER},   {201, CONST_QZSS},  {207, CONST_QZSS},   {208, CONST_OTHER},
      {211, CONST_NAVIC},   {224, CONST_NAVIC}, {225, CONST_OTHER},  {255, CONST_OTHER},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SatIndexConstellation(static_cast<uint8_t>(c.index)), c.constellation)
        << "index " << c.index;
  }
}

TEST(SignalTable, Rows) {
  struct Row {
    int signal;
    const char* name;
    uint8_t constellation;
    int slot;
    const char* code;
  };
  // Spot checks at the ends and gaps; every named signal's name and code are
  // checked against the converter's output by the end-to-end truth test.
  const Row rows[] = {
      {0, "GPSL1CA", CONST_GPS, 0, "1C"},    {15, "IRNL5", CONST_NAVIC, 0, "5A"},
      {16, nullptr, CONST_GALILEO, 0, "1A"}, {23, nullptr, CONST_OTHER, 0, "??"},
      {27, "QZSL6", CONST_QZSS, 3, "??"},    {31, nullptr, CONST_OTHER, 0, "??"},
      {33, "QZSL1S", CONST_QZSS, 5, "1Z"},
  };
  for (const Row& r : rows) {
    uint8_t s = static_cast<uint8_t>(r.signal);
    SCOPED_TRACE(r.signal);
    EXPECT_EQ(GetSignalConstellation(s), r.constellation);
    EXPECT_EQ(GetSignalIndexInConstellation(r.signal), r.slot);
    EXPECT_STREQ(GetSignalRinex3Code(s), r.code);
    if (r.name == nullptr) {
      EXPECT_EQ(GetSignalName(s), nullptr);
    } else {
      EXPECT_STREQ(GetSignalName(s), r.name);
    }
    if (r.constellation != CONST_OTHER) {
      EXPECT_NE(ConstellationSignalMask(r.constellation) & (uint64_t{1} << r.signal), 0u);
    }
  }
}

TEST(SignalTable, OutOfRangeLookupsAreHarmless) {
  EXPECT_EQ(GetSignalConstellation(34), CONST_OTHER);
  EXPECT_EQ(GetSignalConstellation(255), CONST_OTHER);
  EXPECT_STREQ(GetSignalRinex3Code(34), "??");
  EXPECT_EQ(GetSignalName(200), nullptr);
  EXPECT_EQ(ConstellationSignalMask(CONST_OTHER), 0u);
  EXPECT_EQ(ConstellationSignalMask(8), 0u);
  EXPECT_EQ(ConstellationSignalMask(CONST_QZSS), 0x30C0000C0ULL);
}

TEST(SignalIndexInConstellationDeathTest, SignalAbove33Aborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(GetSignalIndexInConstellation(34), testing::KilledBySignal(SIGABRT), "^$");
  EXPECT_EXIT(GetSignalIndexInConstellation(-1), testing::KilledBySignal(SIGABRT), "^$");
}

TEST(SignalWavelength, Bands) {
  const double c = kSpeedOfLight;
  struct Case {
    uint32_t signal;
    int k;
    double expected;
  };
  const Case cases[] = {
      {0, 0, 0.19029367279836487},
      {2, 0, 0.24421021342456825},
      {3, 5, c / 1227.60e6},
      {4, 0, c / 1176.45e6},
      {8, 0, c / 1602e6},
      {9, 1, c / (1602e6 + 562500.0)},
      {8, -7, c / (1602e6 - 3937500.0)},
      {10, -7, c / (1246e6 - 3062500.0)},
      {11, 6, c / (1246e6 + 2625000.0)},
      {12, 3, c / 1202.025e6},
      {18, 0, c / 1278.75e6},
      {21, 0, c / 1207.14e6},
      {22, 0, c / 1191.795e6},
      {28, 0, c / 1561.098e6},
      {30, 0, c / 1268.52e6},
      {13, 0, c / 1575.42e6},
      {33, 4, c / 1575.42e6},
      {34, 0, 0.19029367279836487},
      {kNoSignalNumber, 3, 0.19029367279836487},
  };
  for (const Case& t : cases) {
    // Exact equality: the wavelength is one correctly rounded division.
    EXPECT_EQ(SignalWavelength(t.signal, t.k), t.expected) << "signal " << t.signal << " k " << t.k;
  }
}

TEST(SignalWavelength, HugeFrequencyNumberDoesNotOverflow) {
  // An absurd frequency number wraps in 32 bits instead of overflowing.
  double w = SignalWavelength(8, 1 << 20);
  int32_t wrapped = static_cast<int32_t>(static_cast<uint32_t>(uint64_t{1} << 20) * 562500u);
  EXPECT_EQ(w, kSpeedOfLight / (1602e6 + wrapped));
}

}  // namespace
}  // namespace kavrino

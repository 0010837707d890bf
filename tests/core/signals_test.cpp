#include "core/signals.h"

#include <gtest/gtest.h>

#include <csignal>

namespace kavrino {
namespace {

TEST(SatelliteNumbering, RangeBoundaries) {
  const int svid_to_index[][2] = {
      {0, 0},     {1, 1},     {37, 37},   {38, 38},   {61, 61},   {62, 68},   {63, 62},
      {68, 67},   {69, 68},   {70, 69},   {71, 71},   {106, 106}, {107, 107}, {119, 119},
      {120, 120}, {140, 140}, {141, 161}, {177, 197}, {178, 0},   {180, 0},   {181, 201},
      {187, 207}, {188, 0},   {190, 0},   {191, 211}, {197, 217}, {198, 141}, {215, 158},
      {216, 218}, {222, 224}, {223, 0},   {255, 0}};
  for (const auto& c : svid_to_index) {
    EXPECT_EQ(SvidToSatIndex(static_cast<uint8_t>(c[0])), c[1]) << "svid " << c[0];
  }
  const int index_to_system[][2] = {
      {0, CONST_OTHER},     {1, CONST_GPS},     {37, CONST_GPS},     {38, CONST_GLONASS},
      {68, CONST_GLONASS},  {69, CONST_OTHER},  {70, CONST_OTHER},   {71, CONST_GALILEO},
      {106, CONST_GALILEO}, {107, CONST_OTHER}, {119, CONST_OTHER},  {120, CONST_SBAS},
      {158, CONST_SBAS},    {159, CONST_OTHER}, {161, CONST_BEIDOU}, {197, CONST_BEIDOU},
      {200, CONST_OTHER},   {201, CONST_QZSS},  {207, CONST_QZSS},   {208, CONST_OTHER},
      {211, CONST_NAVIC},   {224, CONST_NAVIC}, {225, CONST_OTHER},  {255, CONST_OTHER}};
  for (const auto& c : index_to_system) {
    EXPECT_EQ(SatIndexConstellation(static_cast<uint8_t>(c[0])), c[1]) << "index " << c[0];
  }
}

// Spot checks at the ends and gaps; every named signal's name and code are
// checked against the converter's output by the end-to-end truth test.
TEST(SignalTable, RowsAndLookupsOutOfRange) {
  const struct {
    int signal;
    const char* name;
    uint8_t constellation;
    int slot;
    const char* code;
  } rows[] = {
      {0, "GPSL1CA", CONST_GPS, 0, "1C"},    {15, "IRNL5", CONST_NAVIC, 0, "5A"},
      {16, nullptr, CONST_GALILEO, 0, "1A"}, {23, nullptr, CONST_OTHER, 0, "??"},
      {27, "QZSL6", CONST_QZSS, 3, "??"},    {31, nullptr, CONST_OTHER, 0, "??"},
      {33, "QZSL1S", CONST_QZSS, 5, "1Z"},
  };
  for (const auto& r : rows) {
    const auto s = static_cast<uint8_t>(r.signal);
    SCOPED_TRACE(r.signal);
    EXPECT_EQ(GetSignalConstellation(s), r.constellation);
    EXPECT_EQ(GetSignalIndexInConstellation(r.signal), r.slot);
    EXPECT_STREQ(GetSignalRinex3Code(s), r.code);
    EXPECT_EQ(GetSignalName(s) == nullptr ? "-" : std::string(GetSignalName(s)),
              r.name == nullptr ? "-" : r.name);
    const uint64_t bit = uint64_t{1} << r.signal;
    EXPECT_EQ((ConstellationSignalMask(r.constellation) & bit) != 0,
              r.constellation != CONST_OTHER);
  }
  EXPECT_EQ(GetSignalConstellation(34), CONST_OTHER);
  EXPECT_EQ(GetSignalConstellation(255), CONST_OTHER);
  EXPECT_STREQ(GetSignalRinex3Code(34), "??");
  EXPECT_EQ(GetSignalName(34), nullptr);
  EXPECT_EQ(ConstellationSignalMask(8), 0u);
  EXPECT_EQ(ConstellationSignalMask(CONST_QZSS), 0x30C0000C0ULL);
}

TEST(SignalIndexInConstellationDeathTest, SignalOutOfRangeAbortsSilently) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(GetSignalIndexInConstellation(34), testing::KilledBySignal(SIGABRT), "^$");
  EXPECT_EXIT(GetSignalIndexInConstellation(-1), testing::KilledBySignal(SIGABRT), "^$");
}

TEST(SignalWavelength, Bands) {
  const struct {
    uint32_t signal;
    int k;
    double hz;
  } cases[] = {{0, 0, 1575420000},  {2, 0, 1227600000},   {3, 5, 1227600000},
               {4, 0, 1176450000},  {8, 0, 1602000000},   {9, 1, 1602562500},
               {8, -7, 1598062500}, {10, -7, 1242937500}, {11, 6, 1248625000},
               {12, 3, 1202025000}, {18, 0, 1278750000},  {21, 0, 1207140000},
               {22, 0, 1191795000}, {28, 0, 1561098000},  {30, 0, 1268520000},
               {13, 0, 1575420000}, {33, 4, 1575420000},  {kNoSignalNumber, 3, 1575420000}};
  for (const auto& t : cases) {
    // Exact: the wavelength is one correctly rounded division.
    EXPECT_EQ(SignalWavelength(t.signal, t.k), kSpeedOfLight / t.hz) << t.signal << " k " << t.k;
  }
  // An absurd frequency number wraps in 32 bits instead of overflowing.
  const auto wrapped = static_cast<int32_t>(static_cast<uint32_t>(uint64_t{1} << 20) * 562500u);
  EXPECT_EQ(SignalWavelength(8, 1 << 20), kSpeedOfLight / (1602e6 + wrapped));
}

}  // namespace
}  // namespace kavrino

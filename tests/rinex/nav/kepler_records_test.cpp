// Navigation records of GPS, QZSS, BeiDou and Galileo worked out by hand from
// the record formats, and the value rules behind them.
#include "rinex/nav/kepler_records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/time.h"
#include "qdx/block.h"
#include "qdx/decode/ephemeris_blocks.h"
#include "rinex/nav/test_blocks.h"
#include "support/capture.h"

namespace kavrino {
namespace {

using test::CaptureWrites;
using test::SplitLines;

std::vector<uint8_t> GpsBlock() {
  return test::GpsLayoutBlock(kGpsEphemerisBlock, 345618000, 2060, 5, 100).Finish();
}

TEST(KeplerRecords, GpsRinex3ByHand) {
  GpsEphemerisBlock eph;
  const std::vector<uint8_t> block = GpsBlock();
  ASSERT_TRUE(DecodeGpsEphemeris(block.data(), &eph));
  EXPECT_EQ(
      CaptureWrites([&](OutStream* out) { WriteGpsNavRecord(out, eph, 5, RinexVersion::k304); }),
      "G05 2019 07 04 00 00 00 2.441406250000E-04-9.094947017729E-13 0.000000000000E+00\n"
      "     1.000000000000E+02 1.050000000000E+01 2.925836158534E-09 1.570796326795E+00\n"
      "     9.536743164062E-07 1.000000000000E-02 3.814697265625E-06 5.153500000000E+03\n"
      "     3.456000000000E+05-3.725290298462E-09-2.356194490192E+00 7.450580596924E-09\n"
      "     9.424777960769E-01 2.002500000000E+02 3.141592653590E+00-1.142904749427E-11\n"
      "     2.857261873569E-12 1.000000000000E+00 2.060000000000E+03 0.000000000000E+00\n"
      "     2.000000000000E+00 0.000000000000E+00-7.450580596924E-09 1.000000000000E+02\n"
      "     3.456180000000E+05 4.000000000000E+00\n");
}

TEST(KeplerRecords, GpsRinex2IsTheSameRecordInTheOldLayout) {
  GpsEphemerisBlock eph;
  const std::vector<uint8_t> block = GpsBlock();
  ASSERT_TRUE(DecodeGpsEphemeris(block.data(), &eph));
  const auto r3 = SplitLines(
      CaptureWrites([&](OutStream* out) { WriteGpsNavRecord(out, eph, 5, RinexVersion::k304); }));
  const auto r2 = SplitLines(
      CaptureWrites([&](OutStream* out) { WriteGpsNavRecord(out, eph, 5, RinexVersion::k210); }));
  ASSERT_EQ(r2.size(), 8u);
  EXPECT_EQ(r2[0], "05 19  7  4  0  0  0.0" + r3[0].substr(23));
  for (size_t i = 1; i < 8; ++i) EXPECT_EQ(r2[i], r3[i].substr(1)) << i;
}

TEST(KeplerRecords, QzssBlankGroupDelayAndFitFlag) {
  test::QdxBlockWriter w = test::GpsLayoutBlock(kQzsEphemerisBlock, 345618000, 2060, 181, 100);
  w.F32(28, -2e10f).U8(26, 1);
  const std::vector<uint8_t> block = w.Finish();
  GpsEphemerisBlock eph;
  ASSERT_TRUE(DecodeGpsEphemeris(block.data(), &eph));
  const auto lines =
      SplitLines(CaptureWrites([&](OutStream* out) { WriteQzssNavRecord(out, eph, 201); }));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0].substr(0, 4), "J01 ");
  EXPECT_EQ(lines[6], "     2.000000000000E+00 0.000000000000E+00" + std::string(19, ' ') +
                          " 1.000000000000E+02");
  EXPECT_EQ(lines[7], "     3.456180000000E+05 1.000000000000E+00");
}

TEST(KeplerRecords, BeidouWeeksDelaysAndTransmissionTime) {
  test::QdxBlockWriter w = test::GpsLayoutBlock(kBdsEphemerisBlock, 345618000, 2056, 141, 0);
  w.U8(18, 2).U8(19, 1).U8(20, 7).U8(21, 5).F32(24, 1.23456789e-8f).F32(28, -2e10f);
  w.U16(136, 700).U16(138, 700);
  const std::vector<uint8_t> block = w.Finish();
  BdsEphemerisBlock eph;
  ASSERT_TRUE(DecodeBdsEphemeris(block.data(), &eph));
  const auto lines =
      SplitLines(CaptureWrites([&](OutStream* out) { WriteBdsNavRecord(out, eph, 161); }));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0].substr(0, 23), "C01 2019 06 06 00 00 00");
  EXPECT_EQ(lines[1].substr(4, 19), " 5.000000000000E+00");
  EXPECT_EQ(lines[5], "     2.857261873569E-12 0.000000000000E+00 7.000000000000E+02");
  EXPECT_EQ(lines[6], "     4.000000000000E+00 1.000000000000E+00 1.230000000000E-08");
  EXPECT_EQ(lines[7], "     3.456040000000E+05 7.000000000000E+00");

  w.F32(28, -2.5e-9f);  // TGD2 present: a fourth field
  const std::vector<uint8_t> with_tgd2 = w.Finish();
  ASSERT_TRUE(DecodeBdsEphemeris(with_tgd2.data(), &eph));
  EXPECT_EQ(SplitLines(CaptureWrites([&](OutStream* out) { WriteBdsNavRecord(out, eph, 161); }))[6],
            "     4.000000000000E+00 1.000000000000E+00 1.230000000000E-08-2.500000000000E-09");
}

TEST(KeplerRecords, GalileoSourcesHealthAndDelays) {
  struct Case {
    uint8_t source;
    const char* orbit5_sources;
    const char* orbit6;
    const char* orbit7;
  } cases[] = {
      {16, " 2.580000000000E+02",
       "     6.000000000000E+00 5.600000000000E+01 9.313225746155E-10 0.000000000000E+00",
       "     3.456180000000E+05"},
      {2, " 5.170000000000E+02",
       "     7.000000000000E-01 4.550000000000E+02 9.313225746155E-10-4.656612873077E-10",
       "     3.456180000000E+05"},
      {18, " 5.190000000000E+02",
       "     7.000000000000E-01 5.110000000000E+02 9.313225746155E-10-4.656612873077E-10",
       "     3.456180000000E+05"},
      {4, " 1.088000000000E+03",
       "    -1.000000000000E+00 2.969600000000E+04 9.313225746155E-10 0.000000000000E+00",
       "     3.456180000000E+05 0.000000000000E+00 1.250000000000E-01"},
      {0, " 0.000000000000E+00",
       "    -1.000000000000E+00 0.000000000000E+00 9.313225746155E-10 0.000000000000E+00",
       "     3.456180000000E+05"},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> block = test::GalBlock(345618000, 2060, 71, c.source, 50).Finish();
    GalEphemerisBlock eph;
    ASSERT_TRUE(DecodeGalEphemeris(block.data(), &eph));
    const auto lines =
        SplitLines(CaptureWrites([&](OutStream* out) { WriteGalNavRecord(out, eph, 71); }));
    ASSERT_EQ(lines.size(), 8u) << int{c.source};
    EXPECT_EQ(lines[5].substr(23, 19), c.orbit5_sources) << int{c.source};
    EXPECT_EQ(lines[6], c.orbit6) << int{c.source};
    EXPECT_EQ(lines[7], c.orbit7) << int{c.source};
    EXPECT_EQ(lines[0].substr(0, 42), "E01 2019 07 04 00 00 00 2.861022949219E-06")
        << int{c.source};
  }
}

TEST(KeplerRecords, ValueRules) {
  const struct {
    uint8_t flag;
    uint16_t iodc;
    double hours;
  } fits[] = {{0, 500, 4},  {1, 500, 26},   {1, 100, 6},  {1, 496, 14}, {1, 247, 8},
              {1, 511, 74}, {1, 1020, 146}, {1, 1021, 6}, {1, 767, 122}};
  for (const auto& f : fits) EXPECT_EQ(GpsFitIntervalHours(f.flag, f.iodc), f.hours) << f.iodc;
  EXPECT_EQ(UraMetres(0), 2.0);
  EXPECT_EQ(UraMetres(14), 4096.0);
  EXPECT_EQ(UraMetres(15), 8192.0);
  EXPECT_EQ(GalSisaMetres(255), -1.0);
  EXPECT_EQ(GalSisaMetres(126), -1.0);
  EXPECT_DOUBLE_EQ(GalSisaMetres(60), 0.7);
  EXPECT_DOUBLE_EQ(GalSisaMetres(49), 0.49);
  EXPECT_DOUBLE_EQ(GalSisaMetres(125), 6.0);
  EXPECT_EQ(NavTransmissionTime(1000, 2060, 2061), 1.0 - 604800.0);
  EXPECT_EQ(NavTransmissionTime(1500, 2062, 2061), 1.5 + 604800.0);
}

double SwapHalves(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits = (bits << 32) | (bits >> 32);
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(KeplerRecords, GalileoClockOffsetRepair) {
  const struct {
    double received, written;
  } cases[] = {
      {3 * 0x1p-20, 3 * 0x1p-20},
      {SwapHalves(3 * 0x1p-20), 3 * 0x1p-20},
      {0.0, 0.0},
      {0.1, 0.1},                                  // neither reading plausible: as received
      {SwapHalves(0x1p-34), 0x1p-34},              // exponent field 989: inside
      {SwapHalves(-0x1p-4), -0x1p-4},              // exponent field 1019: inside
      {SwapHalves(0x1p-35), SwapHalves(0x1p-35)},  // 988: outside
      {SwapHalves(0x1p-3), SwapHalves(0x1p-3)},    // 1020: outside
  };
  for (const auto& c : cases) EXPECT_EQ(RepairGalAf0(c.received), c.written) << c.received;
}

}  // namespace
}  // namespace kavrino

// Navigation records worked out by hand from the record formats (in
// data/records.txt), the lines they are made of and the value rules behind them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/time.h"
#include "qdx/block.h"
#include "qdx/decode/ephemeris_blocks.h"
#include "rinex/case_table.h"
#include "rinex/nav/cartesian_records.h"
#include "rinex/nav/kepler_records.h"
#include "rinex/nav/nav_format.h"
#include "rinex/nav/test_blocks.h"
#include "support/capture.h"

namespace kavrino {
namespace {

using test::CaptureWrites;
using test::QdxBlockWriter;
constexpr RinexVersion k210 = RinexVersion::k210, k211 = RinexVersion::k211,
                       k304 = RinexVersion::k304;

// The record of one block, written by `write` once decoded; nothing for a
// block too short for its fields.
template <typename Block, typename Write>
std::string Record(bool (*decode)(const uint8_t*, Block*), const QdxBlockWriter& w, Write write) {
  const std::vector<uint8_t> block = w.Finish();
  Block eph;
  if (!decode(block.data(), &eph)) return "";
  return CaptureWrites([&](OutStream* out) { write(out, eph); });
}
std::string Gps(const QdxBlockWriter& w, RinexVersion version) {
  return Record(DecodeGpsEphemeris, w, [&](OutStream* o, const auto& e) {
    WriteGpsNavRecord(o, e, 5, version);
  });
}
std::string Qzss(const QdxBlockWriter& w) {
  return Record(DecodeGpsEphemeris, w,
                [](OutStream* o, const auto& e) { WriteQzssNavRecord(o, e, 201); });
}
std::string Bds(const QdxBlockWriter& w) {
  return Record(DecodeBdsEphemeris, w,
                [](OutStream* o, const auto& e) { WriteBdsNavRecord(o, e, 161); });
}
std::string Gal(uint8_t source, uint16_t health = 0xEFF, uint8_t health_other = 0xE5) {
  return Record(
      DecodeGalEphemeris,
      test::GalBlock(345618000, 2060, 71, source, 50).U16(130, health).U8(132, health_other),
      [](OutStream* o, const auto& e) { WriteGalNavRecord(o, e, 71); });
}
std::string Glo(const QdxBlockWriter& w, RinexVersion version) {
  return Record(DecodeGloEphemeris, w, [&](OutStream* o, const auto& e) {
    WriteCartesianNavRecord(o, MakeGloNavRecord(e, version), version);
  });
}
std::string Sbas(const QdxBlockWriter& w) {
  return Record(DecodeSbasNavigation, w, [](OutStream* o, const auto& e) {
    WriteCartesianNavRecord(o, MakeSbasNavRecord(e), k304);
  });
}

TEST(NavRecords, HandWorkedRecords) {
  const QdxBlockWriter gps = test::GpsLayoutBlock(kGpsEphemerisBlock, 345618000, 2060, 5, 100);
  // QZSS without a group delay, fit flag set.
  QdxBlockWriter qzss = test::GpsLayoutBlock(kQzsEphemerisBlock, 345618000, 2060, 181, 100);
  qzss.F32(28, -2e10f).U8(26, 1);
  // BeiDou: weeks from 2006, group delays rounded to 0.1 ns, TGD2 absent then present.
  QdxBlockWriter bds = test::GpsLayoutBlock(kBdsEphemerisBlock, 345618000, 2056, 141, 0);
  bds.U8(18, 2).U8(19, 1).U8(20, 7).U8(21, 5).F32(24, 1.23456789e-8f).F32(28, -2e10f);
  bds.U16(136, 700).U16(138, 700);
  const std::string bds_without_tgd2 = Bds(bds);
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"GPS 3.04", Gps(gps, k304)},
      {"GPS 2.10", Gps(gps, k210)},
      {"QZSS", Qzss(qzss)},
      {"BeiDou", bds_without_tgd2},
      {"BeiDou with TGD2", Bds(bds.F32(28, -2.5e-9f))},
      // Data sources and health of each source; the other sources' group delay.
      {"Galileo F/NAV", Gal(16)},
      {"Galileo I/NAV E1-B", Gal(2)},
      {"Galileo I/NAV and F/NAV", Gal(18)},
      {"Galileo I/NAV and F/NAV, health bits apart", Gal(18, 0x6A5)},
      {"Galileo other source", Gal(4)},
      {"Galileo other source, health bits apart", Gal(4, 0xEFF, 0x5A)},
      {"Galileo unknown source", Gal(0)},
      {"GLONASS 3.04", Glo(test::GloBlock(), k304)},
      {"GLONASS 2.11", Glo(test::GloBlock(), k211)},
      {"SBAS", Sbas(test::SbasBlock())},
      {"GLONASS too short", Glo(test::GloBlock().Resize(85), k304)},
      {"SBAS too short", Sbas(test::SbasBlock().Resize(103))},
  };
  const auto goldens = test::ReadGoldens("rinex/nav/data/records.txt");
  for (const auto& c : cases) {
    test::Dump(c.name, c.text);
    EXPECT_EQ(c.text, goldens.count(c.name) ? goldens.at(c.name) : "?") << c.name;
  }
}

TEST(NavRecords, RecordLines) {
  const double epoch = CalendarToGpsSeconds({2019, 24, 6, 13, 31, 59.5});
  const std::string values = " 1.000000000000E+00-2.000000000000E+00 0.000000000000E+00\n";
  const struct {
    uint8_t sat;
    int version;
    const char* start;
  } starts[] = {{5, 2, "05 19  6 24 13 31 59.5"},
                {5, 4, "05 19  6 24 13 31 59.5"},
                {5, 3, "G05 2019 06 24 13 31 59"},
                {120, 3, "S20 2019 06 24 13 31 59"},
                {120, 2, "20 19  6 24 13 31 59.5"}};
  for (const auto& c : starts) {
    EXPECT_EQ(CaptureWrites([&](OutStream* out) {
                WriteNavRecordStart(out, c.sat, test::Rinex(c.version), epoch, 1.0, -2.0, 0.0);
              }),
              c.start + values);
  }
  const std::string one = " 1.000000000000E+00", neg = "-2.500000000000E-01", gap(19, ' ');
  const struct {
    std::string text, expected;
  } lines[] = {
      {CaptureWrites([](OutStream* o) { WriteOrbitLine(o, test::Rinex(3), 1, -0.25, 1, -0.25); }),
       "    " + one + neg + one + neg + "\n"},
      {CaptureWrites([](OutStream* o) { WriteOrbitLine(o, test::Rinex(2), 1, -0.25, 1, -0.25); }),
       "   " + one + neg + one + neg + "\n"},
      {CaptureWrites([](OutStream* o) { WriteOrbitLineWithGap(o, test::Rinex(3), 1, -0.25, 1); }),
       "    " + one + neg + gap + one + "\n"},
      {CaptureWrites([](OutStream* o) { WriteOrbitLine(o, test::Rinex(4), 1, -0.25, 1); }),
       "   " + one + neg + one + "\n"},
      {CaptureWrites([](OutStream* o) { WriteOrbitLine(o, test::Rinex(3), -0.25); }),
       "    " + neg + "\n"},
      {CaptureWrites([](OutStream* o) { WriteOrbitLine(o, test::Rinex(3), std::nan(""), 1.0); }),
       "    " + gap + one + "\n"},
      {CaptureWrites([](OutStream* o) { EXPECT_EQ(WriteNavNumber(o, 12, 4, 0.5), 12u); }),
       "  5.0000E-01"},
  };
  for (const auto& l : lines) EXPECT_EQ(l.text, l.expected);
}

double SwapHalves(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits = (bits << 32) | (bits >> 32);
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(NavRecords, ValueRules) {
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
  EXPECT_EQ(SbasUraMetres(14), 4096.0);
  for (const auto& [index, metres] :
       {std::pair{255, -1.0}, {126, -1.0}, {60, 0.7}, {49, 0.49}, {125, 6.0}}) {
    EXPECT_DOUBLE_EQ(GalSisaMetres(static_cast<uint8_t>(index)), metres) << index;
  }
  EXPECT_EQ(NavTransmissionTime(1000, 2060, 2061), 1.0 - 604800.0);
  EXPECT_EQ(NavTransmissionTime(1500, 2062, 2061), 1.5 + 604800.0);
  EXPECT_EQ(GpsSecondsFromWeek(2056, 345600.5), 2056 * 604800.0 + 345600.5);
  // The Galileo clock offset, stored with its halves exchanged by some receivers.
  const struct {
    double received, written;
  } offsets[] = {
      {3 * 0x1p-20, 3 * 0x1p-20},
      {SwapHalves(3 * 0x1p-20), 3 * 0x1p-20},
      {0.0, 0.0},
      {0.1, 0.1},                                  // neither reading plausible: as received
      {SwapHalves(0x1p-34), 0x1p-34},              // exponent field 989: inside
      {SwapHalves(-0x1p-4), -0x1p-4},              // exponent field 1019: inside
      {SwapHalves(0x1p-35), SwapHalves(0x1p-35)},  // 988: outside
      {SwapHalves(0x1p-3), SwapHalves(0x1p-3)},    // 1020: outside
  };
  for (const auto& c : offsets) EXPECT_EQ(RepairGalAf0(c.received), c.written) << c.received;
}

// GLONASS frame time tk and week widening; SBAS day placement, health and URA.
TEST(NavRecords, CartesianTimeRules) {
  const struct {
    int64_t tow_s;
    RinexVersion version;
    int64_t tk;
  } glo_cases[] = {{345630, k304, 345600}, {345630, k211, 0}, {345659, k304, 345630},
                   {10, k304, 604770},     {10, k211, 86370}, {604799, k210, 86370}};
  for (const auto& c : glo_cases) {
    const std::vector<uint8_t> block =
        test::GloBlock(40, static_cast<uint32_t>(c.tow_s * 1000)).Finish();
    GloEphemerisBlock eph;
    ASSERT_TRUE(DecodeGloEphemeris(block.data(), &eph));
    EXPECT_EQ(MakeGloNavRecord(eph, c.version).start[2], static_cast<double>(c.tk)) << c.tow_s;
  }
  // The 10-bit week of t_oe is widened to the week nearest to the block's.
  GloEphemerisBlock late;
  ASSERT_TRUE(DecodeGloEphemeris(test::GloBlock().U16(80, 1023).Finish().data(), &late));
  late.week = 2048;
  EXPECT_EQ(MakeGloNavRecord(late, k304).epoch, 2047 * 604800.0 + 345618 - 18);

  const int64_t day = 2061 * kSecondsPerWeek + 3 * 86400;
  const int64_t sbas_cases[][3] = {{100, 86000, -400},     {86300, 100, 86500},
                                   {50000, 93200, 6800},   {50000, 6799, 6799 + 86400},
                                   {1000, 86400 + 50, 50}, {1000, 44201, 44201 - 86400}};
  for (const auto& [reception, t0, epoch] : sbas_cases) {
    EXPECT_EQ(PlaceSbasTimeOfDay(day + reception, static_cast<uint32_t>(t0)), day + epoch) << t0;
  }
  const std::vector<uint8_t> unusable = test::SbasBlock(127, 100500, 86000, 110, 15).Finish();
  SbasNavigationBlock eph;
  ASSERT_TRUE(DecodeSbasNavigation(unusable.data(), &eph));
  const CartesianNavRecord record = MakeSbasNavRecord(eph);
  EXPECT_EQ(record.orbit[0][3], 63.0);
  EXPECT_EQ(record.orbit[1][3], 32767.0);
}

}  // namespace
}  // namespace kavrino

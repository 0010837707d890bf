// Navigation records worked out by hand from the record formats (in
// data/records.txt), the lines they are made of and the value rules behind them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
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
  return Record(DecodeGpsEphemeris, w,
                [&](OutStream* o, const auto& e) { WriteGpsNavRecord(o, e, 5, version); });
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
    EXPECT_EQ(c.text, goldens.at(c.name)) << c.name;
  }
}

TEST(NavRecords, RecordLines) {
  const double epoch = CalendarToGpsSeconds({2019, 24, 6, 13, 31, 59.5});
  const std::pair<int, const char*> starts[] = {{2, "05 19  6 24 13 31 59.5"},
                                                {3, "G05 2019 06 24 13 31 59"}};
  for (const auto& [version, start] : starts) {
    EXPECT_EQ(CaptureWrites([&](OutStream* o) {
                WriteNavRecordStart(o, 5, test::Rinex(version), epoch, 1.0, -2.0, 0.0);
              }),
              start + std::string(" 1.000000000000E+00-2.000000000000E+00 0.000000000000E+00\n"));
  }
  EXPECT_EQ(
      CaptureWrites([](OutStream* o) { WriteOrbitLine(o, test::Rinex(3), std::nan(""), 1.0); }),
      std::string(23, ' ') + " 1.000000000000E+00\n");
  EXPECT_EQ(CaptureWrites([](OutStream* o) { EXPECT_EQ(WriteNavNumber(o, 12, 4, 0.5), 12u); }),
            "  5.0000E-01");
}

double SwapHalves(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits = (bits << 32) | (bits >> 32);
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double Number(const std::string& text) {
  return text.starts_with("swap:") ? SwapHalves(std::strtod(text.c_str() + 5, nullptr))
                                   : std::strtod(text.c_str(), nullptr);
}

// The value of a rule of data/value_rules.txt.
double Rule(const std::string& rule, const std::vector<double>& a) {
  const auto u8 = [&](size_t i) { return static_cast<uint8_t>(a[i]); };
  if (rule == "fit") return GpsFitIntervalHours(u8(0), static_cast<uint16_t>(a[1]));
  if (rule == "ura") return UraMetres(u8(0));
  if (rule == "sbas_ura") return SbasUraMetres(u8(0));
  if (rule == "sisa") return GalSisaMetres(u8(0));
  if (rule == "transmission") {
    return NavTransmissionTime(static_cast<uint32_t>(a[0]), static_cast<int64_t>(a[1]),
                               static_cast<int64_t>(a[2]));
  }
  if (rule == "af0") return RepairGalAf0(a[0]);
  if (rule == "glo_tk") {
    const std::vector<uint8_t> block =
        test::GloBlock(40, static_cast<uint32_t>(a[0] * 1000)).Finish();
    GloEphemerisBlock eph;
    const RinexVersion version = test::Rinex(static_cast<int>(a[1]));
    return DecodeGloEphemeris(block.data(), &eph) ? MakeGloNavRecord(eph, version).start[2] : -1;
  }
  const int64_t day = 2061 * kSecondsPerWeek + 3 * 86400;  // sbas_day
  return static_cast<double>(
      PlaceSbasTimeOfDay(day + static_cast<int64_t>(a[0]), static_cast<uint32_t>(a[1])) - day);
}

TEST(NavRecords, ValueRules) {
  for (const auto& row : test::ReadCases("rinex/nav/data/value_rules.txt")) {
    std::vector<double> args;
    for (const std::string& w : test::Words(row[1])) args.push_back(Number(w));
    const double value = Rule(row[0], args);
    EXPECT_TRUE(value == Number(row[2]) || std::fabs(value - Number(row[2])) < 1e-15)
        << row[0] << " " << row[1] << ": " << value;
  }
  // The 10-bit week of t_oe is widened to the week nearest to the block's.
  GloEphemerisBlock late;
  ASSERT_TRUE(DecodeGloEphemeris(test::GloBlock().U16(80, 1023).Finish().data(), &late));
  late.week = 2048;
  EXPECT_EQ(MakeGloNavRecord(late, k304).epoch, 2047 * 604800.0 + 345618 - 18);
  // An unusable SBAS URA: health 63 and URA 32767.
  const std::vector<uint8_t> unusable = test::SbasBlock(127, 100500, 86000, 110, 15).Finish();
  SbasNavigationBlock eph;
  ASSERT_TRUE(DecodeSbasNavigation(unusable.data(), &eph));
  const CartesianNavRecord record = MakeSbasNavRecord(eph);
  EXPECT_EQ(record.orbit[0][3], 63.0);
  EXPECT_EQ(record.orbit[1][3], 32767.0);
  EXPECT_EQ(GpsSecondsFromWeek(2056, 345600.5), 2056 * 604800.0 + 345600.5);
}

}  // namespace
}  // namespace kavrino

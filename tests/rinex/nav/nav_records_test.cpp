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
constexpr RinexVersion k210 = RinexVersion::k210, k211 = RinexVersion::k211,
                       k304 = RinexVersion::k304;

// The record a writer makes of its block of data/blocks.txt with `fields`
// over it; nothing for a block too short for its fields.
std::string RecordOf(const std::string& writer, const std::string& fields) {
  const auto block = [&](const std::string& spec) {
    return test::BlockList(spec + " " + (fields == "-" ? "" : fields))[0];
  };
  const RinexVersion version = writer.ends_with("2.10")   ? k210
                               : writer.ends_with("2.11") ? k211
                                                          : k304;
  return CaptureWrites([&](OutStream* o) {
    GpsEphemerisBlock gps;
    BdsEphemerisBlock bds;
    GalEphemerisBlock gal;
    GloEphemerisBlock glo;
    SbasNavigationBlock sbas;
    if (writer.starts_with("GPS") &&
        DecodeGpsEphemeris(block(test::GpsLayoutBlock(5891, 345618000, 2060, 5, 100)).data(),
                           &gps)) {
      WriteGpsNavRecord(o, gps, 5, version);
    }
    if (writer == "QZSS" &&
        DecodeGpsEphemeris(block(test::GpsLayoutBlock(4095, 345618000, 2060, 181, 100)).data(),
                           &gps)) {
      WriteQzssNavRecord(o, gps, 201);
    }
    if (writer == "BeiDou" &&
        DecodeBdsEphemeris(block(test::GpsLayoutBlock(4081, 345618000, 2056, 141, 0)).data(),
                           &bds)) {
      WriteBdsNavRecord(o, bds, 161);
    }
    if (writer == "Galileo" &&
        DecodeGalEphemeris(block(test::GalBlock(345618000, 2060, 71, 0, 50)).data(), &gal)) {
      WriteGalNavRecord(o, gal, 71);
    }
    if (writer.starts_with("GLONASS") && DecodeGloEphemeris(block(test::GloBlock()).data(), &glo)) {
      WriteCartesianNavRecord(o, MakeGloNavRecord(glo, version), version);
    }
    if (writer == "SBAS" && DecodeSbasNavigation(block(test::SbasBlock()).data(), &sbas)) {
      WriteCartesianNavRecord(o, MakeSbasNavRecord(sbas), k304);
    }
  });
}

TEST(NavRecords, HandWorkedRecords) {
  const auto goldens = test::ReadGoldens("rinex/nav/data/records.txt");
  for (const auto& row : test::ReadCases("rinex/nav/data/record_cases.txt")) {
    EXPECT_EQ(RecordOf(row[1], row[2]), goldens.at(row[0])) << row[0];
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
        test::BlockList(test::GloBlock(40, static_cast<uint32_t>(a[0] * 1000)))[0];
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
  ASSERT_TRUE(
      DecodeGloEphemeris(test::BlockList(test::GloBlock() + " u16@80=1023")[0].data(), &late));
  late.week = 2048;
  EXPECT_EQ(MakeGloNavRecord(late, k304).epoch, 2047 * 604800.0 + 345618 - 18);
  // An unusable SBAS URA: health 63 and URA 32767.
  const std::vector<uint8_t> unusable =
      test::BlockList(test::SbasBlock(127, 100500, 86000, 110, 15))[0];
  SbasNavigationBlock eph;
  ASSERT_TRUE(DecodeSbasNavigation(unusable.data(), &eph));
  const CartesianNavRecord record = MakeSbasNavRecord(eph);
  EXPECT_EQ(record.orbit[0][3], 63.0);
  EXPECT_EQ(record.orbit[1][3], 32767.0);
  EXPECT_EQ(GpsSecondsFromWeek(2056, 345600.5), 2056 * 604800.0 + 345600.5);
}

}  // namespace
}  // namespace kavrino

// Navigation headers written over their reserved area, and the leap-second count.
#include "rinex/nav/nav_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/time.h"
#include "qdx/decode/correction_blocks.h"
#include "qdx/encode/qdx_writer.h"
#include "qdx/lookups.h"
#include "qdx/reader.h"
#include "rinex/header_lines.h"
#include "support/capture.h"

namespace kavrino {
namespace {

using test::QdxBlockWriter;

const CalendarTime kDate{2024, 9, 3, 14, 5, 7.0};
const char* const kPgm = "kavrino-13.4.3";

std::string Line(const std::string& content, const std::string& label) {
  std::string line = content + std::string(60 - content.size(), ' ') + label;
  return line + std::string(80 - line.size(), ' ') + "\n";
}
const std::string kBlankComment = Line("", "COMMENT");
const std::string kEnd = Line("", "END OF HEADER");
const std::string kPgm2 =
    Line("kavrino-13.4.3                          09-MAR-24 14:05", "PGM / RUN BY / DATE");
const std::string kPgm3 =
    Line("kavrino-13.4.3                          20240309 140507 UTC", "PGM / RUN BY / DATE");

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0, nl; at < text.size(); at = nl + 1) {
    nl = std::min(text.find('\n', at), text.size() - 1);
    lines.push_back(text.substr(at, nl + 1 - at));
  }
  return lines;
}

// The header as it stands in its file: written over `reserved` lines reserved
// for it (blank comments and "END OF HEADER"), the records after them. A header
// longer than its area would run into the records.
std::string OverReserved(int reserved, const std::function<void(OutStream*)>& write) {
  std::string area;
  OutStream out;
  OpenOutStream(&out, StringSink(&area));
  WriteEndOfHeader(&out, reserved);
  WriteText(&out, "RECORDS\n");
  FlushOutStream(&out);
  const std::string header = test::CaptureWrites(write);
  return header + area.substr(std::min(header.size(), area.size()));
}

NavCorrections Take(std::initializer_list<QdxBlockWriter> writers) {
  NavCorrections corrections;
  for (const QdxBlockWriter& writer : writers) {
    const std::vector<uint8_t> block = writer.Finish();
    EXPECT_TRUE(TakeCorrectionBlock(block.data(), &corrections));
  }
  return corrections;
}

QdxBlockWriter GpsIono() {
  QdxBlockWriter w(5893, 0, 1000, 2060, 48);
  w.U8(14, 3).F32(16, 0.5f).F32(20, 0.25f).F32(24, -0.125f).F32(28, 2.0f);
  w.F32(32, 4096.0f).F32(36, -16384.0f).F32(40, 65536.0f).F32(44, 0.0f);
  return w;
}

QdxBlockWriter Utc(uint16_t number, int8_t leap, int8_t future_leap, uint8_t ref_week = 12,
                   uint32_t ref_time = 405504) {
  QdxBlockWriter w(number, 0, 1000, 2060, 40);
  w.U8(14, 5).F32(16, 0.0f).F64(20, -1e-9).U32(28, ref_time).U8(32, ref_week);
  w.I8(33, leap).U8(34, 250).U8(35, 7).I8(36, future_leap);
  return w;
}

QdxBlockWriter GalIono() {
  QdxBlockWriter w(4030, 0, 1000, 2060, 32);
  w.U8(14, 71).F32(16, 64.0f).F32(20, 0.5f).F32(24, -0.25f);
  return w;
}

QdxBlockWriter GalGps() {
  QdxBlockWriter w(4032, 0, 1000, 2060, 32);
  w.U8(14, 71).F32(16, 0.0f).F32(20, 2.5e-9f).U32(24, 86400).U8(28, 2060 % 64);
  return w;
}

NavHeaderInfo Info(int version, const NavCorrections& corrections, int leap = kLeapCountUnknown) {
  NavHeaderInfo info;
  info.date = kDate;
  info.program = kPgm;
  info.version = test::Rinex(version);
  info.leap_count = leap;
  info.corrections = &corrections;
  return info;
}

const std::string kGpsa =
    Line("GPSA   5.0000E-01  2.5000E-01 -1.2500E-01  2.0000E+00", "IONOSPHERIC CORR");
const std::string kGpsb =
    Line("GPSB   4.0960E+03 -1.6384E+04  6.5536E+04  0.0000E+00", "IONOSPHERIC CORR");
const std::string kGal =
    Line("GAL    6.4000E+01  5.0000E-01 -2.5000E-01  0.0000E+00", "IONOSPHERIC CORR");
const std::string kGput =
    Line("GPUT -1.0000000000E-09 0.000000000E+00 405504 2060", "TIME SYSTEM CORR");
const std::string kGaut =
    Line("GAUT -1.0000000000E-09 0.000000000E+00 405504 2060", "TIME SYSTEM CORR");
const std::string kGagp =
    Line("GAGP  2.4999999848E-09 0.000000000E+00  86400 2060", "TIME SYSTEM CORR");
const std::string kLeap18 = Line("    18", "LEAP SECONDS");

std::string V2(const std::string& type) {
  return Line("     2.10           " + type, "RINEX VERSION / TYPE");
}
std::string V3(const std::string& system) {
  return Line("     3.04           N: GNSS NAV DATA    " + system, "RINEX VERSION / TYPE");
}

TEST(NavHeader, HeadersFillTheirReservedAreaInOrder) {
  const NavCorrections gps = Take({GpsIono(), Utc(5894, 18, 18)});
  const NavCorrections gal = Take({GalIono(), Utc(4031, 18, 18), GalGps()});
  const NavCorrections all =
      Take({GpsIono(), Utc(5894, 18, 18), GalIono(), Utc(4031, 18, 18), GalGps()});
  const NavCorrections gal_only = Take({Utc(4031, 18, 18)});
  const NavCorrections none;
  const NavCorrections leap_change = Take({Utc(5894, 17, 18)});
  const NavCorrections leap_unknown_future = Take({Utc(5894, 17, -128)});
  const NavCorrections wide_ref_time = Take({Utc(5894, 18, 18, 12, 4000000000u)});  // too wide
  const std::string delta_utc =
      Line("   -1.000000000000E-09 0.000000000000E+00   405504     2060 ", "DELTA-UTC: A0,A1,T,W");
  const std::string leap17 = Line("    17", "LEAP SECONDS");
  using W = std::function<void(OutStream*)>;
  struct Case {
    int reserved;
    W write;
    std::vector<std::string> lines;  // before the blank comments and END OF HEADER
  } cases[] = {
      // clang-format off
      {7, [&](OutStream* f) { WriteGpsNavHeader(f, Info(4, none)); },
       {V2("N: GPS NAV DATA"), kPgm2}},
      {7, [&](OutStream* f) { WriteGpsNavHeader(f, Info(2, gps)); },
       {V2("N: GPS NAV DATA"), kPgm2,
        Line("    5.0000E-01  2.5000E-01 -1.2500E-01  2.0000E+00", "ION ALPHA"),
        Line("    4.0960E+03 -1.6384E+04  6.5536E+04  0.0000E+00", "ION BETA"), delta_utc, kLeap18}},
      {7, [&](OutStream* f) { WriteGpsNavHeader(f, Info(3, gps)); },
       {V3("G: GPS"), kPgm3, kGpsa, kGpsb, kGput, kLeap18}},
      {7, [&](OutStream* f) { WriteGpsNavHeader(f, Info(3, leap_change)); },
       {V3("G: GPS"), kPgm3, kGput, Line("    17    18  2042     7", "LEAP SECONDS")}},
      {7, [&](OutStream* f) { WriteGpsNavHeader(f, Info(2, leap_change)); },
       {V2("N: GPS NAV DATA"), kPgm2, delta_utc, leap17}},
      {7, [&](OutStream* f) { WriteGpsNavHeader(f, Info(3, leap_unknown_future)); },
       {V3("G: GPS"), kPgm3, kGput, leap17}},
      {7, [&](OutStream* f) { WriteGpsNavHeader(f, Info(3, wide_ref_time)); },
       {V3("G: GPS"), kPgm3, kLeap18}},
      {4, [&](OutStream* f) { WriteGloNavHeader(f, Info(2, none)); },
       {V2("G: GLO NAV DATA"), kPgm2}},
      {4, [&](OutStream* f) { WriteGloNavHeader(f, Info(3, none, 18)); },
       {V3("R: GLONASS"), kPgm3, kLeap18}},
      {7, [&](OutStream* f) { WriteGalNavHeader(f, Info(3, gal)); },
       {V3("E: GALILEO"), kPgm3, kGal, kGagp, kGaut, kLeap18}},
      {3, [&](OutStream* f) { WriteSbasNavHeader(f, Info(2, none)); },
       {V2("H: SBAS NAV DATA").replace(5, 4, "2.11"), kPgm2}},
      {3, [&](OutStream* f) { WriteBdsNavHeader(f, Info(3, none)); }, {V3("C: BEIDOU"), kPgm3}},
      {10, [&](OutStream* f) { WriteMixedNavHeader(f, Info(3, all, 17)); },
       {V3("M: MIXED"), kPgm3, kGpsa, kGpsb, kGal, kGput, kGaut, kGagp, kLeap18}},
      {10, [&](OutStream* f) { WriteMixedNavHeader(f, Info(3, gal_only, 17)); },
       {V3("M: MIXED"), kPgm3, kGaut, kLeap18}},
      {10, [&](OutStream* f) { WriteMixedNavHeader(f, Info(3, none, 17)); },
       {V3("M: MIXED"), kPgm3, leap17}},
      // clang-format on
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    std::vector<std::string> expected = cases[i].lines;
    expected.resize(static_cast<size_t>(cases[i].reserved) - 1, kBlankComment);
    expected.push_back(kEnd);
    expected.push_back("RECORDS\n");
    EXPECT_EQ(SplitLines(OverReserved(cases[i].reserved, cases[i].write)), expected);
  }
}

int64_t GpsMs(uint32_t year, uint32_t month, uint32_t day) {
  return static_cast<int64_t>(CalendarToGpsSeconds({year, day, month, 0, 0, 0.0})) * 1000;
}

TEST(LeapCount, BlockFirstThenBuiltInTable) {
  const std::string path = test::MakeTempDir("leap") + "/leap.qdx";
  const int64_t epoch_2018 = GpsMs(2018, 5, 1);
  constexpr int kNoBlock = 1000, kShortBlock = 1001;
  struct Case {
    int64_t first_epoch_ms;
    int block;  // the count in a GpsUtcParams block, or kNoBlock, kShortBlock
    int expected;
  } cases[] = {
      {epoch_2018, kNoBlock, 18},    {GpsMs(2020, 1, 1), kNoBlock, -128},
      {1167264017000, kNoBlock, 17}, {1167264018000, kNoBlock, 18},  // 2017 threshold
      {46828800000, kNoBlock, -128}, {epoch_2018, -1, -1},           // the block's value as is
      {GpsMs(2024, 1, 1), 18, 18},   {epoch_2018, kShortBlock, 18},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first_epoch_ms);
    std::vector<uint8_t> file;
    test::Append(&file, QdxBlockWriter(4027, 0, 1000, 2000, 40));
    if (c.block == kShortBlock) test::Append(&file, QdxBlockWriter(4031, 0, 2000, 2000, 30));
    if (c.block < kNoBlock) {
      test::Append(&file, QdxBlockWriter(5894, 0, 2000, 2000, 40).I8(33, int8_t(c.block)));
    }
    ASSERT_TRUE(test::WriteFileBytes(path, file));
    auto reader = std::make_unique<QdxReader>();
    InitQdxReader(path.c_str(), reader.get());
    EXPECT_EQ(GetLeapCount(reader.get(), c.first_epoch_ms), c.expected);
    EXPECT_EQ(QdxTell(reader.get()), 0);
    CloseQdxReader(reader.get());
  }
}

}  // namespace
}  // namespace kavrino

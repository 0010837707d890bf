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
#include "rinex/case_table.h"
#include "rinex/header_lines.h"
#include "support/capture.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

using test::QdxBlockWriter;

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

// Each header written over the area reserved for it, against data/headers.txt.
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
  using Writer = void (*)(OutStream*, const NavHeaderInfo&);
  const Writer gps_w = WriteGpsNavHeader, glo_w = WriteGloNavHeader, mixed_w = WriteMixedNavHeader;
  const struct {
    const char* name;
    int reserved;
    Writer write;
    int version;
    const NavCorrections& corrections;
    int leap;
  } cases[] = {
      {"GPS 2.10", 7, gps_w, 4, none, kLeapCountUnknown},
      {"GPS 2.11", 7, gps_w, 2, gps, kLeapCountUnknown},
      {"GPS 3.04", 7, gps_w, 3, gps, kLeapCountUnknown},
      {"GPS 3.04 leap change", 7, gps_w, 3, leap_change, kLeapCountUnknown},
      {"GPS 2.11 leap change", 7, gps_w, 2, leap_change, kLeapCountUnknown},
      {"GPS 3.04 future leap unknown", 7, gps_w, 3, leap_unknown_future, kLeapCountUnknown},
      {"GPS 3.04 reference time too wide", 7, gps_w, 3, wide_ref_time, kLeapCountUnknown},
      {"GLONASS 2.11", 4, glo_w, 2, none, kLeapCountUnknown},
      {"GLONASS 3.04", 4, glo_w, 3, none, 18},
      {"Galileo", 7, WriteGalNavHeader, 3, gal, kLeapCountUnknown},
      {"SBAS", 3, WriteSbasNavHeader, 2, none, kLeapCountUnknown},
      {"BeiDou", 3, WriteBdsNavHeader, 3, none, kLeapCountUnknown},
      {"mixed", 10, mixed_w, 3, all, 17},
      {"mixed, Galileo UTC only", 10, mixed_w, 3, gal_only, 17},
      {"mixed, no corrections", 10, mixed_w, 3, none, 17}};
  const auto goldens = test::ReadGoldens("rinex/nav/data/headers.txt");
  for (const auto& c : cases) {
    NavHeaderInfo info;
    info.date = {2024, 9, 3, 14, 5, 7.0};
    info.program = "kavrino-13.4.3";
    info.version = test::Rinex(c.version);
    info.leap_count = c.leap;
    info.corrections = &c.corrections;
    const std::string text = OverReserved(c.reserved, [&](OutStream* f) { c.write(f, info); });
    EXPECT_EQ(text, goldens.at(c.name)) << c.name;
  }
}

int64_t GpsMs(uint32_t year, uint32_t month, uint32_t day) {
  return static_cast<int64_t>(CalendarToGpsSeconds({year, day, month, 0, 0, 0.0})) * 1000;
}

TEST(LeapCount, BlockFirstThenBuiltInTable) {
  test::ScopedTempDir dir("leap");
  const std::string path = dir / "leap.qdx";
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

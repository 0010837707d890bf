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

// Each header written over the area reserved for it, with the correction
// blocks named, against data/headers.txt.
TEST(NavHeader, HeadersFillTheirReservedAreaInOrder) {
  using Writer = void (*)(OutStream*, const NavHeaderInfo&);
  const Writer gps_w = WriteGpsNavHeader, glo_w = WriteGloNavHeader, mixed_w = WriteMixedNavHeader;
  const struct {
    const char* name;
    int reserved;
    Writer write;
    int version;
    const char* corrections;  // the blocks' section in the data file
    int leap;
  } cases[] = {
      {"GPS 2.10", 7, gps_w, 4, "none", kLeapCountUnknown},
      {"GPS 2.11", 7, gps_w, 2, "GPS", kLeapCountUnknown},
      {"GPS 3.04", 7, gps_w, 3, "GPS", kLeapCountUnknown},
      {"GPS 3.04 leap change", 7, gps_w, 3, "leap change", kLeapCountUnknown},
      {"GPS 2.11 leap change", 7, gps_w, 2, "leap change", kLeapCountUnknown},
      {"GPS 3.04 future leap unknown", 7, gps_w, 3, "future leap unknown", kLeapCountUnknown},
      {"GPS 3.04 reference time too wide", 7, gps_w, 3, "reference time too wide",
       kLeapCountUnknown},
      {"GLONASS 2.11", 4, glo_w, 2, "none", kLeapCountUnknown},
      {"GLONASS 3.04", 4, glo_w, 3, "none", 18},
      {"Galileo", 7, WriteGalNavHeader, 3, "Galileo", kLeapCountUnknown},
      {"SBAS", 3, WriteSbasNavHeader, 2, "none", kLeapCountUnknown},
      {"BeiDou", 3, WriteBdsNavHeader, 3, "none", kLeapCountUnknown},
      {"mixed", 10, mixed_w, 3, "all", 17},
      {"mixed, Galileo UTC only", 10, mixed_w, 3, "Galileo UTC", 17},
      {"mixed, no corrections", 10, mixed_w, 3, "none", 17}};
  const auto goldens = test::ReadGoldens("rinex/nav/data/headers.txt");
  for (const auto& c : cases) {
    NavCorrections corrections;
    for (const auto& block :
         test::BlockList(goldens.at(std::string("corrections: ") + c.corrections))) {
      EXPECT_TRUE(TakeCorrectionBlock(block.data(), &corrections));
    }
    NavHeaderInfo info;
    info.date = {2024, 9, 3, 14, 5, 7.0};
    info.program = "kavrino-13.4.3";
    info.version = test::Rinex(c.version);
    info.leap_count = c.leap;
    info.corrections = &corrections;
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

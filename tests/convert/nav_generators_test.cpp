// Which ephemeris blocks the generators turn into records, and the correction
// blocks they keep.
#include "convert/nav_generators.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "qdx/reader.h"
#include "support/capture.h"
#include "rinex/nav/test_blocks.h"

namespace kavrino {
namespace {

using test::QdxBlockWriter;

constexpr uint32_t kTow = 345618000;
constexpr uint16_t kWeek = 2060;
constexpr int64_t kNoStart = -1;
constexpr int64_t kNoEnd = 0x4000000000000000;

struct GenRun {
  int result = -1;
  std::vector<std::string> starts;  // first line of every record, in order
};

template <typename Generate>
GenRun RunOn(const std::vector<QdxBlockWriter>& blocks, Generate generate) {
  std::vector<uint8_t> file;
  for (const QdxBlockWriter& b : blocks) test::Append(&file, b);
  const std::string path = test::MakeTempDir("nav_gen") + "/in.qdx";
  EXPECT_TRUE(test::WriteFileBytes(path, file));
  QdxReader reader;
  InitQdxReader(path.c_str(), &reader);
  GenRun run;
  const std::string text =
      test::CaptureWrites([&](FILE* out) { run.result = generate(&reader, out); });
  CloseQdxReader(&reader);
  for (const std::string& line : test::SplitLines(text)) {
    if (line[0] != ' ') run.starts.push_back(line.substr(0, 3));
  }
  EXPECT_EQ(test::SplitLines(text).size(), run.starts.size() * 8);
  return run;
}

GenRun RunGps(const std::vector<QdxBlockWriter>& blocks, int64_t start = kNoStart,
              int64_t end = kNoEnd, NavSlot* utc = nullptr, NavSlot* iono = nullptr) {
  return RunOn(blocks, [&](QdxReader* r, FILE* out) {
    return GenerateGpsNav(r, start, end, out, 0, 3, 0, 100, utc, iono);
  });
}

QdxBlockWriter Gps(uint32_t tow_ms, uint8_t svid, uint16_t iodc) {
  return test::GpsLayoutBlock(5891, tow_ms, kWeek, svid, iodc);
}

TEST(NavGenerators, GpsOneRecordPerNewIodc) {
  const GenRun run = RunGps({Gps(kTow, 5, 10), Gps(kTow + 1000, 5, 10), Gps(kTow + 2000, 5, 11),
                             Gps(kTow + 3000, 5, 10), Gps(kTow + 3000, 5, 12),  // not later
                             Gps(kTow + 4000, 7, 10)});
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.starts, (std::vector<std::string>{"G05", "G05", "G05", "G07"}));
}

TEST(NavGenerators, GpsSkipsWhatIsOutsideTheSelection) {
  const int64_t t0 = int64_t{kWeek} * 604800000 + kTow;
  QdxBlockWriter no_time = Gps(0xFFFFFFFF, 5, 1);
  QdxBlockWriter short_block = Gps(kTow, 6, 1);
  short_block.Resize(139);
  QdxBlockWriter qzss_number = test::GpsLayoutBlock(4095, kTow, kWeek, 8, 1);
  const GenRun run = RunGps({no_time, short_block, qzss_number, Gps(kTow, 33, 1), Gps(kTow, 0, 1),
                             Gps(kTow - 1, 9, 1), Gps(kTow + 1, 10, 1), Gps(kTow, 11, 1)},
                            t0, t0);
  EXPECT_EQ(run.starts, std::vector<std::string>{"G11"});
  EXPECT_EQ(RunGps({Gps(kTow, 5, 1)}, t0 + 1).result, 2);
}

TEST(NavGenerators, GpsKeepsTheLastCorrectionBlocks) {
  QdxBlockWriter iono1(5893, 0, kTow, kWeek, 48);
  iono1.U8(14, 1).F32(16, 1.0f);
  QdxBlockWriter iono2(5893, 0, kTow + 1, kWeek, 48);
  iono2.U8(14, 2).F32(16, 2.0f).F32(44, 3.0f);
  QdxBlockWriter iono_short(5893, 0, kTow + 2, kWeek, 44);
  iono_short.U8(14, 3);
  QdxBlockWriter utc(5894, 0, 0xFFFFFFFF, kWeek, 40);  // kept whatever its time stamp
  utc.U8(14, 0).F64(20, 1.5e-9);
  NavSlot utc_slot, iono_slot;
  utc_slot.present = true;
  const GenRun run =
      RunGps({iono1, iono2, iono_short, utc}, kNoStart, kNoEnd, &utc_slot, &iono_slot);
  EXPECT_EQ(run.result, 2);
  EXPECT_TRUE(iono_slot.present);
  EXPECT_EQ(ReadU32(NavSlotField(iono_slot, 8)), kTow + 1);
  EXPECT_EQ(ReadF32(NavSlotField(iono_slot, 16)), 2.0f);
  EXPECT_EQ(ReadF32(NavSlotField(iono_slot, 44)), 3.0f);
  EXPECT_FALSE(utc_slot.present);  // satellite byte 0
  EXPECT_EQ(ReadF64(NavSlotField(utc_slot, 20)), 1.5e-9);
}

TEST(NavGenerators, GalileoSourcesDeduplicatedApart) {
  auto gal = [](uint32_t tow, uint8_t source, uint16_t iod) {
    return test::GalBlock(tow, kWeek, 71, source, iod);
  };
  QdxBlockWriter offset_ignored(4032, 0, kTow, kWeek, 32);
  offset_ignored.U8(14, 1).U32(24, 918000);
  QdxBlockWriter offset(4032, 0, kTow, kWeek, 32);
  offset.U8(14, 1).U32(24, 86400);
  QdxBlockWriter utc(4031, 0, kTow, kWeek, 40);
  utc.U8(14, 1);
  QdxBlockWriter iono(4030, 0, kTow, kWeek, 32);
  iono.U8(14, 1);
  NavSlot utc_slot, iono_slot, offset_slot;
  const GenRun run =
      RunOn({gal(kTow, 2, 7), gal(kTow, 16, 7), gal(kTow + 1000, 2, 7), gal(kTow + 1000, 16, 8),
             gal(kTow + 2000, 4, 7), gal(kTow + 2500, 1, 8), gal(kTow + 3000, 2, 1024),
             test::GalBlock(kTow, kWeek, 107, 2, 1), offset, offset_ignored, utc, iono},
            [&](QdxReader* r, FILE* out) {
              return GenerateGalNav(r, kNoStart, kNoEnd, out, 0, 0, 100, &utc_slot, &iono_slot,
                                    &offset_slot);
            });
  EXPECT_EQ(run.result, 0);
  // I/NAV 7, F/NAV 7, F/NAV 8, other 7; source 1 shares the "other" table
  // and its key 8 differs, so it is written too.
  EXPECT_EQ(run.starts.size(), 5u);
  EXPECT_TRUE(utc_slot.present);
  EXPECT_TRUE(iono_slot.present);
  EXPECT_EQ(ReadU32(NavSlotField(offset_slot, 24)), 86400u);
}

TEST(NavGenerators, BeidouAndQzssRangesAndKeys) {
  auto bds = [](uint32_t tow, uint8_t svid, uint32_t toc) {
    QdxBlockWriter w = test::GpsLayoutBlock(4081, tow, kWeek, svid, 0);
    w.U32(32, toc);
    return w;
  };
  const GenRun b = RunOn(
      {bds(kTow, 141, 100), bds(kTow + 1, 141, 100), bds(kTow + 2, 141, 200), bds(kTow, 177, 100),
       bds(kTow, 140, 100)},
      [](QdxReader* r, FILE* out) { return GenerateBdsNav(r, kNoStart, kNoEnd, out, 0, 0, 100); });
  EXPECT_EQ(b.starts, (std::vector<std::string>{"C01", "C01", "C37"}));
  auto qzs = [](uint32_t tow, uint8_t svid, uint16_t iodc) {
    return test::GpsLayoutBlock(4095, tow, kWeek, svid, iodc);
  };
  const GenRun q = RunOn(
      {qzs(kTow, 181, 1), qzs(kTow + 1, 181, 1), qzs(kTow, 187, 1), qzs(kTow, 188, 1),
       Gps(kTow, 5, 1)},
      [](QdxReader* r, FILE* out) { return GenerateQzssNav(r, kNoStart, kNoEnd, out, 0, 0, 100); });
  EXPECT_EQ(q.starts, (std::vector<std::string>{"J01", "J07"}));
}

}  // namespace
}  // namespace kavrino

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "qdx/meas_blocks.h"
#include "qdx/meas_decode.h"
#include "qdx/reader.h"

namespace kavrino {
namespace {

using test::ChannelBlock;
using test::ChannelBlockShape;
using test::MainSub;
using test::QdxBlockWriter;

// What the caller saw after one AddBlockToEpoch call.
struct Step {
  int result;
  uint32_t tow_ms;    // of the record, when result is 1
  uint32_t num_sats;  // of the record, when result is 1
  uint32_t l1_lock;   // lock time of the first satellite's L1, when result is 1
};

// Walks a file built from `blocks` and adds every block to the epoch.
std::vector<Step> Walk(const std::vector<QdxBlockWriter>& blocks, int decode_mode) {
  std::vector<uint8_t> file;
  for (const QdxBlockWriter& b : blocks) test::Append(&file, b);
  const std::string dir = test::MakeTempDir("meas_gather");
  const std::string path = dir + "/in.qdx";
  EXPECT_TRUE(test::WriteFileBytes(path, file));
  auto reader = std::make_unique<QdxReader>();
  auto record = std::make_unique<MeasEpochRecord>();
  std::vector<uint8_t> block(kQdxMaxBlockSize);
  InitQdxReader(path.c_str(), reader.get());
  std::vector<Step> steps;
  while (GetNextQdxBlock(reader.get(), block.data(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) ==
         0) {
    Step s{AddBlockToEpoch(reader.get(), block.data(), record.get(), decode_mode), 0, 0, 0};
    if (s.result == 1) {
      s.tow_ms = record->tow_ms;
      s.num_sats = record->num_sats;
      s.l1_lock = record->sats[0].sig[0][0].lock_time_ms;
    }
    steps.push_back(s);
  }
  CloseQdxReader(reader.get());
  std::filesystem::remove_all(dir);
  return steps;
}

QdxBlockWriter Classic(uint32_t tow_ms) {
  ChannelBlockShape shape;
  shape.tow_ms = tow_ms;
  return ChannelBlock({MainSub{}}, shape);
}

QdxBlockWriter ExtraInfo(uint32_t tow_ms) {
  test::ExtraInfoSub l1;  // lock time 9 s for channel 1, L1 C/A
  return test::ExtraInfoBlock({l1}, 3, tow_ms);
}

QdxBlockWriter Other(uint32_t tow_ms) {
  return QdxBlockWriter(5902, 0, tow_ms, 2300, 40);
}

QdxBlockWriter Compact(uint32_t tow_ms, uint8_t stream) {
  return QdxBlockWriter(4109, 0, tow_ms, 2300, 24).U8(18, stream);
}

void ExpectSteps(const std::vector<Step>& got, const std::vector<Step>& want, const char* name) {
  ASSERT_EQ(got.size(), want.size()) << name;
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].result, want[i].result) << name << " step " << i;
    EXPECT_EQ(got[i].tow_ms, want[i].tow_ms) << name << " step " << i;
    EXPECT_EQ(got[i].num_sats, want[i].num_sats) << name << " step " << i;
    EXPECT_EQ(got[i].l1_lock, want[i].l1_lock) << name << " step " << i;
  }
}

TEST(MeasGather, EpochCompletesWhenTheNextBlockLeavesIt) {
  struct Case {
    const char* name;
    std::vector<QdxBlockWriter> blocks;
    std::vector<Step> steps;
  };
  const uint32_t t = 345000;
  const Case cases[] = {
      {"4027 and 4000, then the next second",
       {Classic(t), ExtraInfo(t), Classic(t + 1000)},
       {{0, 0, 0, 0}, {1, t, 1, 9000}, {1, t + 1000, 1, 5000}}},
      {"another block of the same time closes the epoch",
       {Classic(t), Other(t), ExtraInfo(t), Classic(t + 1000)},
       {{1, t, 1, 5000}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, t + 1000, 1, 5000}}},
      {"the same time stamp is handed out once",
       {Classic(t), Other(t), Classic(t), Other(t + 1000)},
       {{1, t, 1, 5000}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
      {"a refinement block alone gives no epoch",
       {ExtraInfo(t), Classic(t + 1000)},
       {{0, 0, 0, 0}, {1, t + 1000, 1, 5000}}},
      {"the last block of the file completes its epoch", {Classic(t)}, {{1, t, 1, 5000}}},
  };
  for (const Case& c : cases) ExpectSteps(Walk(c.blocks, 3), c.steps, c.name);
}

TEST(MeasGather, DecodeModesChooseTheFamily) {
  const uint32_t t = 345000;
  struct Case {
    const char* name;
    std::vector<QdxBlockWriter> blocks;
    int mode;
    Step last;
  };
  const Case cases[] = {
      {"both families, default: compact", {Compact(t, 0), Classic(t)}, 3, {1, t, 0, 0}},
      {"both families, classic only", {Compact(t, 0), Classic(t)}, 2, {1, t, 1, 5000}},
      {"both families, compact only", {Compact(t, 0), Classic(t)}, 1, {1, t, 0, 0}},
      {"classic blocks, compact only", {Classic(t)}, 1, {0, 0, 0, 0}},
      {"compact block, classic only", {Compact(t, 0)}, 2, {0, 0, 0, 0}},
      {"compact stream 1 alone", {Compact(t, 1)}, 3, {0, 0, 0, 0}},
      {"compact stream 2 is not kept", {Compact(t, 2), Classic(t)}, 3, {1, t, 1, 5000}},
  };
  for (const Case& c : cases) {
    std::vector<Step> steps = Walk(c.blocks, c.mode);
    ASSERT_FALSE(steps.empty());
    ExpectSteps({steps.back()}, {c.last}, c.name);
  }
}

TEST(MeasGather, BlockLongerThanItsBufferIsDropped) {
  const uint32_t t = 345000;
  ChannelBlockShape shape;
  shape.tow_ms = t;
  QdxBlockWriter fits = ChannelBlock({MainSub{}}, shape);
  fits.Resize(kCapChannelMeas);
  QdxBlockWriter too_long = ChannelBlock({MainSub{}}, shape);
  too_long.Resize(kCapChannelMeas + 1);
  ExpectSteps(Walk({fits}, 3), {{1, t, 1, 5000}}, "fits");
  ExpectSteps(Walk({too_long}, 3), {{0, 0, 0, 0}}, "too long");
}

}  // namespace
}  // namespace kavrino

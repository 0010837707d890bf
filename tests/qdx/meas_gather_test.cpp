#include "qdx/meas_gather.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "qdx/decode/meas_decode.h"
#include "qdx/reader.h"
#include "support/meas_blocks.h"

namespace kavrino {
namespace {

using test::QdxBlockWriter;

// Walks a file of `blocks`, adding each to the epoch. Per block: "-" when no
// epoch completed, else "tow/satellites/lock time of the first L1".
std::string Walk(const std::vector<QdxBlockWriter>& blocks, int decode_mode) {
  std::vector<uint8_t> file;
  for (const QdxBlockWriter& b : blocks) test::Append(&file, b);
  const std::string dir = test::MakeTempDir("meas_gather");
  EXPECT_TRUE(test::WriteFileBytes(dir + "/in.qdx", file));
  auto reader = std::make_unique<QdxReader>();
  auto record = std::make_unique<MeasEpochRecord>();
  std::vector<uint8_t> block(kQdxMaxBlockSize);
  InitQdxReader((dir + "/in.qdx").c_str(), reader.get());
  std::string steps;
  while (GetNextQdxBlock(reader.get(), block.data(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) ==
         0) {
    if (!steps.empty()) steps += " ";
    if (AddBlockToEpoch(reader.get(), block.data(), record.get(), decode_mode) == 0) {
      steps += "-";
    } else {
      steps += std::to_string(record->tow_ms) + "/" + std::to_string(record->num_sats) + "/" +
               std::to_string(record->sats[0].sig[0][0].lock_time_ms);
    }
  }
  CloseQdxReader(reader.get());
  std::filesystem::remove_all(dir);
  return steps;
}

QdxBlockWriter Classic(uint32_t tow_ms, size_t length = 0) {
  test::ChannelBlockShape shape;
  shape.tow_ms = tow_ms;
  QdxBlockWriter w = test::ChannelBlock({test::MainSub{}}, shape);  // lock time 5 s
  if (length != 0) w.Resize(length);
  return w;
}
QdxBlockWriter ExtraInfo(uint32_t tow_ms) {  // lock time 9 s for the same signal
  return test::ExtraInfoBlock({test::ExtraInfoSub{}}, 3, tow_ms);
}
QdxBlockWriter Other(uint32_t tow_ms) {
  return QdxBlockWriter(5902, 0, tow_ms, 2300, 40);
}
QdxBlockWriter Compact(uint32_t tow_ms, uint8_t stream) {
  return QdxBlockWriter(4109, 0, tow_ms, 2300, 24).U8(18, stream);
}

TEST(MeasGather, EpochCompletesWhenTheNextBlockLeavesIt) {
  const uint32_t t = 345000, u = 346000;
  struct Case {
    std::vector<QdxBlockWriter> blocks;
    const char* steps;
  };
  const Case cases[] = {
      {{Classic(t), ExtraInfo(t), Classic(u)}, "- 345000/1/9000 346000/1/5000"},
      // Any other block of the same time closes the epoch; later blocks of a
      // time stamp already handed out are dropped.
      {{Classic(t), Other(t), ExtraInfo(t), Classic(u)}, "345000/1/5000 - - 346000/1/5000"},
      {{Classic(t), Other(t), Classic(t), Other(u)}, "345000/1/5000 - - -"},
      {{ExtraInfo(t), Classic(u)}, "- 346000/1/5000"},
      // Blocks longer than their buffer are dropped.
      {{Classic(t, kCapChannelMeas), Classic(u, kCapChannelMeas + 1)}, "345000/1/5000 -"},
  };
  for (const Case& c : cases) EXPECT_EQ(Walk(c.blocks, 3), c.steps);
}

TEST(MeasGather, DecodeModesChooseTheFamily) {
  const uint32_t t = 345000;
  struct Case {
    std::vector<QdxBlockWriter> blocks;
    int mode;
    const char* steps;
  };
  const Case cases[] = {
      {{Compact(t, 0), Classic(t)}, 3, "- 345000/0/0"},  // the compact family first
      {{Compact(t, 0), Classic(t)}, 2, "- 345000/1/5000"},
      {{Compact(t, 0), Classic(t)}, 1, "- 345000/0/0"},
      {{Classic(t)}, 1, "-"},
      {{Compact(t, 0)}, 2, "-"},
      {{Compact(t, 1)}, 3, "-"},                            // stream 1 alone
      {{Compact(t, 2), Classic(t)}, 3, "- 345000/1/5000"},  // stream 2 is not kept
  };
  for (const Case& c : cases) EXPECT_EQ(Walk(c.blocks, c.mode), c.steps) << c.mode;
}

}  // namespace
}  // namespace kavrino

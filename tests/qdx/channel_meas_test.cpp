#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "core/signals.h"
#include "qdx/decode/meas_decode.h"

namespace kavrino {
namespace {

// The classic decoders one at a time on exact blocks (the epoch cases walk
// them through the gathering).
// Random bytes behind a plausible header: whatever the counts and sizes say,
// the decoders stay inside the block and leave a consistent record; decoding
// only the pseudoranges finds the same satellites, signals and pseudoranges.
TEST(ClassicDecoders, RandomBlocksKeepTheRecordConsistent) {
  std::mt19937 rng(20240611);
  auto record = std::make_unique<MeasEpochRecord>();
  auto ranges = std::make_unique<MeasEpochRecord>();
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> block(17 + rng() % 2000);
    for (uint8_t& b : block) b = static_cast<uint8_t>(rng());
    const uint16_t number = round % 2 ? 5944 : 4027;
    block[4] = number & 0xFF;
    block[5] = static_cast<uint8_t>((number >> 8) | (rng() & 0xE0));
    block[6] = block.size() & 0xFF;
    block[7] = static_cast<uint8_t>(block.size() >> 8);
    block[15] = static_cast<uint8_t>(rng() % 40);  // L1 and L2 around their real sizes
    block[16] = static_cast<uint8_t>(rng() % 20);
    DecodeChannelMeasurements(block.data(), record.get());
    DecodeChannelMeasurements(block.data(), ranges.get(), true);
    ASSERT_LE(record->num_sats, 80u);
    ASSERT_EQ(ranges->num_sats, record->num_sats);
    for (uint32_t i = 0; i < record->num_sats; ++i) {
      ASSERT_NE(record->sats[i].sat_index, 0);
      ASSERT_EQ(ranges->sats[i].sat_index, record->sats[i].sat_index);
      ASSERT_EQ(ranges->sats[i].glo_freq, record->sats[i].glo_freq);
      for (int a = 0; a < kMaxAntennas; ++a) {
        for (int slot = 0; slot < kSignalSlots; ++slot) {
          const MeasSignal& full = record->sats[i].sig[a][slot];
          const MeasSignal& light = ranges->sats[i].sig[a][slot];
          ASSERT_EQ(light.flags != 0, full.flags != 0);
          if (full.flags == 0) continue;  // the values of an empty slot are not looked at
          ASSERT_EQ(light.signal_type, full.signal_type);
          ASSERT_EQ(std::memcmp(&light.pseudorange_m, &full.pseudorange_m, sizeof(double)), 0);
          ASSERT_LE(full.signal_type, 33);
          ASSERT_EQ(GetSignalIndexInConstellation(full.signal_type), slot);
        }
      }
    }
    for (uint16_t refine : {4000, 4098}) {  // the same bytes, in a buffer just as large
      std::vector<uint8_t> copy = block;
      copy[4] = refine & 0xFF;
      copy[5] = static_cast<uint8_t>(refine >> 8);
      (refine == 4000 ? ApplySignalExtraInfo : ApplyFullPrecisionRanges)(copy.data(), copy.size(),
                                                                         record.get());
    }
  }
}

}  // namespace
}  // namespace kavrino

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qdx/decode/meas_decode.h"
#include "qdx/encode/qdx_writer.h"
#include "qdx/meas_gather.h"
#include "qdx/reader.h"
#include "support/e2e.h"

namespace kavrino {
namespace {

// Every epoch of a file decoded with one decode mode, by time of week.
std::map<uint32_t, std::unique_ptr<MeasEpochRecord>> DecodeAll(const std::string& path, int mode) {
  std::map<uint32_t, std::unique_ptr<MeasEpochRecord>> epochs;
  auto reader = std::make_unique<QdxReader>();
  auto record = std::make_unique<MeasEpochRecord>();
  std::vector<uint8_t> block(kQdxMaxBlockSize);
  InitQdxReader(path.c_str(), reader.get());
  while (GetNextQdxBlock(reader.get(), block.data(), kQdxAnyBlock, kQdxAnyBlock, 0) == 0) {
    if (AddBlockToEpoch(reader.get(), block.data(), record.get(), mode) == 1) {
      EXPECT_EQ(epochs.count(record->tow_ms), 0u) << "epoch handed out twice";
      epochs[record->tow_ms] = std::make_unique<MeasEpochRecord>(*record);
    }
  }
  CloseQdxReader(reader.get());
  return epochs;
}

// A generated file carrying both families: the compact epochs agree with the
// classic ones to the compact resolution, on both antennas, every system.
TEST(CompactQdxgen, BothFamiliesAgreeToCompactResolution) {
  const std::string dir = test::MakeTempDir("compact_qdxgen");
  const std::string path = dir + "/both.qdx";
  ASSERT_EQ(test::Qdxgen(dir,
                         "--encoding both --antennas 2 --duration 30 --interval 0.5"
                         " --ref-interval 2000 --systems G,R,E,S,C,J,I --no-nav --no-truth -o " +
                             path)
                .status,
            0);
  auto classic = DecodeAll(path, kDecodeClassic);
  auto compact = DecodeAll(path, kDecodeCompact);
  auto either = DecodeAll(path, kDecodeCompact | kDecodeClassic);
  ASSERT_EQ(classic.size(), 60u);
  ASSERT_EQ(compact.size(), classic.size());
  ASSERT_EQ(either.size(), classic.size());
  size_t signals = 0;
  for (const auto& [tow, c] : classic) {
    const MeasEpochRecord& k = *compact[tow];
    EXPECT_EQ(either[tow]->num_sats, k.num_sats);  // the compact family wins
    ASSERT_EQ(k.num_sats, c->num_sats) << tow;
    for (uint32_t i = 0; i < c->num_sats; ++i) {
      const MeasSatEntry* ke = nullptr;
      for (uint32_t j = 0; j < k.num_sats; ++j) {
        if (k.sats[j].sat_index == c->sats[i].sat_index) ke = &k.sats[j];
      }
      ASSERT_NE(ke, nullptr);
      for (int a = 0; a < 2; ++a) {
        for (const MeasSignal& want : c->sats[i].sig[a]) {
          if (want.flags == 0) continue;
          const MeasSignal* got = nullptr;
          for (const MeasSignal& s : ke->sig[a]) {
            if (s.flags != 0 && s.signal_type == want.signal_type) got = &s;
          }
          ASSERT_NE(got, nullptr) << tow << " sat " << int(c->sats[i].sat_index);
          ++signals;
          EXPECT_NEAR(got->pseudorange_m, want.pseudorange_m, 6e-4);
          if (IsMeasPresent(want.carrier_cycles)) {
            EXPECT_NEAR(got->carrier_cycles, want.carrier_cycles, 6e-4);
          }
          EXPECT_NEAR(got->doppler_hz, want.doppler_hz, 0.006);
          EXPECT_NEAR(got->cn0_dbhz, want.cn0_dbhz, 0.0626);
          EXPECT_EQ(got->flags, want.flags);
        }
      }
    }
  }
  EXPECT_GT(signals, 1000u);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kavrino

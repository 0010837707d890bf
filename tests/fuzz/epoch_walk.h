// Walks a fuzzed file through the epoch gathering as the observation passes do,
// checking the shape of every completed epoch.
#pragma once

#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/meas_gather.h"
#include "qdx/reader.h"

namespace kavrino::fuzz {

inline void WalkEpochs(const uint8_t* data, size_t size, int decode_mode) {
  std::vector<uint8_t> file(data, data + size);
  RepairFrames(&file);
  const std::string path = WriteInput(file.data(), file.size());

  static auto reader = std::make_unique<QdxReader>();
  static auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  static auto epoch = std::make_unique<MeasEpochRecord>();
  InitQdxReader(path.c_str(), reader.get());
  while (GetNextQdxBlock(reader.get(), block.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) ==
         0) {
    if (!IsQdxTimeValid(block.get())) continue;
    if (AddBlockToEpoch(reader.get(), block.get(), epoch.get(), decode_mode) == 1 &&
        epoch->num_sats > kMaxEpochSats) {
      std::abort();
    }
  }
  if (DecodePendingEpoch(&reader->decode, epoch.get(), decode_mode) == 1 &&
      epoch->num_sats > kMaxEpochSats) {
    std::abort();
  }
  CloseQdxReader(reader.get());
}

}  // namespace kavrino::fuzz

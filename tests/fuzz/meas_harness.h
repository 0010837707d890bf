// The classic (4027, 5944, 4000, 4098) and the compact (4109 with 4110..4113)
// measurement decoders behind the epoch gathering, on a QDX file whose frames
// are repaired after mutation, walked as the observation passes walk it; every
// completed epoch must fit its record.
#pragma once

#include <cstdlib>
#include <memory>

#include "fuzz_support.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/meas_gather.h"
#include "qdx/reader.h"

namespace kavrino::fuzz {

inline void WalkEpochs(const uint8_t* data, size_t size, int mode) {
  std::vector<uint8_t> file(data, data + size);
  RepairFrames(&file);
  static auto reader = std::make_unique<QdxReader>();
  static auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  static auto epoch = std::make_unique<MeasEpochRecord>();
  InitQdxReader(WriteInput(file).c_str(), reader.get());
  for (bool more = true; more;) {  // every block, then the epoch left pending
    more = GetNextQdxBlock(reader.get(), block.get(), kQdxAnyBlock, kQdxAnyBlock, 0) == 0;
    const bool whole = more ? IsQdxTimeValid(block.get()) &&
                                  AddBlockToEpoch(reader.get(), block.get(), epoch.get(), mode) == 1
                            : DecodePendingEpoch(&reader->decode, epoch.get(), mode) == 1;
    if (whole && epoch->num_sats > kMaxEpochSats) std::abort();
  }
  CloseQdxReader(reader.get());
}

// Runs one input; aborts when a check fails.
inline int FuzzMeas(const uint8_t* data, size_t size) {
  WalkEpochs(data, size, kDecodeClassic);
  return 0;
}

// The first byte chooses whether the classic blocks compete with the compact ones.
inline int FuzzCompactMeas(const uint8_t* data, size_t size) {
  if (size >= 1)
    WalkEpochs(data + 1, size - 1, kDecodeCompact | (data[0] & 1 ? kDecodeClassic : 0));
  return 0;
}

}  // namespace kavrino::fuzz

// The compact measurement decoder (4109 with 4110..4113) behind the epoch
// gathering; the first byte chooses whether the classic blocks compete.
#pragma once

#include "meas_harness.h"

namespace kavrino::fuzz {

// Runs one input; aborts when a check fails.
inline int FuzzCompactMeas(const uint8_t* data, size_t size) {
  if (size >= 1)
    WalkEpochs(data + 1, size - 1, kDecodeCompact | (data[0] & 1 ? kDecodeClassic : 0));
  return 0;
}

}  // namespace kavrino::fuzz

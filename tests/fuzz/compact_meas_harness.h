// The compact measurement decoder (4109 with 4110..4113) behind the epoch
// gathering; the first byte chooses whether the classic blocks compete.
#pragma once
#include "epoch_walk.h"

namespace kavrino::fuzz {

// Runs one input; aborts when a check fails.
inline int FuzzCompactMeas(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int mode =
      data[0] & 1 ? kavrino::kDecodeCompact | kavrino::kDecodeClassic : kavrino::kDecodeCompact;
  kavrino::fuzz::WalkEpochs(data + 1, size - 1, mode);
  return 0;
}

}  // namespace kavrino::fuzz

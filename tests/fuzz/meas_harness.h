// The classic measurement decoders (4027, 5944, 4000, 4098) behind the epoch
// gathering, on a QDX file whose frames are repaired after mutation.
#pragma once
#include "epoch_walk.h"

namespace kavrino::fuzz {

// Runs one input; aborts when a check fails.
inline int FuzzMeas(const uint8_t* data, size_t size) {
  kavrino::fuzz::WalkEpochs(data, size, kavrino::kDecodeClassic);
  return 0;
}

}  // namespace kavrino::fuzz

// The classic measurement decoders (4027, 5944, 4000, 4098) behind the epoch
// gathering, on a QDX file whose frames are repaired after mutation.
#include "epoch_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kavrino::fuzz::WalkEpochs(data, size, kavrino::kDecodeClassic);
  return 0;
}

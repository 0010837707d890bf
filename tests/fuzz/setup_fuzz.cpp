// libFuzzer entry point; the harness is shared with the regression replay test.
#include "setup_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kavrino::fuzz::FuzzSetup(data, size);
}

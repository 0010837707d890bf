// libFuzzer entry point; the harness is shared with the regression replay test.
#include "meas_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kavrino::fuzz::FuzzMeas(data, size);
}

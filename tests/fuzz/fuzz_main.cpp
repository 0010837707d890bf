// The libFuzzer entry point of one harness, chosen by the build; the normal
// test suite replays the corpora through the same harnesses.
#include KAVRINO_FUZZ_HARNESS

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kavrino::fuzz::KAVRINO_FUZZ_FUNCTION(data, size);
}

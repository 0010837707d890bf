// Every input that once made a fuzz target fail, replayed through the same
// harness in the normal test suite (and under the sanitizers in CI).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/compact_meas_harness.h"
#include "fuzz/convert_harness.h"
#include "fuzz/meas_harness.h"
#include "fuzz/reader_harness.h"
#include "fuzz/setup_harness.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;

struct Target {
  const char* folder;  // under tests/fuzz/regressions
  int (*run)(const uint8_t*, size_t);
};

TEST(FuzzRegressions, ReplayWithoutFault) {
  const Target targets[] = {
      {"reader", fuzz::FuzzReader},
      {"meas", fuzz::FuzzMeas},
      {"compact_meas", fuzz::FuzzCompactMeas},
      {"setup", fuzz::FuzzSetup},
      {"convert", fuzz::FuzzConvert},
  };
  const fs::path root = KAVRINO_SOURCE_DIR "/tests/fuzz/regressions";
  int replayed = 0;
  for (const Target& t : targets) {
    if (!fs::is_directory(root / t.folder)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(root / t.folder)) {
      SCOPED_TRACE(entry.path().string());
      const std::string bytes = test::ReadFileText(entry.path().string());
      std::fprintf(stderr, "replaying %s\n", entry.path().c_str());  // named before a failure
      EXPECT_EQ(t.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace kavrino

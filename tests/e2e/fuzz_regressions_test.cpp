// The fuzz corpora and every input that once made a fuzz target fail, replayed
// through the same harnesses (under the sanitizers too in CI).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/convert_harness.h"
#include "fuzz/meas_harness.h"
#include "fuzz/reader_harness.h"
#include "fuzz/setup_harness.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;

TEST(FuzzInputs, ReplayWithoutFault) {
  const struct {
    const char* name;  // of the folders under tests/fuzz/corpus and tests/fuzz/regressions
    int (*run)(const uint8_t*, size_t);
  } targets[] = {{"reader", fuzz::FuzzReader},
                 {"meas", fuzz::FuzzMeas},
                 {"compact_meas", fuzz::FuzzCompactMeas},
                 {"setup", fuzz::FuzzSetup},
                 {"convert", fuzz::FuzzConvert}};
  // In a child process, its files capped at 64 MiB: a whole conversion leaves
  // its signal-watching thread behind, waiting on a set in a finished frame.
  const auto replay = [&targets] {
    const rlimit size{64 << 20, 64 << 20};
    if (setrlimit(RLIMIT_FSIZE, &size) != 0) std::exit(2);
    int replayed = 0;
    for (const auto& t : targets) {
      for (const char* kind : {"corpus", "regressions"}) {
        const fs::path folder = fs::path(KAVRINO_SOURCE_DIR "/tests/fuzz") / kind / t.name;
        std::error_code missing;  // not every harness has regression inputs
        for (const auto& entry : fs::directory_iterator(folder, missing)) {
          std::fprintf(stderr, "replaying %s\n", entry.path().c_str());  // named before a crash
          const std::string bytes = test::ReadFileText(entry.path().string());
          replayed += t.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) == 0;
        }
      }
    }
    std::exit(replayed > 10 ? 0 : 1);  // the harnesses abort on a fault
  };
  EXPECT_EXIT(replay(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kavrino

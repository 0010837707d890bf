// Every product made in one run (navigation walks sharing a copy of their
// blocks, the other products made alongside the observation file) gives the
// same files as each product made on its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/e2e.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;

TEST(ProductsTogether, SameFilesAsEachProductAlone) {
  const std::string sample = std::string(KAVRINO_SOURCE_DIR) + "/samples/sample.qdx";
  for (const std::string extra : {"", " -R3 -xJ -l"}) {
    SCOPED_TRACE(extra);
    const std::string together = test::MakeTempDir("together");
    ASSERT_EQ(test::Kavrino(together, "-f " + sample + " -nOMNGEHIPB" + extra).status, 0);
    int files = 0;
    for (const char letter : std::string("OMNGEHIPB")) {
      SCOPED_TRACE(letter);
      const std::string alone = test::MakeTempDir("alone");
      ASSERT_EQ(test::Kavrino(alone, "-f " + sample + " -n" + letter + extra).status, 0);
      for (const auto& entry : fs::directory_iterator(alone)) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(test::MaskRunDate(test::ReadFileText(together + "/" + name)),
                  test::MaskRunDate(test::ReadFileText(alone + "/" + name)))
            << name;
        ++files;
      }
    }
    EXPECT_EQ(files, 9);
  }
}

}  // namespace
}  // namespace kavrino

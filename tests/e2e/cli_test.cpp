// Runs the built kavrino executable and checks its streams and exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/e2e.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

using test::RunResult;

const std::string kDone = "\r" + std::string(80, ' ') + "\rCreating RINEX file: done\n";
const std::string kNoData = "No relevant data available in the QDX file\n";

std::string CannotRead(const std::string& name, const char* reason) {
  return "The input QDX file \"" + name + "\" could not be opened for reading: " + reason + "\n";
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::WriteFileBytes(dir_ + "/empty.qdx", {}));
    // Bytes that hold no block at all.
    ASSERT_TRUE(test::WriteFileBytes(dir_ + "/noise.qdx", {'$', '@', 0, 0, 1, 2, 3}));
  }
  std::string dir_ = test::MakeTempDir("cli");
};

TEST_F(CliTest, VersionIsPrintedWithoutInput) {
  const RunResult r = test::Kavrino(dir_, "-V");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "kavrino-13.4.3\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, UsageErrorsEndWithStatusThree) {
  struct Case {
    const char* args;
    std::string first_line;  // printed before the usage text
  } cases[] = {
      {"", "kavrino: no input file given with -f\n"},
      // -n takes "-f" as its (invalid) value
      {"-n -f empty.qdx",
       "kavrino: -n needs at least one of the file types O, N, G, E, H, I, P, B, M\n"},
      {"-q -f empty.qdx", "Unknown option -q.\n"},
      {"-f empty.qdx -R3 stray -l -nOP", "kavrino: unexpected argument \"stray\"\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = test::Kavrino(dir_, c.args);
    EXPECT_EQ(r.status, 3) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_EQ(r.err.rfind(c.first_line + "\nkavrino -f input_file", 0), 0u) << c.args << r.err;
  }
}

TEST_F(CliTest, UnreadableInputEndsWithStatusThree) {
  ASSERT_EQ(system(("mkdir '" + dir_ + "/folder'").c_str()), 0);
  struct Case {
    const char* args;
    std::string err;
  } cases[] = {
      {"-f x", CannotRead("x", "No such file or directory")},
      {"-f folder", CannotRead("folder", "Is a directory")},
      // The first file is converted before the second one is found missing.
      {"-f empty.qdx b", CannotRead("b", "No such file or directory")},
  };
  for (const Case& c : cases) {
    const RunResult r = test::Kavrino(dir_, c.args);
    EXPECT_EQ(r.status, 3) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_EQ(r.err, c.err) << c.args;
  }
}

TEST_F(CliTest, FilesWithoutDataEndWithStatusTwo) {
  for (const char* args : {"-f empty.qdx", "-f noise.qdx empty.qdx", "-f empty.qdx -nOMNGEHIPB"}) {
    const RunResult r = test::Kavrino(dir_, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, kDone) << args;
    EXPECT_EQ(r.err, kNoData) << args;
  }
}

}  // namespace
}  // namespace kavrino

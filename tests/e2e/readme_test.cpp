// The README's quick start must stay in step with the CI script and the tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

using test::Lines;

// The lines inside the ```sh blocks of the "## Quick start" section.
std::vector<std::string> QuickStartCommands() {
  std::vector<std::string> commands;
  bool in_section = false;
  bool in_block = false;
  for (const std::string& line : Lines(test::ReadFileText(KAVRINO_SOURCE_DIR "/README.md"))) {
    if (line.rfind("## ", 0) == 0) in_section = line == "## Quick start";
    if (!in_section) continue;
    if (line.rfind("```", 0) == 0) {
      in_block = !in_block && line == "```sh";
    } else if (in_block) {
      commands.push_back(line);
    }
  }
  return commands;
}

// The steps of a command joined by " && ".
std::vector<std::string> Steps(const std::string& command) {
  std::vector<std::string> steps;
  for (size_t start = 0;;) {
    const size_t end = command.find(" && ", start);
    steps.push_back(command.substr(start, end - start));
    if (end == std::string::npos) return steps;
    start = end + 4;
  }
}

// The first step that configures a build folder ("cmake -S ...").
std::string ConfigureStep(const std::string& command) {
  for (const std::string& step : Steps(command)) {
    if (step.rfind("cmake -S ", 0) == 0) return step;
  }
  return std::string();
}

TEST(Readme, QuickStartMatchesTheCiScript) {
  const std::vector<std::string> commands = QuickStartCommands();
  ASSERT_EQ(commands.size(), 2u);
  const std::string& convert = commands[0];
  const std::string& test = commands[1];
  // The first command builds kavrino alone and converts the sample, then comes
  // back to the top of the tree.
  EXPECT_NE(convert.find("cmake --build build --target kavrino"), std::string::npos) << convert;
  EXPECT_NE(convert.find("(cd out && ../build/kavrino -f ../samples/sample.qdx"), std::string::npos)
      << convert;
  // Both configure the same way, so that the second builds only what the first
  // did not.
  EXPECT_FALSE(ConfigureStep(convert).empty()) << convert;
  EXPECT_EQ(ConfigureStep(convert), ConfigureStep(test));
  // CI configures the folder with warnings as errors, then runs the test
  // command as it stands in the README.
  const std::vector<std::string> ci = Lines(test::ReadFileText(KAVRINO_SOURCE_DIR "/.ci/run"));
  const auto line = [&ci](const std::string& text) {
    return std::find(ci.begin(), ci.end(), text) - ci.begin();
  };
  const auto werror = line(ConfigureStep(test) + " -DKAVRINO_WERROR=ON");
  const auto run = line(test);
  EXPECT_LT(run, std::ssize(ci)) << ".ci/run does not run the README's test command: " << test;
  EXPECT_LT(werror, run) << ".ci/run does not configure with -DKAVRINO_WERROR=ON first";
}

}  // namespace
}  // namespace kavrino

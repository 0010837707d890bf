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

TEST(Readme, QuickStartMatchesTheCiScript) {
  const std::vector<std::string> commands = QuickStartCommands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_NE(commands[0].find("build/kavrino -f ../samples/sample.qdx"), std::string::npos);
  const std::vector<std::string> ci = Lines(test::ReadFileText(KAVRINO_SOURCE_DIR "/.ci/run"));
  EXPECT_NE(std::find(ci.begin(), ci.end(), commands[1]), ci.end())
      << ".ci/run does not run the README's test command: " << commands[1];
}

}  // namespace
}  // namespace kavrino

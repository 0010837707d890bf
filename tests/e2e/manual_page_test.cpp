// The command line of the built kavrino: exit status and streams, one row per
// rule; and the README's quick start and the manual pages, which must stay in
// step with the CI script and with the options the programs accept.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

const std::string kDone = "\r" + std::string(80, ' ') + "\rCreating RINEX file: done\n";
const std::string kNoData = "No relevant data available in the QDX file\n";
const std::string kUsage = "\nkavrino -f input_file";

std::string CannotRead(const std::string& name, const char* reason) {
  return "The input QDX file \"" + name + "\" could not be opened for reading: " + reason + "\n";
}

TEST(CommandLine, StatusAndStreams) {
  const struct {
    std::string args;
    int status;
    std::string out, err;  // err: ending in kUsage, the start of the usage text that follows
  } rows[] = {
      {"-V", 0, "kavrino-13.4.3\n", ""},
      {"", 3, "", "kavrino: no input file given with -f\n" + kUsage},
      // -n takes "-f" as its (invalid) value
      {"-n -f empty.qdx", 3, "",
       "kavrino: -n needs at least one of the file types O, N, G, E, H, I, P, B, M\n" + kUsage},
      {"-q -f empty.qdx", 3, "", "Unknown option -q.\n" + kUsage},
      {"-f empty.qdx -R3 stray -l -nOP", 3, "",
       "kavrino: unexpected argument \"stray\"\n" + kUsage},
      {"-f x", 3, "", CannotRead("x", "No such file or directory")},
      {"-f folder", 3, "", CannotRead("folder", "Is a directory")},
      // The first log is converted before the second one is found missing.
      {"-f empty.qdx b", 3, "", CannotRead("b", "No such file or directory")},
      {"-f empty.qdx", 2, kDone, kNoData},
      {"-f noise.qdx empty.qdx", 2, kDone, kNoData},
      {"-f empty.qdx -nOMNGEHIPB", 2, kDone, kNoData},
  };
  const test::ScopedTempDir dir("cli");
  ASSERT_EQ(test::RunIn(dir.path(),
                        "mkdir folder && : >empty.qdx && printf '$@\\0\\0\\1\\2\\3' >noise.qdx")
                .status,
            0);
  for (const auto& row : rows) {
    const test::RunResult r = test::Kavrino(dir.path(), row.args);
    EXPECT_EQ(r.status, row.status) << row.args;
    EXPECT_EQ(r.out, row.out) << row.args;
    EXPECT_EQ(row.err.ends_with(kUsage) ? r.err.substr(0, row.err.size()) : r.err, row.err)
        << row.args;
  }
}

// The lines of the ```sh blocks of the README's quick start.
std::vector<std::string> QuickStartCommands() {
  const std::string readme = test::ReadFileText(KAVRINO_SOURCE_DIR "/README.md");
  const size_t start = readme.find("\n## Quick start\n");
  const std::string section = readme.substr(start, readme.find("\n## ", start + 1) - start);
  std::vector<std::string> commands;
  const std::regex block("\n```sh\n([^`]*)```");
  for (std::sregex_iterator it(section.begin(), section.end(), block), end; it != end; ++it) {
    for (const std::string& line : test::Lines(it->str(1))) commands.push_back(line);
  }
  return commands;
}

std::string ConfigureStep(const std::string& command) {
  const size_t at = command.find("cmake -S ");
  return at == std::string::npos ? "(none)" : command.substr(at, command.find(" && ", at) - at);
}

// The README builds kavrino alone and converts the sample, then builds and
// runs the tests in the same build folder (configured the same way); CI
// configures that folder with warnings as errors, then runs the test command
// word for word.
TEST(Documentation, QuickStartMatchesTheCiScript) {
  const std::vector<std::string> commands = QuickStartCommands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_NE(commands[0].find("cmake --build build --target kavrino"), std::string::npos);
  EXPECT_NE(commands[0].find("(cd out && ../build/kavrino -f ../samples/sample.qdx"),
            std::string::npos);
  EXPECT_NE(ConfigureStep(commands[0]), "(none)");
  EXPECT_EQ(ConfigureStep(commands[0]), ConfigureStep(commands[1]));
  const std::vector<std::string> ci = test::ReadLines(KAVRINO_SOURCE_DIR "/.ci/run");
  const auto werror =
      std::find(ci.begin(), ci.end(), ConfigureStep(commands[1]) + " -DKAVRINO_WERROR=ON");
  EXPECT_NE(std::find(werror, ci.end(), commands[1]), ci.end())
      << ".ci/run does not configure with -DKAVRINO_WERROR=ON, then run: " << commands[1];
}

// The options named in the tags of a manual page's option lists (the line
// after each ".TP"), with roff's "\-" read as "-".
std::set<std::string> DocumentedOptions(const std::string& page, const std::string& pattern) {
  std::set<std::string> found;
  const std::regex option(pattern), roff_dash(R"(\\-)");
  bool tag = false;
  for (const std::string& line : test::ReadLines(KAVRINO_BINARY_DIR "/man/" + page)) {
    for (std::sregex_iterator it(line.begin(), line.end(), option), end; tag && it != end; ++it)
      found.insert(std::regex_replace(it->str(1), roff_dash, "-"));
    tag = line.starts_with(".TP");
  }
  return found;
}

TEST(Documentation, ManualPagesDocumentEveryOption) {
  const test::ScopedTempDir dir("manual");
  // kavrino: every letter or digit that it does not reject as unknown, but -z
  // (build information) and -L (accepted, without effect), left out on purpose.
  std::set<std::string> accepted;
  for (char c : std::string("abcdefghijklmnopqrstuvwxyABCDEFGHIJKMNOPQRSTUVWXYZ0123456789")) {
    const std::string option = std::string("-") + c;
    if (test::Kavrino(dir.path(), option).err.find("Unknown option") == std::string::npos)
      accepted.insert(option);
  }
  // Its long options: those of the usage text, each of them accepted.
  for (const std::string& line : test::Lines(test::Kavrino(dir.path(), "").err)) {
    if (!line.starts_with("  --")) continue;
    const std::string option = line.substr(2, line.find(' ', 2) - 2);
    EXPECT_EQ(test::Kavrino(dir.path(), option).err.find("nknown option"), std::string::npos);
    accepted.insert(option);
  }
  ASSERT_TRUE(accepted.count("-f") && accepted.count("-V") && accepted.count("--crx"));
  EXPECT_EQ(DocumentedOptions("kavrino.1", R"((?:^|[^-])(\\-[A-Za-z0-9]|\\-\\-[a-z]+))"), accepted);
  // qdxgen: the options of its help lines ("  -o, --output FILE").
  std::set<std::string> helped;
  const std::regex option(R"((?:^|\s)(--?[a-z][a-z-]*))");
  for (const std::string& line : test::Lines(test::Qdxgen(dir.path(), "--help 2>&1").out)) {
    const std::string names = line.starts_with("  -") ? line.substr(0, line.find("  ", 2)) : "";
    for (std::sregex_iterator it(names.begin(), names.end(), option), end; it != end; ++it)
      helped.insert((*it)[1]);
  }
  EXPECT_GT(helped.size(), 30u);
  EXPECT_EQ(DocumentedOptions("qdxgen.1", R"(((?:\\-)+[a-z](?:[a-z\\-]*[a-z])?))"), helped);
  // groff finds no mistake in either page (where groff is installed).
  for (const char* page : {"kavrino.1", "qdxgen.1"}) {
    const std::string groff = "! command -v groff >/dev/null || groff -man -Tutf8 -ww -z ";
    const test::RunResult r = test::RunIn(dir.path(), groff + KAVRINO_BINARY_DIR "/man/" + page);
    EXPECT_EQ(r.out + r.err, "") << page;
  }
}

}  // namespace
}  // namespace kavrino

// The manual pages must document every option that the programs accept, and
// name no option that they do not accept.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

// Standard output and error of a shell command, merged.
std::string Capture(const std::string& command) {
  std::string text;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return text;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
  pclose(pipe);
  return text;
}

// The tags of the option lists: the line after every ".TP" of the page.
std::vector<std::string> OptionTags(const std::string& page) {
  std::vector<std::string> tags;
  std::istringstream in(test::ReadFileText(page));
  bool tag_next = false;
  for (std::string line; std::getline(in, line);) {
    if (tag_next) tags.push_back(line);
    tag_next = line.rfind(".TP", 0) == 0;
  }
  return tags;
}

// Options as roff writes them ("\-x", "\-\-seed") found in the tags, up to the
// first character that cannot be part of an option name.
std::set<std::string> DocumentedOptions(const std::string& page, const std::regex& option) {
  std::set<std::string> found;
  for (const std::string& tag : OptionTags(page)) {
    for (std::sregex_iterator it(tag.begin(), tag.end(), option), end; it != end; ++it) {
      found.insert(it->str());
    }
  }
  return found;
}

// The option letters kavrino accepts: every letter or digit that it does not
// reject as unknown.
std::set<char> AcceptedLetters() {
  std::set<char> letters;
  const std::string candidates = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (char c : candidates) {
    const std::string err = Capture(std::string("'") + KAVRINO_EXE + "' -" + c);
    if (err.find("Unknown option") == std::string::npos) letters.insert(c);
  }
  return letters;
}

TEST(ManualPage, KavrinoDocumentsEveryOptionLetter) {
  const std::string page = KAVRINO_BINARY_DIR "/man/kavrino.1";
  // A roff option tag: "\-" and the option letter, not inside a long option.
  std::set<char> documented;
  for (const std::string& tag : DocumentedOptions(page, std::regex(R"((^|[^-])\\-[A-Za-z0-9])"))) {
    documented.insert(tag.back());
  }
  std::set<char> accepted = AcceptedLetters();
  ASSERT_TRUE(accepted.count('f') && accepted.count('V')) << "kavrino did not run";
  // -z (build information) and -L (accepted for compatibility, no effect) are
  // left out of the manual on purpose.
  accepted.erase('z');
  accepted.erase('L');
  for (char c : accepted) EXPECT_TRUE(documented.count(c)) << "-" << c << " is not in " << page;
  for (char c : documented) EXPECT_TRUE(accepted.count(c)) << "-" << c << " is not accepted";
}

// The long options of the usage text are the ones documented, and kavrino
// accepts each of them.
TEST(ManualPage, KavrinoDocumentsEveryLongOption) {
  std::set<std::string> documented;
  const std::string page = KAVRINO_BINARY_DIR "/man/kavrino.1";
  for (const std::string& tag : DocumentedOptions(page, std::regex(R"(\\-\\-[a-z]+)"))) {
    documented.insert("--" + tag.substr(4));
  }
  std::set<std::string> usage;
  std::istringstream in(Capture(std::string("'") + KAVRINO_EXE + "'"));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("  --", 0) == 0) usage.insert(line.substr(2, line.find(' ', 2) - 2));
  }
  EXPECT_EQ(documented, usage);
  EXPECT_EQ(usage.size(), 2u);
  for (const std::string& o : documented) {
    const std::string err = Capture(std::string("'") + KAVRINO_EXE + "' " + o);
    EXPECT_EQ(err.find("unknown option"), std::string::npos) << o;
  }
}

TEST(ManualPage, QdxgenDocumentsEveryOptionOfItsHelp) {
  const std::string help = Capture("'" KAVRINO_BINARY_DIR "/qdxgen' --help");
  // The option names of the help lines that begin with one: "  -o, --output FILE".
  std::set<std::string> helped;
  std::istringstream in(help);
  const std::regex option(R"((^|\s)(--?[a-z][a-z-]*))");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("  -", 0) != 0) continue;
    const std::string names = line.substr(0, line.find("  ", 2));
    for (std::sregex_iterator it(names.begin(), names.end(), option), end; it != end; ++it) {
      helped.insert((*it)[2]);
    }
  }
  ASSERT_GT(helped.size(), 30u) << help;

  std::set<std::string> documented;
  const std::string page = KAVRINO_BINARY_DIR "/man/qdxgen.1";
  for (std::string tag : DocumentedOptions(page, std::regex(R"((\\-)+[a-z]([a-z\\-]*[a-z])?)"))) {
    documented.insert(std::regex_replace(tag, std::regex(R"(\\-)"), "-"));
  }
  for (const std::string& o : helped)
    EXPECT_TRUE(documented.count(o)) << o << " is not in " << page;
  for (const std::string& o : documented) EXPECT_TRUE(helped.count(o)) << o << " is not in --help";
}

// groff finds no mistake in either page (skipped where groff is missing).
TEST(ManualPage, PagesFormatWithoutWarnings) {
  if (Capture("command -v groff").empty()) GTEST_SKIP() << "groff is not installed";
  for (const char* page : {"kavrino.1", "qdxgen.1"}) {
    const std::string path = std::string(KAVRINO_BINARY_DIR "/man/") + page;
    EXPECT_EQ(Capture("groff -man -Tutf8 -ww -z '" + path + "'"), "") << page;
  }
}

}  // namespace
}  // namespace kavrino

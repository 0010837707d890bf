#include "support/e2e.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "qdx/encode/qdx_writer.h"

namespace kavrino::test {

RunResult RunIn(const std::string& dir, const std::string& command) {
  const std::string out = dir + "/.stdout", err = dir + "/.stderr";
  const int raw =
      std::system(("cd '" + dir + "' && " + command + " >'" + out + "' 2>'" + err + "'").c_str());
  RunResult result;
  if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  result.out = ReadFileText(out);
  result.err = ReadFileText(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return result;
}

RunResult Kavrino(const std::string& dir, const std::string& args) {
  return RunIn(dir, "'" KAVRINO_EXE "' " + args);
}

RunResult Qdxgen(const std::string& dir, const std::string& args) {
  return RunIn(dir, "'" KAVRINO_BINARY_DIR "/qdxgen' " + args);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ReadLines(const std::string& path) {
  return Lines(ReadFileText(path));
}

std::string MaskRunDate(const std::string& text) {
  static const std::regex date("(.{40})[0-9A-Z: -]{20}(PGM / RUN BY / DATE)");
  return std::regex_replace(text, date, "$1<date>$2");
}

}  // namespace kavrino::test

// Test support for end-to-end tests: running the built programs in a
// directory, and reading what they wrote.
#pragma once

#include <string>
#include <vector>

namespace kavrino::test {

struct RunResult {
  int status = -1;  // exit status; -1 when the command did not exit normally
  std::string out, err;
};

// Runs a shell command in `dir`, capturing its streams.
RunResult RunIn(const std::string& dir, const std::string& command);
// Runs kavrino, or qdxgen, with `args` (shell words) in `dir`.
RunResult Kavrino(const std::string& dir, const std::string& args);
RunResult Qdxgen(const std::string& dir, const std::string& args);

std::vector<std::string> Lines(const std::string& text);
std::vector<std::string> ReadLines(const std::string& path);

// Replaces the time of the run on the "PGM / RUN BY / DATE" line by "<date>".
std::string MaskRunDate(const std::string& text);

}  // namespace kavrino::test

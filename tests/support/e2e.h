// Running the built programs in a folder, the logs they share, and reading
// what they wrote.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kavrino::test {

struct RunResult {
  int status = -1;  // exit status; -1 when the command did not exit normally
  std::string out, err;
};

// Runs a shell command in `dir`, capturing its streams. No file it writes may
// pass 64 MiB: a fault that writes without end fails at once.
RunResult RunIn(const std::string& dir, const std::string& command);
// Runs kavrino, or qdxgen, with `args` (shell words) in `dir`.
RunResult Kavrino(const std::string& dir, const std::string& args);
RunResult Qdxgen(const std::string& dir, const std::string& args);

// The folder of the log.qdx and log.qdx.truth of "qdxgen -o log.qdx ARGS", made once
// for a whole ctest run (in TMPDIR/kavrino-logs, which the run's setup makes) or
// else once per process. Empty when qdxgen failed.
std::string SharedLog(const std::string& args);

// Every entry of a folder by name, with the bytes of a file (or of the file a
// link names), "(not a file)" for anything else.
std::map<std::string, std::string> FolderFiles(const std::string& dir);

std::vector<std::string> Lines(const std::string& text);
std::vector<std::string> ReadLines(const std::string& path);

// Replaces the time of the run on the "PGM / RUN BY / DATE" and "CRINEX PROG /
// DATE" lines by "<date>".
std::string MaskRunDate(std::string text);

}  // namespace kavrino::test

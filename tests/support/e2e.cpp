#include "support/e2e.h"

#include <stdio.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

#include "support/scoped_dir.h"

namespace kavrino::test {

namespace fs = std::filesystem;

RunResult RunIn(const std::string& dir, const std::string& command) {
  const ScopedTempDir streams("streams");
  const std::string out = streams / "out", err = streams / "err";
  const int raw = std::system(("ulimit -f 131072 2>/dev/null; cd '" + dir + "' && " + command +
                               " >'" + out + "' 2>'" + err + "'")
                                  .c_str());
  RunResult result;
  if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  result.out = ReadFileText(out);
  result.err = ReadFileText(err);
  return result;
}

RunResult Kavrino(const std::string& dir, const std::string& args) {
  return RunIn(dir, "'" KAVRINO_EXE "' " + args);
}

RunResult Qdxgen(const std::string& dir, const std::string& args) {
  return RunIn(dir, "'" KAVRINO_BINARY_DIR "/qdxgen' " + args);
}

std::string SharedLog(const std::string& args) {
  const char* tmp = std::getenv("TMPDIR");
  std::string root = std::string(tmp ? tmp : "/tmp") + "/kavrino-logs";
  if (!fs::is_directory(root)) {
    static const ScopedTempDir own("logs");
    root = own.path();
  }
  const std::string dir = root + "/" + std::to_string(std::hash<std::string>{}(args));
  if (fs::exists(dir + "/log.qdx")) return dir;
  // Made aside and renamed into place: a test running alongside may make the
  // same log, and the first rename wins.
  const std::string made = MakeTempDir("log");
  if (Qdxgen(made, "-o log.qdx " + args).status != 0) return fs::remove_all(made), "";
  if (rename(made.c_str(), dir.c_str()) != 0) fs::remove_all(made);
  return dir;
}

std::map<std::string, std::string> FolderFiles(const std::string& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::directory_iterator(dir)) {
    entries[entry.path().filename()] =
        entry.is_regular_file() ? ReadFileText(entry.path()) : "(not a file)";
  }
  return entries;
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

std::string MaskRunDate(std::string text) {
  for (const std::string label : {"PGM / RUN BY / DATE", "CRINEX PROG / DATE"}) {
    for (size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1)) {
      if (at < 20) continue;
      text.replace(at - 20, 20, "<date>");
      at -= 14;
    }
  }
  return text;
}

}  // namespace kavrino::test

// A fresh folder under TMPDIR (in the build tree under ctest) for one test, removed
// with whatever it holds when it goes out of scope, also when the test fails; only
// by the process that made it, so that a forked child (a death test) ending with
// exit() leaves its parent's folders alone.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "qdx/encode/qdx_writer.h"

namespace kavrino::test {

class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::string& tag) : path_(MakeTempDir(tag)) {}
  ~ScopedTempDir() {
    std::error_code ignored;
    if (!path_.empty() && getpid() == owner_) std::filesystem::remove_all(path_, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` in the folder.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  pid_t owner_ = getpid();
};

}  // namespace kavrino::test

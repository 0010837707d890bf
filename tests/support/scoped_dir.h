// A fresh temporary folder for one test that removes itself, with whatever it
// holds, when it goes out of scope (also when the test fails). Every test
// folder is one of these; under ctest they live in the build tree's tmp/.
#pragma once

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
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` in the folder.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace kavrino::test

// Captures what a writer puts on a FILE*.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace kavrino::test {

inline std::string CaptureWrites(const std::function<void(FILE*)>& write) {
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  write(out);
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  return text;
}

}  // namespace kavrino::test

#include "convert/temp_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace kavrino {

void AddTempFile(TempFiles* files, const std::string& path) {
  std::lock_guard<std::mutex> lock(files->mutex);
  files->paths.push_back(path);
}

void ForgetTempFile(TempFiles* files, const std::string& path) {
  std::lock_guard<std::mutex> lock(files->mutex);
  auto it = std::find(files->paths.begin(), files->paths.end(), path);
  if (it != files->paths.end()) files->paths.erase(it);
}

int RenameTempFile(TempFiles* files, const std::string& temp_path, const std::string& path) {
  std::lock_guard<std::mutex> lock(files->mutex);
  if (files->closed) {
    errno = EINTR;
    return -1;
  }
  const int result = std::rename(temp_path.c_str(), path.c_str());
  auto it = std::find(files->paths.begin(), files->paths.end(), temp_path);
  if (result == 0 && it != files->paths.end()) files->paths.erase(it);
  return result;
}

void RemoveTempFiles(TempFiles* files, bool keep_locked) {
  files->mutex.lock();
  for (const std::string& path : files->paths) unlink(path.c_str());
  files->paths.clear();
  files->closed = true;
  if (!keep_locked) files->mutex.unlock();
}

namespace {

constexpr int kNameAttempts = 100;

// Eight hexadecimal digits that differ between processes, threads and calls.
std::string RandomSuffix(const void* seed, int attempt) {
  uint64_t x = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ULL;
  x ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(seed));
  x ^= static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  x += static_cast<uint64_t>(attempt) * 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 31;
  x *= 0x94D049BB133111EBULL;
  x ^= x >> 29;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text(8, '0');
  for (char& c : text) {
    c = kHex[x & 15];
    x >>= 4;
  }
  return text;
}

}  // namespace

int CreateTempFile(TempFiles* files, const std::string& prefix, const std::string& suffix, int mode,
                   std::string* path) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    *path = prefix + RandomSuffix(path, attempt) + suffix;
    if (files != nullptr) AddTempFile(files, *path);
    const int fd = open(path->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    const int error = errno;
    if (files != nullptr) ForgetTempFile(files, *path);
    errno = error;
    if (error != EEXIST) return -1;
  }
  return -1;
}

}  // namespace kavrino

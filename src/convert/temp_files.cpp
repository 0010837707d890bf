#include "convert/temp_files.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

}  // namespace kavrino

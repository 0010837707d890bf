// The temporary files of a run (outputs not yet complete, decompressed
// inputs): remembered so that whoever ends the run early can remove them.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace kavrino {

struct TempFiles {
  std::mutex mutex;
  std::vector<std::string> paths;
  bool closed = false;  // the run is ending: nothing may be renamed into place any more
};

void AddTempFile(TempFiles* files, const std::string& path);
// Creates a new file named `prefix` and a random suffix, noted in `files` (when
// not null) before it exists, so that no signal can find it unnoted. Returns
// its descriptor (open for reading and writing, permissions `mode` less the
// umask) and its name, or -1 with errno set.
int CreateTempFile(TempFiles* files, const std::string& prefix, const std::string& suffix, int mode,
                   std::string* path);
void ForgetTempFile(TempFiles* files, const std::string& path);
// Renames `temp_path` to `path` unless the run is ending, and forgets it.
// Returns rename's result (0 or -1 with errno set).
int RenameTempFile(TempFiles* files, const std::string& temp_path, const std::string& path);
// Removes every temporary file and refuses any later rename: the run is ending.
// Leaves the mutex locked when `keep_locked`, so that no other thread can go on
// renaming or adding while the process ends.
void RemoveTempFiles(TempFiles* files, bool keep_locked);

}  // namespace kavrino

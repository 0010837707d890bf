// Output files. A regular output file is written under a temporary name in
// its own folder and renamed into place only once it is complete, so that a
// failed or interrupted run never leaves a truncated file under a final name.
// Devices and FIFOs (-o /dev/stdout) are written directly. No output may be
// one of the run's input files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "convert/temp_files.h"
#include "core/out_stream.h"

namespace kavrino {

// A file as the system knows it, whatever name reaches it.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
};
// False when the file cannot be found.
bool GetFileIdentity(const std::string& path, FileIdentity* identity);

// An input file of the run, by the name it was given and by its identity.
struct InputFileId {
  std::string name;
  FileIdentity identity;
};

// What every output file of a run is made with.
struct OutputContext {
  const std::vector<InputFileId>* inputs = nullptr;  // never written over
  TempFiles* temp_files = nullptr;                    // where temporary names are noted
};

struct OutputFile {
  std::string path;       // the name it has when complete
  std::string temp_path;  // its name until then; empty when written directly
  int fd = -1;
  OutStream stream;  // the file's text
  TempFiles* temp_files = nullptr;
};

// Creates the file for writing. False, with the message to print, when it
// cannot be created or `path` names an input file.
bool OpenOutputFile(const std::string& path, const OutputContext& context, OutputFile* file,
                    std::string* message);

enum class RewindResult { kRewound, kNotSeekable, kFailed };
// Writes out what the stream holds and goes back to the start of the file, for
// a header written last over lines reserved for it. A file that cannot go
// back (a pipe) is kNotSeekable; `message` is set on kFailed.
RewindResult RewindOutputFile(OutputFile* file, std::string* message);

// Writes out the rest, closes the file and gives it its name. On failure the
// file is removed (a direct one stays as far as it got) and `message` says why.
bool CommitOutputFile(OutputFile* file, std::string* message);

// Closes and removes a file that will not be completed.
void DiscardOutputFile(OutputFile* file);

}  // namespace kavrino

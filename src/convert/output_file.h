// Output files. A regular output file is written under a temporary name in
// its own folder and renamed into place only once it is complete, so that a
// failed or interrupted run never leaves a truncated file under a final name.
// Devices and FIFOs (-o /dev/stdout) are written directly. No output may be
// one of the run's input files.
//
// The text a writer puts on the file's stream may go through the Compact
// RINEX encoder and the gzip compressor on its way to the file. A file whose
// header is written last, over lines reserved for it, is gathered in a spool
// (an unlinked temporary file) first when it cannot be rewritten in place: a
// compressed file, or a device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/gzip_stream.h"
#include "convert/temp_files.h"
#include "core/out_stream.h"
#include "rinex/obs/crx_encoder.h"

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
  TempFiles* temp_files = nullptr;                   // where temporary names are noted
};

// How one output file's text reaches the file.
struct OutputFormat {
  bool header_last = false;    // the header goes over reserved lines once the records are in
  bool compact_rinex = false;  // an observation text, written as Compact RINEX
  CrxStamp crx_stamp{};        // the CRINEX PROG / DATE line
  bool gzip = false;
};

struct OutputFile {
  std::string path;       // the name it has when complete
  std::string temp_path;  // its name until then; empty when written directly
  int fd = -1;
  int spool_fd = -1;  // the text until complete (header last, compressed or direct file)
  std::unique_ptr<CrxEncoder> crx;
  std::unique_ptr<GzipStream> gzip;
  OutStream packed;  // the compact text, on its way to the compressor or the file
  OutStream stream;  // the file's text
  TempFiles* temp_files = nullptr;
};

// Creates the file for writing. False, with the message to print, when it
// cannot be created or `path` names an input file.
bool OpenOutputFile(const std::string& path, const OutputContext& context,
                    const OutputFormat& format, OutputFile* file, std::string* message);

// Writes out what the stream holds and goes back to the start of the text, for
// a header written last over lines reserved for it (OutputFormat::header_last).
// False, with the message, when the system fails.
bool RewindOutputFile(OutputFile* file, std::string* message);

// Writes out the rest, closes the file and gives it its name. On failure the
// file is removed (a direct one stays as far as it got) and `message` says why.
bool CommitOutputFile(OutputFile* file, std::string* message);

// Closes and removes a file that will not be completed.
void DiscardOutputFile(OutputFile* file);

}  // namespace kavrino

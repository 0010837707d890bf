// Compressed input logs: a log compressed with gzip, zstd or bzip2 is known by
// its first bytes and decompressed, streaming and in bounded memory, into a
// temporary file that the converter then reads like any other log.
// Concatenated members, frames and streams are decompressed whole. Nothing
// here prints or exits: warnings and failures come back as one-line texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/temp_files.h"

namespace kavrino {

enum class CompressionKind { kNone, kGzip, kZstd, kBzip2 };

// "gzip", "zstd", "bzip2" ("none" for kNone).
const char* CompressionName(CompressionKind kind);
// The kind whose magic bytes `head` starts with; kNone for anything else,
// including fewer bytes than the magic.
CompressionKind CompressionOf(const unsigned char* head, size_t size);

struct DecompressOptions {
  std::string temp_dir;  // empty: $TMPDIR, or /tmp when that is unset or empty
  // The decompressed copy may take at most `size_limit` bytes, and must leave
  // at least `free_space_margin` bytes free under the temporary folder.
  uint64_t size_limit = UINT64_MAX;
  uint64_t free_space_margin = uint64_t{64} << 20;
  TempFiles* temp_files = nullptr;  // where the copy is noted while it exists
};

struct DecompressedInput {
  // False: `error` says why, and no temporary file is left.
  bool ok = false;
  CompressionKind kind = CompressionKind::kNone;
  // The decompressed copy (kinds other than kNone); the caller owns it and
  // removes it with RemoveDecompressedInput. kNone: empty, read the file itself.
  std::string temp_path;
  uint64_t size = 0;  // bytes in the copy
  // One line when the compressed data was truncated, damaged or not really
  // compressed; the copy then holds what decompressed before the fault.
  std::string warning;
  std::string error;
  TempFiles* temp_files = nullptr;
};

// Decompresses the file at `path` when it is compressed, into a new file
// "kavrino-XXXXXX" under the temporary folder.
DecompressedInput DecompressInput(const char* path, const DecompressOptions& options);
// Removes the temporary copy (if any) and forgets its path; false, with errno
// set, when it existed and could not be removed.
bool RemoveDecompressedInput(DecompressedInput* input);

}  // namespace kavrino

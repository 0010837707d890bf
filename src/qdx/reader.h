// The QDX block reader: one open input file, walked block by block.
#pragma once

#include <cstdint>
#include <memory>

#include "qdx/decode/meas_decode.h"

namespace kavrino {

// Buffered input of one file: a large buffer with bulk refills and an exact
// logical position (buffer_offset + pos). The bytes buffer[0 .. length) are the
// file bytes from buffer_offset on.
struct QdxInput {
  int fd = -1;
  std::unique_ptr<uint8_t[]> buffer;
  size_t capacity = 0;
  size_t length = 0;            // valid bytes in buffer
  size_t pos = 0;               // logical position inside buffer
  int64_t buffer_offset = 0;    // file offset of buffer[0]
  bool eof_seen = false;        // the file ended at buffer_offset + length on the last refill
  int64_t checked_offset = -1;  // file offset of the last block found CRC-valid in the buffer
  int64_t progress_size = -1;   // file size taken once per pass for the progress bar
  bool checked_file = false;    // a file of blocks whose CRCs were all checked when written
};

struct QdxNavCopy;

// A failure of the operating system while reading: the module and site that
// name the failing call in the message, and the errno it left (site 0: none).
struct QdxReadFailure {
  int site = 0;
  int error = 0;
};
inline constexpr const char* kQdxReaderModule = "qdxread";

inline constexpr size_t kQdxReadChunk = size_t{1} << 20;

// Owned by the pass that opened it; never copied.
struct QdxReader {
  QdxInput input;
  QdxNavCopy* copy = nullptr;  // not owned; null: the walks copy nothing
  MeasDecodeState decode;      // epoch gathering and compact reference state
  QdxReadFailure failure;      // the first failure; the reader then reports the end of the file
  // Bytes one bulk read fills, taken when the reader is opened (readers that
  // run side by side may keep smaller buffers).
  size_t read_chunk = kQdxReadChunk;

  QdxReader() = default;
  QdxReader(const QdxReader&) = delete;
  QdxReader& operator=(const QdxReader&) = delete;
};

// Mode bits of GetNextQdxBlock.
inline constexpr int kQdxModeWalk = 0;
inline constexpr int kQdxModeRewind = 1;  // bits 0-1 == 1: rewind before searching
inline constexpr int kQdxModePeek = 4;    // bits 2-3 == 1: put the position back after a find

// Resets the reader and opens path for reading; false, with the failure
// (site 460) noted, when it cannot be opened.
bool InitQdxReader(const char* path, QdxReader* reader);
// Resets the reader onto a descriptor open for reading, which it then owns.
void AttachQdxReader(int fd, QdxReader* reader);
// Closes the file; false, with the failure (site 477) noted, when closing fails
// or the reader failed before.
bool CloseQdxReader(QdxReader* reader);
inline bool QdxReaderFailed(const QdxReader& reader) {
  return reader.failure.site != 0;
}
// Finds the next CRC-valid block whose number is first_id or second_id (65535:
// any) and copies it whole into buffer (kQdxMaxBlockSize bytes or more).
// Returns 0 for a block, -1 at the end of the file (position back where the
// search began) and after a failure of the system.
int GetNextQdxBlock(QdxReader* reader, uint8_t* buffer, uint16_t first_id, uint16_t second_id,
                    int mode);
int64_t QdxTell(const QdxReader* reader);
// The size of the file; 0, with the failure (site 183) noted, when it cannot be found.
int64_t QdxFileSize(QdxReader* reader);
// Puts the stream back to offset 0 (between passes sharing a reader).
void QdxRewind(QdxReader* reader);
// Puts the stream at a position noted earlier with QdxTell (look-ahead and return).
void QdxSeek(QdxReader* reader, int64_t offset);

}  // namespace kavrino

// A private copy of the blocks of one input file that the navigation walks
// read: everything but the measurement and position blocks, the bulk of a
// file. The first walk over the whole file writes it, block by block in file
// order, into an unlinked temporary file; every later walk of the same input
// reads that copy instead of the file, and is handed exactly the blocks it
// would have used from the file, in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kavrino {

struct QdxReader;

struct QdxNavCopy {
  int fd = -1;            // the temporary file; -1 before the first block
  int64_t frontier = 0;   // the input is copied up to this offset
  bool complete = false;  // a walk went from the frontier to the end of the input
  bool failed = false;    // no temporary file or a failed write: the copy is never used
  size_t staged = 0;      // bytes in `stage` not yet written
  std::unique_ptr<uint8_t[]> stage;
};

// Whether the navigation walks ignore every block of this number.
bool IsNavSkippableBlock(uint16_t number);

// Takes note of the CRC-valid block [offset, offset + length) that a walk
// handing out every block found by searching from `search_start`. Only a walk
// that goes on from the frontier extends the copy.
void NoteNavCopyBlock(QdxNavCopy* copy, int64_t search_start, int64_t offset, const uint8_t* block,
                      uint16_t length);
// A walk searching from `search_start` found no more blocks: from the frontier,
// this completes the copy.
void NoteNavCopyEnd(QdxNavCopy* copy, int64_t search_start);

// Whether later walks can read the copy.
bool IsNavCopyReady(const QdxNavCopy& copy);
// Opens `reader` on the copy, with a descriptor of its own; false (the reader
// left as it was) when the copy is not ready or cannot be opened again.
bool OpenQdxReaderOnNavCopy(const QdxNavCopy& copy, QdxReader* reader);
// Removes the temporary file.
void CloseNavCopy(QdxNavCopy* copy);

}  // namespace kavrino

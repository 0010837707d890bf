#include "qdx/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "diag/diag.h"
#include "qdx/block.h"

namespace kavrino {
namespace {

constexpr char kModule[] = "qdxread";
constexpr int kSiteFileSize = 183;  // the size of the open file could not be found
constexpr int kSiteRead = 230;      // reading the file failed (not the end of the file)
constexpr int kSiteOpen = 460;
constexpr int kSiteClose = 477;

// One bulk read fills up to this much; the extra room keeps a whole block of
// the largest size readable after the unread tail has been moved to the front.
constexpr size_t kReadChunk = size_t{1} << 20;
constexpr size_t kBufferCapacity = kReadChunk + 65536;

constexpr uint8_t kSync1 = 0x24;
constexpr uint8_t kSync2 = 0x40;
constexpr size_t kFramingSize = 8;  // sync, crc, id, length

int64_t Tell(const QdxInput& in) {
  return in.buffer_offset + static_cast<int64_t>(in.pos);
}

// Positions the input at a file offset. Offsets inside the buffered bytes only
// move the cursor; others drop the buffer so that the next read starts there.
void Seek(QdxInput* in, int64_t offset) {
  if (offset >= in->buffer_offset &&
      offset <= in->buffer_offset + static_cast<int64_t>(in->length)) {
    in->pos = static_cast<size_t>(offset - in->buffer_offset);
    return;
  }
  in->buffer_offset = offset;
  in->length = 0;
  in->pos = 0;
  in->eof_seen = false;
  in->checked_offset = -1;
}

// Makes at least `need` (at most the buffer capacity) bytes available from the
// cursor unless the file ends first; returns the number of bytes available.
size_t Ensure(QdxInput* in, size_t need) {
  size_t avail = in->length - in->pos;
  if (avail >= need || in->eof_seen) return avail;
  if (in->pos > 0) {
    // Keep the unread tail (shorter than one block) and refill behind it.
    std::memmove(in->buffer.get(), in->buffer.get() + in->pos, avail);
    in->buffer_offset += static_cast<int64_t>(in->pos);
    in->length = avail;
    in->pos = 0;
  }
  while (in->length < need) {
    ssize_t got = pread(in->fd, in->buffer.get() + in->length, in->capacity - in->length,
                        in->buffer_offset + static_cast<int64_t>(in->length));
    if (got < 0) {
      if (errno == EINTR) continue;
      FatalStop(kModule, kSiteRead);
    }
    if (got == 0) {
      in->eof_seen = true;
      break;
    }
    in->length += static_cast<size_t>(got);
  }
  return in->length - in->pos;
}

// Jumps over the stretch of the index that starts at the current position, if
// there is one.
void SkipIgnoredBlocks(QdxInput* in, QdxSkipIndex* index) {
  const int64_t position = Tell(*in);
  std::vector<QdxSkipRun>& runs = index->runs;
  size_t& k = index->cursor;
  if (k > 0 && (k > runs.size() || runs[k - 1].end > position)) {
    // The position went back (a rewind or a look-ahead put back): search again.
    size_t lo = 0, hi = runs.size();
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (runs[mid].start < position) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    k = lo;
  }
  while (k < runs.size() && runs[k].start < position) ++k;
  if (k < runs.size() && runs[k].start == position) {
    Seek(in, runs[k].end);
    ++k;
  }
}

// Notes the block at [offset, offset + length) that a walk of every block found
// from `search_start`.
void NoteBlock(QdxSkipIndex* index, int64_t search_start, int64_t offset, uint16_t length,
               uint16_t number) {
  if (index->full || search_start != index->frontier) return;
  const int64_t end = offset + length;
  if (!IsNavSkippableBlock(number)) {
    index->growing = false;
  } else if (index->growing) {
    index->runs.back().end = end;
  } else if (index->runs.size() < kQdxSkipRunsMax) {
    index->runs.push_back({search_start, end});
    index->growing = true;
  } else {
    index->full = true;
    return;
  }
  index->frontier = end;
}

bool Accepts(uint16_t number, uint16_t first_id, uint16_t second_id) {
  return first_id == kQdxAnyBlock || second_id == kQdxAnyBlock || number == first_id ||
         number == second_id;
}

}  // namespace

bool IsNavSkippableBlock(uint16_t number) {
  switch (number) {
    case 4006:  // position fixes
    case 4007:
    case 5903:
    case 5904:
      return true;
    default:
      return IsMeasBlockNumber(number);
  }
}

void InitQdxReader(const char* path, QdxReader* reader) {
  QdxInput* in = &reader->input;
  if (in->fd >= 0) close(in->fd);  // a reader opened again drops its old file
  std::unique_ptr<uint8_t[]> buffer = std::move(in->buffer);
  *in = QdxInput{};
  std::memset(static_cast<void*>(&reader->gather), 0, sizeof reader->gather);
  std::memset(static_cast<void*>(reader->compact), 0, sizeof reader->compact);
  reader->gather.current_tow = 0xFFFFFFFFu;
  reader->gather.last_decoded_tow = 0xFFFFFFFFu;
  for (CompactRefState& ref : reader->compact) ref.reference_tow = 0xFFFFFFFFu;

  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) FatalStop(kModule, kSiteOpen);
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  in->fd = fd;
  in->buffer =
      buffer ? std::move(buffer) : std::make_unique_for_overwrite<uint8_t[]>(kBufferCapacity);
  in->capacity = kBufferCapacity;
}

void CloseQdxReader(QdxReader* reader) {
  QdxInput* in = &reader->input;
  if (in->fd < 0) return;
  int fd = in->fd;
  *in = QdxInput{};  // releases the buffer
  if (close(fd) != 0) FatalStop(kModule, kSiteClose);
}

int GetNextQdxBlock(QdxReader* reader, uint8_t* buffer, uint16_t first_id, uint16_t second_id,
                    int mode) {
  QdxInput* in = &reader->input;
  const int64_t start = Tell(*in);
  in->eof_seen = false;  // look again: the file may have grown since the last search
  if ((mode & 3) == 1) Seek(in, 0);

  QdxSkipIndex* index = reader->skip;
  const bool noting = index != nullptr && first_id == kQdxAnyBlock && (mode & 12) != 4;
  if (index != nullptr) SkipIgnoredBlocks(in, index);
  int64_t search_start = Tell(*in);  // where the search for the next block began
  for (;;) {
    if (in->pos >= in->length && Ensure(in, 1) == 0) {
      Seek(in, start);
      return -1;
    }
    const uint8_t* base = in->buffer.get();
    const void* sync = std::memchr(base + in->pos, kSync1, in->length - in->pos);
    if (sync == nullptr) {
      in->pos = in->length;
      continue;
    }
    in->pos = static_cast<size_t>(static_cast<const uint8_t*>(sync) - base);

    // A damaged, short or truncated candidate costs one byte: the search goes
    // on right after its '$', so a block that starts inside it is still found.
    size_t avail = Ensure(in, kFramingSize);
    const uint8_t* block = in->buffer.get() + in->pos;
    if (avail < kFramingSize || block[1] != kSync2) {
      ++in->pos;
      continue;
    }
    const uint16_t length = QdxBlockLength(block);
    if (length < kQdxMinBlockLength) {
      ++in->pos;
      continue;
    }
    if (avail < length) {
      avail = Ensure(in, length);
      block = in->buffer.get() + in->pos;
      if (avail < length) {
        ++in->pos;
        continue;
      }
    }
    // A peek followed by a walk meets the same block twice; its CRC is checked once.
    const int64_t offset = Tell(*in);
    if (offset != in->checked_offset) {
      if (!IsQdxCrcValid(block)) {
        ++in->pos;
        continue;
      }
      in->checked_offset = offset;
    }
    in->pos += length;
    if (noting) NoteBlock(index, search_start, offset, length, QdxBlockNumber(block));
    if (!Accepts(QdxBlockNumber(block), first_id, second_id)) {
      if (index != nullptr) SkipIgnoredBlocks(in, index);
      search_start = Tell(*in);
      continue;
    }

    std::memcpy(buffer, block, length);
    if ((mode & 12) == 4) Seek(in, start);
    return 0;
  }
}

int64_t QdxTell(const QdxReader* reader) {
  return Tell(reader->input);
}

int64_t QdxFileSize(QdxReader* reader) {
  struct stat info;
  if (fstat(reader->input.fd, &info) != 0) FatalStop(kModule, kSiteFileSize);
  return static_cast<int64_t>(info.st_size);
}

void QdxRewind(QdxReader* reader) {
  Seek(&reader->input, 0);
}

void QdxSeek(QdxReader* reader, int64_t offset) {
  Seek(&reader->input, offset < 0 ? 0 : offset);
}

}  // namespace kavrino

#include "qdx/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "qdx/block.h"
#include "qdx/nav_copy.h"

namespace kavrino {
namespace {

constexpr int kSiteFileSize = 183;  // the size of the open file could not be found
constexpr int kSiteRead = 230;      // reading the file failed (not the end of the file)
constexpr int kSiteOpen = 460;
constexpr int kSiteClose = 477;

// A bulk read fills up to the reader's chunk; the extra room keeps a whole
// block of the largest size readable after the unread tail has been moved to
// the front.
constexpr size_t kBlockRoom = 65536;

constexpr uint8_t kSync1 = 0x24;
constexpr uint8_t kSync2 = 0x40;
constexpr size_t kFramingSize = 8;  // sync, crc, id, length

void NoteFailure(QdxReader* reader, int site) {
  if (reader->failure.site != 0) return;
  reader->failure.site = site;
  reader->failure.error = errno;
}

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
// cursor unless the file ends first; returns the number of bytes available. A
// failed read ends the input there.
size_t Ensure(QdxReader* reader, size_t need) {
  QdxInput* in = &reader->input;
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
      NoteFailure(reader, kSiteRead);
      in->eof_seen = true;
      break;
    }
    if (got == 0) {
      in->eof_seen = true;
      break;
    }
    in->length += static_cast<size_t>(got);
  }
  return in->length - in->pos;
}

bool Accepts(uint16_t number, uint16_t first_id, uint16_t second_id) {
  return first_id == kQdxAnyBlock || second_id == kQdxAnyBlock || number == first_id ||
         number == second_id;
}

}  // namespace

bool InitQdxReader(const char* path, QdxReader* reader) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    NoteFailure(reader, kSiteOpen);
    return false;
  }
  AttachQdxReader(fd, reader);
  return true;
}

void AttachQdxReader(int fd, QdxReader* reader) {
  QdxInput* in = &reader->input;
  if (in->fd >= 0) close(in->fd);  // a reader opened again drops its old file
  const size_t capacity = std::max<size_t>(reader->read_chunk, kBlockRoom) + kBlockRoom;
  std::unique_ptr<uint8_t[]> buffer = std::move(in->buffer);
  if (in->capacity != capacity) buffer.reset();
  *in = QdxInput{};
  ResetMeasDecodeState(&reader->decode);

  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  in->fd = fd;
  in->buffer = buffer ? std::move(buffer) : std::make_unique_for_overwrite<uint8_t[]>(capacity);
  in->capacity = capacity;
}

bool CloseQdxReader(QdxReader* reader) {
  QdxInput* in = &reader->input;
  if (in->fd >= 0) {
    int fd = in->fd;
    *in = QdxInput{};  // releases the buffer
    if (close(fd) != 0) NoteFailure(reader, kSiteClose);
  }
  return !QdxReaderFailed(*reader);
}

int GetNextQdxBlock(QdxReader* reader, uint8_t* buffer, uint16_t first_id, uint16_t second_id,
                    int mode) {
  QdxInput* in = &reader->input;
  if (QdxReaderFailed(*reader)) return -1;
  const int64_t start = Tell(*in);
  in->eof_seen = false;  // look again: the file may have grown since the last search
  if ((mode & 3) == 1) Seek(in, 0);
  // A walk handed every block extends the navigation copy from its frontier.
  const bool every_block = first_id == kQdxAnyBlock || second_id == kQdxAnyBlock;
  QdxNavCopy* copy = every_block && (mode & 12) != 4 ? reader->copy : nullptr;
  const int64_t search_start = Tell(*in);

  for (;;) {
    if (in->pos >= in->length && Ensure(reader, 1) == 0) {
      if (copy != nullptr) NoteNavCopyEnd(copy, search_start);
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
    size_t avail = Ensure(reader, kFramingSize);
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
      avail = Ensure(reader, length);
      block = in->buffer.get() + in->pos;
      if (avail < length) {
        ++in->pos;
        continue;
      }
    }
    // A peek followed by a walk meets the same block twice; its CRC is checked once.
    const int64_t offset = Tell(*in);
    if (!in->checked_file && offset != in->checked_offset) {
      if (!IsQdxCrcValid(block)) {
        ++in->pos;
        continue;
      }
      in->checked_offset = offset;
    }
    in->pos += length;
    if (copy != nullptr) NoteNavCopyBlock(copy, search_start, offset, block, length);
    if (!Accepts(QdxBlockNumber(block), first_id, second_id)) continue;

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
  if (fstat(reader->input.fd, &info) != 0) {
    NoteFailure(reader, kSiteFileSize);
    return 0;
  }
  return static_cast<int64_t>(info.st_size);
}

void QdxRewind(QdxReader* reader) {
  Seek(&reader->input, 0);
}

void QdxSeek(QdxReader* reader, int64_t offset) {
  Seek(&reader->input, offset < 0 ? 0 : offset);
}

}  // namespace kavrino

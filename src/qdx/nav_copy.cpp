#include "qdx/nav_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qdx/block.h"
#include "qdx/decode/meas_epoch.h"
#include "qdx/reader.h"

namespace kavrino {
namespace {

// Blocks are gathered and written in pieces of this size.
constexpr size_t kStageSize = size_t{256} << 10;

// An unlinked file in $TMPDIR (else /tmp), or -1.
int OpenTemporaryFile() {
  const char* dir = std::getenv("TMPDIR");
  if (dir == nullptr || dir[0] == '\0') dir = "/tmp";
#ifdef O_TMPFILE
  const int fd = open(dir, O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  std::string name = std::string(dir) + "/kavrino-navXXXXXX";
  const int named = mkostemp(name.data(), O_CLOEXEC);
  if (named >= 0) unlink(name.c_str());
  return named;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t put = write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

void Fail(QdxNavCopy* copy) {
  if (copy->fd >= 0) close(copy->fd);
  copy->fd = -1;
  copy->failed = true;
  copy->stage.reset();
}

// Makes the temporary file on first use; false once the copy has failed.
bool Ready(QdxNavCopy* copy) {
  if (copy->failed) return false;
  if (copy->fd >= 0) return true;
  copy->fd = OpenTemporaryFile();
  if (copy->fd < 0) {
    Fail(copy);
    return false;
  }
  copy->stage = std::make_unique_for_overwrite<uint8_t[]>(kStageSize);
  copy->staged = 0;
  return true;
}

bool Flush(QdxNavCopy* copy) {
  if (!WriteAll(copy->fd, copy->stage.get(), copy->staged)) return false;
  copy->staged = 0;
  return true;
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

void NoteNavCopyBlock(QdxNavCopy* copy, int64_t search_start, int64_t offset, const uint8_t* block,
                      uint16_t length) {
  if (copy->complete || search_start != copy->frontier || !Ready(copy)) return;
  copy->frontier = offset + length;
  if (IsNavSkippableBlock(QdxBlockNumber(block))) return;
  if (copy->staged + length > kStageSize && !Flush(copy)) {
    Fail(copy);
    return;
  }
  std::memcpy(copy->stage.get() + copy->staged, block, length);
  copy->staged += length;
}

void NoteNavCopyEnd(QdxNavCopy* copy, int64_t search_start) {
  if (copy->complete || search_start != copy->frontier || !Ready(copy)) return;
  if (!Flush(copy)) {
    Fail(copy);
    return;
  }
  copy->stage.reset();
  copy->complete = true;
}

bool IsNavCopyReady(const QdxNavCopy& copy) {
  return copy.complete && !copy.failed && copy.fd >= 0;
}

bool OpenQdxReaderOnNavCopy(const QdxNavCopy& copy, QdxReader* reader) {
  if (!IsNavCopyReady(copy)) return false;
  const int fd = fcntl(copy.fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return false;
  AttachQdxReader(fd, reader);
  reader->input.checked_file = true;  // only CRC-valid blocks went into it
  return true;
}

void CloseNavCopy(QdxNavCopy* copy) {
  if (copy->fd >= 0) close(copy->fd);
  *copy = QdxNavCopy{};
}

}  // namespace kavrino

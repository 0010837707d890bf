#include "core/out_stream.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace kavrino {
namespace {

constexpr size_t kMinBufferSize = 256;

bool AppendToString(void* context, const char* data, size_t size) {
  static_cast<std::string*>(context)->append(data, size);
  return true;
}

bool WriteToFd(void* context, const char* data, size_t size) {
  const int fd = *static_cast<int*>(context);
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void OpenOutStream(OutStream* out, ByteSink sink, size_t capacity) {
  if (capacity < kMinBufferSize) capacity = kMinBufferSize;
  out->sink = sink;
  out->buffer = std::make_unique_for_overwrite<char[]>(capacity);
  out->capacity = capacity;
  out->used = 0;
  out->failed = false;
  out->error = 0;
}

void FailOutStream(OutStream* out, int error) {
  if (out->failed) return;
  out->failed = true;
  out->error = error != 0 ? error : EIO;
}

bool FlushOutStream(OutStream* out) {
  if (out->used > 0 && !out->failed) {
    if (!out->sink.write(out->sink.context, out->buffer.get(), out->used)) {
      FailOutStream(out, errno);
    }
  }
  out->used = 0;
  return !out->failed;
}

char* ReserveOut(OutStream* out, size_t size) {
  if (size > out->capacity - out->used) {
    FlushOutStream(out);
    if (size > out->capacity) return nullptr;
  }
  // A failed stream keeps taking bytes into its buffer and dropping them.
  return out->buffer.get() + out->used;
}

void WriteLong(OutStream* out, const char* data, size_t size) {
  FlushOutStream(out);
  if (size <= out->capacity) {
    std::memcpy(out->buffer.get(), data, size);
    out->used = size;
  } else if (!out->failed && !out->sink.write(out->sink.context, data, size)) {
    FailOutStream(out, errno);
  }
}

void WriteFormat(OutStream* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t room = out->capacity - out->used;
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(out->buffer.get() + out->used, room, format, copy);
  va_end(copy);
  if (n >= 0 && static_cast<size_t>(n) < room) {
    out->used += static_cast<size_t>(n);
  } else if (n >= 0) {
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    WriteText(out, text.data(), static_cast<size_t>(n));
  } else {
    FailOutStream(out, EINVAL);
  }
  va_end(args);
}

ByteSink StringSink(std::string* text) {
  return ByteSink{text, AppendToString};
}

ByteSink FdSink(int* fd) {
  return ByteSink{fd, WriteToFd};
}

}  // namespace kavrino

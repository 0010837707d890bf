// Buffered output streams: what the RINEX writers write onto. A stream hands
// its bytes in large pieces to a sink (a file, a compressor, an encoder, a
// string in tests). Every failure is kept: once a write has failed, later
// writes are dropped and the stream reports the failure and its errno.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace kavrino {

// Takes every byte given, or returns false with errno set.
struct ByteSink {
  void* context = nullptr;
  bool (*write)(void* context, const char* data, size_t size) = nullptr;
};

inline constexpr size_t kOutStreamBufferSize = size_t{1} << 20;

struct OutStream {
  ByteSink sink;
  std::unique_ptr<char[]> buffer;
  size_t capacity = 0;
  size_t used = 0;
  bool failed = false;
  int error = 0;  // errno of the first failure
};

// Gives the stream a buffer of `capacity` bytes (at least 256) and its sink.
void OpenOutStream(OutStream* out, ByteSink sink, size_t capacity = kOutStreamBufferSize);
// Hands the buffered bytes to the sink; false when the stream has failed.
bool FlushOutStream(OutStream* out);
// Marks the stream failed with `error` unless it failed before.
void FailOutStream(OutStream* out, int error);

// Room for `size` more bytes in the buffer, flushing first when needed.
// Returns where to write them, then CommitOut(size) or fewer; null when the
// stream has failed or `size` exceeds the buffer.
char* ReserveOut(OutStream* out, size_t size);
inline void CommitOut(OutStream* out, size_t size) {
  out->used += size;
}

void WriteLong(OutStream* out, const char* data, size_t size);
inline void WriteText(OutStream* out, const char* data, size_t size) {
  if (size <= out->capacity - out->used) {
    std::memcpy(out->buffer.get() + out->used, data, size);
    out->used += size;
    return;
  }
  WriteLong(out, data, size);
}
inline void WriteText(OutStream* out, std::string_view text) {
  WriteText(out, text.data(), text.size());
}
inline void WriteChar(OutStream* out, char c) {
  if (out->used < out->capacity) {
    out->buffer[out->used++] = c;
    return;
  }
  WriteLong(out, &c, 1);
}
// printf-style formatting in the C locale, appended to the stream.
void WriteFormat(OutStream* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A sink appending to a string (tests and small in-memory texts).
ByteSink StringSink(std::string* text);
// A sink writing to a file descriptor, every byte or an error.
ByteSink FdSink(int* fd);

}  // namespace kavrino

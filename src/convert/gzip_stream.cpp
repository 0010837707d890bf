#include "convert/gzip_stream.h"

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace kavrino {
namespace {

void Fail(GzipStream* gz, int error) {
  if (gz->failed) return;
  gz->failed = true;
  gz->error = error != 0 ? error : EIO;
}

// Compresses `size` bytes into one member and hands it downstream.
bool WriteMember(GzipStream* gz, const char* data, size_t size) {
  if (gz->failed) return false;
  const size_t n = libdeflate_gzip_compress(gz->compressor.get(), data, size, gz->output.get(),
                                            gz->output_capacity);
  if (n == 0) {  // cannot happen: the buffer has the library's bound for a chunk
    Fail(gz, EIO);
    return false;
  }
  if (!gz->downstream.write(gz->downstream.context, gz->output.get(), n)) {
    Fail(gz, errno);
    return false;
  }
  ++gz->members;
  return true;
}

bool FeedGzip(void* context, const char* data, size_t size) {
  GzipStream* gz = static_cast<GzipStream*>(context);
  while (size > 0 && !gz->failed) {
    if (gz->used == 0 && size >= kGzipChunkSize) {  // a whole chunk: no copy
      WriteMember(gz, data, kGzipChunkSize);
      data += kGzipChunkSize;
      size -= kGzipChunkSize;
      continue;
    }
    const size_t take = std::min(size, kGzipChunkSize - gz->used);
    std::memcpy(gz->input.get() + gz->used, data, take);
    gz->used += take;
    data += take;
    size -= take;
    if (gz->used == kGzipChunkSize) {
      gz->used = 0;
      WriteMember(gz, gz->input.get(), kGzipChunkSize);
    }
  }
  if (gz->failed) errno = gz->error;
  return !gz->failed;
}

}  // namespace

void GzipCompressorDeleter::operator()(libdeflate_compressor* compressor) const {
  libdeflate_free_compressor(compressor);
}

bool StartGzipStream(GzipStream* gz, ByteSink downstream) {
  *gz = GzipStream{};
  gz->downstream = downstream;
  gz->compressor.reset(libdeflate_alloc_compressor(kGzipLevel));
  if (gz->compressor == nullptr) {
    Fail(gz, ENOMEM);
    errno = ENOMEM;
    return false;
  }
  gz->output_capacity = libdeflate_gzip_compress_bound(gz->compressor.get(), kGzipChunkSize);
  gz->input.reset(new (std::nothrow) char[kGzipChunkSize]);
  gz->output.reset(new (std::nothrow) char[gz->output_capacity]);
  if (gz->input == nullptr || gz->output == nullptr) {
    gz->compressor.reset();
    Fail(gz, ENOMEM);
    errno = ENOMEM;
    return false;
  }
  return true;
}

ByteSink GzipStreamSink(GzipStream* gz) {
  return ByteSink{gz, FeedGzip};
}

bool FinishGzipStream(GzipStream* gz) {
  if (gz->compressor == nullptr) {
    Fail(gz, EINVAL);  // never started, or finished before
  } else if (gz->used > 0 || gz->members == 0) {
    WriteMember(gz, gz->input.get(), gz->used);
  }
  gz->used = 0;
  gz->compressor.reset();
  gz->input.reset();
  gz->output.reset();
  if (gz->failed) errno = gz->error;
  return !gz->failed;
}

}  // namespace kavrino

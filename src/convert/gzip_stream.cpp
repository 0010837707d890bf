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

void CompressChunks(void* arg) {
  GzipWorker* w = static_cast<GzipWorker*>(arg);
  GzipStream* gz = w->stream;
  std::unique_lock<std::mutex> lock(w->mutex);
  for (;;) {
    w->changed.wait(lock, [w] { return w->busy || w->stopping; });
    if (!w->busy) return;
    lock.unlock();
    const bool written = WriteMember(gz, w->chunk.get(), kGzipChunkSize);
    lock.lock();
    if (!written && !w->failed) {
      w->failed = true;
      w->error = gz->error;
    }
    w->busy = false;
    w->changed.notify_all();
  }
}

// Waits until the thread is free; false when it failed (the failure is then
// the stream's).
bool WaitForWorker(GzipStream* gz, std::unique_lock<std::mutex>* lock) {
  GzipWorker* w = gz->worker.get();
  w->changed.wait(*lock, [w] { return !w->busy; });
  if (w->failed) Fail(gz, w->error);
  return !w->failed;
}

// A full chunk in `input`: compressed on the thread, or here without one.
void TakeFullChunk(GzipStream* gz) {
  gz->used = 0;
  GzipWorker* w = gz->worker.get();
  if (w == nullptr) {
    WriteMember(gz, gz->input.get(), kGzipChunkSize);
    return;
  }
  std::unique_lock<std::mutex> lock(w->mutex);
  if (!WaitForWorker(gz, &lock)) return;
  std::swap(gz->input, w->chunk);
  w->busy = true;
  w->changed.notify_all();
}

// Stops the thread once it has written what it was handed.
void StopWorker(GzipStream* gz) {
  GzipWorker* w = gz->worker.get();
  if (w == nullptr) return;
  {
    std::unique_lock<std::mutex> lock(w->mutex);
    WaitForWorker(gz, &lock);
    w->stopping = true;
    w->changed.notify_all();
  }
  JoinThread(&w->thread);
  gz->worker.reset();
}

bool FeedGzip(void* context, const char* data, size_t size) {
  GzipStream* gz = static_cast<GzipStream*>(context);
  while (size > 0 && !gz->failed) {
    if (gz->worker == nullptr && gz->used == 0 && size >= kGzipChunkSize) {
      WriteMember(gz, data, kGzipChunkSize);  // a whole chunk: no copy
      data += kGzipChunkSize;
      size -= kGzipChunkSize;
      continue;
    }
    const size_t take = std::min(size, kGzipChunkSize - gz->used);
    std::memcpy(gz->input.get() + gz->used, data, take);
    gz->used += take;
    data += take;
    size -= take;
    if (gz->used == kGzipChunkSize) TakeFullChunk(gz);
  }
  if (gz->failed) errno = gz->error;
  return !gz->failed;
}

}  // namespace

void GzipCompressorDeleter::operator()(libdeflate_compressor* compressor) const {
  libdeflate_free_compressor(compressor);
}

GzipWorker::~GzipWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
    changed.notify_all();
  }
  JoinThread(&thread);
}

bool StartGzipStream(GzipStream* gz, ByteSink downstream, int level) {
  *gz = GzipStream{};
  gz->downstream = downstream;
  gz->compressor.reset(libdeflate_alloc_compressor(level));
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
  auto worker = std::make_unique<GzipWorker>();
  worker->chunk.reset(new (std::nothrow) char[kGzipChunkSize]);
  if (worker->chunk != nullptr) {
    worker->stream = gz;
    gz->worker = std::move(worker);
    if (!StartThread(&gz->worker->thread, CompressChunks, gz->worker.get())) gz->worker.reset();
  }
  return true;
}

ByteSink GzipStreamSink(GzipStream* gz) {
  return ByteSink{gz, FeedGzip};
}

bool FinishGzipStream(GzipStream* gz) {
  StopWorker(gz);
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

void StopGzipStream(GzipStream* gz) {
  gz->worker.reset();  // its destructor stops the thread
}

}  // namespace kavrino

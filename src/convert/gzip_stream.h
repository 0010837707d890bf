// Gzip compression of an output stream. The bytes fed in are cut into chunks of
// kGzipChunkSize; each chunk becomes one complete gzip member, and the members
// are written one after the other onto the downstream sink. A file made of
// such members is an ordinary .gz file: every gzip reader decompresses all of
// its members in turn.
//
//   GzipStream gz;
//   StartGzipStream(&gz, FdSink(&fd));
//   OpenOutStream(&out, GzipStreamSink(&gz));
//   ... write onto out ...
//   bool ok = FlushOutStream(&out) && FinishGzipStream(&gz);
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/out_stream.h"
#include "core/thread.h"

struct libdeflate_compressor;

namespace kavrino {

// Bytes per member, and the compression levels, chosen by measuring (see
// bench/gzip_stream.cpp): daily observation texts come out 2-3 % smaller than
// with gzip -6 in about a quarter of its time, in about 1.4 MB per stream.
// Level 4 is larger than gzip -6 on plain RINEX text but 1.6-2.4 % smaller on
// Compact RINEX, a quarter faster than level 5; larger chunks gain a few
// tenths of a percent for four times the memory.
inline constexpr size_t kGzipChunkSize = size_t{256} << 10;
inline constexpr int kGzipLevel = 5;
inline constexpr int kGzipCompactRinexLevel = 4;

struct GzipCompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const;
};

// The thread that compresses and writes a full chunk while the next one is
// gathered; stopped by FinishGzipStream, or at the latest when the stream
// goes.
struct GzipStream;
struct GzipWorker {
  GzipStream* stream = nullptr;  // whose chunks it compresses
  Thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  std::unique_ptr<char[]> chunk;  // the chunk handed over
  bool busy = false;              // a chunk waits for the thread or is being written
  bool stopping = false;
  bool failed = false;
  int error = 0;
  ~GzipWorker();
};

struct GzipStream {
  ByteSink downstream;
  std::unique_ptr<libdeflate_compressor, GzipCompressorDeleter> compressor;
  std::unique_ptr<char[]> input;   // the chunk being gathered
  size_t used = 0;                 // bytes of it gathered
  std::unique_ptr<char[]> output;  // one compressed member
  size_t output_capacity = 0;
  uint64_t members = 0;  // members written
  bool failed = false;
  int error = 0;                       // errno of the first failure
  std::unique_ptr<GzipWorker> worker;  // null: every chunk is compressed as it fills
};

// Makes the compressor and its buffers, and the thread that compresses each
// full chunk while the next is gathered (without one, chunks are compressed as
// they fill); false (errno ENOMEM) when memory fails.
bool StartGzipStream(GzipStream* gz, ByteSink downstream, int level = kGzipLevel);
// The sink that feeds `gz`: takes every byte, or returns false with errno set
// once a downstream write has failed (every later write fails the same way).
ByteSink GzipStreamSink(GzipStream* gz);
// Compresses what is left as the last member (an empty stream still gets one,
// so that the output is a valid gzip file) and releases the compressor. False,
// with errno set to the first failure's, when any downstream write failed.
bool FinishGzipStream(GzipStream* gz);
// Stops the stream's thread without writing what is left (a file given up):
// nothing is written downstream after it returns.
void StopGzipStream(GzipStream* gz);

}  // namespace kavrino

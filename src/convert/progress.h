// Progress of a conversion: the walks over an input file report where they
// are to a sink that the caller provides (a terminal bar, say).
#pragma once

#include <cstdint>
#include <memory>

#include "qdx/reader.h"

namespace kavrino {

// Takes the share [from_pct, to_pct) of the whole run that the reporting walk
// owns and the walk's position in its file of `size` bytes.
struct ProgressSink {
  void* context = nullptr;
  void (*report)(void* context, int from_pct, int to_pct, int64_t position, int64_t size) = nullptr;
};

// The progress of a batch: the position (a percentage of the whole run, single
// precision) and the number of product runs it is divided into.
struct ProgressTrack {
  ProgressSink sink;  // report null: nothing is reported
  float position = 0.0f;
  float product_runs = 1.0f;
};

// The integer range [from, to) of the next run, which moves the position on
// by `share`.
struct ProgressRange {
  int from = 0;
  int to = 0;
};
ProgressRange TakeProgressShare(ProgressTrack* track, float share);
// The share of one product run of the batch.
inline float ProductShare(const ProgressTrack& track) {
  return 100.0f / track.product_runs;
}

// One walk over the blocks of a reader, from its position, reporting the
// position reached after each block handed out.
struct BlockWalk {
  QdxReader* reader = nullptr;
  std::unique_ptr<uint8_t[]> block;  // kQdxMaxBlockSize + 1 bytes
  const ProgressSink* sink = nullptr;
  ProgressRange range;
  int64_t size = 0;
  bool started = false;
};

// `sink` may be null or have no report function: nothing is reported.
void StartBlockWalk(BlockWalk* walk, QdxReader* reader, const ProgressSink* sink,
                    ProgressRange range);
// The next block of any number, or null at the end of the file.
const uint8_t* NextWalkBlock(BlockWalk* walk);

}  // namespace kavrino

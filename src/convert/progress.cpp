#include "convert/progress.h"

#include "qdx/block.h"

namespace kavrino {

ProgressRange TakeProgressShare(ProgressTrack* track, float share) {
  ProgressRange range;
  range.from = static_cast<int>(track->position);
  track->position += share;
  range.to = static_cast<int>(track->position);
  return range;
}

void StartBlockWalk(BlockWalk* walk, QdxReader* reader, const ProgressSink* sink,
                    ProgressRange range) {
  walk->reader = reader;
  if (walk->block == nullptr) walk->block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  walk->sink = sink != nullptr && sink->report != nullptr ? sink : nullptr;
  walk->range = range;
  // The file size is taken once per walk, not once per block.
  walk->size = walk->sink != nullptr ? QdxFileSize(reader) : 0;
  walk->started = false;
}

const uint8_t* NextWalkBlock(BlockWalk* walk) {
  if (walk->started && walk->sink != nullptr) {
    walk->sink->report(walk->sink->context, walk->range.from, walk->range.to, QdxTell(walk->reader),
                       walk->size);
  }
  walk->started = true;
  if (GetNextQdxBlock(walk->reader, walk->block.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) !=
      0) {
    return nullptr;
  }
  return walk->block.get();
}

}  // namespace kavrino

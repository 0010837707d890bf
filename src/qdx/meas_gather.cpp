#include "qdx/meas_gather.h"

#include "qdx/block.h"
#include "qdx/block_numbers.h"

namespace kavrino {

int AddBlockToEpoch(QdxReader* reader, const uint8_t* block, MeasEpochRecord* record,
                    int decode_mode) {
  MeasDecodeState* state = &reader->decode;
  const int result = TakeMeasBlock(state, block, record, decode_mode);
  // With nothing gathered the decode below could not produce an epoch, so the
  // look-ahead is spared.
  if (!HasPendingMeasBlocks(*state)) return result;
  uint8_t* next = state->gather.peek_block;
  if (GetNextQdxBlock(reader, next, kQdxAnyBlock, kQdxAnyBlock, kQdxModePeek) == 0 &&
      QdxBlockTow(next) == QdxBlockTow(block) && IsMeasBlockNumber(QdxBlockNumber(next))) {
    return result;  // more blocks of this epoch follow
  }
  return DecodePendingEpoch(state, record, decode_mode);
}

}  // namespace kavrino

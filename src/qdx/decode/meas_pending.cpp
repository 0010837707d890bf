// The measurement blocks of one time stamp, kept until the epoch is complete
// and then decoded together.
#include <cstring>

#include "qdx/block.h"
#include "qdx/decode/compact_meas.h"
#include "qdx/decode/meas_decode.h"

namespace kavrino {
namespace {

// A pending buffer is filled while the block id in its copy is non-zero.
bool IsFilled(const uint8_t* buffer) {
  return buffer[4] != 0 || buffer[5] != 0;
}
void Empty(uint8_t* buffer) {
  buffer[4] = 0;
  buffer[5] = 0;
}

bool AnyPendingBlock(const MeasGatherState& g) {
  for (int s = 0; s < 2; ++s) {
    if (IsFilled(g.compact_meas[s]) || IsFilled(g.compact_doppler[s]) ||
        IsFilled(g.compact_cn0[s]) || IsFilled(g.compact_signal[s]) ||
        IsFilled(g.compact_corr[s])) {
      return true;
    }
  }
  return IsFilled(g.channel_meas) || IsFilled(g.extra_info) || IsFilled(g.full_ranges);
}

void EmptyPendingBlocks(MeasGatherState* g) {
  for (int s = 0; s < 2; ++s) {
    Empty(g->compact_meas[s]);
    Empty(g->compact_doppler[s]);
    Empty(g->compact_cn0[s]);
    Empty(g->compact_signal[s]);
    Empty(g->compact_corr[s]);
  }
  Empty(g->channel_meas);
  Empty(g->extra_info);
  Empty(g->full_ranges);
}

// Stream number (0..7) of a compact block, or -1 when the block is too short to
// carry it.
int CompactStream(const uint8_t* block) {
  const size_t offset = QdxBlockNumber(block) == kCompactMeasBlock ? 18 : 14;
  if (QdxBlockLength(block) <= offset) return -1;
  return block[offset] & 0x07;
}

// Where a measurement block is gathered: its pending_mask bit and its buffer
// (nullptr for a compact block of a stream that is not kept).
struct PendingTarget {
  uint8_t bit;
  uint8_t* buffer;
  size_t capacity;
};

PendingTarget FindPendingTarget(MeasGatherState* g, const uint8_t* block) {
  const uint16_t number = QdxBlockNumber(block);
  switch (number) {
    case kChannelMeasBlock:
    case kChannelMeasVariantBlock:  // the two share one buffer; the later replaces the earlier
      return {kPendChannelMeas, g->channel_meas, kCapChannelMeas};
    case kSignalExtraInfoBlock:
      return {kPendExtraInfo, g->extra_info, kCapExtraInfo};
    case kFullPrecisionRangesBlock:
      return {kPendFullRanges, g->full_ranges, kCapFullRanges};
    default:
      break;
  }
  const int stream = CompactStream(block);
  const bool kept = stream == 0 || stream == 1;
  const int s = kept ? stream : 0;
  switch (number) {
    case kCompactMeasBlock:
      return {kPendCompactMeas, kept ? g->compact_meas[s] : nullptr, kCapCompactMeas};
    case kCompactDopplerBlock:
      return {kPendCompactDoppler, kept ? g->compact_doppler[s] : nullptr, kCapCompactDoppler};
    case kCompactCn0Block:
      return {kPendCompactCn0, kept ? g->compact_cn0[s] : nullptr, kCapCompactCn0};
    case kCompactSignalBlock:
      return {kPendCompactSignal, kept ? g->compact_signal[s] : nullptr, kCapCompactSignal};
    case kCompactCorrBlock:
      return {kPendCompactCorr, kept ? g->compact_corr[s] : nullptr, kCapCompactCorr};
    default:
      return {0, nullptr, 0};
  }
}

// Copies a measurement block into its pending buffer and marks its kind as
// pending. A block longer than its buffer is marked but not kept.
void KeepPendingBlock(MeasGatherState* g, const uint8_t* block) {
  const PendingTarget target = FindPendingTarget(g, block);
  g->pending_mask |= target.bit;
  const size_t length = QdxBlockLength(block);
  if (target.buffer != nullptr && length <= target.capacity) {
    std::memcpy(target.buffer, block, length);
  }
}

}  // namespace

void ResetMeasDecodeState(MeasDecodeState* state) {
  std::memset(static_cast<void*>(&state->gather), 0, sizeof state->gather);
  std::memset(static_cast<void*>(state->compact), 0, sizeof state->compact);
  state->gather.current_tow = 0xFFFFFFFFu;
  state->gather.last_decoded_tow = 0xFFFFFFFFu;
  for (CompactRefState& ref : state->compact) ref.reference_tow = 0xFFFFFFFFu;
  state->deltas_without_reference = 0;
}

int DecodePendingEpoch(MeasDecodeState* state, MeasEpochRecord* record, int decode_mode) {
  MeasGatherState& g = state->gather;
  int result = 0;
  const bool new_epoch = g.current_tow != g.last_decoded_tow;
  if ((decode_mode & kDecodeCompact) != 0 && IsFilled(g.compact_meas[0]) && new_epoch) {
    DecodeCompactEpoch(state, record);
    g.last_decoded_tow = g.current_tow;
    result = 1;
  } else if ((decode_mode & kDecodeClassic) != 0 && IsFilled(g.channel_meas) && new_epoch) {
    DecodeChannelMeasurements(g.channel_meas, record, (decode_mode & kDecodeRangesOnly) != 0);
    if (IsFilled(g.extra_info) && (decode_mode & kDecodeNoExtraInfo) == 0)
      ApplySignalExtraInfo(g.extra_info, kCapExtraInfo, record);
    if (IsFilled(g.full_ranges)) ApplyFullPrecisionRanges(g.full_ranges, kCapFullRanges, record);
    g.last_decoded_tow = g.current_tow;
    result = 1;
  }
  EmptyPendingBlocks(&g);
  return result;
}

int TakeMeasBlock(MeasDecodeState* state, const uint8_t* block, MeasEpochRecord* record,
                  int decode_mode) {
  MeasGatherState& g = state->gather;
  const uint32_t tow = QdxBlockTow(block);
  const bool measurement = IsMeasBlockNumber(QdxBlockNumber(block));
  int result = 0;
  if (!(tow == g.current_tow && measurement) && g.pending_mask != 0) {
    result = DecodePendingEpoch(state, record, decode_mode);
    g.pending_mask = 0;
  }
  g.current_tow = tow;
  if (measurement) KeepPendingBlock(&g, block);
  return result;
}

bool HasPendingMeasBlocks(const MeasDecodeState& state) {
  return AnyPendingBlock(state.gather);
}

}  // namespace kavrino

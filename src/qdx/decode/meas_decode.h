// Measurement epochs: gathering the blocks of one time stamp and decoding the
// classic measurement family into a MeasEpochRecord.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qdx/decode/compact_state.h"
#include "qdx/decode/meas_epoch.h"

namespace kavrino {

// Bits of decode_mode.
inline constexpr int kDecodeCompact = 1;  // the compact family (4109..4113) may be used
inline constexpr int kDecodeClassic = 2;  // the classic family (4027/5944, 4000, 4098) may be used
// Lock times and C/N0 are not needed (the observation pre-pass): SignalExtraInfo
// blocks, which refine nothing else, are not applied.
inline constexpr int kDecodeNoExtraInfo = 4;
// Only which satellites and signals have a pseudorange is needed (the
// observation pre-pass as well): classic blocks leave carrier phase, Doppler,
// C/N0 and lock time absent.
inline constexpr int kDecodeRangesOnly = 8;

// What decoding carries from block to block of one walk: the blocks gathered
// for the current time stamp and the compact reference state of streams 0 and 1.
struct MeasDecodeState {
  MeasGatherState gather;
  CompactRefState compact[2];
  // Compact delta epochs met while their stream had no reference epoch yet
  // (a walk that starts in the middle of a file tells by it whether it decoded
  // everything that a walk from the start would have).
  uint32_t deltas_without_reference = 0;
};

// Empties the state for a new walk.
void ResetMeasDecodeState(MeasDecodeState* state);

// Takes one block (any kind) of a walk. A new time stamp, or a block of
// another kind at the same one, first closes the epoch gathered so far:
// returns 1 when that put a completed epoch into `record`, else 0. A
// measurement block is then kept for the epoch of its time stamp.
int TakeMeasBlock(MeasDecodeState* state, const uint8_t* block, MeasEpochRecord* record,
                  int decode_mode);

// Whether blocks are gathered for an epoch not yet decoded.
bool HasPendingMeasBlocks(const MeasDecodeState& state);

// Decodes the gathered blocks into `record` and empties every pending buffer.
// Returns 1 when it produced a record (which may hold no satellites).
int DecodePendingEpoch(MeasDecodeState* state, MeasEpochRecord* record, int decode_mode);

// Decodes a ChannelMeasurements (4027) or ChannelMeasurementsVariant (5944)
// block into `record`, which is cleared first. The block must lie wholly in
// readable memory (its length field is trusted; every sub-block is bounded by it).
// With `ranges_only`, every stored signal has its pseudorange and no other value.
void DecodeChannelMeasurements(const uint8_t* block, MeasEpochRecord* record,
                               bool ranges_only = false);

// Refines a decoded record with a SignalExtraInfo (4000) block: lock times and,
// from revision 3, C/N0 fractions. The block is rewritten in place inside its
// buffer of `capacity` bytes: cut behind its last whole sub-block, sub-blocks
// brought to 16 bytes. A block whose rewritten form would not fit is ignored.
void ApplySignalExtraInfo(uint8_t* block, size_t capacity, MeasEpochRecord* record);

// Refines a decoded record with a FullPrecisionRanges (4098) block:
// pseudoranges, carrier phases and, from revision 1, C/N0. Rewritten in place
// like the SignalExtraInfo block, with sub-blocks of 20 bytes.
void ApplyFullPrecisionRanges(uint8_t* block, size_t capacity, MeasEpochRecord* record);

}  // namespace kavrino

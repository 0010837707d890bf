// SignalExtraInfo (4000) and FullPrecisionRanges (4098): per-signal
// refinements of an epoch already decoded from a ChannelMeasurements block.
#include <cmath>
#include <cstring>

#include "core/signals.h"
#include "qdx/block.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/decode/meas_fields.h"

namespace kavrino {
namespace {

constexpr size_t kFirstSubBlock = 20;
constexpr uint32_t kExtraInfoElement = 16;
constexpr uint32_t kFullRangesElement = 20;

// Brings the sub-block array of a refinement block to `element` bytes per
// sub-block, so that sub-block k starts at 20 + element * k. Sub-blocks that
// do not lie wholly inside the block are dropped, and the block is cut behind
// its last whole sub-block. Returns the number of usable sub-blocks (0 when
// there are none or the rewritten array would not fit in the buffer) and the
// declared sub-block size, beyond which no field may be read.
uint32_t NormaliseSubBlocks(uint8_t* block, size_t capacity, uint32_t element,
                            uint32_t* declared_size) {
  const size_t length = QdxBlockLength(block);
  *declared_size = 0;
  if (length < kFirstSubBlock || length > capacity) return 0;
  uint32_t count = block[14];
  const uint32_t size = block[15];
  if (count == 0 || size == 0) return 0;
  const uint32_t whole = static_cast<uint32_t>((length - kFirstSubBlock) / size);
  if (count > whole) count = whole;
  if (count == 0) return 0;
  const size_t used = kFirstSubBlock + static_cast<size_t>(count) * size;
  block[6] = static_cast<uint8_t>(used & 0xFF);
  block[7] = static_cast<uint8_t>(used >> 8);
  if (size != element && !ResizeQdxSubBlocks(block, capacity, count, size, element)) return 0;
  *declared_size = size;
  return count;
}

// The first satellite entry of every receiver channel: a refinement block has
// a sub-block per signal, and a search of the entries for each would cost
// satellites x signals per epoch.
struct ChannelIndex {
  uint8_t first_entry[256];  // entry number + 1; 0: no entry on the channel
};

void BuildChannelIndex(const MeasEpochRecord& record, ChannelIndex* index) {
  std::memset(index->first_entry, 0, sizeof index->first_entry);
  const uint32_t sats = record.num_sats < kMaxEpochSats ? record.num_sats : kMaxEpochSats;
  for (uint32_t i = sats; i-- > 0;) {
    index->first_entry[record.sats[i].channel] = static_cast<uint8_t>(i + 1);
  }
}

// The filled slot of `signal` on `antenna` in the first satellite entry whose
// channel is the receiver channel `channel_byte` (counted from 1), or nullptr.
MeasSignal* FindSignalByChannel(MeasEpochRecord* record, const ChannelIndex& index,
                                uint8_t channel_byte, int antenna, int signal) {
  if (antenna < 0 || antenna >= kMaxAntennas || channel_byte == 0) return nullptr;
  const uint8_t entry = index.first_entry[channel_byte - 1];
  if (entry == 0) return nullptr;
  for (MeasSignal& slot : record->sats[entry - 1].sig[antenna]) {
    if (slot.flags != 0 && slot.signal_type == signal) return &slot;
  }
  return nullptr;
}

}  // namespace

void ApplySignalExtraInfo(uint8_t* block, size_t capacity, MeasEpochRecord* record) {
  uint32_t size = 0;
  const uint32_t count = NormaliseSubBlocks(block, capacity, kExtraInfoElement, &size);
  if (size < 2) return;  // no channel and signal fields
  const bool has_lock_time = size >= 12;
  const bool has_info = size >= 16;  // byte 15: C/N0 fraction, extended signal number
  const bool cn0_fraction = QdxBlockId(block) >= 0x6000;  // revision 3 and later
  ChannelIndex index;
  BuildChannelIndex(*record, &index);
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* e = block + kFirstSubBlock + kExtraInfoElement * k;
    int signal = e[1] & 0x1F;
    if (signal == 31) {
      if (!has_info) continue;
      signal = (e[15] >> 3) + 32;
    }
    MeasSignal* sig = FindSignalByChannel(record, index, e[0], e[1] >> 5, signal);
    if (sig == nullptr) continue;
    if (has_lock_time) sig->lock_time_ms = ClassicLockTimeMs(ReadU16(e + 10), 65535);
    if (cn0_fraction && has_info) sig->cn0_dbhz += static_cast<float>(e[15] & 0x07) / 32.0f;
  }
}

void ApplyFullPrecisionRanges(uint8_t* block, size_t capacity, MeasEpochRecord* record) {
  uint32_t size = 0;
  const uint32_t count = NormaliseSubBlocks(block, capacity, kFullRangesElement, &size);
  if (size < 16) return;  // no pseudorange and carrier pair
  const bool has_cn0 = size >= 18 && QdxBlockRevision(block) >= 1;
  ChannelIndex index;
  BuildChannelIndex(*record, &index);
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* e = block + kFirstSubBlock + kFullRangesElement * k;
    const int signal = e[1];
    MeasSignal* sig = FindSignalByChannel(record, index, e[0], e[3] >> 5, signal);
    if (sig == nullptr) continue;
    const double pseudorange = ReadF64(e + 4);
    const double carrier_minus_range = ReadF32(e + 12);
    if (!std::isfinite(pseudorange) || !std::isfinite(carrier_minus_range)) continue;
    const int glo_k = (e[3] & 0x1F) - 8;
    sig->pseudorange_m = pseudorange;
    sig->carrier_cycles = (pseudorange + carrier_minus_range) /
                          SignalWavelength(static_cast<uint32_t>(signal), glo_k);
    if (has_cn0) sig->cn0_dbhz = static_cast<float>(ReadI16(e + 16) / 100.0);
  }
}

}  // namespace kavrino

// One decoded measurement epoch, and the state that gathers its blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qdx/block.h"
#include "qdx/block_numbers.h"

namespace kavrino {

inline constexpr double MEAS_ABSENT = -2.0e10;
inline constexpr double kMeasPresentThreshold = -1.0e10;
inline bool IsMeasPresent(double value) {
  return value > kMeasPresentThreshold;
}

inline constexpr uint8_t SIG_FLAG_FILLED = 0x80;
inline constexpr uint8_t SIG_FLAG_NO_PHASE = 0x04;

inline constexpr int kMaxEpochSats = 80;
inline constexpr int kMaxAntennas = 2;
inline constexpr int kSignalSlots = 7;

struct MeasSignal {
  double pseudorange_m;
  double carrier_cycles;
  float doppler_hz;
  float cn0_dbhz;
  uint32_t lock_time_ms;  // 0 = unknown; a reported 0 s is stored as 10
  uint8_t signal_type;
  uint8_t flags;  // SIG_FLAG_FILLED, SIG_FLAG_NO_PHASE; 0 = empty slot
};

struct MeasSatEntry {
  uint8_t channel;
  uint8_t sat_index;
  uint8_t glo_freq;  // GLONASS frequency number + 8; 0 for other systems
  MeasSignal sig[kMaxAntennas][kSignalSlots];
};

// Makes an entry empty for every reader. Readers look at a slot's values only
// when its flags are set, so the values of earlier epochs may stay: clearing
// the whole 452-byte entry for each satellite of each epoch was a large part
// of decoding.
inline void ClearMeasSatEntry(MeasSatEntry* sat) {
  sat->channel = 0;
  sat->sat_index = 0;
  sat->glo_freq = 0;
  for (auto& antenna : sat->sig) {
    for (MeasSignal& slot : antenna) slot.flags = 0;
  }
}

struct MeasEpochRecord {
  uint32_t tow_ms;
  uint16_t week;
  uint32_t num_sats;
  MeasSatEntry sats[kMaxEpochSats];
};

// Pending-block kinds gathered for one time stamp (bits of pending_mask).
inline constexpr uint8_t kPendCompactMeas = 0x01;     // 4109
inline constexpr uint8_t kPendCompactDoppler = 0x02;  // 4111
inline constexpr uint8_t kPendCompactCn0 = 0x04;      // 4110
inline constexpr uint8_t kPendCompactSignal = 0x08;   // 4112
inline constexpr uint8_t kPendCompactCorr = 0x10;     // 4113
inline constexpr uint8_t kPendChannelMeas = 0x20;     // 4027 or 5944
inline constexpr uint8_t kPendExtraInfo = 0x40;       // 4000
inline constexpr uint8_t kPendFullRanges = 0x80;      // 4098

// Capacities of the pending buffers, in bytes.
inline constexpr size_t kCapCompactMeas = 32788;
inline constexpr size_t kCapCompactDoppler = 2064;
inline constexpr size_t kCapCompactCn0 = 1040;
inline constexpr size_t kCapCompactSignal = 2064;
inline constexpr size_t kCapCompactCorr = 2064;
inline constexpr size_t kCapChannelMeas = 14276;
inline constexpr size_t kCapExtraInfo = 10388;
inline constexpr size_t kCapFullRanges = 12980;

// A pending buffer counts as filled while the block id in its copy is non-zero.
struct MeasGatherState {
  uint32_t current_tow = 0xFFFFFFFFu;
  uint32_t last_decoded_tow = 0xFFFFFFFFu;
  uint8_t pending_mask = 0;
  uint8_t compact_meas[2][kCapCompactMeas];
  uint8_t compact_doppler[2][kCapCompactDoppler];
  uint8_t compact_cn0[2][kCapCompactCn0];
  uint8_t compact_signal[2][kCapCompactSignal];
  uint8_t compact_corr[2][kCapCompactCorr];
  uint8_t channel_meas[kCapChannelMeas];
  uint8_t extra_info[kCapExtraInfo];
  uint8_t full_ranges[kCapFullRanges];
  // Look-ahead copy of the next block of the file (completion rule).
  uint8_t peek_block[kQdxMaxBlockSize];
};

}  // namespace kavrino

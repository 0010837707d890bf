// What the first pass over a QDX file learns for its observation file, and the
// current site state during the second pass.
#pragma once

#include <cstdint>

#include "qdx/decode/meas_epoch.h"
#include "rinex/obs/obs_events.h"
#include "rinex/obs/obs_types.h"

namespace kavrino {

inline constexpr int kGloSlotCount = 30;         // GLONASS slots 1..30
inline constexpr int8_t kGloFreqUnknown = -128;  // unknown or contradictory frequency number

struct ObsFileSummary {
  uint32_t epochs_written = 0;    // second pass: epochs written so far
  ObsTypeLayout layout{};         // built by the generator from the -I/-E mask
  ObsSite site;                   // the station; the generator fills the setup defaults
  uint8_t moving = 0;             // 1 once a position block showed a speed above 1 m/s
  uint64_t seen_signal_mask = 0;  // bit n: signal n carried a usable pseudorange
  uint8_t sat_seen[256] = {};     // by SatIndex: listed in a counted epoch
  int8_t glo_slot_freq[kGloSlotCount] = {
      -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128,
      -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128};
  uint8_t glo_slot_known[kGloSlotCount] = {};  // 1 once a frequency number was seen
  uint32_t data_interval_ms = 0;  // smallest spacing of consecutive counted epochs; 0 = unknown
  int64_t first_epoch_ms = 0;     // 0 = none
  int64_t last_epoch_ms = 0;      // 0 = none
};

}  // namespace kavrino

// Observation epoch records: the epoch line and the satellite observation
// lines of one measurement epoch, in the RINEX 2 and RINEX 3 layouts, and the
// two queries the observation generator asks of an epoch before the header.
#pragma once

#include <cstdint>

#include "core/out_stream.h"
#include "qdx/decode/meas_epoch.h"
#include "rinex/format.h"
#include "rinex/obs/obs_types.h"

namespace kavrino {

// Per satellite index and signal slot: the tow_ms of the last update and the
// lock time seen then. The history the loss-of-lock indicator is derived from,
// one per observation file.
struct LockTimeEntry {
  uint32_t tow_ms;
  uint32_t lock_time_ms;
};
struct LockHistory {
  LockTimeEntry entries[256][kSignalSlots];
};

// What every epoch record of one file is written with.
struct ObsRecordContext {
  const ObsTypeLayout* layout = nullptr;
  uint32_t antenna = 1;  // 1-based; only 1 and 2 select slots
  LockHistory* history = nullptr;
};

// Number of satellites of the epoch that get an observation line, in record
// order. Their indices go to `sat_indices` and, when `glo_freqs` is not null,
// their frequency bytes to `glo_freqs`; both arrays must hold kMaxEpochSats.
// `antenna` is the 1-based antenna number; only 1 and 2 select slots.
int CountEpochSatellites(const MeasEpochRecord& epoch, const ObsTypeLayout& layout,
                         uint32_t antenna, uint8_t* sat_indices, uint8_t* glo_freqs);

// Bit n set for every signal number n that has a code column in the layout and
// a usable pseudorange on the selected antenna of some satellite (index 68 left
// out).
uint64_t GetEpochSignalMask(const MeasEpochRecord& epoch, const ObsTypeLayout& layout,
                            uint32_t antenna);

// Writes one observation epoch. `first_epoch` is true for the first epoch of an
// observation file; it clears the loss-of-lock history. An epoch without any
// satellite to write produces no text.
void WriteObsEpoch(OutStream* out, const ObsRecordContext& context, const MeasEpochRecord& epoch,
                   bool first_epoch);

}  // namespace kavrino

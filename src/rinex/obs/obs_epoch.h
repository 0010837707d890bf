// Observation epoch records: the epoch line and the satellite observation
// lines of one measurement epoch, in the RINEX 2 and RINEX 3 layouts, and the
// two queries the observation generator asks of an epoch before the header.
#pragma once

#include <cstdint>
#include <cstdio>

#include "qdx/decode/meas_epoch.h"
#include "rinex/obs/obs_types.h"

namespace kavrino {

// Writes the three-character RINEX satellite identifier ("G05", "R12", ...)
// and a terminator into `out`. Returns false, and writes "???", for an index
// without a RINEX identifier (GPS 33..37, 68, 69, L-band, unused ranges).
bool RinexSatId(uint8_t sat_index, char out[4]);

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
// observation file; it clears the loss-of-lock history. Write failures are not
// reported. An epoch without any satellite to write produces no text.
void WriteObsEpoch(FILE* out, const ObsTypeLayout& layout, const MeasEpochRecord& epoch,
                   uint32_t antenna, bool first_epoch);

}  // namespace kavrino

// Measurement epochs from a walk over a reader: the blocks of one time stamp
// are gathered, and the epoch is decoded once the next block of the file no
// longer belongs to it.
#pragma once

#include <cstdint>

#include "qdx/decode/meas_decode.h"
#include "qdx/reader.h"

namespace kavrino {

// Adds one block (any kind) read from `reader` to the epoch being gathered.
// Returns 1 when `record` now holds a completed epoch, else 0. Peeks at the
// next block of the reader to decide whether the epoch is complete.
int AddBlockToEpoch(QdxReader* reader, const uint8_t* block, MeasEpochRecord* record,
                    int decode_mode);

}  // namespace kavrino

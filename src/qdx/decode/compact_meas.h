// Decoding of the compact measurement family (4109 with its companions 4110..4113).
#pragma once

#include "qdx/decode/meas_epoch.h"
#include "qdx/reader.h"

namespace kavrino {

// Decodes the pending compact blocks of streams 0 and 1 of `reader` into
// `record`, which it clears first. Called only while a stream-0
// CompactMeasurements block is pending.
void DecodeCompactEpoch(QdxReader* reader, MeasEpochRecord* record);

}  // namespace kavrino

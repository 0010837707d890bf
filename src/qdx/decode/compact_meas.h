// Decoding of the compact measurement family (4109 with its companions 4110..4113).
#pragma once

#include "qdx/decode/meas_decode.h"

namespace kavrino {

// Decodes the pending compact blocks of streams 0 and 1 of `state` into
// `record`, which it clears first. Called only while a stream-0
// CompactMeasurements block is pending.
void DecodeCompactEpoch(MeasDecodeState* state, MeasEpochRecord* record);

// Whether a CompactMeasurements block is that of a reference epoch of its
// stream, which is decoded without anything earlier in the file.
bool IsCompactReferenceEpoch(const uint8_t* block);

}  // namespace kavrino

// Pre-scans of an input file that locate its data in time.
#pragma once

#include <cstdint>

#include "convert/options.h"
#include "qdx/reader.h"

namespace kavrino {

// Block time (ms) of the first block with a valid time stamp that is a data
// block and lies in the window: at or after its start (a time of day or -1
// does not limit) and at or before its end (a time of day counts as no end).
// 0 when there is none. A failure of the system is noted in `failure`.
int64_t FindFirstDataEpoch(const char* path, const TimeWindow& window, QdxReadFailure* failure);

// Time span in whole seconds of the data of a file, for the period field of
// long names: from the first data block inside the window (as above) to the
// last block of the file with a valid time stamp, plus one measurement
// interval (the difference between the first two measurement times in the
// window). 4294967295 (unknown) when the window holds no data block or the
// span does not fit 32 bits.
uint32_t MeasureDataSpan(const char* path, const TimeWindow& window, QdxReadFailure* failure);

}  // namespace kavrino

// Pre-scans of an input file that locate its data in time.
#pragma once

#include <cstdint>

namespace kavrino {

// Block time (ms) of the first block with a valid time stamp that is a data
// block and lies in the window: at or after `start_ms` (a time of day or -1
// does not limit) and at or before `end_ms` (a time of day counts as no end).
// 0 when there is none.
int64_t FindFirstDataEpoch(const char* path, int64_t start_ms, int64_t end_ms);

// Time span in whole seconds of the data of a file, for the period field of
// long names: from the first data block inside the window (as above) to the
// last block of the file with a valid time stamp, plus one measurement
// interval (the difference between the first two measurement times in the
// window). 4294967295 (unknown) when the window holds no data block or the
// span does not fit 32 bits.
uint32_t MeasureDataSpan(const char* path, int64_t start_ms, int64_t end_ms);

}  // namespace kavrino

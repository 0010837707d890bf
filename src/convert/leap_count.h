// The GPS-UTC leap-second count of a navigation file's data, for the GLONASS
// and mixed navigation headers.
#pragma once

#include <cstdint>

namespace kavrino {

struct QdxReader;

// The current leap-second count of the first GalUtcParams or GpsUtcParams block
// from the reader's position (the position is left unchanged). Without such a
// block, the count of the built-in table at first_epoch_ms (block time); -128
// when the epoch lies before the first leap second or after 2019.
int8_t GetLeapCount(QdxReader* reader, int64_t first_epoch_ms);

// The built-in table alone: the count in force after `gps_seconds` (whole GPS
// seconds), -128 at or before the first threshold and after 2019-12-31 23:59:59.
int8_t LeapCountFromTable(int64_t gps_seconds);

}  // namespace kavrino

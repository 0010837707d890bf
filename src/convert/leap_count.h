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

}  // namespace kavrino

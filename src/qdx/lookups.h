// Searches ahead in a reader that leave its position as it was: the station
// description and the leap-second count of a file.
#pragma once

#include <cstdint>

#include "qdx/decode/receiver_setup.h"
#include "qdx/reader.h"

namespace kavrino {

// Fills the defaults, then overlays the first ReceiverSetup block found from the
// reader's position.
void ReadReceiverSetup(QdxReader* reader, ReceiverSetupRecord* record);

// The current leap-second count of the first GalUtcParams or GpsUtcParams block
// from the reader's position. Without such a block, the count of the built-in
// table at first_epoch_ms (block time).
int8_t GetLeapCount(QdxReader* reader, int64_t first_epoch_ms);

}  // namespace kavrino

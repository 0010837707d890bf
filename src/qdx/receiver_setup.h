// The receiver setup record: the first 424 bytes of the ReceiverSetup block laid
// over defaults.
#pragma once

#include <cstdint>
#include <string>

namespace kavrino {

struct QdxReader;

inline constexpr uint16_t kReceiverSetupBlock = 5902;
inline constexpr size_t kReceiverSetupSize = 424;

struct ReceiverSetupRecord {
  uint8_t bytes[kReceiverSetupSize];
};

// Fills the defaults, then overlays the first ReceiverSetup block found from the
// reader's position (peek: the position is unchanged).
void ReadReceiverSetup(QdxReader* reader, ReceiverSetupRecord* record);
void SetReceiverSetupDefaults(ReceiverSetupRecord* record);
// Overlays a block (at most its length, at most 424 bytes) onto the record.
void OverlayReceiverSetup(const uint8_t* block, ReceiverSetupRecord* record);

}  // namespace kavrino

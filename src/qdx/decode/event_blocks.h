// ExternalEvent and ItemCollected blocks.
#pragma once

#include <cstdint>

namespace kavrino {

struct ExternalEvent {
  int source = 0;
  double seconds_of_week = 0;  // the block's time of week and the event's offset from it
};
// False when the block is too short for its fields.
bool DecodeExternalEvent(const uint8_t* block, ExternalEvent* event);

// The item number of an ItemCollected block; false when the block is too short
// or does not mark a collected item.
bool DecodeItemCollected(const uint8_t* block, uint64_t* item);

}  // namespace kavrino

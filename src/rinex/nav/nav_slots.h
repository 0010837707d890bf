// Correction parameter slots of a navigation product: the last ionosphere and
// time-offset blocks the generators met, kept for the header written at the
// end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qdx/block.h"
#include "qdx/block_numbers.h"

namespace kavrino {

// A slot holds block bytes from offset kNavSlotFirstOffset (the time stamp) on.
inline constexpr size_t kNavSlotFirstOffset = 8;
inline constexpr size_t kNavSlotCapacity = 40;

// End (one past the last byte) of the part of each block that is kept.
inline constexpr size_t kGpsIonosphereSlotEnd = 48;
inline constexpr size_t kGpsUtcParamsSlotEnd = 40;
inline constexpr size_t kGalIonosphereSlotEnd = 32;
inline constexpr size_t kGalUtcParamsSlotEnd = 40;
inline constexpr size_t kGalGpsTimeOffsetSlotEnd = 32;

struct NavSlot {
  bool present = false;                  // the copied satellite byte is non-zero
  uint8_t bytes[kNavSlotCapacity] = {};  // block offsets 8 .. 8 + kNavSlotCapacity - 1
};

struct NavCorrectionSlots {
  NavSlot gps_utc;
  NavSlot gps_iono;
  NavSlot gal_utc;
  NavSlot gal_iono;
  NavSlot gal_gps_offset;
};

// Field of a stored block by its block offset (kNavSlotFirstOffset or more).
inline const uint8_t* NavSlotField(const NavSlot& slot, size_t block_offset) {
  return slot.bytes + (block_offset - kNavSlotFirstOffset);
}

// Replaces the slot with block offsets 8 .. end_offset - 1 of `block`. A block
// too short to hold them leaves the slot as it was and gives false.
inline bool StoreNavSlot(NavSlot* slot, const uint8_t* block, size_t end_offset) {
  if (end_offset > kNavSlotFirstOffset + kNavSlotCapacity || QdxBlockLength(block) < end_offset) {
    return false;
  }
  const size_t count = end_offset - kNavSlotFirstOffset;
  std::memcpy(slot->bytes, block + kNavSlotFirstOffset, count);
  std::memset(slot->bytes + count, 0, kNavSlotCapacity - count);
  slot->present = block[14] != 0;
  return true;
}

inline void ClearNavSlotMarks(NavCorrectionSlots* slots) {
  slots->gps_utc.present = false;
  slots->gps_iono.present = false;
  slots->gal_utc.present = false;
  slots->gal_iono.present = false;
  slots->gal_gps_offset.present = false;
}

}  // namespace kavrino

// Field rules shared by the classic measurement decoders (4027/5944, 4000, 4098).
#pragma once

#include <cstdint>

#include "core/signals.h"
#include "qdx/decode/meas_epoch.h"

namespace kavrino {

// Signal number of a type byte (bits 0..4); 31 means the number is extended
// and is 32 plus bits 3..7 of the sub-block's info byte.
inline int ClassicSignalNumber(uint8_t type_byte, uint8_t info_byte) {
  const int signal = type_byte & 0x1F;
  return signal == 31 ? (info_byte >> 3) + 32 : signal;
}

// Lock time in ms from a count of seconds: `unknown` gives 0 (not known), 0 s
// gives 10 ms so that a fresh lock still counts as known.
inline uint32_t ClassicLockTimeMs(uint32_t seconds, uint32_t unknown) {
  if (seconds == unknown) return 0;
  if (seconds == 0) return 10;
  return seconds * 1000u;
}

// The slot of a signal that may be stored in a record, or -1 for a signal
// without a slot (31, above 33) or an antenna the record does not keep.
inline int StorableSlot(int signal, int antenna) {
  if (signal < 0 || signal > 33 || signal == 31) return -1;
  if (antenna < 0 || antenna >= kMaxAntennas) return -1;
  const int slot = GetSignalIndexInConstellation(signal);
  return slot >= 0 && slot < kSignalSlots ? slot : -1;
}

}  // namespace kavrino

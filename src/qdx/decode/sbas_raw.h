// Raw SBAS messages: SbasRawL1, SbasRawL5 and SbasRawLegacy.
#pragma once

#include <cstdint>

namespace kavrino {

// Message words of one raw SBAS message: 250 bits, first bit in the most
// significant bit of words[0]; the last 6 bits of words[7] are not message bits.
inline constexpr int kSbasMessageWords = 8;

struct SbasRawMessage {
  bool legacy = false;  // SbasRawLegacy: L1, no CRC flag
  bool l5 = false;      // SbasRawL5
  uint8_t svid = 0;
  bool crc_passed = false;  // L1 and L5 only
  uint32_t words[kSbasMessageWords] = {};
};

// False for a block of another number or too short for its message.
bool DecodeSbasRawMessage(const uint8_t* block, SbasRawMessage* message);

}  // namespace kavrino

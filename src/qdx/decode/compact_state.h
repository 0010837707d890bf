// Reference state of the compact measurement family, one per stream. A
// reference epoch clears and refills it; the delta epochs up to the next
// reference epoch are decoded against it. All-zero bytes are a valid empty
// state (the reader clears it with memset and then marks the reference time
// as unknown).
#pragma once

#include <cstdint>

namespace kavrino {

inline constexpr int kCompactConstellations = 7;
inline constexpr int kCompactSatBits = 64;  // satellites per compact constellation
inline constexpr int kCompactSignals = 16;  // compact signal indexes per satellite
inline constexpr int kCompactMaxSlaves = 15;
// The longest constellation header the format can carry: H0, an 8-byte
// satellite mask, 32 bytes of GLONASS frequency nibbles (64 satellites) and the
// exclusion byte. The whole header is kept, so a later sub-block that refers to
// it never finds it cut.
inline constexpr int kCompactHeaderMax = 48;

// One signal as received at the reference epoch.
struct CompactRefSignal {
  double pseudorange_m;
  double carrier_cycles;
  float cn0_dbhz;  // without the fraction of the CompactCn0Fraction block
  uint32_t lock_time_ms;
  uint8_t flags;
};

// The shape of one satellite's records at the reference epoch.
struct CompactRefSat {
  int16_t range_rate;  // units of 64 mm/s; 0 when the records carry none
  uint16_t slave_mask;
  uint8_t master;  // compact signal index of the master signal
  uint8_t num_slaves;
  uint8_t slaves[kCompactMaxSlaves];  // compact signal indexes in decoding order
  uint16_t sig_used;                  // signal indexes whose entries of `sig` may be non-zero
};

struct CompactRefState {
  uint32_t reference_tow = 0xFFFFFFFFu;           // no reference epoch yet
  uint8_t header_length[kCompactConstellations];  // 0: no header kept
  uint8_t header[kCompactConstellations][kCompactHeaderMax];
  CompactRefSat sats[kCompactConstellations][kCompactSatBits];
  CompactRefSignal sig[kCompactConstellations][kCompactSatBits][kCompactSignals];
  // Satellite bits whose entries of `sats` and `sig` may be non-zero: a new
  // reference epoch clears only those, and of `sig` only the signals in the
  // satellite's `sig_used` (the whole state is some 240 KB).
  uint64_t used_bits[kCompactConstellations];
};

}  // namespace kavrino

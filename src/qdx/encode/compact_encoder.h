// Test support: writes measurement epochs as compact blocks (4109 with its
// companions 4110..4113), choosing record kinds as a receiver would: full
// records at reference epochs, delta records where the values fit, standalone
// records where they are shorter, full records otherwise.
#pragma once

#include <cstdint>
#include <vector>

#include "qdx/decode/compact_state.h"
#include "qdx/decode/meas_epoch.h"

namespace kavrino::test {

// Record kinds, for forcing a kind and for counting the kinds written.
enum CompactKind : int {
  kCompactAuto = -1,
  kMasterFull = 0,
  kMasterStandalone,
  kMasterShortDelta,
  kMasterLongDelta,
  kSlaveFull,
  kSlaveStandalone,
  kSlaveDelta,
  kCompactKindCount
};

struct CompactEncoderOptions {
  uint8_t interval_code = 2;       // reference interval code (2: 1000 ms)
  bool rate_flag = true;           // master records carry a range rate
  bool doppler = true;             // write 4111
  bool cn0_fraction = true;        // write 4110
  bool extras = false;             // write 4112 and 4113 (carried but not decoded)
  bool exclusion = false;          // drop the unused signal positions 0..7 from the lists
  int master_kind = kCompactAuto;  // preferred kind where it fits
  int slave_kind = kCompactAuto;
};

// One satellite: its signals in any order (signal_type, values, and
// SIG_FLAG_NO_PHASE in flags); absent values hold MEAS_ABSENT.
struct CompactSatInput {
  uint8_t sat_index = 0;
  int glo_k = 0;
  std::vector<MeasSignal> sigs;
};

// What the decoder will hold; one per stream, kept across epochs.
struct CompactEncoderState {
  CompactRefState ref;  // mirrors the decoder's reference state
  uint8_t kept_header_length[kCompactConstellations] = {};
  uint8_t kept_header[kCompactConstellations][kCompactHeaderMax] = {};
  uint64_t kinds[kCompactKindCount] = {};  // records written per kind
  uint64_t unfit = 0;                      // values that no record could carry
  CompactEncoderState();
};

// The blocks of one epoch of one stream (4109 first, then the companions).
std::vector<std::vector<uint8_t>> EncodeCompactEpoch(uint32_t tow_ms, uint16_t week, int stream,
                                                     const std::vector<CompactSatInput>& sats,
                                                     const CompactEncoderOptions& options,
                                                     CompactEncoderState* state);

}  // namespace kavrino::test

// The SBAS broadcast file: one three-line record per raw SBAS message, and the
// four-line header written over the reserved area once the records are in.
#pragma once

#include <cstdint>

#include "core/out_stream.h"
#include "core/time.h"
#include "qdx/decode/receiver_setup.h"
#include "qdx/decode/sbas_raw.h"

namespace kavrino {

// Lines the driver reserves for the header (the last one "END OF HEADER").
inline constexpr int kSbasBroadcastHeaderLines = 4;

// Writes the version, program, receiver and "END OF HEADER" lines: all four
// reserved lines, from the stream's current position.
void WriteSbasBroadcastHeader(OutStream* out, const ReceiverSetupRecord& setup,
                              const CalendarTime& date, const char* program);

// One record of three lines. `start_seconds` is the message start in whole GPS
// seconds, `band` is '1' or '5'; `l5` selects the L5 rule for the message type.
void WriteSbasBroadcastRecord(OutStream* out, int64_t start_seconds, char band, uint32_t satellite,
                              const uint32_t words[kSbasMessageWords], bool l5);

}  // namespace kavrino

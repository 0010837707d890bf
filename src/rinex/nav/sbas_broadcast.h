// The SBAS broadcast file: one three-line record per raw SBAS message, and the
// four-line header written over the reserved area once the records are in.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/time.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/receiver_setup.h"

namespace kavrino {

struct QdxReader;

// Lines the driver reserves for the header (the last one "END OF HEADER").
inline constexpr int kSbasBroadcastHeaderLines = 4;

// Message words of one raw SBAS message: 250 bits, first bit in the most
// significant bit of words[0]; the last 6 bits of words[7] are not message bits.
inline constexpr int kSbasMessageWords = 8;

// Appends a record for every SbasRawL1, SbasRawL5 and SbasRawLegacy block whose
// message start (one second before its stamp) lies in [start_ms, end_ms].
// With FLAG_SBAS_VALID_ONLY, L1/L5 messages that failed their CRC are left out.
// Returns 0 when at least one record was written, 2 otherwise.
int GenerateSbasBroadcast(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out,
                          uint32_t flags, int progress_from, int progress_to);

// Writes the version, program, receiver and "END OF HEADER" lines: all four
// reserved lines, from the stream's current position.
void WriteSbasBroadcastHeader(FILE* out, const ReceiverSetupRecord& setup, const CalendarTime& date,
                              const char* program);

// One record of three lines. `start_seconds` is the message start in whole GPS
// seconds, `band` is '1' or '5'; `l5` selects the L5 rule for the message type.
void WriteSbasBroadcastRecord(FILE* out, int64_t start_seconds, char band, uint32_t satellite,
                              const uint32_t words[kSbasMessageWords], bool l5);

}  // namespace kavrino

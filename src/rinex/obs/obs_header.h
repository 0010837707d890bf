// Header of a RINEX observation file (2.10, 2.11 or 3.04), written once from
// what the first pass over the QDX file gathered.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "core/time.h"
#include "qdx/decode/receiver_setup.h"
#include "rinex/obs/obs_types.h"

namespace kavrino {

// Writes the whole header, ending with "END OF HEADER". The version comes from
// `layout.version`.
//   receiver_type_override: -t RecType= text, nullptr when none
//   comment: -C text, written as 60-character COMMENT lines
//   sat_seen: 256 flags by SatIndex, or nullptr (no "# OF SATELLITES" line)
//   glo_slot_freq: 30 frequency numbers for slots 1..30 (-128 unknown), or nullptr
//   first_ms, last_ms: block times of the first and last epoch (last 0: none)
//   interval_ms: 0 when unknown
//   antenna: -a number (2 and 3 name the auxiliary antennas)
//   run_date, program: for "PGM / RUN BY / DATE"
//   x, y, z: approximate position, metres, ECEF
void WriteObsHeader(FILE* out, const ObsTypeLayout& layout, const ReceiverSetupRecord& setup,
                    const char* receiver_type_override, std::string_view comment,
                    const uint8_t* sat_seen, const int8_t* glo_slot_freq, int64_t first_ms,
                    int64_t last_ms, uint32_t interval_ms, uint32_t antenna,
                    const CalendarTime& run_date, const char* program, double x, double y,
                    double z);

// Letter of the first header line: G, R, E, S, C, J or I for a single system,
// M for several, '\0' for none.
char ObsSystemLetter(uint64_t signal_mask);

}  // namespace kavrino

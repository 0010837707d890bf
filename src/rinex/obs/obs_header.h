// Header of a RINEX observation file (2.10, 2.11 or 3.04), written once from
// what the first pass over the QDX file gathered.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/out_stream.h"
#include "core/time.h"
#include "qdx/decode/receiver_setup.h"
#include "rinex/obs/obs_types.h"

namespace kavrino {

// What the header of an observation file says.
struct ObsHeaderInfo {
  const ObsTypeLayout* layout = nullptr;  // the version comes from here
  const ReceiverSetupRecord* setup = nullptr;
  const char* receiver_type = nullptr;    // -t text; null: made from the setup
  std::string_view comment;               // -C text, written as 60-character COMMENT lines
  const uint8_t* sat_seen = nullptr;      // 256 flags by SatIndex; null: no "# OF SATELLITES"
  const int8_t* glo_slot_freq = nullptr;  // slots 1..30 (-128 unknown), or null
  int64_t first_ms = 0;                   // block times of the first and last epoch
  int64_t last_ms = 0;                    // 0: none
  uint32_t interval_ms = 0;               // 0: unknown
  uint32_t antenna = 1;                   // -a number (2 and 3 name the auxiliary antennas)
  CalendarTime run_date;                  // for "PGM / RUN BY / DATE"
  const char* program = "";
  double approx_x = 0;  // approximate position, metres, ECEF
  double approx_y = 0;
  double approx_z = 0;
};

// Writes the whole header, ending with "END OF HEADER".
void WriteObsHeader(OutStream* out, const ObsHeaderInfo& info);

// Letter of the first header line: G, R, E, S, C, J or I for a single system,
// M for several, '\0' for none.
char ObsSystemLetter(uint64_t signal_mask);

}  // namespace kavrino

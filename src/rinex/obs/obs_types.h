// Observation types of a file and the column of every signal's fields.
#pragma once

#include <cstdint>

#include "core/rinex_version.h"
#include "core/signals.h"

namespace kavrino {

inline constexpr int kObsTypeTextSize = 181;  // up to 180 characters and a terminator

struct ObsTypeLayout {
  RinexVersion version;
  int16_t line_len;                // characters of one satellite's observation line
  int16_t code_col[kSignalCount];  // -1: no such field
  int16_t phase_col[kSignalCount];
  int16_t doppler_col[kSignalCount];
  int16_t snr_col[kSignalCount];
  char type_text[7][kObsTypeTextSize];  // RINEX 3: per constellation; RINEX 2: [0]
  uint8_t with_doppler;
  uint8_t with_snr;
  uint8_t with_channel;
  uint64_t signal_mask;  // effective mask
};

uint64_t AllowedSignalMask(RinexVersion version);
void BuildObsTypeLayout(ObsTypeLayout* layout, uint64_t signal_mask, bool with_doppler,
                        bool with_snr, bool with_channel, RinexVersion version);

}  // namespace kavrino

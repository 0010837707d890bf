// Event records of an observation file: the records between the epochs that
// tell of site occupations, comments, external events and collected items.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/out_stream.h"
#include "core/rinex_version.h"
#include "qdx/decode/meas_epoch.h"
#include "qdx/decode/receiver_setup.h"

namespace kavrino {

// RINEX event flags written by the generator.
inline constexpr unsigned kEventStartMoving = 2;
inline constexpr unsigned kEventNewSite = 3;
inline constexpr unsigned kEventHeaderInfo = 4;

// The current site of an observation file: what a new-site record states.
struct ObsSite {
  ReceiverSetupRecord setup{};
  double approx_x = 0;  // approximate marker position, metres, ECEF
  double approx_y = 0;
  double approx_z = 0;
  double l1_phase_offset = MEAS_ABSENT;  // antenna phase offsets from an ANTENNA command
  double l2_phase_offset = MEAS_ABSENT;
};

// Epoch line of an event (flag, number of records that follow) at GPS
// `seconds`, without the newline.
void WriteEventEpochLine(OutStream* out, unsigned flag, unsigned count, RinexVersion version,
                         double seconds);
// A new-site-occupation event with its header records.
void WriteSiteOccupation(OutStream* out, const ObsSite& site, RinexVersion version, double seconds);
// A header-information event carrying `text` as 60-column COMMENT lines.
void WriteCommentRecord(OutStream* out, std::string_view text, RinexVersion version,
                        double seconds);
// The "start moving" event that ends a site occupation.
void WriteEndOfOccupation(OutStream* out, RinexVersion version, double seconds);
// The "start moving" event of kinematic data at the start of the file.
void WriteKinematicStart(OutStream* out, RinexVersion version, double seconds);
void WriteItemCollected(OutStream* out, uint64_t item, RinexVersion version, double seconds);
// An external event of `source` at `seconds_of_week`.
void WriteExternalEvent(OutStream* out, RinexVersion version, int source, double seconds_of_week);

}  // namespace kavrino

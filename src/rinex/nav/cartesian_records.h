// GLONASS and SBAS navigation records: ephemerides with Cartesian orbits,
// each a start line and three orbit lines of four values.
#pragma once

#include <cstdint>

#include "core/out_stream.h"
#include "core/rinex_version.h"
#include "qdx/decode/ephemeris_blocks.h"

namespace kavrino {

struct CartesianNavRecord {
  uint8_t sat_index = 0;
  double epoch = 0;  // GPS seconds, already shifted to the record's time scale
  double start[3] = {};
  double orbit[3][4] = {};
};

// The record of a GloEphemeris block for the layout of `version`: epoch and
// frame time in UTC, tk in seconds of the UTC day (RINEX 2) or week (RINEX 3).
CartesianNavRecord MakeGloNavRecord(const GloEphemerisBlock& eph, RinexVersion version);
// The record of a SbasNavigation block (the same for both layouts).
CartesianNavRecord MakeSbasNavRecord(const SbasNavigationBlock& eph);

// The SBAS time of day t0 placed on the day nearest to the reception time
// (GPS seconds); the result is in GPS seconds.
int64_t PlaceSbasTimeOfDay(int64_t reception_s, uint32_t t0);
// URA index to metres for SBAS records (32767.0 beyond index 14).
double SbasUraMetres(uint16_t index);

// Writes a record: the start line and the three orbit lines.
void WriteCartesianNavRecord(OutStream* out, const CartesianNavRecord& record,
                             RinexVersion version);

}  // namespace kavrino

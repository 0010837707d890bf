// Navigation records of the Keplerian constellations, converted from decoded
// ephemeris blocks, and the value rules behind them.
#pragma once

#include <cstdint>

#include "core/out_stream.h"
#include "core/rinex_version.h"
#include "qdx/decode/ephemeris_blocks.h"

namespace kavrino {

inline constexpr double kNavPi = 3.141592653589793;

// GPS record in the RINEX 2 or 3 layout of `version`.
void WriteGpsNavRecord(OutStream* out, const GpsEphemerisBlock& eph, uint8_t sat_index,
                       RinexVersion version);
// QZSS record (RINEX 3): T_gd field blank when absent, fit interval flag as is.
void WriteQzssNavRecord(OutStream* out, const GpsEphemerisBlock& eph, uint8_t sat_index);
// BeiDou record (RINEX 3), epoch on the BeiDou time scale.
void WriteBdsNavRecord(OutStream* out, const BdsEphemerisBlock& eph, uint8_t sat_index);
// Galileo record (RINEX 3) with the a_f0 repair applied.
void WriteGalNavRecord(OutStream* out, const GalEphemerisBlock& eph, uint8_t sat_index);

// Orbit lines 1 to 4 of a GPS, QZSS or BeiDou record; `issue` is IODE or AODE.
void WriteKeplerOrbitLines(OutStream* out, RinexVersion version, double issue,
                           const KeplerOrbit& orbit);

// Record start and orbit lines 1 to 5 of the GpsEphemeris layout (GPS and
// QZSS, whose orbit lines 6 and 7 differ); returns the full week of t_oe.
int64_t WriteGpsLayoutStart(OutStream* out, const GpsEphemerisBlock& eph, uint8_t sat_index,
                            RinexVersion version);

// Fit interval in hours from the fit interval flag and the IODC.
double GpsFitIntervalHours(uint8_t fit_flag, uint16_t iodc);
// Galileo signal-in-space accuracy in metres of a SISA index (-1.0: none).
double GalSisaMetres(uint8_t index);
// a_f0 as received, or with its two 32-bit halves exchanged when only the
// exchanged value looks like a broadcast clock offset.
double RepairGalAf0(double af0);

// Galileo data sources, SISA index and SV health of a source byte.
struct GalSourceFields {
  uint32_t data_sources = 0;
  bool known = false;  // I/NAV, F/NAV or another recognised source
  uint8_t sisa_index = 0;
  uint32_t health = 0;
};
GalSourceFields GalSourceFieldsOf(const GalEphemerisBlock& eph);

// Seconds of week of the block time, one week more or less when the block's
// week is one before or after the ephemeris week.
double NavTransmissionTime(uint32_t tow_ms, int64_t block_week, int64_t toe_week);

// User range accuracy in metres of a URA index (GPS, QZSS, BeiDou).
double UraMetres(uint8_t index);

}  // namespace kavrino

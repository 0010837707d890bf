// Ionosphere and time-offset parameters: GpsIonosphere, GpsUtcParams,
// GalIonosphere, GalUtcParams and GalGpsTimeOffset.
#pragma once

#include <cstdint>

namespace kavrino {

// Each record holds the last block of its kind a walk met. `present` is the
// block's own mark (a non-zero satellite byte); a block too short for its
// fields changes nothing.
struct IonoParams {
  bool present = false;
  float alpha[4] = {};  // Galileo: a_i0, a_i1, a_i2 and 0
  float beta[4] = {};   // GPS only
};

struct UtcParams {
  bool present = false;
  float a1 = 0;
  double a0 = 0;
  uint32_t t_ot = 0;
  int64_t ref_week = 0;  // WN_t widened to the block's week
  int8_t dt_ls = 0;
  int64_t future_week = 0;  // WN_LSF widened
  uint8_t dn = 0;
  int8_t dt_lsf = 0;
};

struct GalGpsOffset {
  bool present = false;
  float a1g = 0;
  float a0g = 0;
  uint32_t t_og = 0;
  int64_t ref_week = 0;  // WN_oG (6 bits) widened
};

struct NavCorrections {
  IonoParams gps_iono;
  UtcParams gps_utc;
  IonoParams gal_iono;
  UtcParams gal_utc;
  GalGpsOffset gal_gps;
};

// Keeps the block in `corrections` when it is one of the five kinds; false
// for any other block. A GalGpsTimeOffset block without content (t_oG of
// 918000) is passed over.
bool TakeCorrectionBlock(const uint8_t* block, NavCorrections* corrections);

}  // namespace kavrino

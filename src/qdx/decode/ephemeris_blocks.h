// Decoding of the Keplerian ephemeris blocks: GpsEphemeris and QzsEphemeris
// (one layout), BdsEphemeris and GalEphemeris.
#pragma once

#include <cstdint>

#include "qdx/block_numbers.h"

namespace kavrino {

// A float of this value or less in a group delay means "not available".
inline constexpr double kNavValueAbsent = -1e10;

// Orbit and clock parameters shared by the GPS, QZSS and BeiDou layouts.
// Angles in semicircles (per second for rates), as broadcast.
struct KeplerOrbit {
  uint32_t toc = 0;  // s
  float af2 = 0, af1 = 0, af0 = 0;
  float crs = 0, delta_n = 0;
  double m0 = 0;
  float cuc = 0;
  double e = 0;
  float cus = 0;
  double sqrt_a = 0;
  uint32_t toe = 0;  // s
  float cic = 0;
  double omega0 = 0;
  float cis = 0;
  double i0 = 0;
  float crc = 0;
  double omega = 0;
  float omega_dot = 0, idot = 0;
  uint16_t week_toc = 0, week_toe = 0;  // as stored
};

// GpsEphemeris / QzsEphemeris.
struct GpsEphemerisBlock {
  uint32_t tow_ms = 0;
  uint16_t week = 0;  // WNc of the block
  uint8_t svid = 0;
  uint8_t l2_codes = 0, ura_index = 0, health = 0, l2p_flag = 0;
  uint16_t iodc = 0;
  uint8_t iode = 0, fit_flag = 0;
  float tgd = 0;
  KeplerOrbit orbit;
};

struct BdsEphemerisBlock {
  uint32_t tow_ms = 0;
  uint16_t week = 0;
  uint8_t svid = 0;
  uint8_t ura_index = 0, sat_h1 = 0, aodc = 0, aode = 0;
  float tgd1 = 0, tgd2 = 0;
  KeplerOrbit orbit;  // weeks are BeiDou weeks
};

struct GalEphemerisBlock {
  uint32_t tow_ms = 0;
  uint16_t week = 0;
  uint8_t svid = 0;
  uint8_t source = 0;  // 2 I/NAV, 16 F/NAV, others
  double sqrt_a = 0, m0 = 0, e = 0, i0 = 0, omega = 0, omega0 = 0;
  float omega_dot = 0, idot = 0, delta_n = 0;
  float cuc = 0, cus = 0, crc = 0, crs = 0, cic = 0, cis = 0;
  uint32_t toe = 0, toc = 0;
  float af2 = 0, af1 = 0;
  double af0 = 0;
  uint16_t week_toe = 0, week_toc = 0;
  uint16_t iod_nav = 0, health_word = 0;
  uint8_t health_other = 0;
  uint8_t sisa_e1e5a = 0, sisa_e1e5b = 0, sisa_other = 0;
  float bgd_e1e5a = 0, bgd_e1e5b = 0, bgd_other = 0;
};

// GloEphemeris: Cartesian state in the PZ-90 frame.
struct GloEphemerisBlock {
  uint32_t tow_ms = 0;
  uint16_t week = 0;
  uint8_t svid = 0;
  uint8_t freq_nr = 0;          // frequency number + 8
  double position[3] = {};      // km
  float velocity[3] = {};       // km/s
  float acceleration[3] = {};   // km/s^2
  float gamma = 0, tau = 0;     // relative frequency bias, clock bias (s)
  uint32_t t_oe = 0;            // s of GPS week
  uint16_t week_toe = 0;        // 10 bits, as stored
  uint8_t age = 0, health = 0;  // E_n (days), health bit
};
// SbasNavigation: Cartesian state in WGS-84, in metres.
struct SbasNavigationBlock {
  uint32_t tow_ms = 0;
  uint16_t week = 0;
  uint8_t svid = 0;
  uint16_t iodn = 0;
  uint16_t ura = 0;
  uint32_t t0 = 0;  // s of the day
  double position[3] = {};
  double velocity[3] = {};
  double acceleration[3] = {};
  float agf0 = 0, agf1 = 0;
};

// Each returns false, leaving *out unspecified, when the block's length does
// not cover the fields.
bool DecodeGpsEphemeris(const uint8_t* block, GpsEphemerisBlock* out);
bool DecodeBdsEphemeris(const uint8_t* block, BdsEphemerisBlock* out);
bool DecodeGalEphemeris(const uint8_t* block, GalEphemerisBlock* out);
bool DecodeGloEphemeris(const uint8_t* block, GloEphemerisBlock* out);
bool DecodeSbasNavigation(const uint8_t* block, SbasNavigationBlock* out);

}  // namespace kavrino

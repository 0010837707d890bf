// The satellites of a scenario: their true orbits and clocks, from which both
// the measurements and the broadcast ephemerides are derived.
#pragma once

#include <cstdint>
#include <vector>

#include "orbits.h"
#include "scenario.h"

namespace kavrino::qdxgen {

enum OrbitKind : uint8_t { ORBIT_KEPLER, ORBIT_GLONASS, ORBIT_SBAS };

struct SatModel {
  uint8_t constellation = 0;  // kavrino::Constellation number
  uint8_t prn = 0;            // number within the system (GLONASS: slot)
  uint8_t svid = 0;           // receiver satellite identifier
  int8_t glo_k = 0;           // GLONASS frequency number
  OrbitKind kind = ORBIT_KEPLER;
  double time_offset_s = 0;  // system time minus GPS time (BeiDou: -14)
  uint64_t signals = 0;      // signals this satellite transmits (of the selected ones)

  KeplerOrbit kepler;
  // Clock: offset (s) = af0 + af1 dt + af2 dt^2, dt from clk_ref (system time).
  double clk_ref = 0, af0 = 0, af1 = 0, af2 = 0;
  double tgd = 0;           // GPS/QZSS T_gd, Galileo BGD, BeiDou TGD1
  double tgd2 = 0;          // BeiDou TGD2
  double bds_gd_scale = 0;  // BeiDou group delay constant (s Hz^2)

  // GLONASS: exact states every kGloNodeStep seconds from glo_t0 (GPS time).
  double glo_t0 = 0;
  std::vector<GloState> glo_nodes;
  // SBAS: geostationary longitude and the small north-south oscillation.
  double sbas_lon = 0, sbas_amp_m = 0, sbas_phase = 0;
};

inline constexpr double kGloNodeStep = 300.0;

// All satellites of the selected systems, covering [start - 1 h, end + 2 h].
std::vector<SatModel> BuildSatellites(const Scenario& scenario);

// True state of a satellite at GPS time t: Earth-fixed position (m), velocity
// (m/s, GLONASS and SBAS only) and clock offset (s, relativistic term
// included; system time scale).
struct SatState {
  Vec3 pos;
  Vec3 vel;
  double clock_s = 0;
};
SatState SatTruth(const SatModel& sat, double t_gps);

// Code group delay of a signal (s), as the broadcast group delays describe it.
double GroupDelay(const SatModel& sat, int signal);

// RINEX-style name ("G05") of a satellite.
void SatName(const SatModel& sat, char out[4]);

}  // namespace kavrino::qdxgen

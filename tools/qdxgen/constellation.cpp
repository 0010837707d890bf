#include "constellation.h"

#include <cmath>

#include "rng.h"
#include "signal_info.h"

namespace kavrino::qdxgen {
namespace {

constexpr double kDeg = kPi / 180.0;

struct OrbitShape {
  double a_m, inc_deg, e_max;
};

// Keplerian orbit with the given plane and phase, small random harmonics.
KeplerOrbit MakeOrbit(Rng* rng, const OrbitShape& shape, double node_lon, double arg_lat,
                      double t_ref, double gm, double earth_rate) {
  KeplerOrbit o;
  o.t_ref = t_ref;
  o.gm = gm;
  o.earth_rate = earth_rate;
  o.sqrt_a = std::sqrt(shape.a_m + rng->Uniform(-800, 800));
  o.e = shape.e_max * rng->Uniform(0.1, 1.0);
  o.i0 = (shape.inc_deg + rng->Uniform(-1.2, 1.2)) * kDeg;
  o.omega = rng->Uniform(-kPi, kPi);
  o.m0 = std::remainder(arg_lat - o.omega, 2 * kPi);
  o.node_lon = std::remainder(node_lon, 2 * kPi);
  o.delta_n = rng->Uniform(3.0e-9, 5.5e-9);
  o.idot = rng->Uniform(-4e-10, 4e-10);
  o.omega_dot = rng->Uniform(-8.8e-9, -7.6e-9);
  o.cuc = rng->Uniform(-6e-6, 6e-6);
  o.cus = rng->Uniform(-6e-6, 6e-6);
  o.crc = rng->Uniform(-300, 300);
  o.crs = rng->Uniform(-120, 120);
  o.cic = rng->Uniform(-2e-7, 2e-7);
  o.cis = rng->Uniform(-2e-7, 2e-7);
  return o;
}

// An orbit with a one-day period whose ground track crosses the equator
// northwards at longitude lon_deg (geostationary when inclination is ~0).
KeplerOrbit MakeDayOrbit(Rng* rng, double inc_deg, double e, double lon_deg, double arg_lat,
                         double t_ref, double gm, double earth_rate) {
  KeplerOrbit o = MakeOrbit(rng, {42164170.0, inc_deg, e}, 0, arg_lat, t_ref, gm, earth_rate);
  o.sqrt_a = std::sqrt(42164170.0);
  o.e = e;
  o.i0 = inc_deg * kDeg;
  o.delta_n = 0;
  o.omega_dot = -3e-9;
  o.crc = rng->Uniform(-50, 50);
  o.crs = rng->Uniform(-50, 50);
  double n = std::sqrt(gm / std::pow(o.sqrt_a, 6));
  double since_node = std::fmod(arg_lat + 4 * kPi, 2 * kPi) / n;
  o.node_lon = std::remainder(lon_deg * kDeg - (earth_rate - o.omega_dot) * since_node, 2 * kPi);
  return o;
}

void SetKeplerClock(Rng* rng, SatModel* sat, double t_ref) {
  sat->clk_ref = t_ref;
  sat->af0 = rng->Uniform(-6e-4, 6e-4);
  sat->af1 = rng->Uniform(-8e-12, 8e-12);
  sat->af2 = 0;
  sat->tgd = rng->Uniform(-1.2e-8, 1.2e-8);
}

bool Available(uint64_t seed, const SatModel& sat, int signal) {
  double fraction = 1.0;
  switch (signal) {
    case 4:
      fraction = 0.6;
      break;  // GPS L5
    case 3:
      fraction = 0.8;
      break;  // GPS L2C
    case 5:
      fraction = 0.2;
      break;  // GPS L1C
    case 12:
      fraction = 0.3;
      break;  // GLONASS L3
    case 25:
      fraction = 0.5;
      break;  // SBAS L5
    case 29:
      return sat.prn <= 18;  // BeiDou B2I (second generation only)
    case 13:
    case 14:
      return sat.prn >= 19;  // BeiDou B1C, B2a (third generation)
    default:
      break;
  }
  return HashUniform(HashKeys(seed, RND_SIGNAL_AVAILABLE, sat.svid, signal)) < fraction;
}

void AddSat(const Scenario& sc, uint64_t mask, SatModel sat, std::vector<SatModel>* sats) {
  for (int s = 0; s < kNumSignals; ++s) {
    if ((mask >> s) & 1 && GetSignal(s).constellation == sat.constellation &&
        Available(sc.seed, sat, s)) {
      sat.signals |= 1ULL << s;
    }
  }
  if (sat.signals != 0) sats->push_back(sat);
}

SatModel KeplerSat(const Scenario& sc, uint8_t constellation, int prn, int svid,
                   const OrbitShape& shape, double node_deg, double arg_lat_deg, double t_ref,
                   double gm, double earth_rate) {
  Rng rng(HashKeys(sc.seed, RND_ORBIT, constellation, prn));
  SatModel sat;
  sat.constellation = constellation;
  sat.prn = static_cast<uint8_t>(prn);
  sat.svid = static_cast<uint8_t>(svid);
  sat.kepler = MakeOrbit(&rng, shape, node_deg * kDeg + rng.Uniform(-0.02, 0.02),
                         (arg_lat_deg + rng.Uniform(-4, 4)) * kDeg, t_ref, gm, earth_rate);
  SetKeplerClock(&rng, &sat, t_ref);
  return sat;
}

void AddGlonass(const Scenario& sc, uint64_t mask, double t0, double t1,
                std::vector<SatModel>* sats) {
  static const int8_t kFreq[24] = {1,  -4, 5, 6,  1, -4, 5, 6, -2, -7, 0, -1,
                                   -2, -7, 0, -1, 4, -3, 3, 2, 4,  -3, 3, 2};
  for (int slot = 1; slot <= 24; ++slot) {
    Rng rng(HashKeys(sc.seed, RND_ORBIT, 3, slot));
    int plane = (slot - 1) / 8, pos = (slot - 1) % 8;
    SatModel sat;
    sat.constellation = 3;
    sat.prn = static_cast<uint8_t>(slot);
    sat.svid = static_cast<uint8_t>(37 + slot);
    sat.glo_k = kFreq[slot - 1];
    sat.kind = ORBIT_GLONASS;
    KeplerOrbit o = MakeOrbit(&rng, {25510000.0, 64.8, 0.002}, plane * 120 * kDeg,
                              (pos * 45 + plane * 15) * kDeg, t0, 398600.4418e9, kGloEarthRate);
    o.delta_n = o.idot = o.cuc = o.cus = o.crc = o.crs = o.cic = o.cis = 0;
    Vec3 a = KeplerPosition(o, t0 - 0.5, nullptr), b = KeplerPosition(o, t0 + 0.5, nullptr),
         p = KeplerPosition(o, t0, nullptr);
    GloState state;
    state.pos[0] = p.x / 1000, state.pos[1] = p.y / 1000, state.pos[2] = p.z / 1000;
    state.vel[0] = (b.x - a.x) / 1000, state.vel[1] = (b.y - a.y) / 1000;
    state.vel[2] = (b.z - a.z) / 1000;
    for (double& acc : state.acc) acc = rng.Int(-3, 3) * std::ldexp(1.0, -30);
    sat.glo_t0 = t0;
    for (double t = t0; t <= t1 + kGloNodeStep; t += kGloNodeStep) {
      sat.glo_nodes.push_back(state);
      state = GloPropagate(state, kGloNodeStep, 30.0);
    }
    sat.clk_ref = t0;
    sat.af0 = -rng.Uniform(-2e-4, 2e-4);   // -tau
    sat.af1 = rng.Uniform(-2e-12, 2e-12);  // gamma
    AddSat(sc, mask, sat, sats);
  }
}

void AddSbas(const Scenario& sc, uint64_t mask, double t0, std::vector<SatModel>* sats) {
  static const struct {
    int prn;
    double lon;
  } kGeo[] = {{121, -5.0},   {123, 31.5},  {126, 25.0},   {127, 55.0},
              {128, 83.0},   {129, 140.0}, {131, -117.0}, {133, -129.0},
              {135, -133.0}, {136, 5.0},   {137, 145.0},  {138, -107.0}};
  for (const auto& geo : kGeo) {
    Rng rng(HashKeys(sc.seed, RND_ORBIT, 2, geo.prn));
    SatModel sat;
    sat.constellation = 2;
    sat.prn = static_cast<uint8_t>(geo.prn);
    sat.svid = static_cast<uint8_t>(geo.prn);
    sat.kind = ORBIT_SBAS;
    sat.sbas_lon = geo.lon * kDeg;
    sat.sbas_amp_m = rng.Uniform(10e3, 60e3);
    sat.sbas_phase = rng.Uniform(0, 2 * kPi);
    sat.clk_ref = t0;
    sat.af0 = rng.Uniform(-1e-7, 1e-7);
    sat.af1 = rng.Uniform(-1e-12, 1e-12);
    AddSat(sc, mask, sat, sats);
  }
}

}  // namespace

std::vector<SatModel> BuildSatellites(const Scenario& sc) {
  std::vector<SatModel> sats;
  uint64_t mask = EffectiveSignalMask(sc);
  double t0 = sc.start_ms / 1000.0 - 3600.0, t1 = (sc.start_ms + sc.duration_ms) / 1000.0 + 7200;
  // A whole second of the epoch grid keeps all reference times exact.
  t0 = std::floor(t0 / kGloNodeStep) * kGloNodeStep + sc.leap_seconds;
  if (sc.systems & kSysGps) {
    static const int kPerPlane[6] = {6, 5, 5, 6, 5, 5};
    int prn = 1;
    for (int plane = 0; plane < 6; ++plane) {
      for (int k = 0; k < kPerPlane[plane]; ++k, ++prn) {
        AddSat(sc, mask,
               KeplerSat(sc, 0, prn, prn, {26559710.0, 55.0, 0.02}, plane * 60.0 + 17,
                         k * 360.0 / kPerPlane[plane] + plane * 11, t0, kGmGps, kEarthRateGps),
               &sats);
      }
    }
  }
  if (sc.systems & kSysGlonass) AddGlonass(sc, mask, t0, t1, &sats);
  if (sc.systems & kSysGalileo) {
    static const int kPrns[24] = {1,  2,  3,  4,  5,  7,  8,  9,  10, 11, 12, 13,
                                  15, 19, 21, 24, 25, 26, 27, 29, 30, 31, 33, 36};
    for (int k = 0; k < 24; ++k) {
      SatModel sat =
          KeplerSat(sc, 1, kPrns[k], 70 + kPrns[k], {29599800.0, 56.0, 0.0006},
                    (k / 8) * 120.0 + 40, (k % 8) * 45.0 + (k / 8) * 15, t0, kGmGal, kEarthRateGps);
      AddSat(sc, mask, sat, &sats);
    }
  }
  if (sc.systems & kSysSbas) AddSbas(sc, mask, t0, &sats);
  if (sc.systems & kSysBeidou) {
    // Medium orbits, then inclined geosynchronous ones (PRN 6-10, 13, 16).
    static const int kMeo[24] = {11, 12, 14, 15, 17, 18, 19, 20, 21, 22, 23, 24,
                                 25, 26, 27, 28, 29, 30, 32, 33, 34, 35, 36, 37};
    double t_bds = t0 - 14.0;
    for (int k = 0; k < 24; ++k) {
      SatModel sat =
          KeplerSat(sc, 4, kMeo[k], 140 + kMeo[k], {27906100.0, 55.0, 0.002}, (k / 8) * 120.0 + 75,
                    (k % 8) * 45.0 + (k / 8) * 15, t_bds, kGmGal, kEarthRateBds);
      sat.time_offset_s = -14.0;
      AddSat(sc, mask, sat, &sats);
    }
    static const int kIgso[7] = {6, 7, 8, 9, 10, 13, 16};
    for (int k = 0; k < 7; ++k) {
      Rng rng(HashKeys(sc.seed, RND_ORBIT, 4, kIgso[k]));
      SatModel sat;
      sat.constellation = 4;
      sat.prn = static_cast<uint8_t>(kIgso[k]);
      sat.svid = static_cast<uint8_t>(140 + kIgso[k]);
      sat.time_offset_s = -14.0;
      sat.kepler = MakeDayOrbit(&rng, 55.0, 0.004, k < 4 ? 118.0 : 95.0, k * 2 * kPi / 4, t_bds,
                                kGmGal, kEarthRateBds);
      SetKeplerClock(&rng, &sat, t_bds);
      AddSat(sc, mask, sat, &sats);
    }
  }
  if (sc.systems & kSysQzss) {
    for (int prn = 1; prn <= 4; ++prn) {
      Rng rng(HashKeys(sc.seed, RND_ORBIT, 5, prn));
      SatModel sat;
      sat.constellation = 5;
      sat.prn = static_cast<uint8_t>(prn);
      sat.svid = static_cast<uint8_t>(180 + prn);
      sat.kepler =
          MakeDayOrbit(&rng, 41.0, 0.075, 135.0, prn * 2 * kPi / 4, t0, kGmGps, kEarthRateGps);
      sat.kepler.omega = 270 * kDeg;
      sat.kepler.m0 = std::remainder(prn * 2 * kPi / 4 - sat.kepler.omega, 2 * kPi);
      SetKeplerClock(&rng, &sat, t0);
      AddSat(sc, mask, sat, &sats);
    }
  }
  if (sc.systems & kSysNavic) {
    static const double kLon[7] = {32.5, 55.0, 83.0, 111.75, 55.0, 111.75, 131.5};
    for (int prn = 1; prn <= 7; ++prn) {
      Rng rng(HashKeys(sc.seed, RND_ORBIT, 6, prn));
      SatModel sat;
      sat.constellation = 6;
      sat.prn = static_cast<uint8_t>(prn);
      sat.svid = static_cast<uint8_t>(190 + prn);
      bool igso = prn == 2 || prn == 4 || prn == 5 || prn == 6;
      sat.kepler = MakeDayOrbit(&rng, igso ? 29.0 : 0.8, 0.002, kLon[prn - 1],
                                igso ? prn * kPi / 2 : 0.0, t0, kGmGps, kEarthRateGps);
      SetKeplerClock(&rng, &sat, t0);
      sat.tgd = 0;
      AddSat(sc, mask, sat, &sats);
    }
  }
  for (SatModel& sat : sats) {
    if (sat.constellation == 4) {
      // Clocks refer to B3I: delay(f) = k (1/f^2 - 1/f_B3^2).
      double f1 = SignalHz(28, 0), f2 = SignalHz(29, 0), f3 = SignalHz(30, 0);
      sat.bds_gd_scale = sat.tgd / (1 / (f1 * f1) - 1 / (f3 * f3));
      sat.tgd2 = sat.bds_gd_scale * (1 / (f2 * f2) - 1 / (f3 * f3));
    }
  }
  return sats;
}

SatState SatTruth(const SatModel& sat, double t_gps) {
  SatState out;
  double t = t_gps + sat.time_offset_s;
  double dt = t - sat.clk_ref;
  out.clock_s = sat.af0 + sat.af1 * dt + sat.af2 * dt * dt;
  if (sat.kind == ORBIT_KEPLER) {
    double ecc = 0;
    out.pos = KeplerPosition(sat.kepler, t, &ecc);
    double f_rel = -2.0 * std::sqrt(sat.kepler.gm) / (kLight * kLight);
    out.clock_s += f_rel * sat.kepler.e * sat.kepler.sqrt_a * std::sin(ecc);
  } else if (sat.kind == ORBIT_GLONASS) {
    double k = std::round((t_gps - sat.glo_t0) / kGloNodeStep);
    if (k < 0) k = 0;
    if (k > static_cast<double>(sat.glo_nodes.size() - 1)) {
      k = static_cast<double>(sat.glo_nodes.size() - 1);
    }
    const GloState& node = sat.glo_nodes[static_cast<size_t>(k)];
    GloState s = GloPropagate(node, t_gps - (sat.glo_t0 + k * kGloNodeStep), 30.0);
    out.pos = {s.pos[0] * 1000, s.pos[1] * 1000, s.pos[2] * 1000};
    out.vel = {s.vel[0] * 1000, s.vel[1] * 1000, s.vel[2] * 1000};
  } else {
    const double r = 42164170.0, w = 2 * kPi / 86164.0905;
    double z_phase = w * (t_gps - sat.clk_ref) + sat.sbas_phase;
    double amp = sat.sbas_amp_m;
    double lon = sat.sbas_lon + 1e-4 * std::sin(z_phase);  // small east-west drift
    double lon_rate = 1e-4 * w * std::cos(z_phase);
    out.pos = {r * std::cos(lon), r * std::sin(lon), amp * std::sin(z_phase)};
    out.vel = {-r * std::sin(lon) * lon_rate, r * std::cos(lon) * lon_rate,
               amp * w * std::cos(z_phase)};
  }
  return out;
}

double GroupDelay(const SatModel& sat, int signal) {
  double f = SignalHz(signal, sat.glo_k);
  switch (sat.constellation) {
    case 0:
    case 5:
    case 1: {
      double ratio = 1575.42e6 / f;
      return sat.tgd * ratio * ratio;
    }
    case 4: {
      double f3 = SignalHz(30, 0);
      return sat.bds_gd_scale * (1 / (f * f) - 1 / (f3 * f3));
    }
    default:
      return 0;
  }
}

void SatName(const SatModel& sat, char out[4]) {
  static const char kLetters[] = "GESRCJI";
  unsigned number = (sat.constellation == 2 ? sat.prn - 100u : sat.prn) % 100u;
  out[0] = kLetters[sat.constellation % 7];
  out[1] = static_cast<char>('0' + number / 10);
  out[2] = static_cast<char>('0' + number % 10);
  out[3] = '\0';
}

}  // namespace kavrino::qdxgen

// Measurements of one epoch: geometry with light time and Earth rotation,
// clocks, atmosphere, tracking state (ambiguities, slips, lock times) and the
// quantisation into the values the classic measurement blocks carry.
#pragma once

#include <cstdint>
#include <vector>

#include "constellation.h"
#include "scenario.h"

namespace kavrino::qdxgen {

struct IonoParams {
  float alpha[4];
  float beta[4];
};
IonoParams MakeIonoParams(uint64_t seed);
// Klobuchar L1 delay (m) at GPS seconds t for a receiver at lat/lon (rad).
double KlobucharDelay(const IonoParams& p, double lat, double lon, double el, double az,
                      double t_gps);

struct ReceiverModel {
  double lat = 0, lon = 0, h = 0;  // reference position (rad, m)
  Vec3 ref;
  double clk_b0 = 0, clk_drift = 0;
};
ReceiverModel MakeReceiver(const Scenario& scenario);

struct RxState {
  Vec3 pos[2];  // antennas
  Vec3 vel;
};
// Receiver position at true GPS time t (seconds).
RxState ReceiverAt(const Scenario& sc, const ReceiverModel& rx, double t_gps);
// Receiver clock offset (s) at receiver time t (seconds), kept within 0.5 ms
// by millisecond steps.
double ReceiverClock(const Scenario& sc, const ReceiverModel& rx, double t_rx);

// One signal as the classic blocks carry it.
struct SigMeas {
  uint8_t signal = 0;
  uint8_t antenna = 0;
  // Block fields.
  uint64_t pr_mm = 0;    // main: full pseudorange; extra: its own, offset taken in encoding
  int32_t cmc_mcyc = 0;  // carrier minus code/wavelength, millicycles (24-bit)
  int32_t dop_raw = 0;   // main: 0.0001 Hz; extra: offset from the scaled main Doppler
  uint8_t cn0_raw = 0;   // 0.25 dB-Hz steps (10 dB-Hz below, except P-code signals)
  uint8_t cn0_frac = 0;  // 1/32 dB-Hz refinement of the extra-info block
  int16_t cn0_centi = 0;
  uint32_t lock_s = 0;
  bool no_phase = false;
  double pr_full = 0;  // full-precision pseudorange
  float cmp_m = 0;     // carrier minus pseudorange, m
  // What a decoder reads from the blocks written.
  double pr_block_m = 0;  // pseudorange as the measurement block alone gives it
  double pr_m = 0, carrier_cyc = 0;
  float doppler_hz = 0, cn0_dbhz = 0;
  uint32_t lock_ms = 0;
  // Truth.
  double true_pr = 0, true_carrier = 0, true_doppler = 0, true_cn0 = 0;
  double iono_m = 0;
  int64_t ambiguity = 0;
  bool slip = false;
};

struct SatMeas {
  size_t sat_id = 0;  // index into the satellite list
  uint8_t channel = 0;
  double elevation = 0, azimuth = 0;
  Vec3 sat_pos;  // Earth-fixed at transmission (before rotation)
  double sat_clock_s = 0;
  double range_m = 0;  // geometric, with Earth rotation, antenna 0
  double tropo_m = 0;
  std::vector<SigMeas> sigs;  // the first is the main signal of the block
};

struct EpochMeas {
  int64_t t_ms = 0;  // receiver time stamp
  double rx_clock_s = 0;
  RxState rx;
  std::vector<SatMeas> sats;
};

// Tracking state kept between epochs.
struct TrackState {
  bool tracked = false;
  int64_t lock_start_ms = 0;
  int64_t ambiguity = 0;
};
struct Tracker {
  std::vector<TrackState> state;  // sat x antenna x signal
  std::vector<uint8_t> channel;   // per satellite, 0 = none
  std::vector<bool> channel_used;
};
void InitTracker(size_t sat_count, Tracker* tracker);

// Computes the epoch at receiver time t_ms and advances the tracking state.
void ComputeEpoch(const Scenario& sc, const std::vector<SatModel>& sats, const ReceiverModel& rx,
                  const IonoParams& iono, int64_t t_ms, Tracker* tracker, EpochMeas* epoch);

}  // namespace kavrino::qdxgen

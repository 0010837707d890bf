#include "measure.h"

#include <algorithm>
#include <cmath>

#include "rng.h"
#include "signal_info.h"

namespace kavrino::qdxgen {
namespace {

constexpr double kDeg = kPi / 180.0;
constexpr double kOmegaEarth = 7.2921151467e-5;

struct Geometry {
  double range = 0;
  Vec3 sat_pos;
  double clock = 0;
};

// Light-time solution: satellite state at transmission, rotated into the
// Earth-fixed frame of reception.
Geometry Solve(const SatModel& sat, const Vec3& rx, double t_true) {
  Geometry g;
  double tau = 0.075;
  for (int k = 0; k < 4; ++k) {
    SatState s = SatTruth(sat, t_true - tau);
    double th = kOmegaEarth * tau;
    Vec3 r{s.pos.x * std::cos(th) + s.pos.y * std::sin(th),
           -s.pos.x * std::sin(th) + s.pos.y * std::cos(th), s.pos.z};
    double dx = r.x - rx.x, dy = r.y - rx.y, dz = r.z - rx.z;
    g.range = std::sqrt(dx * dx + dy * dy + dz * dz);
    g.sat_pos = s.pos;
    g.clock = s.clock_s;
    tau = g.range / kLight;
  }
  return g;
}

double Tropo(double h, double el) {
  double zenith = 2.3 * std::exp(-std::max(h, 0.0) / 7400.0);
  double s = std::sin(el);
  return zenith * 1.001 / std::sqrt(0.002001 + s * s);
}

// C/N0 of a signal at elevation el (radians), before noise.
double Cn0Model(int signal, double el) {
  double offset = 0;
  switch (signal) {
    case 1:
    case 2:
    case 9:
    case 10:
      offset = -5;
      break;
    case 3:
    case 7:
    case 11:
    case 29:
      offset = -2;
      break;
    case 4:
    case 14:
    case 20:
    case 21:
    case 22:
    case 26:
    case 25:
      offset = 2;
      break;
    default:
      break;
  }
  return 33.0 + 17.0 * std::pow(std::max(std::sin(el), 0.0), 0.6) + offset;
}

uint64_t SigKey(int antenna, int signal) {
  return static_cast<uint64_t>(antenna * 64 + signal);
}

// Quantises the measured values into block fields and the values a decoder
// reads back; main is the first signal of the satellite (nullptr for itself).
// Returns false when the signal cannot be carried.
bool Quantise(const SatModel& sat, const SigMeas* main, SigMeas* m) {
  double lambda = SignalLambda(m->signal, sat.glo_k);
  if (m->true_pr <= 0 || m->true_pr > 68000000.0) return false;
  m->pr_mm = static_cast<uint64_t>(std::llround(m->true_pr * 1000.0));
  if (main == nullptr) {
    m->pr_m = static_cast<double>(m->pr_mm >> 32) * 4294967.296 +
              static_cast<double>(m->pr_mm & 0xFFFFFFFFu) * 0.001;
  } else {
    int64_t offset = static_cast<int64_t>(m->pr_mm) - static_cast<int64_t>(main->pr_mm);
    if (offset <= -262144 || offset > 262143) return false;
    m->pr_m = main->pr_block_m + static_cast<double>(offset) * 0.001;
  }
  m->pr_block_m = m->pr_m;
  int64_t cmc = std::llround((m->true_carrier - m->pr_m / lambda) * 1000.0);
  if (cmc <= -8388608 || cmc > 8388607) return false;
  m->cmc_mcyc = static_cast<int32_t>(cmc);
  m->carrier_cyc = main == nullptr ? static_cast<double>(cmc) / 1000 + m->pr_m / lambda
                                   : static_cast<double>(cmc) * 0.001 + m->pr_m / lambda;
  if (main == nullptr) {
    m->dop_raw = static_cast<int32_t>(std::lround(m->true_doppler / 0.0001));
    m->doppler_hz = static_cast<float>(m->dop_raw * 0.0001);
  } else {
    double lambda1 = SignalLambda(main->signal, sat.glo_k);
    double scaled = main->dop_raw * 0.0001 * lambda1 / lambda;
    int64_t d = std::llround((m->true_doppler - scaled) / 0.0001);
    if (d <= -(1 << 20) || d >= (1 << 20)) return false;
    m->dop_raw = static_cast<int32_t>(d);
    m->doppler_hz = static_cast<float>(scaled + static_cast<double>(d) * 0.0001);
  }
  bool pcode = GetSignal(m->signal).is_pcode;
  double base = pcode ? 0.0 : 10.0;
  double steps = std::floor((m->true_cn0 - base) / 0.25);
  steps = std::clamp(steps, 0.0, 254.0);
  m->cn0_raw = static_cast<uint8_t>(steps);
  double coarse = steps * 0.25 + base;
  m->cn0_frac = static_cast<uint8_t>(std::clamp(std::floor((m->true_cn0 - coarse) * 32), 0.0, 7.0));
  m->cn0_centi = static_cast<int16_t>(std::lround(m->true_cn0 * 100));
  m->pr_full = std::round(m->true_pr * 1e4) / 1e4;
  m->cmp_m = static_cast<float>(m->true_carrier * lambda - m->pr_full);
  return true;
}

}  // namespace

IonoParams MakeIonoParams(uint64_t seed) {
  Rng rng(HashKeys(seed, RND_RECEIVER, 7));
  double scale = rng.Uniform(0.7, 1.4);
  IonoParams p;
  const double alpha[4] = {1.1176e-08, 7.4506e-09, -5.9605e-08, -5.9605e-08};
  const double beta[4] = {90112.0, 49152.0, -131072.0, -327680.0};
  for (int i = 0; i < 4; ++i) {
    p.alpha[i] = static_cast<float>(alpha[i] * scale);
    p.beta[i] = static_cast<float>(beta[i]);
  }
  return p;
}

double KlobucharDelay(const IonoParams& p, double lat, double lon, double el, double az,
                      double t_gps) {
  double e = el / kPi;
  double psi = 0.0137 / (e + 0.11) - 0.022;
  double phi_i = std::clamp(lat / kPi + psi * std::cos(az), -0.416, 0.416);
  double lam_i = lon / kPi + psi * std::sin(az) / std::cos(phi_i * kPi);
  double phi_m = phi_i + 0.064 * std::cos((lam_i - 1.617) * kPi);
  double t = std::fmod(43200.0 * lam_i + t_gps, 86400.0);
  if (t < 0) t += 86400.0;
  double f = 1.0 + 16.0 * std::pow(0.53 - e, 3);
  double amp = 0, per = 0, pm = 1;
  for (int i = 0; i < 4; ++i, pm *= phi_m) {
    amp += p.alpha[i] * pm;
    per += p.beta[i] * pm;
  }
  amp = std::max(amp, 0.0);
  per = std::max(per, 72000.0);
  double x = 2 * kPi * (t - 50400.0) / per;
  double delay =
      std::fabs(x) < 1.57 ? f * (5e-9 + amp * (1 - x * x / 2 + x * x * x * x / 24)) : f * 5e-9;
  return delay * kLight;
}

ReceiverModel MakeReceiver(const Scenario& sc) {
  ReceiverModel rx;
  rx.lat = sc.lat_deg * kDeg;
  rx.lon = sc.lon_deg * kDeg;
  rx.h = sc.height_m;
  rx.ref = GeodeticToEcef(rx.lat, rx.lon, rx.h);
  Rng rng(HashKeys(sc.seed, RND_CLOCK, 1000));
  rx.clk_b0 = rng.Uniform(-3e-4, 3e-4);
  rx.clk_drift = rng.Uniform(1e-8, 4e-8) * (rng.Uniform() < 0.5 ? -1 : 1);
  return rx;
}

RxState ReceiverAt(const Scenario& sc, const ReceiverModel& rx, double t_gps) {
  double t = t_gps - sc.start_ms / 1000.0;
  double e = 0, n = 0, ve = 0, vn = 0;
  if (sc.motion == MOTION_CIRCLE) {
    double w = sc.speed_mps / sc.radius_m;
    e = sc.radius_m * std::cos(w * t), n = sc.radius_m * std::sin(w * t);
    ve = -sc.radius_m * w * std::sin(w * t), vn = sc.radius_m * w * std::cos(w * t);
  } else if (sc.motion == MOTION_LINE) {
    double hd = sc.heading_deg * kDeg;
    ve = sc.speed_mps * std::sin(hd), vn = sc.speed_mps * std::cos(hd);
    e = ve * t, n = vn * t;
  }
  RxState s;
  Vec3 d = EnuToEcef(rx.lat, rx.lon, e, n, 0);
  s.pos[0] = {rx.ref.x + d.x, rx.ref.y + d.y, rx.ref.z + d.z};
  Vec3 b = EnuToEcef(rx.lat, rx.lon, sc.baseline_enu[0], sc.baseline_enu[1], sc.baseline_enu[2]);
  s.pos[1] = {s.pos[0].x + b.x, s.pos[0].y + b.y, s.pos[0].z + b.z};
  s.vel = EnuToEcef(rx.lat, rx.lon, ve, vn, 0);
  return s;
}

double ReceiverClock(const Scenario& sc, const ReceiverModel& rx, double t_rx) {
  double raw = rx.clk_b0 + rx.clk_drift * (t_rx - sc.start_ms / 1000.0);
  return raw - std::round(raw / 1e-3) * 1e-3;
}

void InitTracker(size_t sat_count, Tracker* tracker) {
  tracker->state.assign(sat_count * 2 * kNumSignals, TrackState{});
  tracker->channel.assign(sat_count, 0);
  tracker->channel_used.assign(256, false);
}

void ComputeEpoch(const Scenario& sc, const std::vector<SatModel>& sats, const ReceiverModel& rx,
                  const IonoParams& iono, int64_t t_ms, Tracker* tracker, EpochMeas* epoch) {
  double t_rx = t_ms / 1000.0;
  double clock = ReceiverClock(sc, rx, t_rx);
  // The clock rate without steps, for the Doppler.
  double t_true = t_rx - clock;
  epoch->t_ms = t_ms;
  epoch->rx_clock_s = clock;
  epoch->rx = ReceiverAt(sc, rx, t_true);
  epoch->sats.clear();

  double mask = sc.mask_deg * kDeg;
  double slip_p = sc.slips_per_hour * (sc.interval_ms / 1000.0) / 3600.0;
  // Visible satellites, highest first, at most 80.
  std::vector<std::pair<double, size_t>> visible;
  std::vector<Geometry> geo(sats.size());
  for (size_t i = 0; i < sats.size(); ++i) {
    geo[i] = Solve(sats[i], epoch->rx.pos[0], t_true);
    double el, az;
    Vec3 p = geo[i].sat_pos;
    ElevationAzimuth(epoch->rx.pos[0], p, &el, &az);
    if (el >= mask) visible.push_back({-el, i});
  }
  std::sort(visible.begin(), visible.end());
  if (visible.size() > 80) visible.resize(80);
  std::vector<bool> in_view(sats.size(), false);
  for (const auto& v : visible) in_view[v.second] = true;
  // Channels: released when a satellite sets, taken lowest-first when it rises.
  for (size_t i = 0; i < sats.size(); ++i) {
    if (!in_view[i] && tracker->channel[i] != 0) {
      tracker->channel_used[tracker->channel[i]] = false;
      tracker->channel[i] = 0;
      for (int k = 0; k < 2 * kNumSignals; ++k) {
        tracker->state[i * 2 * kNumSignals + k].tracked = false;
      }
    }
  }
  for (size_t i = 0; i < sats.size(); ++i) {
    if (!in_view[i]) continue;
    const SatModel& sat = sats[i];
    if (tracker->channel[i] == 0) {
      for (int c = 1; c < 255; ++c) {
        if (!tracker->channel_used[c]) {
          tracker->channel_used[c] = true;
          tracker->channel[i] = static_cast<uint8_t>(c);
          break;
        }
      }
    }
    SatMeas sm;
    sm.sat_id = i;
    sm.channel = tracker->channel[i];
    ElevationAzimuth(epoch->rx.pos[0], geo[i].sat_pos, &sm.elevation, &sm.azimuth);
    sm.sat_pos = geo[i].sat_pos;
    sm.sat_clock_s = geo[i].clock;
    sm.range_m = geo[i].range;
    sm.tropo_m = Tropo(sc.height_m, sm.elevation);
    double iono_l1 = KlobucharDelay(iono, rx.lat, rx.lon, sm.elevation, sm.azimuth, t_true);
    sm.sigs.reserve(2 * kNumSignals);  // main stays put while extras are added
    const SigMeas* main = nullptr;
    for (int ant = 0; ant < sc.antennas; ++ant) {
      Geometry g = ant == 0 ? geo[i] : Solve(sat, epoch->rx.pos[1], t_true);
      // Range rate from the change of range and clocks over +-h.
      const double h = 0.05;
      RxState before = ReceiverAt(sc, rx, t_true - h), after = ReceiverAt(sc, rx, t_true + h);
      Geometry g0 = Solve(sat, before.pos[ant], t_true - h);
      Geometry g1 = Solve(sat, after.pos[ant], t_true + h);
      double rate = (g1.range - g0.range) / (2 * h) + kLight * rx.clk_drift -
                    kLight * (g1.clock - g0.clock) / (2 * h);
      double common = g.range + kLight * (clock - g.clock) + sm.tropo_m;
      for (int s = 0; s < kNumSignals; ++s) {
        if (((sat.signals >> s) & 1) == 0) continue;
        SigMeas m;
        m.signal = static_cast<uint8_t>(s);
        m.antenna = static_cast<uint8_t>(ant);
        double f = SignalHz(s, sat.glo_k);
        double lambda = kLight / f;
        double ratio = 1575.42e6 / f;
        m.iono_m = iono_l1 * ratio * ratio;
        uint64_t key = SigKey(ant, s);
        double sin_el = std::max(std::sin(sm.elevation), 0.05);
        m.true_cn0 = Cn0Model(s, sm.elevation) +
                     0.4 * HashGaussian(HashKeys(sc.seed, RND_CN0_NOISE, t_ms, sat.svid, key));
        double code_sigma = sc.code_noise_m / std::sqrt(sin_el) * (s == 0 || s == 8 ? 1.0 : 0.6);
        m.true_pr =
            common + m.iono_m + kLight * GroupDelay(sat, s) +
            code_sigma * HashGaussian(HashKeys(sc.seed, RND_CODE_NOISE, t_ms, sat.svid, key));
        double phase_m =
            common - m.iono_m +
            0.0015 * HashGaussian(HashKeys(sc.seed, RND_PHASE_NOISE, t_ms, sat.svid, key));
        m.true_doppler = -rate / lambda + 0.01 * HashGaussian(HashKeys(sc.seed, RND_DOPPLER_NOISE,
                                                                       t_ms, sat.svid, key));
        TrackState& ts = tracker->state[(i * 2 + ant) * kNumSignals + s];
        bool relock = !ts.tracked;
        if (ts.tracked && HashUniform(HashKeys(sc.seed, RND_SLIP, t_ms, sat.svid, key)) < slip_p) {
          Rng rng(HashKeys(sc.seed, RND_AMBIGUITY, t_ms, sat.svid, key));
          int jump = rng.Int(1, 40) * (rng.Uniform() < 0.5 ? -1 : 1);
          ts.ambiguity += jump;
          ts.lock_start_ms = t_ms;
          m.slip = true;
        }
        bool carried = false;
        for (int attempt = 0; attempt < 2 && !carried; ++attempt) {
          if (relock) {
            Rng rng(HashKeys(sc.seed, RND_AMBIGUITY, t_ms, sat.svid, key + 1000));
            ts.tracked = true;
            ts.lock_start_ms = t_ms;
            ts.ambiguity = -std::llround((phase_m - m.true_pr) / lambda) + rng.Int(-400, 400);
            m.slip = true;
          }
          m.ambiguity = ts.ambiguity;
          m.true_carrier = phase_m / lambda + static_cast<double>(ts.ambiguity);
          int64_t elapsed_s = (t_ms - ts.lock_start_ms) / 1000;
          m.lock_s = static_cast<uint32_t>(std::min<int64_t>(elapsed_s, 65534));
          m.no_phase = t_ms - ts.lock_start_ms < 2000 && !sc.variant_5944;
          carried = Quantise(sat, main, &m);
          relock = true;  // a carrier that ran out of its field is re-aligned
        }
        if (!carried) continue;
        if (main != nullptr && m.lock_s > 254 && !sc.extra_info_4000) m.lock_s = 254;
        m.lock_ms = m.lock_s == 0 ? 10 : m.lock_s * 1000;
        double cn0 = m.cn0_raw * 0.25 + (GetSignal(s).is_pcode ? 0.0 : 10.0);
        if (sc.extra_info_4000) cn0 += m.cn0_frac / 32.0;
        if (sc.full_ranges_4098) {
          cn0 = m.cn0_centi / 100.0;
          m.pr_m = m.pr_full;
          m.carrier_cyc = (m.pr_full + static_cast<double>(m.cmp_m)) / lambda;
        }
        m.cn0_dbhz = static_cast<float>(cn0);
        sm.sigs.push_back(m);
        if (main == nullptr) main = &sm.sigs.front();
      }
    }
    if (!sm.sigs.empty()) epoch->sats.push_back(std::move(sm));
  }
  // The refinement blocks hold at most 255 signals: the lowest satellites go.
  if (sc.extra_info_4000 || sc.full_ranges_4098) {
    for (;;) {
      size_t total = 0, lowest = 0;
      for (size_t k = 0; k < epoch->sats.size(); ++k) {
        total += epoch->sats[k].sigs.size();
        if (epoch->sats[k].elevation < epoch->sats[lowest].elevation) lowest = k;
      }
      if (total <= 255) break;
      epoch->sats.erase(epoch->sats.begin() + static_cast<std::ptrdiff_t>(lowest));
    }
  }
}

}  // namespace kavrino::qdxgen

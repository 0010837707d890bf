#include "qdx/encode/compact_encoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/signals.h"
#include "qdx/decode/compact_records.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino::test {
namespace {

struct System {
  uint8_t constellation, first_sat;
  double base_m;
  std::vector<uint8_t> signals;
};
const System kSystems[kCompactConstellations] = {
    {CONST_GPS, 1, 19e6, {0, 3, 4, 1, 2, 5}},
    {CONST_GLONASS, 38, 19e6, {8, 11, 9, 10, 12}},
    {CONST_GALILEO, 71, 22e6, {17, 20, 21, 19, 22}},
    {CONST_BEIDOU, 161, 20e6, {28, 29, 30, 13, 14}},
    {CONST_SBAS, 120, 34e6, {24, 25}},
    {CONST_QZSS, 201, 34e6, {6, 7, 26, 27, 32, 33}},
    {CONST_NAVIC, 211, 34e6, {15}},
};
constexpr uint32_t kIntervals[16] = {1,     500,    1000, 2000, 5000, 10000, 15000, 30000,
                                     60000, 120000, 1,    1,    1,    1,     1,     1};

// The integer fields of one record; Pack checks their widths.
struct Fields {
  int64_t pr = 0, cf = 1, cn0 = 0;
  uint32_t lock = 0, mask = 0;
  int16_t rate = 0;
};

bool Fits(int64_t v, int bits) {
  return v >= 0 && v < (int64_t{1} << bits);
}

void Put(std::vector<uint8_t>* out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool Pack(int kind, const Fields& f, bool rate_flag, std::vector<uint8_t>* out) {
  out->clear();
  const auto u = [](int64_t v) { return static_cast<uint32_t>(v); };
  switch (kind) {
    case kMasterStandalone:
      if (!Fits(f.pr, 33) || !Fits(f.cf, 18) || !Fits(f.cn0, 5) || f.lock > 7 || f.mask > 15) {
        return false;
      }
      Put(out,
          1 | u(f.cf) << 1 | u(f.pr >> 32) << 19 | f.lock << 20 | u(f.cn0) << 23 | f.mask << 28, 4);
      Put(out, u(f.pr), 4);
      if (rate_flag) Put(out, static_cast<uint16_t>(f.rate), 2);
      return true;
    case kMasterFull:
      if (!Fits(f.pr, 36) || !Fits(f.cf, 22) || !Fits(f.cn0, 6) || f.mask == 0) return false;
      Put(out, u(f.pr >> 32) << 2 | u(f.cf) << 6 | f.lock << 28, 4);
      Put(out, u(f.pr), 4);
      Put(out, u(f.cn0) | (f.mask & 0x1FF) << 6 | (f.mask > 0x1FF ? 0x8000 : 0), 2);
      if (f.mask > 0x1FF) Put(out, f.mask >> 9, 1);
      if (rate_flag) Put(out, static_cast<uint16_t>(f.rate), 2);
      return true;
    case kMasterShortDelta:
      if (!Fits(f.cn0, 2) || !Fits(f.pr, 14) || !Fits(f.cf, 14)) return false;
      Put(out, 0x2 | u(f.cn0) << 2 | u(f.pr) << 4 | u(f.cf) << 18, 4);
      return true;
    case kMasterLongDelta:
      if (!Fits(f.pr, 17) || !Fits(f.cn0, 3) || !Fits(f.cf, 16)) return false;
      Put(out, 0x0E | u(f.pr >> 13) << 4, 1);
      Put(out, (u(f.pr) & 0x1FFF) | u(f.cn0) << 13 | u(f.cf) << 16, 4);
      return true;
    case kSlaveStandalone:
      if (!Fits(f.cf, 16) || !Fits(f.pr, 15) || !Fits(f.cn0, 5) || f.lock > 7) return false;
      Put(out, 1 | u(f.cf) << 1 | u(f.pr) << 17, 4);
      Put(out, f.lock | u(f.cn0) << 3, 1);
      return true;
    case kSlaveDelta:
      if (!Fits(f.pr, 12) || !Fits(f.cn0, 2) || !Fits(f.cf, 8)) return false;
      Put(out, 0x2 | u(f.pr) << 2 | u(f.cn0) << 14, 2);
      Put(out, u(f.cf), 1);
      return true;
    case kSlaveFull:
      if (!Fits(f.cf, 22) || !Fits(f.pr, 19) || !Fits(f.cn0, 6)) return false;
      Put(out, u(f.cf) << 2 | f.lock << 24 | u(f.pr >> 16) << 28, 4);
      Put(out, u(f.pr) & 0xFFFF, 2);
      Put(out, u(f.cn0), 1);
      return true;
    default:
      return false;
  }
}

// Largest lock-table entry not above the lock time (index 0 for no phase).
bool LockIndex(const MeasSignal& s, bool short_table, uint32_t* index) {
  if (s.flags & SIG_FLAG_NO_PHASE) return *index = 0, true;
  const uint32_t count = short_table ? 8 : 15;
  for (uint32_t i = 1; i < count; ++i) {
    if (kCompactLockTimes[i] <= s.lock_time_ms) return *index = i, true;
  }
  if (short_table) return false;
  return *index = 15, true;
}

// Solves the record's integer fields for the wanted values by probing the
// decoder (every value is linear in its field), then checks what it decodes.
template <typename Decode>
bool Solve(int kind, const MeasSignal& want, double cn0_whole, Fields f, bool rate_flag,
           Decode decode, std::vector<uint8_t>* bytes, CompactSignalValues* got) {
  const bool has_carrier = IsMeasPresent(want.carrier_cycles);
  std::vector<uint8_t> probe;
  auto eval = [&](const Fields& x, CompactSignalValues* v) {
    return Pack(kind, x, rate_flag, &probe) && decode(probe, v);
  };
  CompactSignalValues a, b;
  Fields g = f;
  g.pr = g.cn0 = 0;
  g.cf = 1;
  if (!eval(g, &a)) return false;
  g.pr = g.cn0 = 2;  // the carrier field stays: it moves the pseudorange of some kinds
  if (!eval(g, &b)) return false;
  const double slope_pr = (b.pseudorange_m - a.pseudorange_m) / 2;
  const double slope_cn0 = (b.cn0_dbhz - a.cn0_dbhz) / 2;
  f.cn0 = std::llround((cn0_whole - a.cn0_dbhz) / slope_cn0);
  f.cf = 1;
  f.pr = std::llround((want.pseudorange_m - a.pseudorange_m) / slope_pr);
  for (int round = 0; round < 3; ++round) {
    if (!eval(f, &a)) return false;
    if (has_carrier) f.cf += std::llround((want.carrier_cycles - a.carrier_cycles) * 1000.0);
    f.pr += std::llround((want.pseudorange_m - a.pseudorange_m) / slope_pr);
  }
  if (!has_carrier && kind != kSlaveDelta) f.cf = 0;
  if (has_carrier && f.cf == 0 && kind != kSlaveDelta) return false;
  if (!Pack(kind, f, rate_flag, bytes) || !decode(*bytes, got)) return false;
  const bool carrier_ok = has_carrier ? std::fabs(got->carrier_cycles - want.carrier_cycles) < 6e-4
                                      : !IsMeasPresent(got->carrier_cycles);
  return std::fabs(got->pseudorange_m - want.pseudorange_m) < 6e-4 && carrier_ok &&
         std::fabs(got->cn0_dbhz - cn0_whole) < 1e-6 && (got->flags & SIG_FLAG_FILLED) &&
         (got->flags & SIG_FLAG_NO_PHASE) == (want.flags & SIG_FLAG_NO_PHASE) &&
         got->lock_time_ms <= want.lock_time_ms;
}

void PutDopplerCode(std::vector<uint8_t>* out, int64_t value, bool absent, uint32_t absent_mag) {
  const uint64_t sign = (absent || value < 0) ? 1 : 0;
  const uint64_t mag = absent ? absent_mag : static_cast<uint64_t>(value < 0 ? -value : value);
  if (mag < 64 && !absent) return Put(out, mag << 2 | sign, 1);
  if (mag < 8192 && !absent) return Put(out, mag << 3 | 0x2 | sign, 2);
  if (mag < (1u << 20)) return Put(out, mag << 4 | 0x6 | sign, 3);
  Put(out, (mag & 0xFFFFFFF) << 4 | 0xE | sign, 4);
}

struct Companion {
  std::vector<uint8_t> doppler;
  std::vector<uint8_t> nibbles;
  std::vector<uint8_t> extras;
};

// Whole dB-Hz value coded in the record and the nibble for the rest.
double Cn0Whole(const MeasSignal& s, bool fraction) {
  return fraction ? std::floor(s.cn0_dbhz + 0.5) : std::round(s.cn0_dbhz);
}
uint8_t Cn0Nibble(const MeasSignal& s, double whole) {
  return static_cast<uint8_t>(
      std::clamp<long>(std::lround((s.cn0_dbhz - whole + 0.5) / 0.0625), 0, 15));
}

int CompactSystemOf(uint8_t sat_index) {
  for (int c = 0; c < kCompactConstellations; ++c) {
    if (SatIndexConstellation(sat_index) == kSystems[c].constellation) return c;
  }
  return -1;
}

}  // namespace

CompactEncoderState::CompactEncoderState() {
  std::memset(static_cast<void*>(&ref), 0, sizeof ref);
  ref.reference_tow = 0xFFFFFFFFu;
}

std::vector<std::vector<uint8_t>> EncodeCompactEpoch(uint32_t tow_ms, uint16_t week, int stream,
                                                     const std::vector<CompactSatInput>& sats,
                                                     const CompactEncoderOptions& options,
                                                     CompactEncoderState* state) {
  const uint32_t interval = kIntervals[options.interval_code & 15];
  const uint32_t since = tow_ms % interval;
  const bool reference = since == 0;
  CompactRefState& ref = state->ref;
  if (reference) {
    std::memset(static_cast<void*>(&ref), 0, sizeof ref);
    ref.reference_tow = tow_ms;
    std::memset(state->kept_header_length, 0, sizeof state->kept_header_length);
  }
  // Satellites per compact constellation, ascending.
  std::vector<const CompactSatInput*> by_system[kCompactConstellations];
  for (const CompactSatInput& s : sats) {
    const int c = CompactSystemOf(s.sat_index);
    if (c < 0 || s.sat_index - kSystems[c].first_sat >= 64) {
      ++state->unfit;
      continue;
    }
    by_system[c].push_back(&s);
  }
  std::vector<uint8_t> body;
  Companion comp;
  uint16_t system_mask = 0;
  for (int c = 0; c < kCompactConstellations; ++c) {
    auto& list = by_system[c];
    if (list.empty()) continue;
    std::sort(list.begin(), list.end(),
              [](auto* a, auto* b) { return a->sat_index < b->sat_index; });
    const System& sys = kSystems[c];
    // Exclusion: positions 0..7 no satellite uses (taken over from the kept header).
    uint8_t exclusion = 0;
    const bool kept = state->kept_header_length[c] != 0;
    if (kept && (state->kept_header[c][0] & 0x80)) {
      exclusion = state->kept_header[c][state->kept_header_length[c] - 1];
    } else if (!kept && options.exclusion) {
      exclusion = 0xFF;
      for (auto* s : list) {
        for (const MeasSignal& g : s->sigs) {
          for (size_t p = 0; p < sys.signals.size(); ++p) {
            if (sys.signals[p] == g.signal_type && p < 8) exclusion &= ~(1u << p);
          }
        }
      }
      exclusion &= static_cast<uint8_t>((1u << sys.signals.size()) - 1);
    }
    std::vector<uint8_t> effective;
    for (size_t p = 0; p < 16; ++p) {
      if (p < 8 && (exclusion >> p & 1)) continue;
      effective.push_back(p < sys.signals.size() ? sys.signals[p] : 34);
    }
    effective.resize(16, 34);
    auto index_of = [&](uint8_t signal) {
      auto it = std::find(effective.begin(), effective.end(), signal);
      return it == effective.end() ? -1 : static_cast<int>(it - effective.begin());
    };
    // A satellite needs a master signal of the list.
    std::erase_if(list, [&](const CompactSatInput* s) {
      const bool usable = std::any_of(s->sigs.begin(), s->sigs.end(), [&](const MeasSignal& g) {
        return index_of(g.signal_type) >= 0;
      });
      if (!usable) ++state->unfit;
      return !usable;
    });
    if (list.empty()) continue;
    system_mask |= static_cast<uint16_t>(1u << c);
    // Header.
    int top_bit = 0;
    for (auto* s : list) top_bit = std::max(top_bit, s->sat_index - sys.first_sat);
    const int mask_bytes = top_bit / 8 + 1 <= 6 ? top_bit / 8 + 1 : 8;
    std::vector<uint8_t> header(1 + mask_bytes, 0);
    for (auto* s : list) {
      const int bit = s->sat_index - sys.first_sat;
      header[1 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    }
    int mi = 15;  // the first satellite's master index, or the kept one
    if (kept) {
      mi = state->kept_header[c][0] >> 3 & 15;
    } else {
      for (const MeasSignal& g : list[0]->sigs) {
        if (index_of(g.signal_type) >= 0) mi = std::min(mi, index_of(g.signal_type));
      }
    }
    header[0] =
        static_cast<uint8_t>((mask_bytes == 8 ? 7 : mask_bytes) | mi << 3 | (exclusion ? 0x80 : 0));
    if (c == 1) {
      std::vector<uint8_t> nibbles((list.size() + 1) / 2, 0);
      for (size_t k = 0; k < list.size(); ++k) {
        nibbles[k / 2] |= static_cast<uint8_t>(((list[k]->glo_k + 8) & 15) << (k % 2 ? 4 : 0));
      }
      header.insert(header.end(), nibbles.begin(), nibbles.end());
    }
    uint16_t bds_base = 0;
    if (c == 3) {
      for (size_t k = 0; k < list.size() && k < 16; ++k) {
        if (!list[k]->sigs.empty() && list[k]->sigs[0].pseudorange_m >= 34e6) bds_base |= 1u << k;
      }
      Put(&header, bds_base, 2);
    }
    if (exclusion) header.push_back(exclusion);
    const bool same_as_kept = kept && header.size() == state->kept_header_length[c] &&
                              std::equal(header.begin(), header.end(), state->kept_header[c]);
    if (same_as_kept) {
      body.push_back(0);
    } else {
      body.insert(body.end(), header.begin(), header.end());
      if (reference) {
        std::copy(header.begin(), header.end(), state->kept_header[c]);
        state->kept_header_length[c] = static_cast<uint8_t>(header.size());
      }
    }

    for (size_t k = 0; k < list.size(); ++k) {
      const CompactSatInput& sat = *list[k];
      const int bit = sat.sat_index - sys.first_sat;
      const int glo_k = c == 1 ? sat.glo_k : -8;
      // Signals by compact index; the lowest is the master.
      std::vector<std::pair<int, const MeasSignal*>> sigs;
      for (const MeasSignal& g : sat.sigs) {
        const int idx = index_of(g.signal_type);
        if (idx < 0) {
          ++state->unfit;
        } else {
          sigs.push_back({idx, &g});
        }
      }
      std::sort(sigs.begin(), sigs.end(),
                [](const auto& a, const auto& b) { return a.first < b.first; });
      const MeasSignal& mw = *sigs[0].second;
      const uint8_t m = static_cast<uint8_t>(sigs[0].first);
      uint32_t slave_mask = 0;
      for (size_t i = 1; i < sigs.size(); ++i) slave_mask |= 1u << sigs[i].first;
      CompactRefSat* ref_sat = &ref.sats[c][bit];
      CompactRefSignal* ref_sig = ref.sig[c][bit];
      const double lambda_m = SignalWavelength(effective[m], glo_k);
      int16_t rate = ref_sat->range_rate;
      if (reference && options.rate_flag && IsMeasPresent(mw.doppler_hz)) {
        rate = static_cast<int16_t>(std::clamp<long>(
            std::lround(-mw.doppler_hz * lambda_m * 1000.0 / 64.0), -32768, 32767));
      }
      if (!options.rate_flag) rate = 0;
      const double base = c == 3 && k < 16 && (bds_base >> k & 1) ? 34e6 : sys.base_m;
      CompactMasterContext ctx = {options.rate_flag,
                                  static_cast<uint8_t>(mi),
                                  base,
                                  effective.data(),
                                  glo_k,
                                  since,
                                  ref_sat,
                                  ref_sig};
      // Master record.
      std::vector<int> kinds;
      if (options.master_kind != kCompactAuto) kinds.push_back(options.master_kind);
      if (!reference)
        kinds.insert(kinds.end(), {kMasterShortDelta, kMasterLongDelta, kMasterStandalone});
      kinds.push_back(kMasterFull);
      std::vector<uint8_t> bytes;
      CompactMasterResult master{};
      bool done = false;
      const double m_whole = Cn0Whole(mw, options.cn0_fraction);
      for (int kind : kinds) {
        Fields f;
        f.rate = rate;
        if (kind == kMasterFull && !LockIndex(mw, false, &f.lock)) continue;
        if (kind == kMasterStandalone && (m != mi || !LockIndex(mw, true, &f.lock))) continue;
        if (kind == kMasterStandalone) {
          f.mask = slave_mask >> (m + 1);
          if (f.mask > 15) continue;
        }
        if (kind == kMasterFull) f.mask = slave_mask | 1u << m;
        if ((kind == kMasterShortDelta || kind == kMasterLongDelta) &&
            (reference || ref_sat->master != m || ref_sat->slave_mask != slave_mask)) {
          continue;
        }
        auto decode = [&](const std::vector<uint8_t>& b, CompactSignalValues* v) {
          if (DecodeCompactMaster(b.data(), b.size(), ctx, &master) != b.size()) return false;
          *v = master.values;
          return master.master == m && master.slave_mask == slave_mask;
        };
        CompactSignalValues got;
        if (Solve(kind, mw, m_whole, f, options.rate_flag, decode, &bytes, &got)) {
          decode(bytes, &got);
          ++state->kinds[kind];
          done = true;
          break;
        }
      }
      if (!done) {  // nothing carries it: a full record with whatever fits
        ++state->unfit;
        Fields f;
        f.mask = slave_mask | 1u << m;
        f.cf = 0;
        f.pr = std::llround(mw.pseudorange_m * 1000.0);
        Pack(kMasterFull, f, options.rate_flag, &bytes);
        DecodeCompactMaster(bytes.data(), bytes.size(), ctx, &master);
      }
      body.insert(body.end(), bytes.begin(), bytes.end());
      if (reference) {
        ref_sat->master = m;
        ref_sat->slave_mask = master.slave_mask;
        ref_sat->range_rate = master.range_rate;
        ref_sig[m] = {master.values.pseudorange_m, master.values.carrier_cycles,
                      static_cast<float>(master.values.cn0_dbhz), master.values.lock_time_ms,
                      master.values.flags};
      }
      ref_sig[m].lock_time_ms = std::max(ref_sig[m].lock_time_ms, master.values.lock_time_ms);
      // Master Doppler and C/N0 fraction.
      const bool m_dop = IsMeasPresent(mw.doppler_hz);
      const int64_t vm = m_dop ? std::llround(-mw.doppler_hz * lambda_m * 1000.0 - 64.0 * rate) : 0;
      PutDopplerCode(&comp.doppler, vm, !m_dop, 0xFFFFFFF);
      const double dm = -(64.0 * rate + static_cast<double>(vm)) * 0.001 / lambda_m;
      comp.nibbles.push_back(Cn0Nibble(mw, m_whole));
      comp.extras.push_back(static_cast<uint8_t>(k));

      for (size_t i = 1; i < sigs.size(); ++i) {
        const int j = sigs[i].first;
        const MeasSignal& sw = *sigs[i].second;
        const size_t n = i - 1;
        const double lambda_s = SignalWavelength(effective[j], glo_k);
        CompactSlaveContext sctx = {&master, effective[j], lambda_s, &ref_sig[ref_sat->master],
                                    &ref_sig[ref_sat->slaves[n]]};
        std::vector<int> skinds;
        if (options.slave_kind != kCompactAuto) skinds.push_back(options.slave_kind);
        if (!reference) skinds.push_back(kSlaveDelta);
        skinds.insert(skinds.end(), {kSlaveStandalone, kSlaveFull});
        const double s_whole = Cn0Whole(sw, options.cn0_fraction);
        CompactSignalValues slave{};
        bool sdone = false;
        for (int kind : skinds) {
          Fields f;
          if (kind == kSlaveFull && !LockIndex(sw, false, &f.lock)) continue;
          if (kind == kSlaveStandalone && !LockIndex(sw, true, &f.lock)) continue;
          if (kind == kSlaveDelta && (reference || ref_sat->slaves[n] != j ||
                                      !(master.is_delta || ref_sat->master == m))) {
            continue;
          }
          auto decode = [&](const std::vector<uint8_t>& b, CompactSignalValues* v) {
            return DecodeCompactSlave(b.data(), b.size(), sctx, v) == b.size();
          };
          if (Solve(kind, sw, s_whole, f, false, decode, &bytes, &slave)) {
            ++state->kinds[kind];
            sdone = true;
            break;
          }
        }
        if (!sdone) {
          ++state->unfit;
          Fields f;
          f.cf = 0;
          f.pr = 262144;
          Pack(kSlaveFull, f, false, &bytes);
          DecodeCompactSlave(bytes.data(), bytes.size(), sctx, &slave);
        }
        body.insert(body.end(), bytes.begin(), bytes.end());
        const bool s_dop = IsMeasPresent(sw.doppler_hz) && m_dop;
        const int64_t vs =
            s_dop ? std::llround(1000.0 * lambda_m * dm - sw.doppler_hz * lambda_s * 1000.0) : 0;
        PutDopplerCode(&comp.doppler, vs, !s_dop || vs == -0xFFFFF, 0xFFFFF);
        if (reference) {
          ref_sig[j] = {slave.pseudorange_m, slave.carrier_cycles,
                        static_cast<float>(slave.cn0_dbhz), slave.lock_time_ms, slave.flags};
          ref_sat->slaves[n] = static_cast<uint8_t>(j);
          ref_sat->num_slaves = static_cast<uint8_t>(n + 1);
        }
        ref_sig[j].lock_time_ms = std::max(ref_sig[j].lock_time_ms, slave.lock_time_ms);
        comp.nibbles.push_back(Cn0Nibble(sw, s_whole));
        comp.extras.push_back(static_cast<uint8_t>(j));
      }
    }
  }

  std::vector<std::vector<uint8_t>> blocks;
  QdxBlockWriter meas(4109, 0, tow_ms, week, 20);
  meas.U16(16, system_mask)
      .U8(18,
          static_cast<uint8_t>(stream | (options.rate_flag ? 8 : 0) | (options.interval_code << 4)))
      .Bytes(20, body);
  blocks.push_back(meas.Finish());
  auto companion = [&](uint16_t number, const std::vector<uint8_t>& data) {
    QdxBlockWriter w(number, 0, tow_ms, week, 16);
    w.U8(14, static_cast<uint8_t>(stream)).Bytes(16, data);
    blocks.push_back(w.Finish());
  };
  if (options.doppler) companion(4111, comp.doppler);
  if (options.cn0_fraction) {
    std::vector<uint8_t> packed((comp.nibbles.size() + 1) / 2, 0);
    for (size_t n = 0; n < comp.nibbles.size(); ++n) {
      packed[n / 2] |= static_cast<uint8_t>(comp.nibbles[n] << (n % 2 ? 4 : 0));
    }
    companion(4110, packed);
  }
  if (options.extras) {
    companion(4112, comp.extras);
    companion(4113, comp.extras);
  }
  return blocks;
}

}  // namespace kavrino::test

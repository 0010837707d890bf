#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/signals.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/encode/compact_encoder.h"
#include "qdx/encode/qdx_writer.h"
#include "qdx/meas_gather.h"
#include "qdx/reader.h"

namespace kavrino {
namespace {

using test::CompactEncoderOptions;
using test::CompactSatInput;

struct Epoch {
  uint32_t tow_ms;
  std::vector<CompactSatInput> sats[2];  // per stream
};

// Satellites of every system with all their listed signals; values move with
// a range rate so that delta records have something to predict.
std::vector<CompactSatInput> MakeSats(uint32_t tow_ms, int stream, double slave_offset_m) {
  struct Def {
    uint8_t sat;
    int k;
    std::vector<uint8_t> signals;
    double range_m;
  };
  const std::vector<Def> defs = {{3, 0, {0, 3, 4, 1, 2, 5}, 21e6},
                                 {30, 0, {0, 1, 2}, 24.5e6},
                                 {40, -7, {8, 11, 9, 10, 12}, 20e6},
                                 {60, 6, {8, 11}, 22e6},
                                 {75, 0, {17, 20, 21, 19, 22}, 25e6},
                                 {165, 0, {28, 29, 30, 13, 14}, 37e6},
                                 {190, 0, {28, 13}, 23e6},
                                 {130, 0, {24, 25}, 37.5e6},
                                 {203, 0, {6, 7, 26, 27, 32, 33}, 38e6},
                                 {212, 0, {15}, 36e6}};
  std::vector<CompactSatInput> sats;
  const double t = tow_ms * 0.001 - 345;
  for (const Def& d : defs) {
    CompactSatInput s;
    s.sat_index = d.sat;
    s.glo_k = d.k;
    const double rate_mps = -300.0 + d.sat * 7.3;  // range rate
    for (size_t i = 0; i < d.signals.size(); ++i) {
      MeasSignal m{};
      m.signal_type = d.signals[i];
      const double lambda = SignalWavelength(m.signal_type, d.k);
      m.pseudorange_m = d.range_m + rate_mps * t + 0.0123 * t * t + (i ? slave_offset_m : 0) +
                        stream * 1.7 + 0.37 * std::sin(t + i);
      m.carrier_cycles = m.pseudorange_m / lambda + 12.345 + 0.02 * i + 0.1 * std::cos(t);
      if (d.sat == 30 && i == 1) m.carrier_cycles = MEAS_ABSENT;
      m.doppler_hz = static_cast<float>(-rate_mps / lambda + 0.05 * i);
      if (d.sat == 60 && i == 1) m.doppler_hz = static_cast<float>(MEAS_ABSENT);
      m.cn0_dbhz = static_cast<float>(38.0 + 0.3 * i + 0.0625 * d.sat / 8);
      m.lock_time_ms = 61000 + tow_ms % 5000;
      m.flags = d.sat == 190 ? SIG_FLAG_NO_PHASE : 0;
      s.sigs.push_back(m);
    }
    sats.push_back(s);
  }
  return sats;
}

// Encodes epochs 345.000 s + n * step and decodes them through the reader.
struct RoundTrip {
  std::vector<Epoch> epochs;
  std::vector<std::unique_ptr<MeasEpochRecord>> decoded;  // one per epoch handed out
  uint64_t kinds[test::kCompactKindCount] = {};
  uint64_t unfit = 0;
};

std::vector<uint8_t> EncodeFile(const CompactEncoderOptions& opt, uint32_t step, int count,
                                double slave_offset, RoundTrip* rt) {
  std::vector<uint8_t> file;
  auto state0 = std::make_unique<test::CompactEncoderState>();
  auto state1 = std::make_unique<test::CompactEncoderState>();
  for (int n = 0; n < count; ++n) {
    Epoch e;
    e.tow_ms = 345000 + n * step;
    for (int s = 0; s < 2; ++s) {
      e.sats[s] = MakeSats(e.tow_ms, s, slave_offset);
      for (auto& b : test::EncodeCompactEpoch(e.tow_ms, 2300, s, e.sats[s], opt,
                                              s ? state1.get() : state0.get())) {
        test::Append(&file, b);
      }
    }
    rt->epochs.push_back(e);
  }
  for (auto* st : {state0.get(), state1.get()}) {
    for (int k = 0; k < test::kCompactKindCount; ++k) rt->kinds[k] += st->kinds[k];
    rt->unfit += st->unfit;
  }
  return file;
}

void DecodeFile(const std::vector<uint8_t>& file, int mode, RoundTrip* rt) {
  const std::string dir = test::MakeTempDir("compact_meas");
  ASSERT_TRUE(test::WriteFileBytes(dir + "/in.qdx", file));
  auto reader = std::make_unique<QdxReader>();
  auto record = std::make_unique<MeasEpochRecord>();
  std::vector<uint8_t> block(kQdxMaxBlockSize);
  InitQdxReader((dir + "/in.qdx").c_str(), reader.get());
  while (GetNextQdxBlock(reader.get(), block.data(), kQdxAnyBlock, kQdxAnyBlock, 0) == 0) {
    if (AddBlockToEpoch(reader.get(), block.data(), record.get(), mode) == 1) {
      rt->decoded.push_back(std::make_unique<MeasEpochRecord>(*record));
    }
  }
  CloseQdxReader(reader.get());
  std::filesystem::remove_all(dir);
}

const MeasSignal* FindSignal(const MeasEpochRecord& r, uint8_t sat, int stream, uint8_t signal) {
  for (uint32_t i = 0; i < r.num_sats; ++i) {
    if (r.sats[i].sat_index != sat) continue;
    for (const MeasSignal& s : r.sats[i].sig[stream]) {
      if (s.flags != 0 && s.signal_type == signal) return &s;
    }
  }
  return nullptr;
}

struct RoundTripCase {
  const char* name;
  CompactEncoderOptions opt;
  uint32_t step_ms;
  int count;
  double slave_offset_m;
  std::vector<int> kinds_expected;
};

TEST(CompactMeas, RoundTripMatchesToFieldResolution) {
  using namespace test;
  CompactEncoderOptions plain;
  CompactEncoderOptions standalone;
  standalone.master_kind = kMasterStandalone;
  standalone.slave_kind = kSlaveStandalone;
  standalone.interval_code = 0;  // every epoch a reference
  CompactEncoderOptions long_delta;
  long_delta.master_kind = kMasterLongDelta;
  long_delta.interval_code = 4;  // 5000 ms
  long_delta.exclusion = true;
  long_delta.extras = true;
  CompactEncoderOptions bare;
  bare.rate_flag = false;
  bare.doppler = false;
  bare.cn0_fraction = false;
  bare.interval_code = 2;
  const std::vector<RoundTripCase> cases = {
      {"auto", plain, 500, 6, 2.5, {kMasterFull, kMasterShortDelta, kSlaveFull, kSlaveDelta}},
      {"standalone", standalone, 1000, 3, 1.5, {kMasterStandalone, kSlaveStandalone}},
      {"long delta", long_delta, 1000, 5, 2.5, {kMasterLongDelta, kSlaveDelta}},
      {"no companions", bare, 500, 4, -3.0, {kMasterFull, kSlaveDelta}},
  };
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.name);
    RoundTrip rt;
    DecodeFile(EncodeFile(c.opt, c.step_ms, c.count, c.slave_offset_m, &rt), kDecodeCompact, &rt);
    EXPECT_EQ(rt.unfit, 0u);
    for (int k : c.kinds_expected) EXPECT_GT(rt.kinds[k], 0u) << "kind " << k;
    ASSERT_EQ(rt.decoded.size(), rt.epochs.size());
    for (size_t e = 0; e < rt.epochs.size(); ++e) {
      const MeasEpochRecord& r = *rt.decoded[e];
      EXPECT_EQ(r.tow_ms, rt.epochs[e].tow_ms);
      EXPECT_EQ(r.num_sats, rt.epochs[e].sats[0].size());
      for (int stream = 0; stream < 2; ++stream) {
        for (const CompactSatInput& sat : rt.epochs[e].sats[stream]) {
          for (const MeasSignal& want : sat.sigs) {
            SCOPED_TRACE(testing::Message()
                         << "tow " << r.tow_ms << " stream " << stream << " sat "
                         << int(sat.sat_index) << " signal " << int(want.signal_type));
            const MeasSignal* got = FindSignal(r, sat.sat_index, stream, want.signal_type);
            ASSERT_NE(got, nullptr);
            EXPECT_NEAR(got->pseudorange_m, want.pseudorange_m, 6e-4);
            if (IsMeasPresent(want.carrier_cycles)) {
              EXPECT_NEAR(got->carrier_cycles, want.carrier_cycles, 6e-4);
            } else {
              EXPECT_FALSE(IsMeasPresent(got->carrier_cycles));
            }
            if (c.opt.doppler && IsMeasPresent(want.doppler_hz)) {
              EXPECT_NEAR(got->doppler_hz, want.doppler_hz, 0.004);
            } else {
              EXPECT_FALSE(IsMeasPresent(got->doppler_hz));
            }
            EXPECT_NEAR(got->cn0_dbhz, want.cn0_dbhz, c.opt.cn0_fraction ? 0.0626 : 0.5);
            EXPECT_EQ(got->flags & SIG_FLAG_NO_PHASE, want.flags & SIG_FLAG_NO_PHASE);
            EXPECT_LE(got->lock_time_ms, want.lock_time_ms);
          }
        }
      }
      for (uint32_t i = 0; i < r.num_sats; ++i) {
        if (r.sats[i].sat_index == 40) {
          EXPECT_EQ(r.sats[i].glo_freq, 1);
        }
      }
    }
  }
}

// Hand-built blocks: one GPS satellite, full master L1 C/A (or L1P).
test::QdxBlockWriter FullMasterBlock(uint32_t tow, uint8_t signal_position, uint8_t lock_index,
                                     uint8_t byte19 = 0) {
  test::QdxBlockWriter w(4109, 0, tow, 2300, 20);
  w.U16(16, 1).U8(18, 0x20).U8(19, byte19);  // GPS, stream 0, 1000 ms, no rate
  w.U8(20, 0x01).U8(21, 0x04);               // one mask byte, satellite bit 2 (G03)
  const uint32_t word = 1000u << 6 | static_cast<uint32_t>(lock_index) << 28;
  w.U32(22, word)
      .U32(26, 21000000)
      .U16(30, static_cast<uint16_t>(35 | 1u << (6 + signal_position)));
  return w;
}

std::unique_ptr<MeasEpochRecord> DecodeBlocks(const std::vector<test::QdxBlockWriter>& blocks) {
  std::vector<uint8_t> file;
  for (const auto& b : blocks) test::Append(&file, b);
  RoundTrip rt;
  DecodeFile(file, kDecodeCompact, &rt);
  if (rt.decoded.empty()) return std::make_unique<MeasEpochRecord>();
  return std::move(rt.decoded.back());
}

TEST(CompactMeas, HandBuiltRecords) {
  const double l1 = SignalWavelength(0, 0);
  struct Case {
    const char* name;
    std::vector<test::QdxBlockWriter> blocks;
    uint32_t sats;
    uint8_t signal;
    double cn0, doppler;
    uint8_t flags;
  };
  const std::vector<Case> cases = {
      {"L1 C/A, Doppler code -1, nibble 0",
       {FullMasterBlock(345000, 0, 7), test::QdxBlockWriter(4111, 0, 345000, 2300, 16).U8(16, 0x05),
        test::QdxBlockWriter(4110, 0, 345000, 2300, 16).U8(16, 0x00)},
       1,
       0,
       44.5,
       0.001 / l1,
       0x80},
      {"L1P, no companions, lock index 0",
       {FullMasterBlock(345000, 3, 0)},
       1,
       1,
       35.0,
       MEAS_ABSENT,
       0x84},
      {"byte 19 above 31", {FullMasterBlock(345000, 0, 7, 32)}, 0, 0, 0, 0, 0},
      {"first epoch between references", {FullMasterBlock(345500, 0, 7)}, 0, 0, 0, 0, 0},
      {"Doppler code runs past the end",
       {FullMasterBlock(345000, 0, 7),
        test::QdxBlockWriter(4111, 0, 345000, 2300, 16).U8(16, 0x07)},
       1,
       0,
       45.0,
       MEAS_ABSENT,
       0x80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = DecodeBlocks(c.blocks);
    ASSERT_EQ(r->num_sats, c.sats);
    if (c.sats == 0) continue;
    const MeasSignal* s = FindSignal(*r, 3, 0, c.signal);
    ASSERT_NE(s, nullptr);
    EXPECT_DOUBLE_EQ(s->pseudorange_m, 21000.0);
    EXPECT_FLOAT_EQ(s->cn0_dbhz, static_cast<float>(c.cn0));
    EXPECT_FLOAT_EQ(s->doppler_hz, static_cast<float>(c.doppler));
    EXPECT_EQ(s->flags, c.flags);
  }
}

// Every cut and every single-byte change of a real epoch decodes without
// touching memory outside the blocks (run under the sanitizers in CI).
TEST(CompactMeas, DamagedBlocksNeverReadOutside) {
  CompactEncoderOptions opt;
  opt.interval_code = 0;
  auto state = std::make_unique<test::CompactEncoderState>();
  auto blocks =
      test::EncodeCompactEpoch(345000, 2300, 0, MakeSats(345000, 0, 2.0), opt, state.get());
  const std::vector<uint8_t> meas = blocks[0];
  for (size_t cut = 16; cut < meas.size(); cut += 3) {
    test::QdxBlockWriter w(4109, 0, 345000, 2300, cut);
    w.Bytes(14, std::vector<uint8_t>(meas.begin() + 14, meas.begin() + static_cast<long>(cut)));
    auto r = DecodeBlocks({w, test::QdxBlockWriter(4111, 0, 345000, 2300, 17).U8(16, 0xFF)});
    EXPECT_LE(r->num_sats, 10u);
  }
  for (size_t at = 16; at < meas.size(); ++at) {
    test::QdxBlockWriter w(4109, 0, 345000, 2300, meas.size());
    w.Bytes(14, std::vector<uint8_t>(meas.begin() + 14, meas.end()));
    w.U8(at, static_cast<uint8_t>(meas[at] ^ 0xA5));
    auto r = DecodeBlocks({w});
    EXPECT_LE(r->num_sats, 80u);
  }
}

// A record holds 80 satellites: each further one takes over the last entry,
// and the second stream finds only the satellites still in the record.
TEST(CompactMeas, FullRecordGivesItsLastEntryToTheNewcomer) {
  auto one_signal = [](uint8_t sat, uint8_t signal, double range_m) {
    CompactSatInput s;
    s.sat_index = sat;
    MeasSignal m{};
    m.signal_type = signal;
    m.pseudorange_m = range_m;
    m.carrier_cycles = MEAS_ABSENT;
    m.doppler_hz = static_cast<float>(MEAS_ABSENT);
    m.cn0_dbhz = 40.0f;
    s.sigs.push_back(m);
    return s;
  };
  std::vector<CompactSatInput> first;  // 92 satellites: GPS 1..32, GLONASS 38..61, Galileo 71..106
  for (int sat = 1; sat <= 32; ++sat) first.push_back(one_signal(sat, 0, 2e7 + sat));
  for (int sat = 38; sat <= 61; ++sat) first.push_back(one_signal(sat, 8, 2e7 + sat));
  for (int sat = 71; sat <= 106; ++sat) first.push_back(one_signal(sat, 17, 2e7 + sat));
  struct Case {
    const char* name;
    std::vector<uint8_t> second;  // satellites of stream 1
    uint8_t last_sat;             // the satellite of entry 79 afterwards
    bool last_keeps_stream0;
  };
  const Case cases[] = {
      {"last satellite found again", {3, 106}, 106, true},
      {"displaced satellite comes back", {3, 105}, 105, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<CompactSatInput> second;
    for (uint8_t sat : c.second) second.push_back(one_signal(sat, sat < 38 ? 0 : 17, 3e7 + sat));
    CompactEncoderOptions opt;
    std::vector<uint8_t> file;
    for (int s = 0; s < 2; ++s) {
      auto state = std::make_unique<test::CompactEncoderState>();
      for (auto& b :
           test::EncodeCompactEpoch(345000, 2300, s, s ? second : first, opt, state.get())) {
        test::Append(&file, b);
      }
    }
    RoundTrip rt;
    DecodeFile(file, kDecodeCompact, &rt);
    ASSERT_EQ(rt.decoded.size(), 1u);
    const MeasEpochRecord& r = *rt.decoded[0];
    ASSERT_EQ(r.num_sats, 80u);
    EXPECT_EQ(r.sats[78].sat_index, 93);
    EXPECT_EQ(r.sats[79].sat_index, c.last_sat);
    EXPECT_EQ(FindSignal(r, c.last_sat, 0, 17) != nullptr, c.last_keeps_stream0);
    ASSERT_NE(FindSignal(r, c.last_sat, 1, 17), nullptr);
    EXPECT_NEAR(FindSignal(r, c.last_sat, 1, 17)->pseudorange_m, 3e7 + c.last_sat, 1e-3);
    ASSERT_NE(FindSignal(r, 3, 1, 0), nullptr);
    ASSERT_NE(FindSignal(r, 3, 0, 0), nullptr);
    for (uint32_t i = 0; i < r.num_sats; ++i) EXPECT_NE(r.sats[i].sat_index, 104);
  }
}

}  // namespace
}  // namespace kavrino

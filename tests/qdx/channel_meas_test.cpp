#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "gnss/signals.h"
#include "qdx/meas_blocks.h"
#include "qdx/meas_decode.h"

namespace kavrino {
namespace {

using test::ChannelBlock;
using test::ChannelBlockShape;
using test::ExtraInfoSub;
using test::ExtraSub;
using test::FullRangeSub;
using test::MainSub;

constexpr double kC = 299792458.0;
const double kLambdaL1 = kC / 1575.42e6;
const double kLambdaL2 = kC / 1227.60e6;

std::unique_ptr<MeasEpochRecord> Decode(const test::QdxBlockWriter& block) {
  auto record = std::make_unique<MeasEpochRecord>();
  std::vector<uint8_t> bytes = block.Finish();  // exactly the block: any overread is out of bounds
  DecodeChannelMeasurements(bytes.data(), record.get());
  return record;
}

TEST(ChannelMeasurements, MainAndExtraSignalValues) {
  MainSub sat;
  sat.channel = 3;
  ExtraSub l2c;
  l2c.type = 3;
  l2c.offsets_high = 0x0F;  // code high -1, Doppler high +1
  l2c.code_low = 1000;
  l2c.carrier_high = 2;
  l2c.carrier_low = 500;
  l2c.doppler_low = 10;
  l2c.cn0 = 100;
  l2c.lock_s = 255;
  sat.extras = {l2c};
  auto r = Decode(ChannelBlock({sat}));

  EXPECT_EQ(r->tow_ms, 345000u);
  EXPECT_EQ(r->week, 2300);
  ASSERT_EQ(r->num_sats, 1u);
  const MeasSatEntry& e = r->sats[0];
  EXPECT_EQ(e.sat_index, 5);
  EXPECT_EQ(e.channel, 2);
  EXPECT_EQ(e.glo_freq, 0);

  const MeasSignal& l1 = e.sig[0][0];
  const double p1 = 21598293.269;  // 5 x 4294967.296 + 123456.789
  EXPECT_NEAR(l1.pseudorange_m, p1, 1e-6);
  EXPECT_NEAR(l1.carrier_cycles, -195.608 + p1 / kLambdaL1, 1e-6);
  EXPECT_FLOAT_EQ(l1.doppler_hz, -1234.5678f);
  EXPECT_FLOAT_EQ(l1.cn0_dbhz, 55.0f);
  EXPECT_EQ(l1.lock_time_ms, 5000u);
  EXPECT_EQ(l1.signal_type, 0);
  EXPECT_EQ(l1.flags, SIG_FLAG_FILLED);

  const MeasSignal& l2 = e.sig[0][3];
  const double p2 = p1 - 64.536;  // offset -65536 + 1000 mm
  EXPECT_NEAR(l2.pseudorange_m, p2, 1e-6);
  EXPECT_NEAR(l2.carrier_cycles, 131.572 + p2 / kLambdaL2, 1e-6);
  // Coded against the full-precision L1 Doppler, scaled to the L2 carrier.
  EXPECT_FLOAT_EQ(l2.doppler_hz, static_cast<float>(-1234.5678 * kLambdaL1 / kLambdaL2 + 6.5546));
  EXPECT_FLOAT_EQ(l2.cn0_dbhz, 35.0f);
  EXPECT_EQ(l2.lock_time_ms, 0u);
  EXPECT_EQ(l2.signal_type, 3);
  EXPECT_EQ(l2.flags, SIG_FLAG_FILLED);
  for (int slot : {1, 2, 4, 5, 6}) EXPECT_EQ(e.sig[0][slot].flags, 0) << slot;
  for (const MeasSignal& s : e.sig[1]) EXPECT_EQ(s.flags, 0);
}

TEST(ChannelMeasurements, Cn0AndLockTimeScales) {
  struct Case {
    uint8_t signal, cn0_byte;
    uint16_t lock_s;
    float cn0;
    uint32_t lock_ms;
  };
  const Case cases[] = {
      {0, 180, 5, 55.0f, 5000}, {1, 180, 0, 45.0f, 10},      {2, 180, 65535, 45.0f, 0},
      {3, 0, 1, 10.0f, 1000},   {0, 255, 5, -2.0e10f, 5000},
  };
  for (const Case& c : cases) {
    MainSub sat;
    sat.type = c.signal;
    sat.cn0 = c.cn0_byte;
    sat.lock_s = c.lock_s;
    auto r = Decode(ChannelBlock({sat}));
    const MeasSignal& s = r->sats[0].sig[0][c.signal];
    EXPECT_FLOAT_EQ(s.cn0_dbhz, c.cn0) << int(c.signal);
    EXPECT_EQ(s.lock_time_ms, c.lock_ms) << int(c.signal);
  }
  struct ExtraCase {
    uint8_t signal, cn0_byte, lock_s;
    float cn0;
    uint32_t lock_ms;
  };
  const ExtraCase extra_cases[] = {
      {2, 180, 0, 45.0f, 10}, {3, 180, 255, 55.0f, 0}, {4, 4, 7, 11.0f, 7000}};
  for (const ExtraCase& c : extra_cases) {
    MainSub sat;
    ExtraSub x;
    x.type = c.signal;
    x.cn0 = c.cn0_byte;
    x.lock_s = c.lock_s;
    sat.extras = {x};
    auto r = Decode(ChannelBlock({sat}));
    const MeasSignal& s = r->sats[0].sig[0][c.signal];
    EXPECT_FLOAT_EQ(s.cn0_dbhz, c.cn0) << int(c.signal);
    EXPECT_EQ(s.lock_time_ms, c.lock_ms) << int(c.signal);
  }
}

TEST(ChannelMeasurements, AbsenceMarkersPropagate) {
  struct Case {
    const char* name;
    MainSub main;
    ExtraSub extra;
    bool p1, c1, d1, p2, c2, d2;  // expected presence
  };
  MainSub base;
  ExtraSub x;
  x.type = 3;
  std::vector<Case> cases;
  cases.push_back({"all present", base, x, true, true, true, true, true, true});
  Case c = {"main range absent", base, x, false, false, true, false, false, true};
  c.main.range_high = 0;
  c.main.range_low = 0;
  cases.push_back(c);
  c = {"main carrier absent", base, x, true, false, true, true, true, true};
  c.main.carrier_high = -128;
  c.main.carrier_low = 0;
  cases.push_back(c);
  c = {"main Doppler absent", base, x, true, true, false, true, true, false};
  c.main.doppler = INT32_MIN;
  cases.push_back(c);
  c = {"extra code absent", base, x, true, true, true, false, false, true};
  c.extra.offsets_high = 0x04;  // code high -4, low 0
  cases.push_back(c);
  c = {"extra carrier absent", base, x, true, true, true, true, false, true};
  c.extra.carrier_high = -128;
  cases.push_back(c);
  c = {"extra Doppler absent", base, x, true, true, true, true, true, false};
  c.extra.offsets_high = 0x80;  // Doppler high -16, low 0
  cases.push_back(c);
  for (Case& k : cases) {
    k.main.extras = {k.extra};
    auto r = Decode(ChannelBlock({k.main}));
    ASSERT_EQ(r->num_sats, 1u) << k.name;
    const MeasSignal& m = r->sats[0].sig[0][0];
    const MeasSignal& e = r->sats[0].sig[0][3];
    EXPECT_EQ(IsMeasPresent(m.pseudorange_m), k.p1) << k.name;
    EXPECT_EQ(IsMeasPresent(m.carrier_cycles), k.c1) << k.name;
    EXPECT_EQ(IsMeasPresent(m.doppler_hz), k.d1) << k.name;
    EXPECT_EQ(IsMeasPresent(e.pseudorange_m), k.p2) << k.name;
    EXPECT_EQ(IsMeasPresent(e.carrier_cycles), k.c2) << k.name;
    EXPECT_EQ(IsMeasPresent(e.doppler_hz), k.d2) << k.name;
    EXPECT_EQ(m.flags, SIG_FLAG_FILLED) << k.name;  // absent values do not empty a slot
  }
}

TEST(ChannelMeasurements, SatelliteSelectionAndNumbering) {
  MainSub a;  // channel 0: the entry's own index
  a.channel = 0;
  a.svid = 7;
  MainSub unknown;  // SVID 179 has no index: the entry is reused
  unknown.svid = 179;
  MainSub b;  // channel 255: own index
  b.channel = 255;
  b.svid = 9;
  MainSub glo_bad_low, glo_bad_high, glo_low, glo_high;
  glo_bad_low.svid = 40;
  glo_bad_low.info = 0 << 3;
  glo_bad_high.svid = 41;
  glo_bad_high.info = 15 << 3;
  glo_low.svid = 42;
  glo_low.type = 8;
  glo_low.info = 1 << 3;  // k = -7
  glo_low.channel = 12;
  glo_high.svid = 43;
  glo_high.type = 8;
  glo_high.info = 14 << 3;  // k = +6
  MainSub antenna2;         // only signal on antenna index 2: satellite not kept
  antenna2.svid = 11;
  antenna2.type = 2 << 5;
  MainSub on_antenna1;
  on_antenna1.svid = 12;
  on_antenna1.type = (1 << 5) | 2;
  auto r = Decode(ChannelBlock(
      {a, unknown, b, glo_bad_low, glo_bad_high, glo_low, glo_high, antenna2, on_antenna1}));

  ASSERT_EQ(r->num_sats, 5u);
  const uint8_t expected_index[] = {7, 9, 42, 43, 12};
  const uint8_t expected_channel[] = {0, 1, 11, 0, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(r->sats[i].sat_index, expected_index[i]) << i;
    EXPECT_EQ(r->sats[i].channel, expected_channel[i]) << i;
  }
  EXPECT_EQ(r->sats[2].glo_freq, 1);
  EXPECT_EQ(r->sats[3].glo_freq, 14);
  EXPECT_EQ(r->sats[0].glo_freq, 0);
  const double lambda_glo = kC / (1602e6 - 7 * 562500);
  EXPECT_NEAR(r->sats[2].sig[0][0].carrier_cycles, -195.608 + 21598293.269 / lambda_glo, 1e-6);
  EXPECT_EQ(r->sats[4].sig[0][2].flags, 0);
  EXPECT_EQ(r->sats[4].sig[1][2].flags, SIG_FLAG_FILLED);
  EXPECT_EQ(r->sats[4].sig[1][2].signal_type, 2);
  EXPECT_EQ(r->sats[5].sat_index, 0);  // nothing left behind the last entry

  MainSub none;
  none.svid = 0;
  EXPECT_EQ(Decode(ChannelBlock({none}))->num_sats, 0u);
}

TEST(ChannelMeasurements, ExtendedSignalsVariantAndNoPhase) {
  MainSub qzs;  // extended signal number: 32 + 1 = QZSL1S, slot 5
  qzs.svid = 181;
  qzs.type = 31;
  qzs.info = (1 << 3) | 0x04;
  ExtraSub l1c;  // extended in the extra sub-block: 32 + 0 = QZSL1C, slot 4
  l1c.type = 31;
  l1c.info = 0x04;
  qzs.extras = {l1c};
  MainSub sbas;
  sbas.svid = 130;
  sbas.type = 0;

  struct Case {
    uint16_t number;
    uint8_t sbas_signal;
    uint8_t no_phase_flags;
  };
  for (const Case& c :
       {Case{4027, 0, SIG_FLAG_FILLED | SIG_FLAG_NO_PHASE}, Case{5944, 24, SIG_FLAG_FILLED}}) {
    ChannelBlockShape shape;
    shape.number = c.number;
    auto r = Decode(ChannelBlock({qzs, sbas}, shape));
    ASSERT_EQ(r->num_sats, 2u) << c.number;
    EXPECT_EQ(r->sats[0].sat_index, 201);
    EXPECT_EQ(r->sats[0].sig[0][5].signal_type, 33);
    EXPECT_EQ(r->sats[0].sig[0][5].flags, c.no_phase_flags) << c.number;
    EXPECT_EQ(r->sats[0].sig[0][4].signal_type, 32);
    EXPECT_EQ(r->sats[0].sig[0][4].flags, c.no_phase_flags) << c.number;
    EXPECT_EQ(r->sats[1].sat_index, 130);
    EXPECT_EQ(r->sats[1].sig[0][0].signal_type, c.sbas_signal) << c.number;
  }
}

TEST(ChannelMeasurements, DamagedLayoutsStayInsideTheBlock) {
  MainSub s1, s2;
  s2.svid = 6;
  ExtraSub x;
  x.type = 3;
  s1.extras = {x};
  struct Case {
    const char* name;
    ChannelBlockShape shape;
    int declared_extras;
    uint32_t sats;
    bool l2c;
  };
  ChannelBlockShape too_many_mains;
  too_many_mains.declared_mains = 3;
  ChannelBlockShape short_main;
  short_main.main_size = 19;
  ChannelBlockShape short_extra;
  short_extra.extra_size = 11;
  ChannelBlockShape long_subs;
  long_subs.main_size = 24;
  long_subs.extra_size = 16;
  const Case cases[] = {
      {"well formed", {}, -1, 2, true},
      {"N1 past the end", too_many_mains, -1, 2, true},
      {"N2 past the end", {}, 9, 1, true},
      {"main sub-block too short", short_main, -1, 0, false},
      {"extra sub-block too short", short_extra, -1, 2, false},
      {"longer sub-blocks", long_subs, -1, 2, true},
  };
  for (const Case& c : cases) {
    MainSub first = s1;
    first.declared_extras = c.declared_extras;
    auto r = Decode(ChannelBlock({first, s2}, c.shape));
    EXPECT_EQ(r->num_sats, c.sats) << c.name;
    EXPECT_EQ(r->sats[0].sig[0][3].flags != 0, c.l2c) << c.name;
    if (c.sats == 2) {
      EXPECT_EQ(r->sats[1].sat_index, 6) << c.name;
    }
  }
  // A block too short for the sub-block header.
  EXPECT_EQ(Decode(test::QdxBlockWriter(4027, 0, 1, 2, 16))->num_sats, 0u);
}

TEST(ChannelMeasurements, KeepsTheFirst80Satellites) {
  std::vector<MainSub> sats(90);
  for (size_t i = 0; i < sats.size(); ++i) {  // GPS 1..37, then 71 onwards (index = SVID)
    sats[i].svid = static_cast<uint8_t>(i < 37 ? 1 + i : 71 + (i - 37));
  }
  auto r = Decode(ChannelBlock(sats));
  ASSERT_EQ(r->num_sats, 80u);
  EXPECT_EQ(r->sats[79].sat_index, 71 + 42);
}

// An epoch with GPS 5 on channel 1 (L1 C/A and L2C) and GPS 6 on channel 2 (L1 C/A).
std::unique_ptr<MeasEpochRecord> TwoSatEpoch() {
  MainSub a, b;
  ExtraSub x;
  x.type = 3;
  a.extras = {x};
  b.svid = 6;
  b.channel = 2;
  return Decode(ChannelBlock({a, b}));
}

TEST(SignalExtraInfo, LockTimesAndCn0Fractions) {
  struct Case {
    const char* name;
    uint8_t revision, size;
    uint32_t l1_lock, l2_lock;
    float l1_cn0;
  };
  const Case cases[] = {
      {"revision 3", 3, 16, 9000, 10, 55.125f},
      {"revision 2: no C/N0 fraction", 2, 16, 9000, 10, 55.0f},
      {"wider sub-blocks", 3, 20, 9000, 10, 55.125f},
      {"no info byte", 3, 12, 9000, 10, 55.0f},
      {"no lock time", 3, 10, 5000, 1000, 55.0f},
  };
  for (const Case& c : cases) {
    auto r = TwoSatEpoch();
    ExtraInfoSub l1;
    l1.info = 4;  // +4/32 dB-Hz
    ExtraInfoSub l2;
    l2.type = 3;
    l2.lock_s = 0;
    ExtraInfoSub wrong_channel;
    wrong_channel.channel = 9;
    ExtraInfoSub antenna2;
    antenna2.type = 2 << 5;
    ExtraInfoSub empty_slot;  // GPS 6 has no L2C
    empty_slot.channel = 2;
    empty_slot.type = 3;
    std::vector<uint8_t> block(kCapExtraInfo, 0);
    auto bytes = test::ExtraInfoBlock({wrong_channel, antenna2, empty_slot, l1, l2}, c.revision,
                                      345000, c.size)
                     .Finish();
    std::copy(bytes.begin(), bytes.end(), block.begin());
    ApplySignalExtraInfo(block.data(), block.size(), r.get());
    EXPECT_EQ(r->sats[0].sig[0][0].lock_time_ms, c.l1_lock) << c.name;
    EXPECT_EQ(r->sats[0].sig[0][3].lock_time_ms, c.l2_lock) << c.name;
    EXPECT_FLOAT_EQ(r->sats[0].sig[0][0].cn0_dbhz, c.l1_cn0) << c.name;
    EXPECT_EQ(r->sats[1].sig[0][0].lock_time_ms, 5000u) << c.name;
    EXPECT_EQ(r->sats[1].sig[0][3].flags, 0) << c.name;
  }
}

TEST(SignalExtraInfo, NeverWritesPastItsBuffer) {
  // 255 declared sub-blocks of 2 bytes grow to 255 x 16 bytes: more than the buffer holds.
  test::QdxBlockWriter w(4000, 3, 345000, 2300, 20 + 255 * 2);
  w.U8(14, 255).U8(15, 2);
  for (int k = 0; k < 255; ++k) w.U8(20 + 2 * k, 1);
  auto bytes = w.Finish();
  const size_t capacity = bytes.size() + 100;
  std::vector<uint8_t> buffer(capacity + 64, 0xA5);
  std::copy(bytes.begin(), bytes.end(), buffer.begin());
  auto r = TwoSatEpoch();
  ApplySignalExtraInfo(buffer.data(), capacity, r.get());
  for (size_t i = capacity; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xA5) << i;
  EXPECT_EQ(r->sats[0].sig[0][0].lock_time_ms, 5000u);

  // More sub-blocks declared than the block holds: the whole ones are used.
  ExtraInfoSub l1;
  auto cut = test::ExtraInfoBlock({l1}, 3, 345000, 16, 200).Finish();
  std::vector<uint8_t> block(kCapExtraInfo, 0);
  std::copy(cut.begin(), cut.end(), block.begin());
  ApplySignalExtraInfo(block.data(), block.size(), r.get());
  EXPECT_EQ(r->sats[0].sig[0][0].lock_time_ms, 9000u);
}

TEST(FullPrecisionRanges, ReplacesRangeAndCarrier) {
  struct Case {
    const char* name;
    uint8_t revision, size;
    bool cn0_replaced;
  };
  const Case cases[] = {
      {"revision 1", 1, 20, true},
      {"revision 0: no C/N0", 0, 20, false},
      {"wider sub-blocks", 1, 24, true},
      {"no C/N0 field", 1, 16, false},
  };
  for (const Case& c : cases) {
    auto r = TwoSatEpoch();
    FullRangeSub l2;
    l2.signal = 3;
    l2.pseudorange = 21598228.7331;
    l2.carrier_minus_range = -0.5f;
    FullRangeSub not_finite;
    not_finite.channel = 2;
    not_finite.pseudorange = std::nan("");
    std::vector<uint8_t> block(kCapFullRanges, 0);
    auto bytes = test::FullRangesBlock({not_finite, l2}, c.revision, c.size).Finish();
    std::copy(bytes.begin(), bytes.end(), block.begin());
    ApplyFullPrecisionRanges(block.data(), block.size(), r.get());
    const MeasSignal& s = r->sats[0].sig[0][3];
    EXPECT_DOUBLE_EQ(s.pseudorange_m, 21598228.7331) << c.name;
    EXPECT_DOUBLE_EQ(s.carrier_cycles, (21598228.7331 - 0.5) / kLambdaL2) << c.name;
    EXPECT_FLOAT_EQ(s.cn0_dbhz, c.cn0_replaced ? 45.12f : 50.0f) << c.name;
    EXPECT_EQ(s.flags, SIG_FLAG_FILLED) << c.name;
    EXPECT_NEAR(r->sats[1].sig[0][0].pseudorange_m, 21598293.269, 1e-6) << c.name;
  }
}

TEST(FullPrecisionRanges, GlonassWavelengthFromItsFrequencyByte) {
  MainSub glo;
  glo.svid = 45;
  glo.type = 10;  // GLONASS L2P
  glo.info = 3 << 3;
  auto r = Decode(ChannelBlock({glo}));
  FullRangeSub f;
  f.signal = 10;
  f.freq_antenna = 3;  // k = -5
  f.carrier_minus_range = 0.0f;
  std::vector<uint8_t> block(kCapFullRanges, 0);
  auto bytes = test::FullRangesBlock({f}, 1).Finish();
  std::copy(bytes.begin(), bytes.end(), block.begin());
  ApplyFullPrecisionRanges(block.data(), block.size(), r.get());
  EXPECT_DOUBLE_EQ(r->sats[0].sig[0][2].carrier_cycles,
                   f.pseudorange / (kC / (1246e6 - 5 * 437500)));
}

}  // namespace
}  // namespace kavrino

namespace kavrino {
namespace {

// Random bytes after a plausible header: whatever the counts and sizes say,
// the decoders stay inside the block and leave a consistent record.
TEST(ClassicDecoders, RandomBlocksKeepTheRecordConsistent) {
  std::mt19937 rng(20240611);
  auto record = std::make_unique<MeasEpochRecord>();
  for (int round = 0; round < 3000; ++round) {
    const size_t length = 16 + rng() % 2000;
    std::vector<uint8_t> block(length);
    for (uint8_t& b : block) b = static_cast<uint8_t>(rng());
    block[4] = round % 2 ? 0xBB : 0x3B;  // 4027 or 5944 (revision bits random)
    block[5] = static_cast<uint8_t>((round % 2 ? 0x17 : 0x0F) | (rng() & 0xE0));
    block[6] = static_cast<uint8_t>(length);
    block[7] = static_cast<uint8_t>(length >> 8);
    if (length > 16) block[15] = static_cast<uint8_t>(rng() % 40);  // L1 around its real size
    if (length > 16) block[16] = static_cast<uint8_t>(rng() % 20);  // L2 likewise
    DecodeChannelMeasurements(block.data(), record.get());
    ASSERT_LE(record->num_sats, 80u);
    for (uint32_t i = 0; i < record->num_sats; ++i) {
      const MeasSatEntry& e = record->sats[i];
      ASSERT_NE(e.sat_index, 0);
      for (const auto& antenna : e.sig) {
        for (int slot = 0; slot < kSignalSlots; ++slot) {
          if (antenna[slot].flags == 0) continue;
          ASSERT_LE(antenna[slot].signal_type, 33);
          ASSERT_EQ(GetSignalIndexInConstellation(antenna[slot].signal_type), slot);
        }
      }
    }
    // The same bytes as refinement blocks, in buffers just as large as the block.
    for (uint16_t number : {4000, 4098}) {
      std::vector<uint8_t> refine = block;
      refine[4] = static_cast<uint8_t>(number);
      refine[5] = static_cast<uint8_t>((number >> 8) | (rng() & 0xE0));
      if (number == 4000) {
        ApplySignalExtraInfo(refine.data(), refine.size(), record.get());
      } else {
        ApplyFullPrecisionRanges(refine.data(), refine.size(), record.get());
      }
    }
  }
}

}  // namespace
}  // namespace kavrino

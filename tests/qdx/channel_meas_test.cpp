#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "core/signals.h"
#include "qdx/decode/meas_decode.h"
#include "support/meas_blocks.h"

namespace kavrino {
namespace {

using test::ChannelBlock;
using test::ChannelBlockShape;
using test::ExtraInfoSub;
using test::ExtraSub;
using test::MainSub;

constexpr double kC = 299792458.0;
const double kLambdaL2 = kC / 1227.60e6;
const double kP1 = 21598293.269;  // default range: 5 x 4294967.296 + 123456.789 m

std::unique_ptr<MeasEpochRecord> Decode(const test::QdxBlockWriter& block,
                                        std::unique_ptr<MeasEpochRecord> r = nullptr) {
  if (!r) r = std::make_unique<MeasEpochRecord>();
  std::vector<uint8_t> bytes = block.Finish();  // exactly the block: any overread is out of bounds
  DecodeChannelMeasurements(bytes.data(), r.get());
  return r;
}

TEST(ChannelMeasurements, AbsenceMarkersPropagate) {
  struct Case {
    const char* name;
    MainSub main;
    ExtraSub extra;
    bool present[6];  // main range, carrier, Doppler; extra range, carrier, Doppler
  };
  std::vector<Case> cases(7);
  cases[0] = {"all present", {}, {}, {1, 1, 1, 1, 1, 1}};
  cases[1] = {"main range", {}, {}, {0, 0, 1, 0, 0, 1}};
  cases[1].main.range_high = 0;
  cases[1].main.range_low = 0;
  cases[2] = {"main carrier", {}, {}, {1, 0, 1, 1, 1, 1}};
  cases[2].main.carrier_high = -128;
  cases[2].main.carrier_low = 0;
  cases[3] = {"main Doppler", {}, {}, {1, 1, 0, 1, 1, 0}};
  cases[3].main.doppler = INT32_MIN;
  cases[4] = {"extra code", {}, {}, {1, 1, 1, 0, 0, 1}};
  cases[4].extra.offsets_high = 0x04;  // -4
  cases[5] = {"extra carrier", {}, {}, {1, 1, 1, 1, 0, 1}};
  cases[5].extra.carrier_high = -128;
  cases[6] = {"extra Doppler", {}, {}, {1, 1, 1, 1, 1, 0}};
  cases[6].extra.offsets_high = 0x80;  // -16
  for (Case& c : cases) {
    c.main.extras = {c.extra};
    auto r = Decode(ChannelBlock({c.main}));
    const MeasSignal& m = r->sats[0].sig[0][0];
    const MeasSignal& x = r->sats[0].sig[0][3];
    const double values[6] = {m.pseudorange_m, m.carrier_cycles, m.doppler_hz,
                              x.pseudorange_m, x.carrier_cycles, x.doppler_hz};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(IsMeasPresent(values[i]), c.present[i]) << c.name << i;
    EXPECT_EQ(m.flags, SIG_FLAG_FILLED) << c.name;
  }
}

TEST(ChannelMeasurements, SatelliteSelectionAndNumbering) {
  std::vector<MainSub> s(8);
  s[0].channel = 0;  // channel not given: the entry's own index
  s[1].svid = 179;   // no satellite index: entry reused
  s[2].channel = 255;
  s[3].svid = 40;  // GLONASS with frequency byte 0: dropped
  s[4].svid = 41;
  s[4].info = 15 << 3;  // likewise 15
  s[5].svid = 42;
  s[5].type = 8;
  s[5].info = 1 << 3;        // k = -7
  s[6].type = 2 << 5;        // only signal on antenna index 2: dropped
  s[7].type = (1 << 5) | 2;  // GPS L2P: no C/N0 offset
  s[7].channel = 9;
  s[7].lock_s = 0;
  s[7].extras = {ExtraSub{}, ExtraSub{}};
  s[7].extras[0].lock_s = 0;
  s[7].extras[1].type = 1;  // GPS L1P
  s[7].extras[1].cn0 = 255;
  auto r = Decode(ChannelBlock(s));
  ASSERT_EQ(r->num_sats, 4u);
  const uint8_t want_index[] = {5, 5, 42, 5}, want_channel[] = {0, 1, 0, 8};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(r->sats[i].sat_index, want_index[i]) << i;
    EXPECT_EQ(r->sats[i].channel, want_channel[i]) << i;
  }
  EXPECT_EQ(r->sats[2].glo_freq, 1);
  EXPECT_NEAR(r->sats[2].sig[0][0].carrier_cycles, -195.608 + kP1 / (kC / (1602e6 - 3937500)),
              1e-6);
  EXPECT_EQ(r->sats[3].sig[0][2].flags, 0);  // antenna index 1 lands in sig[1]
  EXPECT_EQ(r->sats[3].sig[1][2].flags, SIG_FLAG_FILLED);
  EXPECT_FLOAT_EQ(r->sats[3].sig[1][2].cn0_dbhz, 45.0f);
  EXPECT_EQ(r->sats[3].sig[1][2].lock_time_ms, 10u);  // 0 s: known, just locked
  EXPECT_EQ(r->sats[3].sig[0][3].lock_time_ms, 10u);
  EXPECT_FALSE(IsMeasPresent(r->sats[3].sig[0][1].cn0_dbhz));
  EXPECT_EQ(r->sats[4].sat_index, 0);  // nothing left behind the last entry

  MainSub none;
  none.svid = 0;
  EXPECT_EQ(Decode(ChannelBlock({none}), std::move(r))->num_sats, 0u);

  std::vector<MainSub> many(90);  // GPS 1..37, then indexes 71 onwards
  for (size_t i = 0; i < many.size(); ++i) many[i].svid = uint8_t(i < 37 ? 1 + i : 34 + i);
  r = Decode(ChannelBlock(many));
  ASSERT_EQ(r->num_sats, 80u);
  EXPECT_EQ(r->sats[79].sat_index, 34 + 79);
}

TEST(ChannelMeasurements, ExtendedSignalsVariantAndNoPhase) {
  MainSub qzs;  // extended: 32 + 1 = QZSS L1S (slot 5), extra 32 + 0 = QZSS L1C (slot 4)
  qzs.svid = 181;
  qzs.type = 31;
  qzs.info = (1 << 3) | 0x04;
  ExtraSub l1c;
  l1c.type = 31;
  l1c.info = 0x04;
  qzs.extras = {l1c};
  MainSub sbas;
  sbas.svid = 130;
  for (uint16_t number : {4027, 5944}) {
    ChannelBlockShape shape;
    shape.number = number;
    auto r = Decode(ChannelBlock({qzs, sbas}, shape));
    const uint8_t flags = SIG_FLAG_FILLED | (number == 4027 ? SIG_FLAG_NO_PHASE : 0);
    ASSERT_EQ(r->num_sats, 2u);
    EXPECT_EQ(r->sats[0].sig[0][5].signal_type, 33);
    EXPECT_EQ(r->sats[0].sig[0][5].flags, flags) << number;
    EXPECT_EQ(r->sats[0].sig[0][4].signal_type, 32);
    EXPECT_EQ(r->sats[0].sig[0][4].flags, flags) << number;
    EXPECT_EQ(r->sats[1].sig[0][0].signal_type, number == 5944 ? 24 : 0) << number;
  }
}

TEST(ChannelMeasurements, DamagedLayoutsStayInsideTheBlock) {
  struct Case {
    const char* name;
    ChannelBlockShape shape;
    int declared_extras;
    uint32_t sats;
    bool l2c;
  };
  const Case cases[] = {
      {"well formed", {}, -1, 2, true},
      {"N1 past the end", {4027, 345000, 20, 12, 3}, -1, 2, true},
      {"N2 past the end", {}, 9, 1, true},
      {"main sub-block too short", {4027, 345000, 19, 12, -1}, -1, 0, false},
      {"extra sub-block too short", {4027, 345000, 20, 11, -1}, -1, 2, false},
      {"longer sub-blocks", {4027, 345000, 24, 16, -1}, -1, 2, true},
  };
  for (const Case& c : cases) {
    std::vector<MainSub> sats(2);
    sats[0].extras = {ExtraSub{}};
    sats[0].declared_extras = c.declared_extras;
    sats[1].svid = 6;
    auto r = Decode(ChannelBlock(sats, c.shape));
    EXPECT_EQ(r->num_sats, c.sats) << c.name;
    EXPECT_EQ(r->sats[0].sig[0][3].flags != 0, c.l2c) << c.name;
    EXPECT_EQ(r->sats[1].sat_index, c.sats == 2 ? 6 : 0) << c.name;
  }
  EXPECT_EQ(Decode(test::QdxBlockWriter(4027, 0, 1, 2, 16))->num_sats, 0u);
}

// GPS 5 on channel 1 (L1 C/A and L2C), GPS 6 on channel 2 (L1 C/A).
std::unique_ptr<MeasEpochRecord> TwoSatEpoch() {
  std::vector<MainSub> sats(2);
  sats[0].extras = {ExtraSub{}};
  sats[1].svid = 6;
  sats[1].channel = 2;
  return Decode(ChannelBlock(sats));
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
      {"revision 2: no fraction", 2, 16, 9000, 10, 55.0f},
      {"wider sub-blocks", 3, 20, 9000, 10, 55.125f},
      {"no info byte", 3, 12, 9000, 10, 55.0f},
      {"no lock time", 3, 10, 5000, 1000, 55.0f},
  };
  for (const Case& c : cases) {
    auto r = TwoSatEpoch();
    // Ignored: unknown channel, antenna index 2, a slot GPS 6 does not fill.
    const std::vector<ExtraInfoSub> subs = {
        {9, 0, 0, 1}, {1, 2 << 5, 0, 1}, {2, 3, 0, 1}, {1, 0, 4, 9}, {1, 3, 0, 0}};
    std::vector<uint8_t> block(kCapExtraInfo, 0);
    auto bytes = test::ExtraInfoBlock(subs, c.revision, 345000, c.size).Finish();
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
  // 255 sub-blocks of 2 bytes would grow to 255 x 16 bytes: more than the buffer holds.
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

  // More sub-blocks declared than the block holds: the whole ones are used.
  auto cut = test::ExtraInfoBlock({ExtraInfoSub{}}, 3, 345000, 16, 200).Finish();
  std::vector<uint8_t> block(kCapExtraInfo, 0);
  std::copy(cut.begin(), cut.end(), block.begin());
  ApplySignalExtraInfo(block.data(), block.size(), r.get());
  EXPECT_EQ(r->sats[0].sig[0][0].lock_time_ms, 9000u);
}

TEST(FullPrecisionRanges, ReplacesRangeAndCarrier) {
  struct Case {
    uint8_t revision, size;
    float cn0;
  };
  for (const Case& c :
       {Case{1, 20, 45.12f}, Case{0, 20, 50.0f}, Case{1, 24, 45.12f}, Case{1, 16, 50.0f}}) {
    auto r = TwoSatEpoch();
    test::QdxBlockWriter w(4098, c.revision, 345000, 2300, 20);
    w.U8(14, 2).U8(15, c.size);
    w.U8(20, 2).F64(24, std::nan("")).Resize(20 + c.size);  // not finite: ignored
    const size_t at = 20 + c.size;                          // GPS 5 L2C
    w.U8(at, 1).U8(at + 1, 3).U8(at + 3, 8).F64(at + 4, 21598228.7331).F32(at + 12, -0.5f);
    w.I16(at + 16, 4512).Resize(at + c.size);
    std::vector<uint8_t> block(kCapFullRanges, 0);
    auto bytes = w.Finish();
    std::copy(bytes.begin(), bytes.end(), block.begin());
    ApplyFullPrecisionRanges(block.data(), block.size(), r.get());
    const MeasSignal& s = r->sats[0].sig[0][3];
    EXPECT_DOUBLE_EQ(s.pseudorange_m, 21598228.7331) << int(c.size);
    EXPECT_DOUBLE_EQ(s.carrier_cycles, (21598228.7331 - 0.5) / kLambdaL2) << int(c.size);
    EXPECT_FLOAT_EQ(s.cn0_dbhz, c.cn0) << int(c.revision) << " " << int(c.size);
    EXPECT_EQ(s.flags, SIG_FLAG_FILLED);
    EXPECT_NEAR(r->sats[1].sig[0][0].pseudorange_m, kP1, 1e-6);
  }
}

// Random bytes behind a plausible header: whatever the counts and sizes say,
// the decoders stay inside the block and leave a consistent record; decoding
// only the pseudoranges finds the same satellites, signals and pseudoranges.
TEST(ClassicDecoders, RandomBlocksKeepTheRecordConsistent) {
  std::mt19937 rng(20240611);
  auto record = std::make_unique<MeasEpochRecord>();
  auto ranges = std::make_unique<MeasEpochRecord>();
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> block(17 + rng() % 2000);
    for (uint8_t& b : block) b = static_cast<uint8_t>(rng());
    const uint16_t number = round % 2 ? 5944 : 4027;
    block[4] = number & 0xFF;
    block[5] = static_cast<uint8_t>((number >> 8) | (rng() & 0xE0));
    block[6] = block.size() & 0xFF;
    block[7] = static_cast<uint8_t>(block.size() >> 8);
    block[15] = static_cast<uint8_t>(rng() % 40);  // L1 and L2 around their real sizes
    block[16] = static_cast<uint8_t>(rng() % 20);
    DecodeChannelMeasurements(block.data(), record.get());
    DecodeChannelMeasurements(block.data(), ranges.get(), true);
    ASSERT_LE(record->num_sats, 80u);
    ASSERT_EQ(ranges->num_sats, record->num_sats);
    for (uint32_t i = 0; i < record->num_sats; ++i) {
      ASSERT_NE(record->sats[i].sat_index, 0);
      ASSERT_EQ(ranges->sats[i].sat_index, record->sats[i].sat_index);
      ASSERT_EQ(ranges->sats[i].glo_freq, record->sats[i].glo_freq);
      for (int a = 0; a < kMaxAntennas; ++a) {
        for (int slot = 0; slot < kSignalSlots; ++slot) {
          const MeasSignal& full = record->sats[i].sig[a][slot];
          const MeasSignal& light = ranges->sats[i].sig[a][slot];
          ASSERT_EQ(light.flags != 0, full.flags != 0);
          if (full.flags == 0) continue;  // the values of an empty slot are not looked at
          ASSERT_EQ(light.signal_type, full.signal_type);
          ASSERT_EQ(std::memcmp(&light.pseudorange_m, &full.pseudorange_m, sizeof(double)), 0);
        }
      }
      for (const auto& antenna : record->sats[i].sig) {
        for (int slot = 0; slot < kSignalSlots; ++slot) {
          if (antenna[slot].flags == 0) continue;
          ASSERT_LE(antenna[slot].signal_type, 33);
          ASSERT_EQ(GetSignalIndexInConstellation(antenna[slot].signal_type), slot);
        }
      }
    }
    for (uint16_t refine : {4000, 4098}) {  // the same bytes, in a buffer just as large
      std::vector<uint8_t> copy = block;
      copy[4] = refine & 0xFF;
      copy[5] = static_cast<uint8_t>(refine >> 8);
      if (refine == 4000) ApplySignalExtraInfo(copy.data(), copy.size(), record.get());
      if (refine == 4098) ApplyFullPrecisionRanges(copy.data(), copy.size(), record.get());
    }
  }
}

}  // namespace
}  // namespace kavrino

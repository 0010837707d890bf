#include "rinex/obs/obs_epoch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/rinex_version.h"
#include "support/capture.h"

namespace kavrino {
namespace {

constexpr uint16_t kWeek = 2000;      // 2018-05-06
constexpr uint32_t kTow = 345600250;  // 2018-05-10 00:00:00.250
constexpr double kAbsent = MEAS_ABSENT;
const std::string kBlankField(16, ' ');

uint64_t Mask(std::initializer_list<int> signals) {
  uint64_t m = 0;
  for (int s : signals) m |= 1ULL << s;
  return m;
}

ObsTypeLayout Layout(RinexVersion version, std::initializer_list<int> signals, bool doppler = false,
                     bool snr = false, bool channel = false) {
  ObsTypeLayout l;
  BuildObsTypeLayout(&l, Mask(signals), doppler, snr, channel, version);
  return l;
}

MeasSignal Sig(uint8_t type, double range, double carrier = kAbsent, float doppler = kAbsent,
               float cn0 = kAbsent, uint32_t lock_ms = 0, uint8_t flags = SIG_FLAG_FILLED) {
  return MeasSignal{range, carrier, doppler, cn0, lock_ms, type, flags};
}

struct Epoch {
  MeasEpochRecord rec{};
  explicit Epoch(uint32_t tow = kTow) {
    rec.tow_ms = tow;
    rec.week = kWeek;
  }
  // Adds a satellite; signals go to their slots of antenna index `antenna_index`.
  MeasSatEntry& Sat(uint8_t index, std::vector<std::pair<int, MeasSignal>> slots,
                    int antenna_index = 0) {
    MeasSatEntry& e = rec.sats[rec.num_sats++];
    e.sat_index = index;
    e.channel = static_cast<uint8_t>(rec.num_sats);
    for (auto& [slot, sig] : slots) e.sig[antenna_index][slot] = sig;
    return e;
  }
};

// Writes one epoch; the loss-of-lock history is carried in `history` from call
// to call when one is given.
std::string Write(const ObsTypeLayout& layout, const MeasEpochRecord& rec, uint32_t antenna = 1,
                  bool first = true, LockHistory* history = nullptr) {
  auto own = std::make_unique<LockHistory>();
  const ObsRecordContext context{&layout, antenna, history != nullptr ? history : own.get()};
  return test::CaptureWrites([&](OutStream* out) { WriteObsEpoch(out, context, rec, first); });
}

TEST(RinexSatId, Mapping) {
  const struct {
    int index;
    const char* id;
    bool ok;
  } cases[] = {{1, "G01", true},   {32, "G32", true},   {33, "???", false},  {38, "R01", true},
               {67, "R30", true},  {68, "???", false},  {69, "???", false},  {71, "E01", true},
               {106, "E36", true}, {110, "???", false}, {120, "S20", true},  {158, "S58", true},
               {161, "C01", true}, {197, "C37", true},  {201, "J01", true},  {207, "J07", true},
               {211, "I01", true}, {224, "I14", true},  {225, "???", false}, {0, "???", false}};
  for (const auto& c : cases) {
    char id[4];
    EXPECT_EQ(RinexSatId(static_cast<uint8_t>(c.index), id), c.ok) << c.index;
    EXPECT_STREQ(id, c.id) << c.index;
  }
}

TEST(WriteObsEpoch, Rinex3EpochSortedAndCut) {
  ObsTypeLayout l = Layout(RinexVersion::k304, {0, 2, 8, 17}, true, true);
  Epoch e;
  e.Sat(40, {{0, Sig(8, 21000000.0, 112000000.0)}});      // R03, no C/N0
  e.Sat(33, {{0, Sig(0, 20000000.0)}});                   // G33 has no identifier
  e.Sat(68, {{0, Sig(8, 20000000.0)}});                   // unknown GLONASS slot
  e.Sat(7, {{0, Sig(0, kAbsent, 1000.0, 1.0f, 40.0f)}});  // phase but no range
  e.Sat(5, {{0, Sig(0, 20000000.1234, 105100000.5678, -1234.567f, 45.25f, 10000)},
            {2, Sig(2, 20000000.1234, kAbsent, kAbsent, 30.0f, 10000)}});
  const std::string expected =
      "> 2018 05 10 00 00  0.2500000  0  2\n"
      "G05  20000000.123 7 105100000.56807     -1234.567 7        45.250    20000000.124 5" +
      std::string(32, ' ') +
      "        30.000\n"
      "R03  21000000.000 0 112000000.00000\n";
  EXPECT_EQ(Write(l, e.rec), expected);

  uint8_t sats[kMaxEpochSats];
  uint8_t freqs[kMaxEpochSats];
  e.rec.sats[0].glo_freq = 9;
  ASSERT_EQ(CountEpochSatellites(e.rec, l, 1, sats, freqs), 2);
  EXPECT_EQ(sats[0], 40);
  EXPECT_EQ(freqs[0], 9);
  EXPECT_EQ(sats[1], 5);
  EXPECT_EQ(CountEpochSatellites(e.rec, l, 1, sats, nullptr), 2);
  // G33 counts towards the signal mask, index 68 and the phase-only entry do not.
  EXPECT_EQ(GetEpochSignalMask(e.rec, l, 1), Mask({0, 2, 8}));
}

TEST(WriteObsEpoch, Rinex3ChannelField) {
  ObsTypeLayout l = Layout(RinexVersion::k304, {0}, false, false, true);
  Epoch e;
  e.Sat(12, {{0, Sig(0, 1234567890.1234, kAbsent, kAbsent, 5.9f)}}).channel = 4;
  EXPECT_EQ(Write(l, e.rec),
            "> 2018 05 10 00 00  0.2500000  0  1\n"
            "G12         5.000   234567890.123 1\n");
}

TEST(WriteObsEpoch, Rinex2ListContinuationAndPieces) {
  // 2.10 with C1 L1 only: one 80-column piece per satellite.
  ObsTypeLayout l = Layout(RinexVersion::k210, {0});
  Epoch e;
  for (int prn = 1; prn <= 25; ++prn) e.Sat(static_cast<uint8_t>(prn), {{0, Sig(0, 2e7 + prn)}});
  std::string expected = " 18  5 10  0  0  0.2500000  0 25";
  for (int prn = 1; prn <= 25; ++prn) {
    char id[4];
    RinexSatId(static_cast<uint8_t>(prn), id);
    if (prn == 13 || prn == 25) expected += "\n" + std::string(32, ' ');
    expected += id;
  }
  expected += "\n";
  for (int prn = 1; prn <= 25; ++prn) {
    expected += "  200000" + std::string(prn < 10 ? "0" : "") + std::to_string(prn) + ".000 0\n";
  }
  EXPECT_EQ(Write(l, e.rec), expected);
}

TEST(WriteObsEpoch, Rinex2SecondPieceEmptyOrFilled) {
  // 2.11 with C1 L1 L2 P2 P1 C2: 96 columns, two lines per satellite.
  ObsTypeLayout l = Layout(RinexVersion::k211, {0, 1, 2, 3});
  Epoch e(kTow + 1000);
  e.Sat(3, {{0, Sig(0, 20000000.5, 105000000.25, kAbsent, 50.0f, 2000)},
            {1, Sig(1, 20000000.5)},
            {2, Sig(2, 20000000.5)},
            {3, Sig(3, 20000000.5, 80000000.0, kAbsent, 36.0f, 2000)}});
  e.Sat(4, {{0, Sig(0, 21000000.0)}});
  const std::string expected =
      " 18  5 10  0  0  1.2500000  0  2G03G04\n"
      "  20000000.500 8 105000000.25008" +
      std::string(16, ' ') +
      "  20000000.502 0  20000000.501 0\n"
      "  20000000.503 6\n"
      "  21000000.000 0\n"
      "\n";
  EXPECT_EQ(Write(l, e.rec), expected);
}

TEST(WriteObsEpoch, StrengthDigit) {
  const struct {
    float cn0;
    char digit;
  } cases[] = {{5.9f, '1'},
               {11.99f, '1'},
               {12.0f, '2'},
               {75.0f, '9'},
               {-3.0f, '1'},
               {1e30f, '9'},
               {static_cast<float>(kAbsent), '0'},
               {std::numeric_limits<float>::infinity(), '0'}};
  ObsTypeLayout l = Layout(RinexVersion::k304, {0});
  for (const auto& c : cases) {
    Epoch e;
    e.Sat(1, {{0, Sig(0, 1.0, kAbsent, kAbsent, c.cn0)}});
    std::string text = Write(l, e.rec);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text[text.size() - 2], c.digit) << c.cn0;
  }
}

TEST(WriteObsEpoch, PseudorangeSeparation) {
  // Columns: C1C 3, L1C 19, C1W 35, C2W 51, L2W 67, C5Q 83, L5Q 99.
  ObsTypeLayout l = Layout(RinexVersion::k304, {0, 1, 2, 4});
  const struct {
    const char* name;
    double l1ca, l1p, l2p, l5;
    std::string line;
  } cases[] = {
      {"three equal", 2e7, 2e7, 2e7, 2e7,
       "G01  20000000.000 0" + kBlankField + "  20000000.001 0  20000000.002 0" + kBlankField +
           "  20000000.000 0"},
      {"equal to the millimetre", 2e7 + 0.0004, 2e7 + 0.0001, 2e7 + 0.0014, kAbsent,
       "G01  20000000.000 0" + kBlankField + "  20000000.001 0  20000000.002 0"},
      {"already apart", 2e7 + 0.001, 2e7, 2e7 + 0.002, kAbsent,
       "G01  20000000.001 0" + kBlankField + "  20000000.000 0  20000000.002 0"},
      {"beyond 2^32 mm", 4294967.296, 4294967.296, kAbsent, kAbsent,
       "G01   4294967.296 0" + kBlankField + "   4294967.297 0"},
      {"negative and huge", -5.0004, 1e300, -5.0, kAbsent, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Epoch e;
    e.Sat(1, {{0, Sig(0, c.l1ca)}, {1, Sig(1, c.l1p)}, {2, Sig(2, c.l2p)}, {4, Sig(4, c.l5)}});
    std::string text = Write(l, e.rec);
    size_t nl = text.find('\n');
    ASSERT_NE(nl, std::string::npos);
    std::string line = text.substr(nl + 1);
    if (!c.line.empty()) {
      EXPECT_EQ(line, c.line + "\n");
    } else {
      EXPECT_EQ(line.substr(0, 19), "G01        -5.000 0");
      EXPECT_EQ(line.substr(51, 16), "        -4.999 0");
    }
  }
}

TEST(WriteObsEpoch, LossOfLockHistory) {
  ObsTypeLayout l = Layout(RinexVersion::k304, {0});
  const struct {
    uint32_t tow;
    uint32_t lock_ms;
    bool first;
    char lli;
  } steps[] = {
      {1000, 5000, true, '0'},       // first epoch of a file
      {2000, 6000, false, '0'},      // lock grew with time
      {3000, 1000, false, '1'},      // lock time fell
      {500000, 300000, false, '1'},  // gap beyond the 254 s cap
      {501000, 300000, false, '0'},
      {900000, 0, false, '0'},  // unknown lock time leaves the history alone
      {901000, 300000, false, '1'},
      {902000, 10, true, '0'},   // a new file starts afresh
      {903000, 10, false, '1'},  // 903000 > 902000 + 10
  };
  auto history = std::make_unique<LockHistory>();
  for (const auto& s : steps) {
    Epoch e(s.tow);
    e.Sat(2, {{0, Sig(0, 2e7, 1e8, kAbsent, kAbsent, s.lock_ms)}});
    std::string text = Write(l, e.rec, 1, s.first, history.get());
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text[text.size() - 3], s.lli) << s.tow;
  }
}

TEST(WriteObsEpoch, NoPhaseFlagLeavesOnlyThePhaseBlank) {
  ObsTypeLayout l = Layout(RinexVersion::k304, {0}, true, true);
  Epoch e;
  e.Sat(9, {{0, Sig(0, 2e7, 1e8, 12.5f, 42.0f, 1000, SIG_FLAG_FILLED | SIG_FLAG_NO_PHASE)}});
  EXPECT_EQ(Write(l, e.rec),
            "> 2018 05 10 00 00  0.2500000  0  1\n"
            "G09  20000000.000 7" +
                kBlankField + "        12.500 7        42.000\n");
}

TEST(AntennaSelection, OnlyAntennasOneAndTwo) {
  ObsTypeLayout l = Layout(RinexVersion::k304, {0});
  Epoch e;
  e.Sat(1, {{0, Sig(0, 2e7)}}, 1);  // second antenna only
  uint8_t sats[kMaxEpochSats];
  const struct {
    uint32_t antenna;
    int count;
  } cases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 0}, {255, 0}, {0xFFFFFFFFu, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(CountEpochSatellites(e.rec, l, c.antenna, sats, nullptr), c.count) << c.antenna;
    EXPECT_EQ(GetEpochSignalMask(e.rec, l, c.antenna), c.count ? 1u : 0u) << c.antenna;
    std::string text = Write(l, e.rec, c.antenna);
    EXPECT_EQ(text.empty(), c.count == 0) << c.antenna;
  }
}

TEST(SatelliteSelection, DamagedEntriesAreSkipped) {
  ObsTypeLayout l = Layout(RinexVersion::k304, {0, 17});
  Epoch e;
  e.Sat(1, {{0, Sig(17, 2e7)}});  // Galileo signal on a GPS satellite
  e.Sat(2, {{0, Sig(40, 2e7)}});  // signal number out of the table
  e.Sat(3, {{0, Sig(0, std::numeric_limits<double>::infinity())}});
  e.Sat(4, {{0, Sig(0, std::numeric_limits<double>::quiet_NaN())}});
  e.Sat(110, {{0, Sig(0, 2e7)}});  // L-band satellite
  e.Sat(72, {{0, Sig(17, 2e7, std::numeric_limits<double>::infinity())}});
  uint8_t sats[kMaxEpochSats];
  ASSERT_EQ(CountEpochSatellites(e.rec, l, 1, sats, nullptr), 1);
  EXPECT_EQ(sats[0], 72);
  EXPECT_EQ(GetEpochSignalMask(e.rec, l, 1), Mask({17}));
  EXPECT_EQ(Write(l, e.rec), "> 2018 05 10 00 00  0.2500000  0  1\nE02  20000000.000 0\n");
  e.rec.num_sats = 1000;  // more than the record holds
  EXPECT_EQ(CountEpochSatellites(e.rec, l, 1, sats, nullptr), 1);
}

}  // namespace
}  // namespace kavrino

// Observation epochs and event records against data/epochs.txt, and the rules
// of identifiers, loss of lock and antenna and satellite selection.
#include "rinex/obs/obs_epoch.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/rinex_version.h"
#include "rinex/case_table.h"
#include "rinex/obs/obs_events.h"
#include "support/capture.h"

namespace kavrino {
namespace {

constexpr uint32_t kTow = 345600250;  // 2018-05-10 00:00:00.250 in week 2000
constexpr double kAbsent = MEAS_ABSENT;
constexpr double kInf = std::numeric_limits<double>::infinity();

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
    rec.week = 2000;
  }
  // Adds a satellite; signals go to their slots of antenna index `antenna_index`.
  Epoch& Sat(uint8_t index, std::vector<std::pair<int, MeasSignal>> slots, int antenna_index = 0,
             uint8_t channel = 0) {
    MeasSatEntry& e = rec.sats[rec.num_sats++];
    e.sat_index = index;
    e.channel = channel != 0 ? channel : static_cast<uint8_t>(rec.num_sats);
    for (auto& [slot, sig] : slots) e.sig[antenna_index][slot] = sig;
    return *this;
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

// Satellites 1 to 8, each with one L1 C/A range and the given C/N0.
Epoch Strengths(std::initializer_list<float> cn0s) {
  Epoch e;
  uint8_t sat = 0;
  for (float cn0 : cn0s) e.Sat(++sat, {{0, Sig(0, 1.0, kAbsent, kAbsent, cn0)}});
  return e;
}

// L1 C/A, L1 P, L2 P and L5 ranges of satellites 1.. (one after the other).
Epoch Ranges(std::initializer_list<std::array<double, 4>> sats) {
  Epoch e;
  uint8_t sat = 0;
  for (const auto& r : sats) {
    e.Sat(++sat, {{0, Sig(0, r[0])}, {1, Sig(1, r[1])}, {2, Sig(2, r[2])}, {4, Sig(4, r[3])}});
  }
  return e;
}

TEST(WriteObsEpoch, Epochs) {
  Epoch sorted;  // R03 without C/N0; G33 and slot 68 unknown; G07 phase without range
  sorted.Sat(40, {{0, Sig(8, 21000000.0, 112000000.0)}})
      .Sat(33, {{0, Sig(0, 20000000.0)}})
      .Sat(68, {{0, Sig(8, 20000000.0)}})
      .Sat(7, {{0, Sig(0, kAbsent, 1000.0, 1.0f, 40.0f)}})
      .Sat(5, {{0, Sig(0, 20000000.1234, 105100000.5678, -1234.567f, 45.25f, 10000)},
               {2, Sig(2, 20000000.1234, kAbsent, kAbsent, 30.0f, 10000)}});
  Epoch twenty_five;
  for (uint8_t prn = 1; prn <= 25; ++prn) twenty_five.Sat(prn, {{0, Sig(0, 2e7 + prn)}});
  Epoch second_piece(kTow + 1000);
  second_piece
      .Sat(3, {{0, Sig(0, 20000000.5, 105000000.25, kAbsent, 50.0f, 2000)},
               {1, Sig(1, 20000000.5)},
               {2, Sig(2, 20000000.5)},
               {3, Sig(3, 20000000.5, 80000000.0, kAbsent, 36.0f, 2000)}})
      .Sat(4, {{0, Sig(0, 21000000.0)}});
  Epoch damaged;  // a Galileo signal on a GPS satellite, a signal out of the table, ...
  damaged.Sat(1, {{0, Sig(17, 2e7)}})
      .Sat(2, {{0, Sig(40, 2e7)}})
      .Sat(3, {{0, Sig(0, kInf)}})
      .Sat(4, {{0, Sig(0, std::numeric_limits<double>::quiet_NaN())}})
      .Sat(110, {{0, Sig(0, 2e7)}})  // L-band
      .Sat(72, {{0, Sig(17, 2e7, kInf)}});
  const struct {
    const char* name;
    ObsTypeLayout layout;
    Epoch epoch;
  } cases[] = {
      {"3.04 sorted and cut", Layout(RinexVersion::k304, {0, 2, 8, 17}, true, true), sorted},
      {"3.04 channel field", Layout(RinexVersion::k304, {0}, false, false, true),
       Epoch().Sat(12, {{0, Sig(0, 1234567890.1234, kAbsent, kAbsent, 5.9f)}}, 0, 4)},
      {"2.10 list continuation", Layout(RinexVersion::k210, {0}), twenty_five},
      {"2.11 second piece empty or filled", Layout(RinexVersion::k211, {0, 1, 2, 3}), second_piece},
      {"strength digits", Layout(RinexVersion::k304, {0}),
       Strengths({5.9f, 11.99f, 12.0f, 75.0f, -3.0f, 1e30f, static_cast<float>(kAbsent),
                  std::numeric_limits<float>::infinity()})},
      // Equal ranges of one satellite are moved apart by a millimetre each.
      {"pseudorange separation", Layout(RinexVersion::k304, {0, 1, 2, 4}),
       Ranges({{2e7, 2e7, 2e7, 2e7},
               {2e7 + 0.0004, 2e7 + 0.0001, 2e7 + 0.0014, kAbsent},
               {2e7 + 0.001, 2e7, 2e7 + 0.002, kAbsent},
               {4294967.296, 4294967.296, kAbsent, kAbsent},
               {-5.0004, 1e300, -5.0, kAbsent}})},
      {"no-phase flag", Layout(RinexVersion::k304, {0}, true, true),
       Epoch().Sat(
           9, {{0, Sig(0, 2e7, 1e8, 12.5f, 42.0f, 1000, SIG_FLAG_FILLED | SIG_FLAG_NO_PHASE)}})},
      {"damaged entries", Layout(RinexVersion::k304, {0, 17}), damaged},
  };
  const auto goldens = test::ReadGoldens("rinex/obs/data/epochs.txt");
  for (const auto& c : cases) {
    const std::string text = Write(c.layout, c.epoch.rec);
    test::Dump(c.name, text);
    EXPECT_EQ(text, goldens.count(c.name) ? goldens.at(c.name) : "?") << c.name;
  }

  uint8_t sats[kMaxEpochSats], freqs[kMaxEpochSats];
  const ObsTypeLayout l = cases[0].layout;
  sorted.rec.sats[0].glo_freq = 9;
  ASSERT_EQ(CountEpochSatellites(sorted.rec, l, 1, sats, freqs), 2);
  EXPECT_TRUE(sats[0] == 40 && freqs[0] == 9 && sats[1] == 5);
  EXPECT_EQ(CountEpochSatellites(sorted.rec, l, 1, sats, nullptr), 2);
  // G33 counts towards the signal mask, index 68 and the phase-only entry do not.
  EXPECT_EQ(GetEpochSignalMask(sorted.rec, l, 1), Mask({0, 2, 8}));
  ASSERT_EQ(CountEpochSatellites(damaged.rec, cases[7].layout, 1, sats, nullptr), 1);
  EXPECT_EQ(sats[0], 72);
  EXPECT_EQ(GetEpochSignalMask(damaged.rec, cases[7].layout, 1), Mask({17}));
  damaged.rec.num_sats = 1000;  // more than the record holds
  EXPECT_EQ(CountEpochSatellites(damaged.rec, cases[7].layout, 1, sats, nullptr), 1);
}

TEST(WriteObsEpoch, EventRecords) {
  // 2019-06-24 13:31:09.5 on the GPS time scale.
  const double seconds = 2059 * 604800.0 + 86400.0 + 13 * 3600.0 + 31 * 60.0 + 9.5;
  EXPECT_EQ(test::CaptureWrites(
                [&](OutStream* f) { WriteEventEpochLine(f, 3, 6, RinexVersion::k211, seconds); }),
            " 19  6 24 13 31  9.5000000  3  6");
  EXPECT_EQ(test::CaptureWrites(
                [&](OutStream* f) { WriteEventEpochLine(f, 4, 1, RinexVersion::k304, seconds); }),
            "> 2019 06 24 13 31  9.5000000  4  1");
  ObsSite site;
  SetReceiverSetupDefaults(&site.setup);
  site.approx_x = 4000000.0;
  site.l1_phase_offset = 0.1;
  site.l2_phase_offset = -0.2;
  const std::string text = test::CaptureWrites([&](OutStream* f) {
    WriteSiteOccupation(f, site, RinexVersion::k304, 2059 * 604800.0 + 86400.0);
  });
  test::Dump("site occupation", text);
  EXPECT_EQ(text, test::ReadGoldens("rinex/obs/data/epochs.txt")["site occupation"]);
}

TEST(RinexSatId, Mapping) {
  const char* const ids[] = {"1 G01",   "32 G32",  "33 ???",  "38 R01",  "67 R30",
                             "68 ???",  "69 ???",  "71 E01",  "106 E36", "110 ???",
                             "120 S20", "158 S58", "161 C01", "197 C37", "201 J01",
                             "207 J07", "211 I01", "224 I14", "225 ???", "0 ???"};
  for (const std::string c : ids) {
    char id[4];
    EXPECT_EQ(RinexSatId(static_cast<uint8_t>(std::stoi(c)), id), !c.ends_with("???")) << c;
    EXPECT_EQ(c.substr(c.find(' ') + 1), id);
  }
}

TEST(WriteObsEpoch, LossOfLockHistory) {
  const ObsTypeLayout l = Layout(RinexVersion::k304, {0});
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
    const std::string text =
        Write(l, Epoch(s.tow).Sat(2, {{0, Sig(0, 2e7, 1e8, kAbsent, kAbsent, s.lock_ms)}}).rec, 1,
              s.first, history.get());
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text[text.size() - 3], s.lli) << s.tow;
  }
}

TEST(WriteObsEpoch, OnlyAntennasOneAndTwo) {
  const ObsTypeLayout l = Layout(RinexVersion::k304, {0});
  const Epoch e = Epoch().Sat(1, {{0, Sig(0, 2e7)}}, 1);  // second antenna only
  uint8_t sats[kMaxEpochSats];
  for (const auto& [antenna, count] :
       {std::pair{0u, 0}, {1u, 0}, {2u, 1}, {3u, 0}, {255u, 0}, {0xFFFFFFFFu, 0}}) {
    EXPECT_EQ(CountEpochSatellites(e.rec, l, antenna, sats, nullptr), count) << antenna;
    EXPECT_EQ(GetEpochSignalMask(e.rec, l, antenna), count ? 1u : 0u) << antenna;
    EXPECT_EQ(Write(l, e.rec, antenna).empty(), count == 0) << antenna;
  }
}

}  // namespace
}  // namespace kavrino

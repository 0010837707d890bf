// Observation epochs and event records against data/epochs.txt (the epochs
// described in data/epoch_cases.txt), and the rules of identifiers, loss of
// lock and antenna and satellite selection.
#include "rinex/obs/obs_epoch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "core/rinex_version.h"
#include "rinex/case_table.h"
#include "rinex/obs/obs_events.h"
#include "support/capture.h"

namespace kavrino {
namespace {

// "VERSION SIGNAL... [doppler] [snr] [channel]".
ObsTypeLayout Layout(const std::string& text) {
  const auto w = test::Words(text);
  uint64_t mask = 0;
  for (size_t i = 1; i < w.size(); ++i) mask |= std::isdigit(w[i][0]) ? 1ULL << std::stoi(w[i]) : 0;
  const auto has = [&](const char* word) { return text.find(word) != std::string::npos; };
  ObsTypeLayout l;
  BuildObsTypeLayout(&l, mask, has("doppler"), has("snr"), has("channel"),
                     w[0] == "2.10"   ? RinexVersion::k210
                     : w[0] == "2.11" ? RinexVersion::k211
                                      : RinexVersion::k304);
  return l;
}

double Value(const std::string& text) {
  return text == "-" ? MEAS_ABSENT : std::strtod(text.c_str(), nullptr);
}

// Satellites SAT[/CHANNEL][@ANTENNA]=SIGNAL,... with signals
// SLOT:TYPE:RANGE[:CARRIER[:DOPPLER[:CN0[:LOCK[:nophase]]]]].
MeasEpochRecord Epoch(const std::string& sats, uint32_t ms = 0) {
  MeasEpochRecord rec{};
  rec.tow_ms = 345600250 + ms;  // 2018-05-10 00:00:00.250
  rec.week = 2000;
  for (const std::string& s : test::Words(sats)) {
    MeasSatEntry& e = rec.sats[rec.num_sats++];
    const size_t slash = s.find('/'), at = s.find('@'), eq = s.find('=');
    e.sat_index = static_cast<uint8_t>(std::stoi(s));
    e.channel = static_cast<uint8_t>(slash < eq ? std::stoi(s.substr(slash + 1)) : rec.num_sats);
    for (const std::string& signal : test::Split(s.substr(eq + 1), ',')) {
      std::vector<std::string> f = test::Split(signal, ':');
      f.resize(8, "-");
      e.sig[at < eq ? std::stoi(s.substr(at + 1)) : 0][std::stoi(f[0])] = MeasSignal{
          Value(f[2]),
          Value(f[3]),
          static_cast<float>(Value(f[4])),
          static_cast<float>(Value(f[5])),
          f[6] == "-" ? 0u : static_cast<uint32_t>(std::stoul(f[6])),
          static_cast<uint8_t>(std::stoi(f[1])),
          static_cast<uint8_t>(SIG_FLAG_FILLED | (f[7] == "nophase" ? SIG_FLAG_NO_PHASE : 0))};
    }
  }
  return rec;
}

// Writes one epoch; the loss-of-lock history is carried in `history` from call
// to call when one is given.
std::string Write(const ObsTypeLayout& layout, const MeasEpochRecord& rec, uint32_t antenna = 1,
                  bool first = true, LockHistory* history = nullptr) {
  auto own = std::make_unique<LockHistory>();
  const ObsRecordContext context{&layout, antenna, history != nullptr ? history : own.get()};
  return test::CaptureWrites([&](OutStream* out) { WriteObsEpoch(out, context, rec, first); });
}

TEST(WriteObsEpoch, CaseTable) {
  const auto goldens = test::ReadGoldens("rinex/obs/data/epochs.txt");
  auto history = std::make_unique<LockHistory>();
  const ObsTypeLayout l1 = Layout("3.04 0");
  std::map<std::string, std::pair<ObsTypeLayout, MeasEpochRecord>> epochs;
  for (const auto& row : test::ReadCases("rinex/obs/data/epoch_cases.txt")) {
    SCOPED_TRACE(row[1] + " " + row[2]);
    if (row[0] == "epoch") {
      const auto& [layout, rec] =
          epochs[row[1]] = {Layout(row[2]), Epoch(row[4], std::stoul(row[3]))};
      EXPECT_EQ(Write(layout, rec), goldens.at(row[1]));
    }
    if (row[0] == "lli") {
      const std::string text = Write(l1, Epoch("2=0:0:2e7:1e8:-:-:" + row[2], std::stoul(row[1])),
                                     1, row[3] == "1", history.get());
      ASSERT_GE(text.size(), 3u);
      EXPECT_EQ(text[text.size() - 3], row[4][0]);
    }
    if (row[0] == "id") {
      char id[4];
      EXPECT_EQ(RinexSatId(static_cast<uint8_t>(std::stoi(row[1])), id), row[2] != "???");
      EXPECT_EQ(id, row[2]);
    }
  }
  uint8_t sats[kMaxEpochSats], freqs[kMaxEpochSats];
  auto& [sorted_layout, sorted] = epochs.at("3.04 sorted and cut");
  sorted.sats[0].glo_freq = 9;
  ASSERT_EQ(CountEpochSatellites(sorted, sorted_layout, 1, sats, freqs), 2);
  EXPECT_TRUE(sats[0] == 40 && freqs[0] == 9 && sats[1] == 5);
  EXPECT_EQ(CountEpochSatellites(sorted, sorted_layout, 1, sats, nullptr), 2);
  // G33 counts towards the signal mask, index 68 and the phase-only entry do not.
  EXPECT_EQ(GetEpochSignalMask(sorted, sorted_layout, 1), 0x105u);
  auto& [damaged_layout, damaged] = epochs.at("damaged entries");
  ASSERT_EQ(CountEpochSatellites(damaged, damaged_layout, 1, sats, nullptr), 1);
  EXPECT_EQ(sats[0], 72);
  EXPECT_EQ(GetEpochSignalMask(damaged, damaged_layout, 1), 1u << 17);
  damaged.num_sats = 1000;  // more than the record holds
  EXPECT_EQ(CountEpochSatellites(damaged, damaged_layout, 1, sats, nullptr), 1);
}

TEST(WriteObsEpoch, OnlyAntennasOneAndTwo) {
  const ObsTypeLayout l = Layout("3.04 0");
  const MeasEpochRecord rec = Epoch("1@1=0:0:2e7");  // second antenna only
  uint8_t sats[kMaxEpochSats];
  for (const auto& [antenna, count] :
       {std::pair{0u, 0}, {1u, 0}, {2u, 1}, {3u, 0}, {255u, 0}, {0xFFFFFFFFu, 0}}) {
    EXPECT_EQ(CountEpochSatellites(rec, l, antenna, sats, nullptr), count) << antenna;
    EXPECT_EQ(GetEpochSignalMask(rec, l, antenna), count ? 1u : 0u) << antenna;
    EXPECT_EQ(Write(l, rec, antenna).empty(), count == 0) << antenna;
  }
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
  EXPECT_EQ(test::CaptureWrites([&](OutStream* f) {
              WriteSiteOccupation(f, site, RinexVersion::k304, 2059 * 604800.0 + 86400.0);
            }),
            test::ReadGoldens("rinex/obs/data/epochs.txt")["site occupation"]);
}

}  // namespace
}  // namespace kavrino

// Measurement epochs: the blocks of data/epoch_cases.txt walked through the
// gathering and the decoders against the epochs of data/epoch_cases.expected
// (the head of each gives its notation), and compact blocks of the encoder
// decoded back to what was encoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/signals.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/encode/compact_encoder.h"
#include "qdx/meas_gather.h"
#include "qdx/qdx_files.h"
#include "qdx/reader.h"

namespace kavrino {
namespace {

using test::Bytes;
using test::CompactEncoderOptions;
using test::CompactSatInput;
using test::QdxBlockWriter;

// Satellites of every system with all their listed signals; values move with
// a range rate so that delta records have something to predict.
std::vector<CompactSatInput> MakeSats(uint32_t tow_ms, int stream, double slave_offset_m) {
  const struct {
    uint8_t sat;
    int k;
    std::vector<uint8_t> signals;
    double range_m;
  } defs[] = {{3, 0, {0, 3, 4, 1, 2, 5}, 21e6},
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
  for (const auto& d : defs) {
    CompactSatInput s{d.sat, d.k, {}};
    const double rate_mps = -300.0 + d.sat * 7.3;
    for (size_t i = 0; i < d.signals.size(); ++i) {
      const double lambda = SignalWavelength(d.signals[i], d.k);
      MeasSignal m{};
      m.signal_type = d.signals[i];
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

std::string Describe(const MeasEpochRecord& r) {
  char text[160];
  std::snprintf(text, sizeof text, "epoch %u sats %u spare %d\n", r.tow_ms, r.num_sats,
                r.num_sats < kMaxEpochSats ? r.sats[r.num_sats].sat_index : -1);
  std::string s = text;
  for (uint32_t i = 0; i < r.num_sats; ++i) {
    const MeasSatEntry& e = r.sats[i];
    std::snprintf(text, sizeof text, " sat %u ch %u glo %u\n", e.sat_index, e.channel, e.glo_freq);
    s += text;
    for (int k = 0; k < kMaxAntennas * kSignalSlots; ++k) {
      const MeasSignal& g = e.sig[k / kSignalSlots][k % kSignalSlots];
      std::snprintf(text, sizeof text, "  %d.%d %u %02x %.4f %.4f %.4f %.4f %u\n", k / kSignalSlots,
                    k % kSignalSlots, g.signal_type, g.flags, g.pseudorange_m, g.carrier_cycles,
                    g.doppler_hz, g.cn0_dbhz, g.lock_time_ms);
      if (g.flags != 0) s += text;
    }
  }
  return s;
}

// Walks a file of `image`, adding every block to the epoch: per block "-" or
// the epoch handed out, described; the epochs go to `epochs`.
std::string Walk(const Bytes& image, int mode, std::vector<MeasEpochRecord>* epochs = nullptr) {
  test::TempQdxFile file(image);
  auto reader = std::make_unique<QdxReader>();
  auto record = std::make_unique<MeasEpochRecord>();
  Bytes block(kQdxMaxBlockSize);
  std::string steps;
  InitQdxReader(file.path.c_str(), reader.get());
  while (GetNextQdxBlock(reader.get(), block.data(), kQdxAnyBlock, kQdxAnyBlock, 0) == 0) {
    const bool done = AddBlockToEpoch(reader.get(), block.data(), record.get(), mode) == 1;
    steps += done ? Describe(*record) : "-\n";
    if (done && epochs != nullptr) epochs->push_back(*record);
  }
  CloseQdxReader(reader.get());
  return steps;
}

const MeasSignal* FindSignal(const MeasEpochRecord& r, uint8_t sat, int stream, uint8_t signal) {
  for (uint32_t i = 0; i < r.num_sats; ++i) {
    for (const MeasSignal& s : r.sats[i].sig[stream]) {
      if (r.sats[i].sat_index == sat && s.flags != 0 && s.signal_type == signal) return &s;
    }
  }
  return nullptr;
}

// Absent values may come back anywhere below the presence threshold.
bool Near(double got, double want, double tolerance) {
  return IsMeasPresent(want) ? std::fabs(got - want) <= tolerance : !IsMeasPresent(got);
}

TEST(CompactMeas, RoundTripMatchesToFieldResolution) {
  using namespace test;
  CompactEncoderOptions standalone, long_delta, bare;
  standalone.master_kind = kMasterStandalone;
  standalone.slave_kind = kSlaveStandalone;
  standalone.interval_code = 0;  // every epoch a reference
  long_delta.master_kind = kMasterLongDelta;
  long_delta.interval_code = 4;  // 5000 ms
  long_delta.exclusion = long_delta.extras = true;
  bare.rate_flag = bare.doppler = bare.cn0_fraction = false;
  const struct {
    CompactEncoderOptions opt;
    uint32_t step_ms;
    int count;
    double slave_offset_m;
    std::vector<int> kinds;  // written at least once
  } cases[] = {
      {{}, 500, 6, 2.5, {kMasterFull, kMasterShortDelta, kSlaveFull, kSlaveDelta}},
      {standalone, 1000, 3, 1.5, {kMasterStandalone, kSlaveStandalone}},
      {long_delta, 1000, 5, 2.5, {kMasterLongDelta, kSlaveDelta}},
      {bare, 500, 4, -3.0, {kMasterFull, kSlaveDelta}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step_ms * 10 + c.count);
    Bytes file;
    std::vector<std::vector<CompactSatInput>> sent[2];
    std::unique_ptr<CompactEncoderState> states[2] = {std::make_unique<CompactEncoderState>(),
                                                      std::make_unique<CompactEncoderState>()};
    for (int n = 0; n < c.count; ++n) {
      for (int s = 0; s < 2; ++s) {
        sent[s].push_back(MakeSats(345000 + n * c.step_ms, s, c.slave_offset_m));
        for (auto& b : EncodeCompactEpoch(345000 + n * c.step_ms, 2300, s, sent[s].back(), c.opt,
                                          states[s].get())) {
          Append(&file, b);
        }
      }
    }
    uint64_t kinds[kCompactKindCount] = {};
    for (const auto& state : states) {
      EXPECT_EQ(state->unfit, 0u);
      for (int k = 0; k < kCompactKindCount; ++k) kinds[k] += state->kinds[k];
    }
    for (int k : c.kinds) EXPECT_GT(kinds[k], 0u) << "kind " << k;
    std::vector<MeasEpochRecord> decoded;
    Walk(file, kDecodeCompact, &decoded);
    ASSERT_EQ(decoded.size(), size_t(c.count));
    for (size_t e = 0; e < decoded.size(); ++e) {
      const MeasEpochRecord& r = decoded[e];
      EXPECT_EQ(r.tow_ms, 345000 + e * c.step_ms);
      EXPECT_EQ(r.num_sats, sent[0][e].size());
      for (int stream = 0; stream < 2; ++stream) {
        for (const CompactSatInput& sat : sent[stream][e]) {
          for (const MeasSignal& want : sat.sigs) {
            SCOPED_TRACE(testing::Message()
                         << "tow " << r.tow_ms << " stream " << stream << " sat "
                         << int(sat.sat_index) << " signal " << int(want.signal_type));
            const MeasSignal* got = FindSignal(r, sat.sat_index, stream, want.signal_type);
            ASSERT_NE(got, nullptr);
            EXPECT_NEAR(got->pseudorange_m, want.pseudorange_m, 6e-4);
            EXPECT_TRUE(Near(got->carrier_cycles, want.carrier_cycles, 6e-4))
                << got->carrier_cycles;
            EXPECT_TRUE(Near(got->doppler_hz, c.opt.doppler ? want.doppler_hz : MEAS_ABSENT, 0.004))
                << got->doppler_hz;
            EXPECT_NEAR(got->cn0_dbhz, want.cn0_dbhz, c.opt.cn0_fraction ? 0.0626 : 0.5);
            EXPECT_EQ(got->flags & SIG_FLAG_NO_PHASE, want.flags & SIG_FLAG_NO_PHASE);
            EXPECT_LE(got->lock_time_ms, want.lock_time_ms);
          }
        }
      }
      for (uint32_t i = 0; i < r.num_sats; ++i) {
        EXPECT_TRUE(r.sats[i].sat_index != 40 || r.sats[i].glo_freq == 1);
      }
    }
  }
}

// A record holds 80 satellites: each further one takes over the last entry,
// and the second stream finds only the satellites still in the record.
TEST(CompactMeas, FullRecordGivesItsLastEntryToTheNewcomer) {
  auto one_signal = [](int sat, uint8_t signal, double range_m) {
    MeasSignal m{range_m, MEAS_ABSENT, float(MEAS_ABSENT), 40.0f, 0, signal, 0};
    return CompactSatInput{static_cast<uint8_t>(sat), 0, {m}};
  };
  std::vector<CompactSatInput> first;  // 92 satellites: GPS 1..32, GLONASS 38..61, Galileo 71..106
  for (int sat = 1; sat <= 106; ++sat) {
    if (sat <= 32 || (sat >= 38 && sat <= 61) || sat >= 71) {
      first.push_back(one_signal(sat, sat < 38 ? 0 : sat < 71 ? 8 : 17, 2e7 + sat));
    }
  }
  for (uint8_t last : {106, 105}) {  // in stream 1: the last one again, or a displaced one back
    Bytes file;
    for (int s = 0; s < 2; ++s) {
      const std::vector<CompactSatInput> second = {one_signal(3, 0, 3e7 + 3),
                                                   one_signal(last, 17, 3e7 + last)};
      test::CompactEncoderState state;
      for (auto& b : test::EncodeCompactEpoch(345000, 2300, s, s ? second : first, {}, &state)) {
        test::Append(&file, b);
      }
    }
    std::vector<MeasEpochRecord> decoded;
    Walk(file, kDecodeCompact, &decoded);
    ASSERT_EQ(decoded.size(), 1u);
    const MeasEpochRecord& r = decoded[0];
    ASSERT_EQ(r.num_sats, 80u);
    EXPECT_EQ(r.sats[78].sat_index, 93);
    EXPECT_EQ(r.sats[79].sat_index, last);
    EXPECT_EQ(FindSignal(r, last, 0, 17) != nullptr, last == 106);
    const MeasSignal* again = FindSignal(r, last, 1, 17);
    EXPECT_TRUE(again != nullptr && std::fabs(again->pseudorange_m - 3e7 - last) < 1e-3)
        << int(last);
    EXPECT_TRUE(FindSignal(r, 3, 1, 0) != nullptr && FindSignal(r, 3, 0, 0) != nullptr);
    for (uint32_t i = 0; i < r.num_sats; ++i) EXPECT_NE(r.sats[i].sat_index, 104);
  }
}

struct Case {
  std::string name;
  std::vector<int> modes;
  std::vector<test::QdxBlockWriter> blocks;
  std::string walk;
};

// Writes the words of a block description from `*at` on; the block reaches
// at least to every byte the words go to.
void WriteWords(std::istringstream& words, test::QdxBlockWriter* w, size_t* at, std::string* type) {
  for (std::string word; words >> word && word[0] != '#';) {
    if (word[0] == '*') {
      std::string rest;
      std::getline(words, rest);
      for (int n = std::stoi(word.substr(1)); n > 0; --n) {
        std::istringstream again(rest);
        WriteWords(again, w, at, type);
      }
    } else if (word[0] == '+' || word[0] == '@') {
      *at = (word[0] == '+' ? *at : 0) + std::stoul(word.substr(1));
    } else if (word.rfind("rev=", 0) == 0) {
      w->bytes[5] = static_cast<uint8_t>((w->bytes[5] & 0x1F) | std::stoi(word.substr(4)) << 5);
    } else if (std::isalpha(static_cast<unsigned char>(word[0]))) {
      *type = word;
    } else if (*type == "f32" || *type == "f64") {
      const double v = std::strtod(word.c_str(), nullptr);
      *type == "f32" ? w->F32(*at, static_cast<float>(v)) : w->F64(*at, v);
      *at += *type == "f32" ? 4 : 8;
    } else {
      const long long v = std::strtoll(word.c_str(), nullptr, 0);
      for (int i = 0; i < std::stoi(type->substr(1)) / 8; ++i) w->U8((*at)++, uint8_t(v >> 8 * i));
    }
    w->Resize(std::max(w->bytes.size(), *at));
  }
}

std::vector<Case> ReadCases(const std::string& path) {
  std::ifstream in(path);
  std::vector<Case> cases;
  size_t at = 0;
  std::string type;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string first;
    if (!(words >> first) || first[0] == '#') continue;
    if (first == "case") {
      cases.emplace_back();
      std::getline(words >> std::ws, cases.back().name);
    } else if (first == "mode") {
      for (int mode; words >> mode;) cases.back().modes.push_back(mode);
    } else if (first == "from") {
      size_t n = 0;
      std::string name;
      std::getline(words >> n >> std::ws, name);
      const auto c = std::find_if(cases.begin(), cases.end(),
                                  [&](const Case& k) { return k.name.rfind(name, 0) == 0; });
      cases.back().blocks.assign(c->blocks.begin(), c->blocks.begin() + n);
      at = 14, type = "u8";
    } else if (first == "walk" || !cases.back().walk.empty()) {
      cases.back().walk += first == "walk" ? "\n" : line + "\n";
    } else {
      if (first == "block") {
        uint32_t number = 0, tow = 0;
        words >> number >> tow;
        cases.back().blocks.emplace_back(number, 0, tow, 2300);
        at = 14, type = "u8";
      } else {
        words = std::istringstream(line);
      }
      WriteWords(words, &cases.back().blocks.back(), &at, &type);
    }
  }
  return cases;
}

TEST(EpochCases, WalksHandOutTheWrittenEpochs) {
  const std::vector<Case> cases = ReadCases(KAVRINO_SOURCE_DIR "/tests/qdx/data/epoch_cases.txt");
  const std::vector<Case> expected =
      ReadCases(KAVRINO_SOURCE_DIR "/tests/qdx/data/epoch_cases.expected");
  ASSERT_GT(cases.size(), 30u);
  ASSERT_EQ(cases.size(), expected.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    ASSERT_EQ(c.name, expected[i].name);
    test::Bytes file;
    for (const test::QdxBlockWriter& b : c.blocks) test::Append(&file, b);
    std::string walks;
    for (int mode : c.modes.empty() ? std::vector<int>{3} : c.modes)
      walks += "\n" + Walk(file, mode);
    EXPECT_EQ(walks, expected[i].walk) << c.name;
  }
}

}  // namespace
}  // namespace kavrino

// Measurement blocks walked through the epoch gathering and the decoders,
// against the epochs written in data/epoch_cases.txt (its head gives the
// notation of blocks and epochs).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "qdx/qdx_files.h"

namespace kavrino {
namespace {

struct Case {
  std::string name;
  int mode = 3;
  std::vector<test::QdxBlockWriter> blocks;
  std::string walk;
};

// Writes the words of a block description from `*at` on; the block reaches
// at least to every byte the words go to.
void WriteWords(std::istringstream& words, test::QdxBlockWriter* w, size_t* at, std::string* type) {
  for (std::string word; words >> word && word[0] != '#';) {
    if (word[0] == '+' || word[0] == '@') {
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
      words >> cases.back().mode;
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

TEST(EpochCases, WalksHandOutTheWrittenEpochs) {
  const std::vector<Case> cases = ReadCases(KAVRINO_SOURCE_DIR "/tests/qdx/data/epoch_cases.txt");
  ASSERT_GT(cases.size(), 30u);
  for (const Case& c : cases) {
    test::Bytes file;
    for (const test::QdxBlockWriter& b : c.blocks) test::Append(&file, b);
    std::string walk;
    test::WalkEpochs(file, c.mode, [&](int done, const MeasEpochRecord& r) {
      walk += done == 1 ? Describe(r) : "-\n";
    });
    EXPECT_EQ("\n" + walk, c.walk) << c.name;
  }
}

}  // namespace
}  // namespace kavrino

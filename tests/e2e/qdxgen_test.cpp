// Runs the synthetic data generator and walks what it wrote: framing and CRC,
// block counts, determinism, damage accounting and ephemeris-derived positions.
// (Its measurement values are checked against the truth file through the real
// decoder by obs_truth_test.cpp.)
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/signals.h"
#include "qdx/block.h"
#include "support/e2e.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

struct Walk {
  std::map<int, int> counts;  // CRC-valid blocks per number
  std::vector<std::vector<uint8_t>> blocks;
  size_t skipped_bytes = 0;
};

// Finds every CRC-valid block the way a reader resynchronises: after a
// failed candidate the search goes on one byte after its '$'.
Walk WalkFile(const std::string& bytes) {
  Walk walk;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t n = bytes.size(), at = 0;
  while (at < n) {
    if (p[at] == '$' && at + 8 <= n && p[at + 1] == '@') {
      uint16_t length = QdxBlockLength(p + at);
      if (length >= 16 && at + length <= n && IsQdxCrcValid(p + at)) {
        walk.counts[QdxBlockNumber(p + at)]++;
        walk.blocks.emplace_back(p + at, p + at + length);
        at += length;
        continue;
      }
    }
    ++walk.skipped_bytes;
    ++at;
  }
  return walk;
}

std::string RunQdxgen(const std::string& dir, const std::string& name, const std::string& args) {
  EXPECT_EQ(test::Qdxgen(dir, "-o " + name + " " + args).status, 0) << args;
  return dir + "/" + name;
}

class QdxgenTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = test::MakeTempDir("qdxgen"); }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(QdxgenTest, BlocksAreFramedAndCountedAsScheduled) {
  std::string path = RunQdxgen(dir_, "a.qdx",
                               "--duration 120 --interval 2 --systems G,R,E,C,S,J --seed 7 "
                               "--comment 10:hello --event 15.25:2 --item 20:123456789012 "
                               "--fixes 4006,4007,5903,5904 --setup-interval 60");
  Walk walk = WalkFile(test::ReadFileText(path));
  EXPECT_EQ(walk.skipped_bytes, 0u);
  EXPECT_EQ(walk.counts[4027], 60);
  for (int fix : {4006, 4007, 5903, 5904}) EXPECT_EQ(walk.counts[fix], 60) << fix;
  EXPECT_EQ(walk.counts[5902], 2);  // at the start and after 60 s
  EXPECT_EQ(walk.counts[5936], 1);
  EXPECT_EQ(walk.counts[5924], 1);
  EXPECT_EQ(walk.counts[4106], 1);
  EXPECT_EQ(walk.counts[4075], 2);  // one weather sentence a minute
}

TEST_F(QdxgenTest, SameSeedSameBytesOtherSeedOtherBytes) {
  std::string args = "--duration 30 --systems G,E --no-truth";
  std::string a = test::ReadFileText(RunQdxgen(dir_, "a.qdx", args + " --seed 5"));
  std::string b = test::ReadFileText(RunQdxgen(dir_, "b.qdx", args + " --seed 5"));
  std::string c = test::ReadFileText(RunQdxgen(dir_, "c.qdx", args + " --seed 6"));
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

TEST_F(QdxgenTest, GzipWritesTheSameBytesCompressed) {
  const std::string args = "--duration 30 --systems G,E --no-truth --truncate-last";
  const std::string plain = test::ReadFileText(RunQdxgen(dir_, "a.qdx", args));
  gzFile gz = gzopen(RunQdxgen(dir_, "a.qdx.gz", args + " --gzip").c_str(), "rb");
  ASSERT_NE(gz, nullptr);
  std::string text(plain.size() + 1, '\0');
  text.resize(static_cast<size_t>(std::max(gzread(gz, text.data(), text.size()), 0)));
  EXPECT_EQ(gzdirect(gz), 0);  // it was compressed, not read through as it is
  EXPECT_EQ(gzclose(gz), Z_OK);
  EXPECT_TRUE(!plain.empty() && text == plain);
}

int TotalBlocks(const Walk& walk) {
  int total = 0;
  for (const auto& entry : walk.counts) total += entry.second;
  return total;
}

TEST_F(QdxgenTest, OptionsChangeTheBlocksWritten) {
  const std::string base = "--duration 20 --systems G,E --no-weather --setup-interval 0 ";
  struct Case {
    const char* args;
    std::map<int, int> expected;
  } cases[] = {
      {"", {{4027, 20}, {5944, 0}, {4000, 0}, {4098, 0}, {4006, 20}, {4007, 20}}},
      {"--variant", {{4027, 0}, {5944, 20}}},
      {"--extra-info --full-ranges", {{4027, 20}, {4000, 20}, {4098, 20}}},
      {"--interval 0.1 --fixes 5903", {{4027, 200}, {5903, 20}, {4006, 0}}},
      {"--interval 5 --no-nav", {{4027, 4}, {5891, 0}, {4002, 0}, {5893, 0}, {4031, 0}}},
      {"--site-commands", {{5936, 4}}},
      {"--setup-change 10", {{5902, 2}}},
  };
  for (const Case& c : cases) {
    Walk walk = WalkFile(test::ReadFileText(RunQdxgen(dir_, "o.qdx", base + c.args)));
    for (const auto& [number, count] : c.expected) {
      EXPECT_EQ(walk.counts[number], count) << c.args << " block " << number;
    }
  }
}

TEST_F(QdxgenTest, DamageCostsExactlyTheDamagedBlocks) {
  const std::string base = "--duration 60 --systems G,E,S --seed 4 ";
  Walk clean = WalkFile(test::ReadFileText(RunQdxgen(dir_, "c.qdx", base)));
  std::string path =
      RunQdxgen(dir_, "d.qdx", base + "--flip-bytes 0.05 --noise 0.1 --truncate-last");
  Walk damaged = WalkFile(test::ReadFileText(path));
  std::string truth = test::ReadFileText(path + ".truth");
  int lost = 0;  // the flipped blocks and the truncated last one
  for (size_t at = truth.find("DAMAGE"); at != std::string::npos;
       at = truth.find("DAMAGE", at + 1)) {
    ++lost;
  }
  EXPECT_GT(lost, 1);
  EXPECT_NE(truth.find("DAMAGE truncate"), std::string::npos);
  EXPECT_GT(damaged.skipped_bytes, 0u);
  EXPECT_EQ(TotalBlocks(damaged), TotalBlocks(clean) - lost);
}

TEST_F(QdxgenTest, MovingReceiverReportsItsSpeedAndSecondAntenna) {
  std::string path = RunQdxgen(dir_, "v.qdx",
                               "--duration 10 --systems G --motion circle --speed 12 "
                               "--antennas 2");
  Walk walk = WalkFile(test::ReadFileText(path));
  int fixes = 0;
  for (const auto& block : walk.blocks) {
    if (QdxBlockNumber(block.data()) != 4006) continue;
    const uint8_t* b = block.data();
    EXPECT_NEAR(std::hypot(ReadF32(b + 44), ReadF32(b + 48), ReadF32(b + 52)), 12.0, 0.01);
    ++fixes;
  }
  EXPECT_EQ(fixes, 10);
  EXPECT_NE(test::ReadFileText(path + ".truth").find("OBS G"), std::string::npos);
  EXPECT_NE(test::ReadFileText(path + ".truth").find(" 1 GPSL1CA "), std::string::npos);
}

struct Kepler {
  double toe, sqrt_a, e, m0, omega0, i0, omega, delta_n, omega_dot, idot;
  double cuc, cus, crc, crs, cic, cis;
};

// Position from broadcast parameters, the standard user algorithm; t and toe
// in seconds of week of the system's own time scale.
void BroadcastPosition(const Kepler& k, double t, double gm, double we, double out[3]) {
  const double pi = 3.1415926535898;
  double a = k.sqrt_a * k.sqrt_a, tk = t - k.toe;
  double m = k.m0 * pi + (std::sqrt(gm / (a * a * a)) + k.delta_n * pi) * tk;
  double e_anom = m;
  for (int i = 0; i < 20; ++i) e_anom = m + k.e * std::sin(e_anom);
  double nu = std::atan2(std::sqrt(1 - k.e * k.e) * std::sin(e_anom), std::cos(e_anom) - k.e);
  double phi = nu + k.omega * pi, s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
  double u = phi + k.cus * s2 + k.cuc * c2;
  double r = a * (1 - k.e * std::cos(e_anom)) + k.crs * s2 + k.crc * c2;
  double inc = k.i0 * pi + k.idot * pi * tk + k.cis * s2 + k.cic * c2;
  double node = k.omega0 * pi + (k.omega_dot * pi - we) * tk - we * k.toe;
  double x = r * std::cos(u), y = r * std::sin(u);
  out[0] = x * std::cos(node) - y * std::cos(inc) * std::sin(node);
  out[1] = x * std::sin(node) + y * std::cos(inc) * std::cos(node);
  out[2] = y * std::sin(inc);
}

Kepler ReadGpsLayout(const uint8_t* b) {  // 5891, 4095 and 4081
  return {double(ReadU32(b + 88)), ReadF64(b + 80),  ReadF64(b + 68),  ReadF64(b + 56),
          ReadF64(b + 96),         ReadF64(b + 108), ReadF64(b + 120), ReadF32(b + 52),
          ReadF32(b + 128),        ReadF32(b + 132), ReadF32(b + 64),  ReadF32(b + 76),
          ReadF32(b + 116),        ReadF32(b + 48),  ReadF32(b + 92),  ReadF32(b + 104)};
}

Kepler ReadGalileoLayout(const uint8_t* b) {  // 4002
  return {double(ReadU32(b + 100)), ReadF64(b + 16), ReadF64(b + 32), ReadF64(b + 24),
          ReadF64(b + 56),          ReadF64(b + 40), ReadF64(b + 48), ReadF32(b + 72),
          ReadF32(b + 64),          ReadF32(b + 68), ReadF32(b + 76), ReadF32(b + 80),
          ReadF32(b + 84),          ReadF32(b + 88), ReadF32(b + 92), ReadF32(b + 96)};
}

// Satellite positions from the ephemeris blocks the file carries agree with
// the positions the measurements were made from.
TEST_F(QdxgenTest, EphemerisBlocksGiveTheMeasuredSatellitePositions) {
  std::string path = RunQdxgen(dir_, "n.qdx",
                               "--duration 1800 --interval 30 --systems G,E,C,J "
                               "--position 35.7,139.7,40 --seed 11");
  Walk walk = WalkFile(test::ReadFileText(path));
  std::map<int, std::pair<Kepler, int>> ephemeris;  // svid -> parameters, block number
  for (const auto& block : walk.blocks) {
    const uint8_t* b = block.data();
    int number = QdxBlockNumber(b);
    if (number == 5891 || number == 4095 || number == 4081)
      ephemeris[b[14]] = {ReadGpsLayout(b), number};
    if (number == 4002) ephemeris[b[14]] = {ReadGalileoLayout(b), number};
  }
  std::map<std::string, int> svid_of;
  std::istringstream truth(test::ReadFileText(path + ".truth"));
  std::string line;
  double tow = 0, clock = 0;
  int checked = 0;
  while (std::getline(truth, line)) {
    std::istringstream f(line);
    std::string tag, name;
    f >> tag;
    if (tag == "SAT") {
      int svid;
      f >> name >> svid;
      svid_of[name] = svid;
      EXPECT_NE(SvidToSatIndex(static_cast<uint8_t>(svid)), 0) << line;
    } else if (tag == "EPOCH") {
      double week;
      f >> week >> tow >> clock;
      tow /= 1000;
    } else if (tag == "SV") {
      double channel, el, az, range, pos[3];
      f >> name >> channel >> el >> az >> range >> pos[0] >> pos[1] >> pos[2];
      auto it = ephemeris.find(svid_of[name]);
      if (it == ephemeris.end()) continue;
      double t = tow - clock - range / 299792458.0;
      double gm = 3.986005e14, we = 7.2921151467e-5;
      if (it->second.second == 4002) gm = 3.986004418e14;
      if (it->second.second == 4081) gm = 3.986004418e14, we = 7.292115e-5, t -= 14;
      double xyz[3];
      BroadcastPosition(it->second.first, t, gm, we, xyz);
      double d = std::hypot(xyz[0] - pos[0], xyz[1] - pos[1], xyz[2] - pos[2]);
      EXPECT_LT(d, 0.3) << line;
      ++checked;
    }
  }
  EXPECT_GT(checked, 500);
  EXPECT_GT(walk.counts[5891], 0);
  EXPECT_GT(walk.counts[4002], 0);
  EXPECT_GT(walk.counts[4081], 0);
  EXPECT_GT(walk.counts[4095], 0);
}

}  // namespace
}  // namespace kavrino

// Navigation products end to end: qdxgen files converted by the kavrino
// executable, checked for names, header areas and ephemeris values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "qdx/block.h"
#include "qdx/reader.h"
#include "support/e2e.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;
using test::QdxBlockWriter;

constexpr double kPi = 3.141592653589793;

int Kavrino(const std::string& dir, const std::string& args) {
  return test::Kavrino(dir, args).status;
}
using test::ReadLines;

// The files kavrino left in dir (inputs and captured streams aside).
std::vector<std::string> Outputs(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".qdx") == std::string::npos) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Header lines up to "END OF HEADER", which must be line `reserved`; every
// header line is 80 columns.
void ExpectHeaderArea(const std::vector<std::string>& lines, size_t reserved) {
  ASSERT_GE(lines.size(), reserved);
  for (size_t i = 0; i < reserved; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines[i].size(), 80u);
    EXPECT_EQ(lines[i].substr(60) == "END OF HEADER       ", i + 1 == reserved);
  }
}

class NavE2e : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new std::string(test::MakeTempDir("nav_e2e"));
    ASSERT_EQ(test::Qdxgen(*dir_,
                           "-o nav.qdx --seed 11 --start '2024-03-10 00:00:00'"
                           " --duration 1800 --interval 30 --systems G,R,E,C,S,J"
                           " --no-weather --position 35,135,50")
                  .status,
              0);
  }
  static void TearDownTestSuite() {
    fs::remove_all(*dir_);
    delete dir_;
  }
  // A fresh directory holding a copy of the generated file.
  std::string Workspace() {
    const std::string dir = test::MakeTempDir("nav_run");
    fs::copy_file(*dir_ + "/nav.qdx", dir + "/nav.qdx");
    fs::copy_file(*dir_ + "/nav.qdx.truth", dir + "/nav.qdx.truth");
    dirs_.push_back(dir);
    return dir;
  }
  void TearDown() override {
    for (const std::string& dir : dirs_) fs::remove_all(dir);
  }
  static std::string* dir_;
  std::vector<std::string> dirs_;
};
std::string* NavE2e::dir_ = nullptr;

// Values of every record of a navigation file, keyed by satellite text (as the
// record start line writes it) and t_oe (seconds of week).
using Records = std::map<std::pair<std::string, long>, std::vector<double>>;

Records ParseRecords(const std::vector<std::string>& lines, size_t header, bool rinex2) {
  const size_t start_values = rinex2 ? 22 : 23;
  const size_t indent = rinex2 ? 3 : 4;
  Records records;
  std::vector<double> values;
  std::string sat;
  auto flush = [&] {
    if (values.size() > 11) records.emplace(std::make_pair(sat, std::lround(values[11])), values);
    values.clear();
  };
  for (size_t i = header; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const bool start = line.compare(0, indent, std::string(indent, ' ')) != 0;
    if (start) {
      flush();
      sat = line.substr(0, rinex2 ? 2 : 3);
    }
    for (size_t at = start ? start_values : indent; at + 19 <= line.size(); at += 19) {
      values.push_back(std::strtod(line.substr(at, 19).c_str(), nullptr));
    }
  }
  flush();
  return records;
}

struct TruthEph {
  std::string name;
  int64_t block_ms;
  int64_t toe;  // continuous seconds of the constellation's time
  uint32_t iod;
};

// Fresh ephemerides of one block number from the truth file, and the
// satellite numbers of the blocks by name.
std::vector<TruthEph> ReadTruth(const std::string& path, int number,
                                std::map<std::string, int>* svids) {
  std::vector<TruthEph> ephs;
  std::ifstream in(path);
  for (std::string kind, rest; in >> kind && std::getline(in, rest);) {
    std::istringstream words(rest);
    TruthEph e;
    int n = 0;
    if (kind == "SAT" && words >> e.name >> n) (*svids)[e.name] = n;
    if (kind == "EPH" && words >> n >> e.name >> e.block_ms >> e.toe >> e.iod && n == number) {
      ephs.push_back(e);
    }
  }
  return ephs;
}

// The ephemeris block of a satellite stamped at block_ms.
std::vector<uint8_t> FindBlock(const std::string& path, int number, int svid, int64_t block_ms) {
  auto reader = std::make_unique<QdxReader>();
  std::vector<uint8_t> block(kQdxMaxBlockSize + 1);
  InitQdxReader(path.c_str(), reader.get());
  std::vector<uint8_t> found;
  while (GetNextQdxBlock(reader.get(), block.data(), number, number, kQdxModeWalk) == 0) {
    if (block[14] == svid && QdxBlockTimeMs(block.data()) == block_ms) {
      found.assign(block.begin(), block.begin() + QdxBlockLength(block.data()));
      break;
    }
  }
  CloseQdxReader(reader.get());
  return found;
}

// Where a record keeps the Keplerian values: record value index and block
// offset (f32 when `single`), each scaled by pi.
struct Angle {
  size_t value;
  size_t offset;
  bool single;
};

// Every letter makes its file with its header area; the Keplerian files carry
// the values of their blocks.
TEST_F(NavE2e, EveryLetterMakesItsFileAndTheValuesOfItsBlocks) {
  // GPS-layout angles: delta n, M0, OMEGA0, i0, omega, OMEGADOT, IDOT.
  const std::vector<Angle> gps = {{5, 52, true},    {6, 56, false},   {13, 96, false},
                                  {15, 108, false}, {17, 120, false}, {18, 128, true},
                                  {19, 132, true}};
  const std::vector<Angle> gal = {{5, 72, true},   {6, 24, false}, {13, 56, false}, {15, 40, false},
                                  {17, 48, false}, {18, 64, true}, {19, 68, true}};
  struct Case {
    const char* args;
    const char* file;
    size_t header;
    const char* first_record;  // start of the first line after the header
    int number = 0;            // ephemeris block whose values are checked (0: none)
    const char* prefix = "";   // of the satellite text in the file ("" in RINEX 2)
    int64_t week_offset = 0;   // constellation week = GPS-scale week - offset
    const std::vector<Angle>* angles = nullptr;
  } cases[] = {
      {"-nN", "KVRN0700.24N", 7, "02 24  3 10", 5891, "", 0, &gps},
      {"-nN -R3", "KVRN0700.24N", 7, "G", 5891, "G", 0, &gps},
      {"-nG", "KVRN0700.24G", 4, "02 24  3  9"},
      {"-nE", "KVRN0700.24L", 7, "E", 4002, "E", 0, &gal},
      {"-nH -R210", "KVRN0700.24H", 3, ""},
      {"-nI", "KVRN0700.24I", 3, "C", 4081, "C", 1356, &gps},
      {"-nP", "KVRN0700.24P", 10, "G", 4095, "J", 0, &gps},
      {"-nP -xG -xE", "KVRN0700.24P", 10, "R"},  // GPS records would come first
      {"-nB", "KVRN0700.24B", 4, ""},
      {"-nN -l", "KVRN00CHE_R_20240700000_30M_GN.rnx", 7, "02 24  3 10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string dir = Workspace();
    ASSERT_EQ(Kavrino(dir, std::string("-f nav.qdx ") + c.args), 0);
    ASSERT_EQ(Outputs(dir), std::vector<std::string>{c.file});
    const std::vector<std::string> lines = ReadLines(dir + "/" + c.file);
    ExpectHeaderArea(lines, c.header);
    ASSERT_GT(lines.size(), c.header);
    EXPECT_EQ(lines[c.header].rfind(c.first_record, 0), 0u) << lines[c.header];
    if (c.angles == nullptr) continue;
    const Records records = ParseRecords(lines, c.header, c.prefix[0] == '\0');
    std::map<std::string, int> svids;
    const std::vector<TruthEph> truth = ReadTruth(dir + "/nav.qdx.truth", c.number, &svids);
    ASSERT_FALSE(truth.empty());
    int checked = 0;
    for (size_t k = 0; k < truth.size() && checked < 4; k += 3) {
      const TruthEph& e = truth[k];
      SCOPED_TRACE(e.name);
      const std::string sat = c.prefix + e.name.substr(1);
      const auto it = records.find({sat, static_cast<long>(e.toe % 604800)});
      ASSERT_NE(it, records.end());
      const std::vector<double>& v = it->second;
      ASSERT_GE(v.size(), 22u);
      const std::vector<uint8_t> block =
          FindBlock(dir + "/nav.qdx", c.number, svids[e.name], e.block_ms);
      ASSERT_FALSE(block.empty());
      for (const Angle& a : *c.angles) {
        const double stored =
            a.single ? static_cast<double>(ReadF32(&block[a.offset])) : ReadF64(&block[a.offset]);
        EXPECT_NEAR(v[a.value], stored * kPi, std::fabs(stored * kPi) * 1e-12) << a.value;
      }
      EXPECT_EQ(v[21], static_cast<double>(e.toe / 604800 - c.week_offset));  // widened week
      if (c.number != 4081) {
        EXPECT_EQ(v[3], c.number == 4002 ? e.iod : (e.iod & 0xFF));
      }
      ++checked;
    }
  }
}

TEST_F(NavE2e, FilesWithoutDataStillGetTheirHeader) {
  const std::string dir = Workspace();
  std::vector<uint8_t> file;
  test::Append(&file, QdxBlockWriter(4027, 0, 3600000, 2304, 40));
  ASSERT_TRUE(test::WriteFileBytes(dir + "/bare.qdx", file));
  EXPECT_EQ(Kavrino(dir, "-f bare.qdx -nNP"), 2);
  const std::vector<std::string> names = Outputs(dir);
  ASSERT_EQ(names.size(), 2u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const size_t reserved = name.back() == 'P' ? 10 : 7;
    const std::vector<std::string> lines = ReadLines(dir + "/" + name);
    ExpectHeaderArea(lines, reserved);
    EXPECT_EQ(lines.size(), reserved);
  }
}

TEST_F(NavE2e, LongNameSpanIgnoresBlocksWithoutTimeStamp) {
  const std::string dir = Workspace();
  // A trailing block without a usable time stamp, and a window that ends early:
  // the period still covers the whole file.
  std::vector<uint8_t> tail;
  test::Append(&tail, QdxBlockWriter(5913, 0, 0xFFFFFFFFu, 0xFFFF, 20));
  std::ofstream(dir + "/nav.qdx", std::ios::app | std::ios::binary)
      .write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
  ASSERT_EQ(Kavrino(dir, "-f nav.qdx -nN -l -e 00:10:00"), 0);
  EXPECT_EQ(Outputs(dir), std::vector<std::string>{"KVRN00CHE_R_20240700000_30M_GN.rnx"});
}

TEST_F(NavE2e, EachInputFileSettlesTheWindowOnItsOwnDay) {
  const std::string dir = Workspace();
  ASSERT_EQ(test::Qdxgen(dir,
                         "-o later.qdx --seed 12 --start '2024-03-12 00:00:00'"
                         " --duration 600 --interval 30 --systems G --no-weather --no-truth")
                .status,
            0);
  // Converted after a file two days later, the first file keeps its own window.
  ASSERT_EQ(Kavrino(dir, "-f later.qdx nav.qdx -nN -b 00:00:00 -e 23:00:00"), 0);
  for (const char* name : {"KVRN0720.24N", "KVRN0700.24N"}) {
    SCOPED_TRACE(name);
    const std::vector<std::string> lines = ReadLines(dir + "/" + name);
    ASSERT_GT(lines.size(), 7u);
    EXPECT_NE(lines[7].substr(0, 2), "  ");
  }
}

}  // namespace
}  // namespace kavrino

// Which ephemeris blocks the navigation walks turn into records, and the
// correction blocks they keep.
#include "convert/nav_walks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/time.h"
#include "qdx/reader.h"
#include "rinex/nav/test_blocks.h"
#include "support/capture.h"

namespace kavrino {
namespace {

using test::CaptureWrites;
using test::GloBlock;
using test::QdxBlockWriter;
using test::SbasBlock;

constexpr uint32_t kTow = 345618000;
constexpr uint16_t kWeek = 2060;
constexpr int64_t kNoStart = -1;
constexpr int64_t kNoEnd = 0x4000000000000000;

struct GenRun {
  bool wrote = false;
  std::vector<std::string> starts;  // first line of every record, in order
  NavCorrections corrections;
};

GenRun Walk(const std::vector<QdxBlockWriter>& blocks, NavRun which, int64_t start = kNoStart,
            int64_t end = kNoEnd) {
  std::vector<uint8_t> file;
  for (const QdxBlockWriter& b : blocks) test::Append(&file, b);
  const std::string path = test::MakeTempDir("nav_gen") + "/in.qdx";
  EXPECT_TRUE(test::WriteFileBytes(path, file));
  QdxReader reader;
  InitQdxReader(path.c_str(), &reader);
  ConvertOptions options;
  NavPass pass;
  pass.options = &options;
  pass.reader = &reader;
  pass.window = {start, end};
  pass.version = RinexVersion::k304;
  GenRun run;
  const std::string text = test::CaptureWrites([&](OutStream* out) {
    pass.out = out;
    run.wrote = RunNavWalk(&pass, which);
  });
  CloseQdxReader(&reader);
  run.corrections = pass.corrections;
  for (const std::string& line : test::SplitLines(text)) {
    if (line[0] != ' ') run.starts.push_back(line.substr(0, 3));
  }
  EXPECT_EQ(test::SplitLines(text).size(), run.starts.size() * 8);
  return run;
}

QdxBlockWriter Gps(uint32_t tow_ms, uint8_t svid, uint16_t iodc) {
  return test::GpsLayoutBlock(5891, tow_ms, kWeek, svid, iodc);
}

TEST(NavGenerators, GpsOneRecordPerNewIodc) {
  const GenRun run = Walk({Gps(kTow, 5, 10), Gps(kTow + 1000, 5, 10), Gps(kTow + 2000, 5, 11),
                           Gps(kTow + 3000, 5, 10), Gps(kTow + 3000, 5, 12),  // not later
                           Gps(kTow + 4000, 7, 10)},
                          NavRun::kGps);
  EXPECT_TRUE(run.wrote);
  EXPECT_EQ(run.starts, (std::vector<std::string>{"G05", "G05", "G05", "G07"}));
}

TEST(NavGenerators, GpsSkipsWhatIsOutsideTheSelection) {
  const int64_t t0 = int64_t{kWeek} * 604800000 + kTow;
  QdxBlockWriter no_time = Gps(0xFFFFFFFF, 5, 1);
  QdxBlockWriter short_block = Gps(kTow, 6, 1);
  short_block.Resize(139);
  QdxBlockWriter qzss_number = test::GpsLayoutBlock(4095, kTow, kWeek, 8, 1);
  const GenRun run = Walk({no_time, short_block, qzss_number, Gps(kTow, 33, 1), Gps(kTow, 0, 1),
                           Gps(kTow - 1, 9, 1), Gps(kTow + 1, 10, 1), Gps(kTow, 11, 1)},
                          NavRun::kGps, t0, t0);
  EXPECT_EQ(run.starts, std::vector<std::string>{"G11"});
  EXPECT_FALSE(Walk({Gps(kTow, 5, 1)}, NavRun::kGps, t0 + 1).wrote);
}

TEST(NavGenerators, GpsKeepsTheLastCorrectionBlocks) {
  QdxBlockWriter iono1(5893, 0, kTow, kWeek, 48);
  iono1.U8(14, 1).F32(16, 1.0f);
  QdxBlockWriter iono2(5893, 0, kTow + 1, kWeek, 48);
  iono2.U8(14, 2).F32(16, 2.0f).F32(44, 3.0f);
  QdxBlockWriter iono_short(5893, 0, kTow + 2, kWeek, 44);
  iono_short.U8(14, 3);
  QdxBlockWriter utc(5894, 0, 0xFFFFFFFF, kWeek, 40);  // kept whatever its time stamp
  utc.U8(14, 0).F64(20, 1.5e-9);
  const GenRun run = Walk({iono1, iono2, iono_short, utc}, NavRun::kGps);
  EXPECT_FALSE(run.wrote);
  const NavCorrections& c = run.corrections;
  EXPECT_TRUE(c.gps_iono.present);
  EXPECT_EQ(c.gps_iono.alpha[0], 2.0f);  // the last block long enough
  EXPECT_EQ(c.gps_iono.beta[3], 3.0f);
  EXPECT_FALSE(c.gps_utc.present);  // satellite byte 0
  EXPECT_EQ(c.gps_utc.a0, 1.5e-9);
}

TEST(NavGenerators, GalileoSourcesDeduplicatedApart) {
  auto gal = [](uint32_t tow, uint8_t source, uint16_t iod) {
    return test::GalBlock(tow, kWeek, 71, source, iod);
  };
  QdxBlockWriter offset_ignored(4032, 0, kTow, kWeek, 32);
  offset_ignored.U8(14, 1).U32(24, 918000);
  QdxBlockWriter offset(4032, 0, kTow, kWeek, 32);
  offset.U8(14, 1).U32(24, 86400);
  QdxBlockWriter utc(4031, 0, kTow, kWeek, 40);
  utc.U8(14, 1);
  QdxBlockWriter iono(4030, 0, kTow, kWeek, 32);
  iono.U8(14, 1);
  const GenRun run =
      Walk({gal(kTow, 2, 7), gal(kTow, 16, 7), gal(kTow + 1000, 2, 7), gal(kTow + 1000, 16, 8),
            gal(kTow + 2000, 4, 7), gal(kTow + 2500, 1, 8), gal(kTow + 3000, 2, 1024),
            test::GalBlock(kTow, kWeek, 107, 2, 1), offset, offset_ignored, utc, iono},
           NavRun::kGalileo);
  EXPECT_TRUE(run.wrote);
  // I/NAV 7, F/NAV 7, F/NAV 8, other 7; source 1 shares the "other" table
  // and its key 8 differs, so it is written too.
  EXPECT_EQ(run.starts.size(), 5u);
  EXPECT_TRUE(run.corrections.gal_utc.present);
  EXPECT_TRUE(run.corrections.gal_iono.present);
  EXPECT_EQ(run.corrections.gal_gps.t_og, 86400u);
}

TEST(NavGenerators, BeidouAndQzssRangesAndKeys) {
  auto bds = [](uint32_t tow, uint8_t svid, uint32_t toc) {
    QdxBlockWriter w = test::GpsLayoutBlock(4081, tow, kWeek, svid, 0);
    w.U32(32, toc);
    return w;
  };
  const GenRun b = Walk({bds(kTow, 141, 100), bds(kTow + 1, 141, 100), bds(kTow + 2, 141, 200),
                         bds(kTow, 177, 100), bds(kTow, 140, 100)},
                        NavRun::kBeidou);
  EXPECT_EQ(b.starts, (std::vector<std::string>{"C01", "C01", "C37"}));
  auto qzs = [](uint32_t tow, uint8_t svid, uint16_t iodc) {
    return test::GpsLayoutBlock(4095, tow, kWeek, svid, iodc);
  };
  const GenRun q = Walk({qzs(kTow, 181, 1), qzs(kTow + 1, 181, 1), qzs(kTow, 187, 1),
                         qzs(kTow, 188, 1), Gps(kTow, 5, 1)},
                        NavRun::kQzss);
  EXPECT_EQ(q.starts, (std::vector<std::string>{"J01", "J07"}));
}

// Runs a generator (RINEX 3) over a file; returns, for every record, its start
// (satellite and epoch) and the last value of orbit line `line` (1..3).
std::vector<std::pair<std::string, int>> Generate(bool glonass, const std::string& path,
                                                  int64_t start, int64_t end, int line_number,
                                                  int* status) {
  auto reader = std::make_unique<QdxReader>();
  InitQdxReader(path.c_str(), reader.get());
  ConvertOptions options;
  NavPass pass;
  pass.options = &options;
  pass.reader = reader.get();
  pass.window = {start, end};
  pass.version = RinexVersion::k304;
  std::istringstream lines(CaptureWrites([&](OutStream* out) {
    pass.out = out;
    *status = RunNavWalk(&pass, glonass ? NavRun::kGlonass : NavRun::kSbas) ? 0 : 2;
  }));
  CloseQdxReader(reader.get());
  std::vector<std::pair<std::string, int>> records;
  std::string line;
  for (int n = 0; std::getline(lines, line); ++n) {
    if (n % 4 == 0) records.emplace_back(line.substr(0, 23), 0);
    if (n % 4 == line_number) records.back().second = static_cast<int>(std::stod(line.substr(61)));
  }
  return records;
}

// The tags (age or IODN) of the records made from a file of blocks.
std::vector<int> Tags(bool glonass, const std::vector<QdxBlockWriter>& blocks, int64_t start,
                      int64_t end, int* status) {
  std::vector<uint8_t> file;
  for (const QdxBlockWriter& b : blocks) test::Append(&file, b);
  const std::string path = test::MakeTempDir("glosbas") + "/in.qdx";
  EXPECT_TRUE(test::WriteFileBytes(path, file));
  std::vector<int> tags;
  for (const auto& record : Generate(glonass, path, start, end, 3, status)) {
    tags.push_back(record.second);
  }
  return tags;
}

TEST(NavWalks, GlonassAndSbasSelection) {
  const int64_t t0 = 2060 * kMsPerWeek + 345630000;  // block time of GloBlock()
  const uint32_t tow = 345630000;
  std::vector<QdxBlockWriter> glo = {
      GloBlock(40, tow, 1),
      GloBlock(40, tow + 1000, 2),                     // same contents, later: a second record
      GloBlock(40, tow + 1000, 3),                     // not later
      GloBlock(40, tow + 2000, 4).U32(8, 0xFFFFFFFF),  // invalid time
      GloBlock(62, tow + 3000, 5),                     // slot unknown
      GloBlock(5, tow + 3000, 6),                      // not GLONASS
      GloBlock(40, tow + 9000, 7),                     // after the window
      GloBlock(40, tow + 4000, 8).Resize(80),          // short
      GloBlock(41, tow - 5000, 9),                     // another satellite, earlier
      GloBlock(68, tow, 10),                           // R30
  };
  int status = -1;
  EXPECT_EQ(Tags(true, glo, t0 - 5000, t0 + 8000, &status), (std::vector<int>{1, 2, 9, 10}));
  EXPECT_EQ(status, 0);

  const uint32_t stow = 100500;
  std::vector<QdxBlockWriter> sbas = {
      SbasBlock(127, stow, 86000, 1),        SbasBlock(127, stow + 1000, 86000, 2),  // same t0
      SbasBlock(127, stow + 2000, 86100, 3),                                         // new t0
      SbasBlock(127, stow + 3000, 86000, 4),  // back to the first t0
      SbasBlock(127, stow + 3000, 86200, 5),  // not later
      SbasBlock(198, stow, 86000, 6),         // S41 (index 141)
      SbasBlock(159, stow, 86000, 7),         // BeiDou index
      SbasBlock(120, stow - 1000, 86000, 8),  // before the window
  };
  EXPECT_EQ(Tags(false, sbas, 2061 * kMsPerWeek + stow, 0x4000000000000000, &status),
            (std::vector<int>{1, 3, 4, 6}));
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Tags(false, glo, -1, 0x4000000000000000, &status).empty());
  EXPECT_EQ(status, 2);
}

// The bundled sample's GLONASS and SBAS ephemerides, against its truth file:
// every issue of a GLONASS satellite is a record at t_oe less the 18 leap
// seconds with the satellite's frequency number; every SBAS issue is exactly one
// record at its t0 with its IODN.
TEST(NavWalks, GlonassAndSbasOfTheSampleMatchTruth) {
  const std::string sample = KAVRINO_SOURCE_DIR "/samples/sample.qdx";
  std::map<std::string, int> frequency;    // R01 -> k
  std::map<std::string, int> expected[2];  // "R01 2024 ..." -> key
  std::ifstream truth(sample + ".truth");
  std::string kind, name;
  while (truth >> kind) {
    if (kind == "SAT" && truth >> name) {
      int svid, k;
      truth >> svid >> k;
      frequency[name] = k;
    } else if (kind == "EPH") {
      int number;
      long long t_ms, toe;
      unsigned key;
      truth >> number >> name >> t_ms >> toe >> key;
      const bool glo = number == 4004;
      if (!glo && number != 5896) continue;
      const CalendarTime c = GpsSecondsToCalendar(static_cast<double>(toe - (glo ? 18 : 0)));
      char start[32];
      std::snprintf(start, sizeof start, "%s %4u %02u %02u %02u %02u %02u", name.c_str(), c.year,
                    c.month, c.day, c.hour, c.minute, static_cast<unsigned>(c.second));
      expected[glo ? 0 : 1][start] = glo ? frequency[name] : static_cast<int>(key);
    }
    std::getline(truth, name);
  }
  for (int glo = 0; glo < 2; ++glo) {
    ASSERT_GT(expected[glo].size(), 10u);
    int status = -1;
    std::map<std::string, int> found;  // GLONASS: frequency number; SBAS: IODN
    for (const auto& [start, value] :
         Generate(glo == 0, sample, -1, 0x4000000000000000, 2 + glo, &status)) {
      EXPECT_TRUE(found.emplace(start, value).second || glo == 0) << start;
      found[start] = value;
    }
    EXPECT_EQ(status, 0);
    if (glo == 1) {
      EXPECT_EQ(found.size(), expected[1].size());
    }
    for (const auto& [start, value] : expected[glo]) {
      ASSERT_TRUE(found.count(start)) << start;
      EXPECT_EQ(found[start], value) << start;
    }
  }
}

}  // namespace
}  // namespace kavrino

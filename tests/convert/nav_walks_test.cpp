// Which ephemeris blocks the navigation walks turn into records, the
// correction blocks they keep, and the window they run in.
#include "convert/nav_walks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "convert/nav_product.h"
#include "core/time.h"
#include "qdx/reader.h"
#include "rinex/case_table.h"
#include "rinex/nav/test_blocks.h"
#include "support/capture.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

constexpr uint32_t kTow = 345618000;
constexpr uint16_t kWeek = 2060;
constexpr int64_t kT0 = int64_t{kWeek} * kMsPerWeek + kTow;

// Every record of a walk over `blocks` as "satellite:tag", the tag being the
// issue of a Keplerian record (its first orbit value) or the last value of a
// GLONASS or SBAS record (age or IODN); "-" for none.
std::string Walk(NavRun run, const std::vector<uint8_t>& file, TimeWindow window, bool* wrote,
                 NavCorrections* corrections = nullptr) {
  test::ScopedTempDir dir("nav_walk");
  EXPECT_TRUE(test::WriteFileBytes(dir / "in.qdx", file));
  const auto lines =
      test::SplitLines(test::WalkText(dir / "in.qdx", run, window, wrote, corrections));
  const bool cartesian = run == NavRun::kGlonass || run == NavRun::kSbas;
  const size_t size = cartesian ? 4 : 8;
  EXPECT_EQ(lines.size() % size, 0u);
  std::string records;
  for (size_t i = 0; i + size <= lines.size(); i += size) {
    const std::string tag = cartesian ? lines[i + 3].substr(61) : lines[i + 1].substr(4, 19);
    records += (i > 0 ? " " : "") + lines[i].substr(0, 3) + ":" +
               std::to_string(static_cast<int>(std::stod(tag)));
  }
  return records.empty() ? "-" : records;
}

// The description (see test::Blocks()) of a block of data/nav_walks.txt:
// KIND:MS:SVID:KEY:TAG[:short|:notime].
std::string Block(const std::string& text) {
  std::vector<std::string> f = test::Split(text, ':');
  f.resize(6);
  const int ms = std::stoi(f[1]), svid = std::stoi(f[2]), tag = std::stoi(f[4]);
  const uint32_t key = static_cast<uint32_t>(std::stoul(f[3])),
                 tow = kTow + static_cast<uint32_t>(ms);
  const std::string n = test::N(key);
  const std::string spec =
      f[0] == "G"   ? test::GpsLayoutBlock(5891, tow, kWeek, svid, static_cast<int>(key))
      : f[0] == "J" ? test::GpsLayoutBlock(4095, tow, kWeek, svid, static_cast<int>(key))
      : f[0] == "E" ? test::GalBlock(tow, kWeek, svid, static_cast<int>(key), tag)
      : f[0] == "C" ? test::GpsLayoutBlock(4081, tow, kWeek, svid, 0) + " u32@32=" + n +
                          " u8@21=" + test::N(tag)
      : f[0] == "R" ? test::GloBlock(svid, 345630000 + ms, tag)
                    : test::SbasBlock(svid, 100500 + ms, key, tag);
  return spec + (f[5] == "short" ? f[0] == "R" ? " size=80" : " size=139" : "") +
         (f[5] == "notime" ? " u32@8=4294967295" : "");
}

TEST(NavWalks, BlocksTurnedIntoRecords) {
  const std::pair<const char*, NavRun> runs[] = {
      {"GPS", NavRun::kGps},       {"QZSS", NavRun::kQzss},       {"Galileo", NavRun::kGalileo},
      {"BeiDou", NavRun::kBeidou}, {"GLONASS", NavRun::kGlonass}, {"SBAS", NavRun::kSbas}};
  for (const auto& row : test::ReadCases("convert/data/nav_walks.txt")) {
    SCOPED_TRACE(row[0] + " | " + row[1] + " | " + row[2]);
    const auto run = std::find_if(std::begin(runs), std::end(runs),
                                  [&](const auto& r) { return row[0] == r.first; });
    ASSERT_NE(run, std::end(runs));
    const int64_t t0 = run->second == NavRun::kGlonass ? kWeek * kMsPerWeek + 345630000
                       : run->second == NavRun::kSbas  ? 2061 * kMsPerWeek + 100500
                                                       : kT0;
    const std::vector<std::string> window = test::Words(row[1]);
    TimeWindow w{kNoStartMs, kNoEndMs};
    if (window[0] != "all") w.start_ms = t0 + std::stoll(window[0]);
    if (window.size() > 1 && window[1] != "-") w.end_ms = t0 + std::stoll(window[1]);
    std::vector<uint8_t> file;
    for (const std::string& b : test::Words(row[2])) test::Append(&file, test::Blocks(Block(b)));
    bool wrote = false;
    EXPECT_EQ(Walk(run->second, file, w, &wrote), row[3]);
    EXPECT_EQ(wrote, row[3] != "-");
  }
}

// The GPS walk keeps the last ionosphere block long enough (not the last
// one, too short) and the UTC block whatever its time stamp (not present:
// satellite byte 0); the Galileo walk keeps a GPS time offset only with a
// reference time within the week.
TEST(NavWalks, CorrectionBlocksAreKept) {
  bool wrote = true;
  NavCorrections c;
  EXPECT_EQ(
      Walk(NavRun::kGps,
           test::Blocks("5893 345618000 2060 48 u8@14=1 f32@16=1;"
                        "5893 345618001 2060 48 u8@14=2 f32@16=2 f32@44=3;"
                        "5893 345618002 2060 44 u8@14=3; 5894 4294967295 2060 40 f64@20=1.5e-9"),
           {kNoStartMs, kNoEndMs}, &wrote, &c),
      "-");
  EXPECT_FALSE(wrote);
  EXPECT_TRUE(c.gps_iono.present && c.gps_iono.alpha[0] == 2.0f && c.gps_iono.beta[3] == 3.0f);
  EXPECT_TRUE(!c.gps_utc.present && c.gps_utc.a0 == 1.5e-9);
  Walk(NavRun::kGalileo,
       test::Blocks("4032 345618000 2060 32 u8@14=1 u32@24=86400; 4032 345618000 2060 32 u8@14=1 "
                    "u32@24=918000;"
                    "4031 345618000 2060 40 u8@14=1; 4030 345618000 2060 32 u8@14=1"),
       {kNoStartMs, kNoEndMs}, &wrote, &c);
  EXPECT_TRUE(c.gal_utc.present && c.gal_iono.present);
  EXPECT_EQ(c.gal_gps.t_og, 86400u);
}

// The bundled sample against its truth file: every issue of a GLONASS
// satellite is a record at t_oe less the 18 leap seconds with the satellite's
// frequency number; every SBAS issue is exactly one record at its t0 with its
// IODN.
TEST(NavWalks, GlonassAndSbasOfTheSampleMatchTruth) {
  const std::string sample = KAVRINO_SOURCE_DIR "/samples/sample.qdx";
  std::map<std::string, int> frequency;    // R01 -> k
  std::map<std::string, int> expected[2];  // "R01 2024 ..." -> key
  std::ifstream truth(sample + ".truth");
  for (std::string kind, name; truth >> kind; std::getline(truth, name)) {
    if (kind == "SAT" && truth >> name) truth >> frequency[name] >> frequency[name];
    int number;
    long long t_ms, toe;
    unsigned key;
    if (kind != "EPH" || !(truth >> number >> name >> t_ms >> toe >> key)) continue;
    if (number != 4004 && number != 5896) continue;
    const bool glo = number == 4004;
    const CalendarTime c = GpsSecondsToCalendar(static_cast<double>(toe - (glo ? 18 : 0)));
    char start[32];
    std::snprintf(start, sizeof start, "%s %4u %02u %02u %02u %02u %02u", name.c_str(), c.year,
                  c.month, c.day, c.hour, c.minute, static_cast<unsigned>(c.second));
    expected[glo ? 0 : 1][start] = glo ? frequency[name] : static_cast<int>(key);
  }
  for (int glo = 0; glo < 2; ++glo) {
    ASSERT_GT(expected[glo].size(), 10u);
    bool wrote = false;
    const auto lines = test::SplitLines(test::WalkText(
        sample, glo == 0 ? NavRun::kGlonass : NavRun::kSbas, {kNoStartMs, kNoEndMs}, &wrote));
    EXPECT_TRUE(wrote);
    std::map<std::string, int> found;  // GLONASS: frequency number; SBAS: IODN
    for (size_t i = 0; i + 4 <= lines.size(); i += 4) {
      const std::string start = lines[i].substr(0, 23);
      EXPECT_TRUE(glo == 0 || found.count(start) == 0) << start;
      found[start] = static_cast<int>(std::stod(lines[i + 2 + glo].substr(61)));
    }
    EXPECT_TRUE(glo == 0 || found.size() == expected[1].size());
    for (const auto& [start, value] : expected[glo]) {
      ASSERT_TRUE(found.count(start)) << start;
      EXPECT_EQ(found[start], value) << start;
    }
  }
}

TEST(NavWindow, TimesOfDayTieToTheFirstEpochAndAnOpenStartGetsTheMargin) {
  const int64_t day = 14414LL * kMsPerDay;  // 2019-06-24 00:00:00
  const int64_t first = day + 30000;        // first data block at 00:00:30
  const struct {
    int64_t first, start, end, want_start, want_end;
  } cases[] = {
      {first, kNoStartMs, kNoEndMs, first - 14400000, kNoEndMs},  // 2019-06-23 20:00:30
      {first, 36000000, 39600000, day + 36000000, day + 39600000},
      {first, kNoStartMs, 0, first - 14400000, day},
      {first, day + 5, kNoEndMs, day + 5, kNoEndMs},  // absolute values stay
      {0, kNoStartMs, 3600000, kNoStartMs, 3600000},  // no data: nothing to tie to
  };
  for (const auto& c : cases) {
    TimeWindow window{c.start, c.end};
    SettleNavWindow(c.first, &window);
    EXPECT_EQ(window.start_ms, c.want_start) << c.start;
    EXPECT_EQ(window.end_ms, c.want_end) << c.end;
  }
}

}  // namespace
}  // namespace kavrino

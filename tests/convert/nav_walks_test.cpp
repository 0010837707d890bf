// Which ephemeris blocks the navigation walks turn into records, the
// correction blocks they keep, and the window they run in.
#include "convert/nav_walks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "convert/nav_product.h"
#include "core/time.h"
#include "qdx/reader.h"
#include "rinex/nav/test_blocks.h"
#include "support/capture.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

using test::GloBlock;
using test::QdxBlockWriter;
using test::SbasBlock;

constexpr uint32_t kTow = 345618000;
constexpr uint16_t kWeek = 2060;
constexpr int64_t kT0 = int64_t{kWeek} * kMsPerWeek + kTow;

// The RINEX 3.04 records a walk writes over a file.
std::string RunWalk(const std::string& path, NavRun run, TimeWindow window, bool* wrote,
                    NavCorrections* corrections = nullptr) {
  auto reader = std::make_unique<QdxReader>();
  InitQdxReader(path.c_str(), reader.get());
  ConvertOptions options;
  NavPass pass;
  pass.options = &options;
  pass.reader = reader.get();
  pass.window = window;
  pass.version = RinexVersion::k304;
  const std::string text = test::CaptureWrites([&](OutStream* out) {
    pass.out = out;
    *wrote = RunNavWalk(&pass, run);
  });
  CloseQdxReader(reader.get());
  if (corrections != nullptr) *corrections = pass.corrections;
  return text;
}

// Every record of a walk over `blocks` as "satellite:tag", the tag being the
// issue of a Keplerian record (its first orbit value) or the last value of a
// GLONASS or SBAS record (age or IODN).
std::string Walk(NavRun run, const std::vector<QdxBlockWriter>& blocks, TimeWindow window,
                 bool* wrote, NavCorrections* corrections = nullptr) {
  test::ScopedTempDir dir("nav_walk");
  std::vector<uint8_t> file;
  for (const QdxBlockWriter& b : blocks) test::Append(&file, b);
  EXPECT_TRUE(test::WriteFileBytes(dir / "in.qdx", file));
  const auto lines = test::SplitLines(RunWalk(dir / "in.qdx", run, window, wrote, corrections));
  const bool cartesian = run == NavRun::kGlonass || run == NavRun::kSbas;
  const size_t size = cartesian ? 4 : 8;
  EXPECT_EQ(lines.size() % size, 0u);
  std::string records;
  for (size_t i = 0; i + size <= lines.size(); i += size) {
    const std::string tag = cartesian ? lines[i + 3].substr(61) : lines[i + 1].substr(4, 19);
    records += (i > 0 ? " " : "") + lines[i].substr(0, 3) + ":" +
               std::to_string(static_cast<int>(std::stod(tag)));
  }
  return records;
}

QdxBlockWriter Gps(uint32_t tow_ms, uint8_t svid, uint16_t iodc, uint16_t number = 5891) {
  return test::GpsLayoutBlock(number, tow_ms, kWeek, svid, iodc);
}
QdxBlockWriter Gal(uint32_t tow_ms, uint8_t source, uint16_t iod_nav, uint8_t svid = 71) {
  return test::GalBlock(tow_ms, kWeek, svid, source, iod_nav);
}
QdxBlockWriter Bds(uint32_t tow_ms, uint8_t svid, uint32_t toc, uint8_t aode) {
  return test::GpsLayoutBlock(4081, tow_ms, kWeek, svid, 0).U32(32, toc).U8(21, aode);
}

TEST(NavWalks, BlocksTurnedIntoRecords) {
  const TimeWindow all{kNoStartMs, kNoEndMs};
  const uint32_t glo = 345630000, sbas = 100500;  // times of GloBlock() and SbasBlock()
  const int64_t glo_t0 = kWeek * kMsPerWeek + glo, sbas_t0 = 2061 * kMsPerWeek + sbas;
  const struct {
    const char* what;
    NavRun run;
    std::vector<QdxBlockWriter> blocks;
    TimeWindow window;
    const char* records;
  } cases[] = {
      {"GPS: a record per later block with a new IODC",
       NavRun::kGps,
       {Gps(kTow, 5, 10), Gps(kTow + 1000, 5, 10), Gps(kTow + 2000, 5, 11), Gps(kTow + 3000, 5, 10),
        Gps(kTow + 3000, 5, 12), Gps(kTow + 4000, 7, 10)},
       all,
       "G05:10 G05:11 G05:10 G07:10"},
      {"GPS: no time, short, QZSS, unnumbered, before or after the window",
       NavRun::kGps,
       {Gps(0xFFFFFFFF, 5, 1), Gps(kTow, 6, 1).Resize(139), Gps(kTow, 8, 1, 4095), Gps(kTow, 33, 1),
        Gps(kTow, 0, 1), Gps(kTow - 1, 9, 1), Gps(kTow + 1, 10, 1), Gps(kTow, 11, 1)},
       {kT0, kT0},
       "G11:1"},
      {"GPS at the window start", NavRun::kGps, {Gps(kTow, 5, 1)}, {kT0, kNoEndMs}, "G05:1"},
      {"GPS after the window", NavRun::kGps, {Gps(kTow, 5, 1)}, {kT0 + 1, kNoEndMs}, ""},
      {"Galileo: I/NAV, F/NAV and the other sources each deduplicated; IOD below 1024",
       NavRun::kGalileo,
       {Gal(kTow, 2, 7), Gal(kTow, 16, 7), Gal(kTow + 1000, 2, 7), Gal(kTow + 1000, 16, 8),
        Gal(kTow + 2000, 4, 7), Gal(kTow + 2500, 1, 8), Gal(kTow + 3000, 2, 1024),
        Gal(kTow, 2, 1, 107)},
       all,
       "E01:7 E01:7 E01:8 E01:7 E01:8"},
      {"Galileo at the window start",
       NavRun::kGalileo,
       {Gal(kTow - 1, 2, 3), Gal(kTow, 16, 4)},
       {kT0, kNoEndMs},
       "E01:4"},
      {"BeiDou: keyed on t_oc; C01..C37",
       NavRun::kBeidou,
       {Bds(kTow, 141, 100, 1), Bds(kTow + 1, 141, 100, 2), Bds(kTow + 2, 141, 200, 3),
        Bds(kTow, 177, 100, 4), Bds(kTow, 140, 100, 5)},
       all,
       "C01:1 C01:3 C37:4"},
      {"BeiDou at the window start",
       NavRun::kBeidou,
       {Bds(kTow - 1, 141, 100, 1), Bds(kTow, 142, 100, 2)},
       {kT0, kNoEndMs},
       "C02:2"},
      {"QZSS: J01..J07",
       NavRun::kQzss,
       {Gps(kTow, 181, 1, 4095), Gps(kTow + 1, 181, 1, 4095), Gps(kTow, 187, 2, 4095),
        Gps(kTow, 188, 3, 4095), Gps(kTow, 5, 4)},
       all,
       "J01:1 J07:2"},
      {"GLONASS: a record per later block",
       NavRun::kGlonass,
       {GloBlock(40, glo, 1), GloBlock(40, glo + 1000, 2), GloBlock(40, glo + 1000, 3),
        GloBlock(40, glo + 2000, 4).U32(8, 0xFFFFFFFF), GloBlock(62, glo + 3000, 5),
        GloBlock(5, glo + 3000, 6), GloBlock(40, glo + 9000, 7),
        GloBlock(40, glo + 4000, 8).Resize(80), GloBlock(41, glo - 5000, 9), GloBlock(68, glo, 10)},
       {glo_t0 - 5000, glo_t0 + 8000},
       "R03:1 R03:2 R04:9 R30:10"},
      {"SBAS: a record per later block with a new t0",
       NavRun::kSbas,
       {SbasBlock(127, sbas, 86000, 1), SbasBlock(127, sbas + 1000, 86000, 2),
        SbasBlock(127, sbas + 2000, 86100, 3), SbasBlock(127, sbas + 3000, 86000, 4),
        SbasBlock(127, sbas + 3000, 86200, 5), SbasBlock(198, sbas, 86000, 6),
        SbasBlock(159, sbas, 86000, 7), SbasBlock(120, sbas - 1000, 86000, 8)},
       {sbas_t0, kNoEndMs},
       "S27:1 S27:3 S27:4 S41:6"},
      {"SBAS: GLONASS blocks give nothing", NavRun::kSbas, {GloBlock()}, all, ""},
  };
  for (const auto& c : cases) {
    bool wrote = false;
    EXPECT_EQ(Walk(c.run, c.blocks, c.window, &wrote), c.records) << c.what;
    EXPECT_EQ(wrote, c.records[0] != '\0') << c.what;
  }
}

TEST(NavWalks, CorrectionBlocksAreKept) {
  QdxBlockWriter iono1(5893, 0, kTow, kWeek, 48), iono2(5893, 0, kTow + 1, kWeek, 48);
  iono1.U8(14, 1).F32(16, 1.0f);
  iono2.U8(14, 2).F32(16, 2.0f).F32(44, 3.0f);
  QdxBlockWriter iono_short(5893, 0, kTow + 2, kWeek, 44), utc(5894, 0, 0xFFFFFFFF, kWeek, 40);
  iono_short.U8(14, 3);
  utc.U8(14, 0).F64(20, 1.5e-9);  // kept whatever its time stamp
  bool wrote = true;
  NavCorrections c;
  EXPECT_EQ(Walk(NavRun::kGps, {iono1, iono2, iono_short, utc}, {kNoStartMs, kNoEndMs}, &wrote, &c),
            "");
  EXPECT_FALSE(wrote);
  EXPECT_TRUE(c.gps_iono.present);
  EXPECT_EQ(c.gps_iono.alpha[0], 2.0f);  // the last block long enough
  EXPECT_EQ(c.gps_iono.beta[3], 3.0f);
  EXPECT_FALSE(c.gps_utc.present);  // satellite byte 0
  EXPECT_EQ(c.gps_utc.a0, 1.5e-9);

  QdxBlockWriter offset_ignored(4032, 0, kTow, kWeek, 32), offset(4032, 0, kTow, kWeek, 32);
  offset_ignored.U8(14, 1).U32(24, 918000);
  offset.U8(14, 1).U32(24, 86400);
  QdxBlockWriter utc_gal(4031, 0, kTow, kWeek, 40), iono_gal(4030, 0, kTow, kWeek, 32);
  utc_gal.U8(14, 1);
  iono_gal.U8(14, 1);
  Walk(NavRun::kGalileo, {offset, offset_ignored, utc_gal, iono_gal}, {kNoStartMs, kNoEndMs},
       &wrote, &c);
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
    const auto lines = test::SplitLines(RunWalk(sample, glo == 0 ? NavRun::kGlonass : NavRun::kSbas,
                                                {kNoStartMs, kNoEndMs}, &wrote));
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

// GLONASS and SBAS navigation records: hand-made records in both layouts, the
// time placement rules, the generators' selection and the bundled sample.
#include "rinex/nav/glo_sbas_nav.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/time.h"
#include "qdx/reader.h"
#include "rinex/nav/nav_capture.h"
#include "support/qdx_writer.h"

namespace kavrino {
namespace {

using test::CaptureNav;
using test::QdxBlockWriter;

// R03, frequency number -7, t_oe 345618 s of week 2060 (r = 18), received at
// 345630 s of that week.
QdxBlockWriter GloBlock(uint8_t svid = 40, uint32_t tow_ms = 345630000, uint8_t age = 3) {
  QdxBlockWriter w(kGloEphemerisBlock, 0, tow_ms, 2060, 88);
  w.U8(14, svid).U8(15, 1).F64(16, -14523.5).F64(24, 20100.25).F64(32, 7000.0);
  w.F32(40, 2.25f).F32(44, -0.5f).F32(48, 3.0f);
  w.F32(52, 0x1p-12f).F32(56, -0x1p-12f).F32(60, 0.0f);
  w.F32(64, 0x1p-40f).F32(68, 0x1p-16f).U32(76, 345618).U16(80, 2060 % 1024);
  return w.U8(84, age).U8(85, 1);
}

// S27 with t0 86000 s, received 100 s into week 2061: the epoch falls on the
// last day of week 2060.
QdxBlockWriter SbasBlock(uint8_t svid = 127, uint32_t tow_ms = 100500, uint32_t t0 = 86000,
                         uint16_t iodn = 110, uint16_t ura = 3) {
  QdxBlockWriter w(kSbasNavigationBlock, 0, tow_ms, 2061, 104);
  w.U8(14, svid).U16(16, iodn).U16(18, ura).U32(20, t0);
  w.F64(24, 24500000.0).F64(32, -33000000.5).F64(40, 1000.0);
  w.F64(48, 1.5).F64(56, -2.0).F64(64, 0.25);
  w.F64(72, 0.000125).F64(80, 0.0).F64(88, -0.0625);
  return w.F32(96, -0x1p-16f).F32(100, 0x1p-40f);
}

std::string Convert(bool glonass, const QdxBlockWriter& w, int version) {
  const std::vector<uint8_t> block = w.Finish();
  return CaptureNav([&](FILE* out) {
    if (glonass) ConvertGloEphemeris(out, block.data(), version);
    if (!glonass) ConvertSbasNavigation(out, block.data(), version);
  });
}

TEST(GloSbasNavTest, RecordsInBothLayouts) {
  EXPECT_EQ(Convert(true, GloBlock(), RINEX_304),
            "R03 2019 07 04 00 00 00-1.525878906250E-05 9.094947017729E-13 3.456000000000E+05\n"
            "    -1.452350000000E+04 2.250000000000E+00 2.441406250000E-04 1.000000000000E+00\n"
            "     2.010025000000E+04-5.000000000000E-01-2.441406250000E-04-7.000000000000E+00\n"
            "     7.000000000000E+03 3.000000000000E+00 0.000000000000E+00 3.000000000000E+00\n");
  EXPECT_EQ(Convert(true, GloBlock(), RINEX_211),
            "03 19  7  4  0  0  0.0-1.525878906250E-05 9.094947017729E-13 0.000000000000E+00\n"
            "   -1.452350000000E+04 2.250000000000E+00 2.441406250000E-04 1.000000000000E+00\n"
            "    2.010025000000E+04-5.000000000000E-01-2.441406250000E-04-7.000000000000E+00\n"
            "    7.000000000000E+03 3.000000000000E+00 0.000000000000E+00 3.000000000000E+00\n");
  EXPECT_EQ(Convert(false, SbasBlock(), RINEX_304),
            "S27 2019 07 06 23 53 20-1.525878906250E-05 9.094947017729E-13 6.048990000000E+05\n"
            "     2.450000000000E+04 1.500000000000E-03 1.250000000000E-07 3.100000000000E+01\n"
            "    -3.300000050000E+04-2.000000000000E-03 0.000000000000E+00 5.700000000000E+00\n"
            "     1.000000000000E+00 2.500000000000E-04-6.250000000000E-05 1.100000000000E+02\n");
  EXPECT_EQ(Convert(false, SbasBlock(), RINEX_210),
            "27 19  7  6 23 53 20.0-1.525878906250E-05 9.094947017729E-13 6.048990000000E+05\n"
            "    2.450000000000E+04 1.500000000000E-03 1.250000000000E-07 3.100000000000E+01\n"
            "   -3.300000050000E+04-2.000000000000E-03 0.000000000000E+00 5.700000000000E+00\n"
            "    1.000000000000E+00 2.500000000000E-04-6.250000000000E-05 1.100000000000E+02\n");
  // Blocks too short for their fields give nothing.
  EXPECT_EQ(Convert(true, GloBlock().Resize(85), RINEX_304), "");
  EXPECT_EQ(Convert(false, SbasBlock().Resize(103), RINEX_304), "");
}

TEST(GloSbasNavTest, GloTimes) {
  struct Case {
    uint32_t tow_s;
    int version;
    double tk;
  } cases[] = {
      {345630, RINEX_304, 345600}, {345630, RINEX_211, 0}, {345659, RINEX_304, 345630},
      {10, RINEX_304, 604770},     {10, RINEX_211, 86370}, {604799, RINEX_210, 86370},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> block = GloBlock(40, c.tow_s * 1000).Finish();
    CartesianNavRecord record;
    ASSERT_TRUE(DecodeGloEphemeris(block.data(), c.version, &record));
    EXPECT_EQ(record.start[2], c.tk) << c.tow_s << " v" << c.version;
  }
  // 10-bit weeks taken nearest to the block week, across the roll-overs.
  EXPECT_EQ(WidenTenBitWeek(36, 2084), 2084);
  EXPECT_EQ(WidenTenBitWeek(1023, 2048), 2047);
  EXPECT_EQ(WidenTenBitWeek(0, 2047), 2048);
  EXPECT_EQ(WidenTenBitWeek(2060, 2060), 2060);
}

TEST(GloSbasNavTest, SbasPlacementAndUra) {
  const int64_t day = 2061 * kSecondsPerWeek + 3 * 86400;
  struct Case {
    int64_t reception;
    uint32_t t0;
    int64_t epoch;
  } cases[] = {
      {day + 100, 86000, day - 400},
      {day + 86300, 100, day + 86500},
      {day + 50000, 93200, day + 6800},
      {day + 50000, 6799, day + 6799 + 86400},
      {day + 1000, 86400 + 50, day + 50},
      {day + 1000, 44200, day + 44200},
      {day + 1000, 44201, day + 44201 - 86400},
  };
  for (const Case& c : cases) EXPECT_EQ(PlaceSbasTimeOfDay(c.reception, c.t0), c.epoch) << c.t0;
  EXPECT_EQ(SbasUraMetres(0), 2.0);
  EXPECT_EQ(SbasUraMetres(14), 4096.0);
  EXPECT_EQ(SbasUraMetres(15), 32767.0);
  EXPECT_EQ(SbasUraMetres(65535), 32767.0);
  CartesianNavRecord record;
  const std::vector<uint8_t> unusable = SbasBlock(127, 100500, 86000, 110, 15).Finish();
  ASSERT_TRUE(DecodeSbasNavigation(unusable.data(), &record));
  EXPECT_EQ(record.orbit[0][3], 63.0);
  EXPECT_EQ(record.orbit[1][3], 32767.0);
}

// Runs a generator over a file of blocks; returns the tag (last value of the
// third orbit line: age or IODN) of every record, in order.
std::vector<int> Generate(bool glonass, const std::vector<QdxBlockWriter>& blocks, int64_t start,
                          int64_t end, int* status) {
  std::vector<uint8_t> file;
  for (const QdxBlockWriter& b : blocks) test::Append(&file, b);
  const std::string path = test::MakeTempDir("glosbas") + "/in.qdx";
  EXPECT_TRUE(test::WriteFileBytes(path, file));
  auto reader = std::make_unique<QdxReader>();
  InitQdxReader(path.c_str(), reader.get());
  const std::string text = CaptureNav([&](FILE* out) {
    *status = glonass ? GenerateGloNav(reader.get(), start, end, out, 0, RINEX_304, 0, 100)
                      : GenerateSbasNav(reader.get(), start, end, out, 0, RINEX_304, 0, 100);
  });
  CloseQdxReader(reader.get());
  std::vector<int> tags;
  std::istringstream lines(text);
  std::string line;
  for (int n = 0; std::getline(lines, line); ++n) {
    if (n % 4 == 3) tags.push_back(static_cast<int>(std::stod(line.substr(61))));
  }
  return tags;
}

TEST(GloSbasNavTest, GeneratorSelection) {
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
  EXPECT_EQ(Generate(true, glo, t0 - 5000, t0 + 8000, &status), (std::vector<int>{1, 2, 9, 10}));
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
  EXPECT_EQ(Generate(false, sbas, 2061 * kMsPerWeek + stow, 0x4000000000000000, &status),
            (std::vector<int>{1, 3, 4, 6}));
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Generate(false, glo, -1, 0x4000000000000000, &status).empty());
  EXPECT_EQ(status, 2);
}

// The bundled sample's GLONASS and SBAS ephemerides, against its truth file:
// every issue of a GLONASS satellite is a record at t_oe less the 18 leap
// seconds with the satellite's frequency number; every SBAS issue is exactly one
// record at its t0 with its IODN.
TEST(GloSbasNavTest, SampleMatchesTruth) {
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
      const bool glo = number == kGloEphemerisBlock;
      if (!glo && number != kSbasNavigationBlock) continue;
      const CalendarTime c = GpsSecondsToCalendar(static_cast<double>(toe - (glo ? 18 : 0)));
      char start[32];
      std::snprintf(start, sizeof start, "%s %4u %02u %02u %02u %02u %02u", name.c_str(), c.year,
                    c.month, c.day, c.hour, c.minute, static_cast<unsigned>(c.second));
      expected[glo ? 0 : 1][start] = glo ? frequency[name] : static_cast<int>(key);
    }
    std::getline(truth, name);
  }
  ASSERT_GT(expected[0].size(), 10u);
  ASSERT_GT(expected[1].size(), 10u);
  for (int glo = 0; glo < 2; ++glo) {
    auto reader = std::make_unique<QdxReader>();
    InitQdxReader(sample.c_str(), reader.get());
    int status = -1;
    const std::string text = CaptureNav([&](FILE* out) {
      const int64_t end = 0x4000000000000000;
      status = glo == 0 ? GenerateGloNav(reader.get(), -1, end, out, 0, RINEX_304, 0, 100)
                        : GenerateSbasNav(reader.get(), -1, end, out, 0, RINEX_304, 0, 100);
    });
    EXPECT_EQ(status, 0);
    CloseQdxReader(reader.get());
    std::map<std::string, int> found;  // GLONASS: frequency number; SBAS: IODN
    std::istringstream lines(text);
    std::string line, start;
    int records = 0;
    for (int n = 0; std::getline(lines, line); ++n) {
      if (n % 4 == 0) start = line.substr(0, 23), ++records;
      if (n % 4 == 2 + glo) found[start] = static_cast<int>(std::stod(line.substr(61)));
    }
    for (const auto& [key, value] : expected[glo]) {
      ASSERT_TRUE(found.count(key)) << key;
      EXPECT_EQ(found[key], value) << key;
    }
    if (glo == 1) {
      EXPECT_EQ(records, static_cast<int>(expected[1].size()));
    }
  }
}

}  // namespace
}  // namespace kavrino

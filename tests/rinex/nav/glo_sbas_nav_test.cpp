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
#include <utility>
#include <vector>

#include "app/settings.h"
#include "core/time.h"
#include "qdx/encode/qdx_writer.h"
#include "qdx/reader.h"
#include "support/capture.h"

namespace kavrino {
namespace {

using test::CaptureWrites;
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
  return CaptureWrites([&](FILE* out) {
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
  // Blocks too short for their fields give nothing.
  EXPECT_EQ(Convert(true, GloBlock().Resize(85), RINEX_304), "");
  EXPECT_EQ(Convert(false, SbasBlock().Resize(103), RINEX_304), "");
}

// GLONASS frame time tk and week widening; SBAS day placement, health and URA.
TEST(GloSbasNavTest, TimeRules) {
  const int64_t glo_cases[][3] = {{345630, RINEX_304, 345600}, {345630, RINEX_211, 0},
                                  {345659, RINEX_304, 345630}, {10, RINEX_304, 604770},
                                  {10, RINEX_211, 86370},      {604799, RINEX_210, 86370}};
  for (const auto& [tow_s, version, tk] : glo_cases) {
    const std::vector<uint8_t> block = GloBlock(40, static_cast<uint32_t>(tow_s * 1000)).Finish();
    CartesianNavRecord record;
    ASSERT_TRUE(DecodeGloEphemeris(block.data(), static_cast<int>(version), &record));
    EXPECT_EQ(record.start[2], static_cast<double>(tk)) << tow_s << " v" << version;
  }

  const int64_t day = 2061 * kSecondsPerWeek + 3 * 86400;
  const int64_t sbas_cases[][3] = {{100, 86000, -400},     {86300, 100, 86500},
                                   {50000, 93200, 6800},   {50000, 6799, 6799 + 86400},
                                   {1000, 86400 + 50, 50}, {1000, 44201, 44201 - 86400}};
  for (const auto& [reception, t0, epoch] : sbas_cases) {
    EXPECT_EQ(PlaceSbasTimeOfDay(day + reception, static_cast<uint32_t>(t0)), day + epoch) << t0;
  }
  EXPECT_EQ(SbasUraMetres(14), 4096.0);
  CartesianNavRecord record;
  const std::vector<uint8_t> unusable = SbasBlock(127, 100500, 86000, 110, 15).Finish();
  ASSERT_TRUE(DecodeSbasNavigation(unusable.data(), &record));
  EXPECT_EQ(record.orbit[0][3], 63.0);
  EXPECT_EQ(record.orbit[1][3], 32767.0);
}

// Runs a generator (RINEX 3) over a file; returns, for every record, its start
// (satellite and epoch) and the last value of orbit line `line` (1..3).
std::vector<std::pair<std::string, int>> Generate(bool glonass, const std::string& path,
                                                  int64_t start, int64_t end, int line_number,
                                                  int* status) {
  auto reader = std::make_unique<QdxReader>();
  InitQdxReader(path.c_str(), reader.get());
  std::istringstream lines(CaptureWrites([&](FILE* out) {
    *status = glonass ? GenerateGloNav(reader.get(), start, end, out, 0, RINEX_304, 0, 100)
                      : GenerateSbasNav(reader.get(), start, end, out, 0, RINEX_304, 0, 100);
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

// GLONASS and SBAS navigation records: hand-made records in both layouts and
// the time placement rules.
#include "rinex/nav/cartesian_records.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/rinex_version.h"
#include "core/time.h"
#include "qdx/decode/ephemeris_blocks.h"
#include "qdx/encode/qdx_writer.h"
#include "rinex/nav/test_blocks.h"
#include "support/capture.h"

namespace kavrino {
namespace {

using test::CaptureWrites;
using test::GloBlock;
using test::QdxBlockWriter;
using test::SbasBlock;

// The record of one block; nothing for a block too short for its fields.
std::string Convert(bool glonass, const QdxBlockWriter& w, RinexVersion version) {
  const std::vector<uint8_t> block = w.Finish();
  return CaptureWrites([&](OutStream* out) {
    GloEphemerisBlock glo;
    SbasNavigationBlock sbas;
    if (glonass && DecodeGloEphemeris(block.data(), &glo)) {
      WriteCartesianNavRecord(out, MakeGloNavRecord(glo, version), version);
    }
    if (!glonass && DecodeSbasNavigation(block.data(), &sbas)) {
      WriteCartesianNavRecord(out, MakeSbasNavRecord(sbas), version);
    }
  });
}

TEST(GloSbasNavTest, RecordsInBothLayouts) {
  EXPECT_EQ(Convert(true, GloBlock(), RinexVersion::k304),
            "R03 2019 07 04 00 00 00-1.525878906250E-05 9.094947017729E-13 3.456000000000E+05\n"
            "    -1.452350000000E+04 2.250000000000E+00 2.441406250000E-04 1.000000000000E+00\n"
            "     2.010025000000E+04-5.000000000000E-01-2.441406250000E-04-7.000000000000E+00\n"
            "     7.000000000000E+03 3.000000000000E+00 0.000000000000E+00 3.000000000000E+00\n");
  EXPECT_EQ(Convert(true, GloBlock(), RinexVersion::k211),
            "03 19  7  4  0  0  0.0-1.525878906250E-05 9.094947017729E-13 0.000000000000E+00\n"
            "   -1.452350000000E+04 2.250000000000E+00 2.441406250000E-04 1.000000000000E+00\n"
            "    2.010025000000E+04-5.000000000000E-01-2.441406250000E-04-7.000000000000E+00\n"
            "    7.000000000000E+03 3.000000000000E+00 0.000000000000E+00 3.000000000000E+00\n");
  EXPECT_EQ(Convert(false, SbasBlock(), RinexVersion::k304),
            "S27 2019 07 06 23 53 20-1.525878906250E-05 9.094947017729E-13 6.048990000000E+05\n"
            "     2.450000000000E+04 1.500000000000E-03 1.250000000000E-07 3.100000000000E+01\n"
            "    -3.300000050000E+04-2.000000000000E-03 0.000000000000E+00 5.700000000000E+00\n"
            "     1.000000000000E+00 2.500000000000E-04-6.250000000000E-05 1.100000000000E+02\n");
  // Blocks too short for their fields give nothing.
  EXPECT_EQ(Convert(true, GloBlock().Resize(85), RinexVersion::k304), "");
  EXPECT_EQ(Convert(false, SbasBlock().Resize(103), RinexVersion::k304), "");
}

// GLONASS frame time tk and week widening; SBAS day placement, health and URA.
TEST(GloSbasNavTest, TimeRules) {
  const struct {
    int64_t tow_s;
    RinexVersion version;
    int64_t tk;
  } glo_cases[] = {{345630, RinexVersion::k304, 345600}, {345630, RinexVersion::k211, 0},
                   {345659, RinexVersion::k304, 345630}, {10, RinexVersion::k304, 604770},
                   {10, RinexVersion::k211, 86370},      {604799, RinexVersion::k210, 86370}};
  for (const auto& c : glo_cases) {
    const std::vector<uint8_t> block = GloBlock(40, static_cast<uint32_t>(c.tow_s * 1000)).Finish();
    GloEphemerisBlock eph;
    ASSERT_TRUE(DecodeGloEphemeris(block.data(), &eph));
    EXPECT_EQ(MakeGloNavRecord(eph, c.version).start[2], static_cast<double>(c.tk)) << c.tow_s;
  }
  // The 10-bit week of t_oe is widened to the week nearest to the block's.
  GloEphemerisBlock late;
  ASSERT_TRUE(DecodeGloEphemeris(GloBlock().U16(80, 1023).Finish().data(), &late));
  late.week = 2048;
  EXPECT_EQ(MakeGloNavRecord(late, RinexVersion::k304).epoch, 2047 * 604800.0 + 345618 - 18);

  const int64_t day = 2061 * kSecondsPerWeek + 3 * 86400;
  const int64_t sbas_cases[][3] = {{100, 86000, -400},     {86300, 100, 86500},
                                   {50000, 93200, 6800},   {50000, 6799, 6799 + 86400},
                                   {1000, 86400 + 50, 50}, {1000, 44201, 44201 - 86400}};
  for (const auto& [reception, t0, epoch] : sbas_cases) {
    EXPECT_EQ(PlaceSbasTimeOfDay(day + reception, static_cast<uint32_t>(t0)), day + epoch) << t0;
  }
  EXPECT_EQ(SbasUraMetres(14), 4096.0);
  const std::vector<uint8_t> unusable = SbasBlock(127, 100500, 86000, 110, 15).Finish();
  SbasNavigationBlock eph;
  ASSERT_TRUE(DecodeSbasNavigation(unusable.data(), &eph));
  const CartesianNavRecord record = MakeSbasNavRecord(eph);
  EXPECT_EQ(record.orbit[0][3], 63.0);
  EXPECT_EQ(record.orbit[1][3], 32767.0);
}

}  // namespace
}  // namespace kavrino

// Meteorological records (data/records.expected) and header, against hand-worked lines.
#include "rinex/met/met_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "core/rinex_version.h"
#include "rinex/case_table.h"
#include "support/capture.h"

namespace kavrino {
namespace {

TEST(MetRecord, LayoutsAndBlankFields) {
  for (const auto& row : test::ReadCases("rinex/met/data/records.txt")) {
    const auto value = [&](size_t i) { return row[i] == "-" ? kMetAbsent : std::stof(row[i]); };
    XdrValues v;
    v.pressure_bar = value(1);
    v.temperature_c = value(2);
    v.humidity_pct = value(3);
    const RinexVersion version = test::VersionOf(row[0]);
    EXPECT_EQ(test::CaptureWrites([&](OutStream* out) {
                WriteMetRecord(out, 2305LL * 604800000 + 36300000, version, v);
              }),
              row[4] + "\n");
  }
}

TEST(MetHeader, NineLinesInEachLayout) {
  MetHeader h;
  h.created = {2026, 5, 12, 15, 24, 36};  // year, day, month, ...
  h.program = "kavrino-13.4.3";
  h.marker_name = "KVRN";
  h.sensor_model = "KVR-MET3";
  h.sensor_type = "WEATHER";
  h.position = {6378237.0, 0.0, 0.0, 100.0};
  const auto header = [&](RinexVersion version, bool end) {
    h.version = version;
    h.end_of_header = end;
    return test::CaptureWrites([&](OutStream* out) { WriteMetHeader(out, h); });
  };
  EXPECT_EQ(header(RinexVersion::k211, true), test::ReadTestFile("rinex/met/data/header_211.expected"));
  EXPECT_EQ(header(RinexVersion::k304, false),
            test::ReadTestFile("rinex/met/data/header_304_open.expected"));
  EXPECT_EQ(header(RinexVersion::k210, true).substr(0, 9), "     2.10");
}

}  // namespace
}  // namespace kavrino

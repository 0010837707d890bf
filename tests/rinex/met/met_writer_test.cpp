// Meteorological records and header, against hand-worked lines.
#include "rinex/met/met_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "core/rinex_version.h"
#include "rinex/case_table.h"
#include "support/capture.h"

namespace kavrino {
namespace {

TEST(MetRecord, LayoutsAndBlankFields) {
  constexpr int64_t kEpoch = 2305LL * 604800000 + 36300000;  // 2024-03-10 10:05:00 GPS
  const float A = kMetAbsent;
  const struct {
    RinexVersion version;
    float p, t, h;
    const char* line;
  } cases[] = {
      {RinexVersion::k211, 1.0132f, 21.5f, 45.0f, " 24  3 10 10  5  0 1013.2   21.5   45.0\n"},
      {RinexVersion::k210, 101320.0f * 1e-5f, -3.25f, 100.0f,
       " 24  3 10 10  5  0 1013.2   -3.2  100.0\n"},
      {RinexVersion::k304, 1.0132f, 21.5f, 45.0f, " 2024  3 10 10  5  0 1013.2   21.5   45.0\n"},
      {RinexVersion::k211, A, 21.5f, A, " 24  3 10 10  5  0          21.5       \n"},
      // Values that cannot be written in seven columns are left blank.
      {RinexVersion::k211, 100.0f, 1e7f, -499.0f, " 24  3 10 10  5  0               -499.0\n"},
  };
  for (const auto& c : cases) {
    XdrValues v;
    v.pressure_bar = c.p;
    v.temperature_c = c.t;
    v.humidity_pct = c.h;
    EXPECT_EQ(
        test::CaptureWrites([&](OutStream* out) { WriteMetRecord(out, kEpoch, c.version, v); }),
        c.line);
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
  EXPECT_EQ(header(RinexVersion::k211, true), test::ReadTestFile("rinex/met/data/header_211.txt"));
  EXPECT_EQ(header(RinexVersion::k304, false),
            test::ReadTestFile("rinex/met/data/header_304_open.txt"));
  EXPECT_EQ(header(RinexVersion::k210, true).substr(0, 9), "     2.10");
}

}  // namespace
}  // namespace kavrino

// Meteorological records and header, against hand-worked lines.
#include "rinex/met/met_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/rinex_version.h"
#include "support/capture.h"

namespace kavrino {
namespace {

// 2024-03-10 10:05:00 GPS time.
constexpr int64_t kEpoch = 2305LL * 604800000 + 36300000;

XdrValues Values(float p, float t, float h) {
  XdrValues v;
  v.pressure_bar = p;
  v.temperature_c = t;
  v.humidity_pct = h;
  return v;
}

TEST(MetRecord, LayoutsAndBlankFields) {
  const float A = kMetAbsent;
  struct Case {
    RinexVersion version;
    XdrValues values;
    const char* line;
  } cases[] = {
      {RinexVersion::k211, Values(1.0132f, 21.5f, 45.0f),
       " 24  3 10 10  5  0 1013.2   21.5   45.0\n"},
      {RinexVersion::k210, Values(101320.0f * 1e-5f, -3.25f, 100.0f),
       " 24  3 10 10  5  0 1013.2   -3.2  100.0\n"},
      {RinexVersion::k304, Values(1.0132f, 21.5f, 45.0f),
       " 2024  3 10 10  5  0 1013.2   21.5   45.0\n"},
      {RinexVersion::k211, Values(A, 21.5f, A), " 24  3 10 10  5  0          21.5       \n"},
      // Values that cannot be written in seven columns are left blank.
      {RinexVersion::k211, Values(100.0f, 1e7f, -499.0f),
       " 24  3 10 10  5  0               -499.0\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(test::CaptureWrites(
                  [&](OutStream* out) { WriteMetRecord(out, kEpoch, c.version, c.values); }),
              c.line);
  }
}

std::string Line(const std::string& content, const std::string& label) {
  std::string line = content;
  line.resize(60, ' ');
  line += label;
  line.resize(80, ' ');
  return line + "\n";
}

TEST(MetHeader, NineLinesInEachLayout) {
  MetHeader h;
  h.created.year = 2026;
  h.created.month = 12;
  h.created.day = 5;
  h.created.hour = 15;
  h.created.minute = 24;
  h.created.second = 36;
  h.program = "kavrino-13.4.3";
  h.marker_name = "KVRN";
  h.sensor_model = "KVR-MET3";
  h.sensor_type = "WEATHER";
  h.position = {6378237.0, 0.0, 0.0, 100.0};

  const std::string sensors =
      Line("KVR-MET3            WEATHER                              PR", "SENSOR MOD/TYPE/ACC") +
      Line("KVR-MET3            WEATHER                              TD", "SENSOR MOD/TYPE/ACC") +
      Line("KVR-MET3            WEATHER                              HR", "SENSOR MOD/TYPE/ACC");
  const std::string tail =
      Line("KVRN", "MARKER NAME") + Line("     3    PR    TD    HR", "# / TYPES OF OBSERV") +
      sensors +
      Line("  6378237.0000        0.0000        0.0000      100.0000 PR", "SENSOR POS XYZ/H");

  h.version = RinexVersion::k211;
  EXPECT_EQ(
      test::CaptureWrites([&](OutStream* out) { WriteMetHeader(out, h); }),
      Line("     2.11           METEOROLOGICAL DATA", "RINEX VERSION / TYPE") +
          Line("kavrino-13.4.3                          05-DEC-26 15:24", "PGM / RUN BY / DATE") +
          tail + Line("", "END OF HEADER"));

  h.version = RinexVersion::k304;
  h.end_of_header = false;
  EXPECT_EQ(test::CaptureWrites([&](OutStream* out) { WriteMetHeader(out, h); }),
            Line("     3.04           METEOROLOGICAL DATA", "RINEX VERSION / TYPE") +
                Line("kavrino-13.4.3                          20261205 152436 UTC",
                     "PGM / RUN BY / DATE") +
                tail);

  h.version = RinexVersion::k210;
  EXPECT_EQ(test::CaptureWrites([&](OutStream* out) { WriteMetHeader(out, h); }).substr(0, 9),
            "     2.10");
}

}  // namespace
}  // namespace kavrino

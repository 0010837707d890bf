// Navigation headers written over their reserved area, and the leap-second count.
#include "rinex/nav/nav_header.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/time.h"
#include "qdx/reader.h"
#include "rinex/header_lines.h"
#include "rinex/nav/leap_count.h"
#include "rinex/nav/nav_capture.h"
#include "support/qdx_writer.h"

namespace kavrino {
namespace {

using test::QdxBlockWriter;

const CalendarTime kDate{2024, 9, 3, 14, 5, 7.0};
const char* const kPgm = "kavrino-13.4.3";

std::string Line(const std::string& content, const std::string& label) {
  std::string line = content + std::string(60 - content.size(), ' ') + label;
  return line + std::string(80 - line.size(), ' ') + "\n";
}
const std::string kBlankComment = Line("", "COMMENT");
const std::string kEnd = Line("", "END OF HEADER");
const std::string kPgm2 =
    Line("kavrino-13.4.3                          09-MAR-24 14:05", "PGM / RUN BY / DATE");
const std::string kPgm3 =
    Line("kavrino-13.4.3                          20240309 140507 UTC", "PGM / RUN BY / DATE");

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size() - 1;
    lines.push_back(text.substr(at, nl + 1 - at));
    at = nl + 1;
  }
  return lines;
}

// Reserves `reserved` lines as the driver does, then writes the header over them.
std::string OverReserved(int reserved, const std::function<void(FILE*)>& write) {
  FILE* f = std::tmpfile();
  WriteEndOfHeader(f, reserved);
  std::fputs("RECORDS\n", f);
  std::rewind(f);
  write(f);
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(f);
  return text;
}

NavSlot MakeSlot(const QdxBlockWriter& writer, size_t end) {
  NavSlot slot;
  const std::vector<uint8_t> block = writer.Finish();
  EXPECT_TRUE(StoreNavSlot(&slot, block.data(), end));
  return slot;
}

NavSlot GpsIono() {
  QdxBlockWriter w(5893, 0, 1000, 2060, 48);
  w.U8(14, 3).F32(16, 0.5f).F32(20, 0.25f).F32(24, -0.125f).F32(28, 2.0f);
  w.F32(32, 4096.0f).F32(36, -16384.0f).F32(40, 65536.0f).F32(44, 0.0f);
  return MakeSlot(w, kGpsIonosphereSlotEnd);
}

NavSlot Utc(uint16_t number, int8_t leap, int8_t future_leap, uint8_t ref_week = 12,
            uint32_t ref_time = 405504) {
  QdxBlockWriter w(number, 0, 1000, 2060, 40);
  w.U8(14, 5).F32(16, 0.0f).F64(20, -1e-9).U32(28, ref_time).U8(32, ref_week);
  w.I8(33, leap).U8(34, 250).U8(35, 7).I8(36, future_leap);
  return MakeSlot(w, kGpsUtcParamsSlotEnd);
}

NavSlot GalIono() {
  QdxBlockWriter w(4030, 0, 1000, 2060, 32);
  w.U8(14, 71).F32(16, 64.0f).F32(20, 0.5f).F32(24, -0.25f);
  return MakeSlot(w, kGalIonosphereSlotEnd);
}

NavSlot GalGps() {
  QdxBlockWriter w(4032, 0, 1000, 2060, 32);
  w.U8(14, 71).F32(16, 0.0f).F32(20, 2.5e-9f).U32(24, 86400).U8(28, 2060 % 64);
  return MakeSlot(w, kGalGpsTimeOffsetSlotEnd);
}

const std::string kGpsa =
    Line("GPSA   5.0000E-01  2.5000E-01 -1.2500E-01  2.0000E+00", "IONOSPHERIC CORR");
const std::string kGpsb =
    Line("GPSB   4.0960E+03 -1.6384E+04  6.5536E+04  0.0000E+00", "IONOSPHERIC CORR");
const std::string kGal =
    Line("GAL    6.4000E+01  5.0000E-01 -2.5000E-01  0.0000E+00", "IONOSPHERIC CORR");
const std::string kGput =
    Line("GPUT -1.0000000000E-09 0.000000000E+00 405504 2060", "TIME SYSTEM CORR");
const std::string kGaut =
    Line("GAUT -1.0000000000E-09 0.000000000E+00 405504 2060", "TIME SYSTEM CORR");
const std::string kGagp =
    Line("GAGP  2.4999999848E-09 0.000000000E+00  86400 2060", "TIME SYSTEM CORR");
const std::string kLeap18 = Line("    18", "LEAP SECONDS");

TEST(NavHeader, HeadersFillTheirReservedAreaInOrder) {
  const NavSlot gps_iono = GpsIono(), gps_utc = Utc(5894, 18, 18);
  const NavSlot gal_iono = GalIono(), gal_utc = Utc(4031, 18, 18), gal_gps = GalGps();
  NavHeaderSlots all{&gps_utc, &gps_iono, &gal_utc, &gal_iono, &gal_gps};
  NavHeaderSlots gal_only{nullptr, nullptr, &gal_utc, nullptr, nullptr};
  struct Case {
    const char* name;
    int reserved;
    std::function<void(FILE*)> write;
    std::vector<std::string> lines;  // before the blank comments and END OF HEADER
  } cases[] = {
      {"gps2 empty",
       7,
       [](FILE* f) { WriteGpsNavHeader(f, kDate, kPgm, 4, 0, 0, false); },
       {Line("     2.10           N: GPS NAV DATA", "RINEX VERSION / TYPE"), kPgm2}},
      {"gps2 full",
       7,
       [&](FILE* f) { WriteGpsNavHeader(f, kDate, kPgm, 2, &gps_utc, &gps_iono, false); },
       {Line("     2.10           N: GPS NAV DATA", "RINEX VERSION / TYPE"), kPgm2,
        Line("    5.0000E-01  2.5000E-01 -1.2500E-01  2.0000E+00", "ION ALPHA"),
        Line("    4.0960E+03 -1.6384E+04  6.5536E+04  0.0000E+00", "ION BETA"),
        Line("   -1.000000000000E-09 0.000000000000E+00   405504     2060 ",
             "DELTA-UTC: A0,A1,T,W"),
        kLeap18}},
      {"gps3 full",
       7,
       [&](FILE* f) { WriteGpsNavHeader(f, kDate, kPgm, 3, &gps_utc, &gps_iono, false); },
       {Line("     3.04           N: GNSS NAV DATA    G: GPS", "RINEX VERSION / TYPE"), kPgm3,
        kGpsa, kGpsb, kGput, kLeap18}},
      {"glo2 unknown count",
       4,
       [](FILE* f) { WriteGloNavHeader(f, kDate, kPgm, 2, kLeapCountUnknown, false); },
       {Line("     2.10           G: GLO NAV DATA", "RINEX VERSION / TYPE"), kPgm2}},
      {"glo3 count",
       4,
       [](FILE* f) { WriteGloNavHeader(f, kDate, kPgm, 3, 18, false); },
       {Line("     3.04           N: GNSS NAV DATA    R: GLONASS", "RINEX VERSION / TYPE"), kPgm3,
        kLeap18}},
      {"gal full",
       7,
       [&](FILE* f) { WriteGalNavHeader(f, kDate, kPgm, &gal_utc, &gal_iono, &gal_gps, false); },
       {Line("     3.04           N: GNSS NAV DATA    E: GALILEO", "RINEX VERSION / TYPE"), kPgm3,
        kGal, kGagp, kGaut, kLeap18}},
      {"sbas 2.10",
       3,
       [](FILE* f) { WriteSbasNavHeader(f, kDate, kPgm, 4, false); },
       {Line("     2.10           H: SBAS NAV DATA", "RINEX VERSION / TYPE"), kPgm2}},
      {"sbas 2.11",
       3,
       [](FILE* f) { WriteSbasNavHeader(f, kDate, kPgm, 2, false); },
       {Line("     2.11           H: SBAS NAV DATA", "RINEX VERSION / TYPE"), kPgm2}},
      {"sbas 3",
       3,
       [](FILE* f) { WriteSbasNavHeader(f, kDate, kPgm, 3, false); },
       {Line("     3.04           N: GNSS NAV DATA    S: SBAS", "RINEX VERSION / TYPE"), kPgm3}},
      {"bds",
       3,
       [](FILE* f) { WriteBdsNavHeader(f, kDate, kPgm, false); },
       {Line("     3.04           N: GNSS NAV DATA    C: BEIDOU", "RINEX VERSION / TYPE"), kPgm3}},
      {"mixed full",
       10,
       [&](FILE* f) { WriteMixedNavHeader(f, kDate, kPgm, 17, all, false); },
       {Line("     3.04           N: GNSS NAV DATA    M: MIXED", "RINEX VERSION / TYPE"), kPgm3,
        kGpsa, kGpsb, kGal, kGput, kGaut, kGagp, kLeap18}},
      {"mixed leap from galileo",
       10,
       [&](FILE* f) { WriteMixedNavHeader(f, kDate, kPgm, 17, gal_only, false); },
       {Line("     3.04           N: GNSS NAV DATA    M: MIXED", "RINEX VERSION / TYPE"), kPgm3,
        kGaut, kLeap18}},
      {"mixed leap from caller",
       10,
       [&](FILE* f) { WriteMixedNavHeader(f, kDate, kPgm, 17, NavHeaderSlots{}, false); },
       {Line("     3.04           N: GNSS NAV DATA    M: MIXED", "RINEX VERSION / TYPE"), kPgm3,
        Line("    17", "LEAP SECONDS")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> expected = c.lines;
    while (expected.size() + 1 < static_cast<size_t>(c.reserved)) expected.push_back(kBlankComment);
    expected.push_back(kEnd);
    expected.push_back("RECORDS\n");
    EXPECT_EQ(SplitLines(OverReserved(c.reserved, c.write)), expected);
  }
}

TEST(NavHeader, LeapSecondForms) {
  struct Case {
    int8_t leap, future;
    int version;
    std::string expected;  // "" when no line
  } cases[] = {
      {18, 18, 3, kLeap18},
      {17, 18, 3, Line("    17    18  2042     7", "LEAP SECONDS")},
      {17, 18, 2, Line("    17", "LEAP SECONDS")},  // RINEX 2: the current count alone
      {17, -128, 3, Line("    17", "LEAP SECONDS")},
      {-128, 18, 3, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.leap} << " " << int{c.future} << " " << c.version);
    const NavSlot utc = Utc(5894, c.leap, c.future);
    std::vector<std::string> lines = SplitLines(test::CaptureNav(
        [&](FILE* f) { WriteGpsNavHeader(f, kDate, kPgm, c.version, &utc, nullptr, false); }));
    ASSERT_EQ(lines.size(), c.expected.empty() ? 3u : 4u);
    if (!c.expected.empty()) {
      EXPECT_EQ(lines[3], c.expected);
    }
  }
}

TEST(NavHeader, WeeksAreWidenedAndOversizedLinesDropped) {
  EXPECT_EQ(WidenWeek(12, 2060, 8), 2060);
  EXPECT_EQ(WidenWeek(250, 2060, 8), 2042);
  EXPECT_EQ(WidenWeek(2060 % 64, 2060, 6), 2060);
  EXPECT_EQ(WidenWeek(63, 2060, 6), 2047);

  // A reference time too wide for its column (a damaged block) loses its line
  // rather than push the header out of its area.
  const NavSlot utc = Utc(5894, 18, 18, 12, 4000000000u);
  const std::string text =
      OverReserved(7, [&](FILE* f) { WriteGpsNavHeader(f, kDate, kPgm, 3, &utc, nullptr, false); });
  std::vector<std::string> lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[2], kLeap18);
  EXPECT_EQ(lines[6], kEnd);

  // An absent A0 leaves out the GPS to UTC line only; an absent slot everything.
  NavSlot no_a0 = Utc(5894, 18, 18);
  QdxBlockWriter w(5894, 0, 1000, 2060, 40);
  w.U8(14, 5).F64(20, -2e10).I8(33, 18).I8(36, 18);
  no_a0 = MakeSlot(w, kGpsUtcParamsSlotEnd);
  NavSlot absent = Utc(5894, 18, 18);
  absent.present = false;
  EXPECT_EQ(SplitLines(test::CaptureNav(
                [&](FILE* f) { WriteGpsNavHeader(f, kDate, kPgm, 3, &no_a0, &absent, true); })),
            (std::vector<std::string>{
                Line("     3.04           N: GNSS NAV DATA    G: GPS", "RINEX VERSION / TYPE"),
                kPgm3, kLeap18, kEnd}));
}

int64_t GpsMs(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
              uint32_t second) {
  CalendarTime t{year, day, month, hour, minute, static_cast<double>(second)};
  return static_cast<int64_t>(CalendarToGpsSeconds(t)) * 1000;
}

TEST(LeapCount, BlockFirstThenBuiltInTable) {
  const std::string dir = test::MakeTempDir("leap");
  const int64_t epoch_2018 = GpsMs(2018, 5, 1, 0, 0, 0);
  struct Case {
    const char* name;
    int64_t first_epoch_ms;
    int leap_in_block;  // 1000: no UTC block in the file
    bool short_block;
    int expected;
  } cases[] = {
      {"table 2018", epoch_2018, 1000, false, 18},
      {"table 2020", GpsMs(2020, 1, 1, 0, 0, 0), 1000, false, -128},
      {"threshold itself", 1167264017000, 1000, false, 17},
      {"just past threshold", 1167264018000, 1000, false, 18},
      {"before first leap", 46828800000, 1000, false, -128},
      {"block value as is", epoch_2018, -1, false, -1},
      {"block after 2019", GpsMs(2024, 1, 1, 0, 0, 0), 18, false, 18},
      {"short block ignored", epoch_2018, 5, true, 18},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file;
    test::Append(&file, QdxBlockWriter(4027, 0, 1000, 2000, 40));
    if (c.leap_in_block != 1000) {
      QdxBlockWriter utc(c.short_block ? 4031 : 5894, 0, 2000, 2000, c.short_block ? 30 : 40);
      if (!c.short_block) utc.I8(33, static_cast<int8_t>(c.leap_in_block));
      test::Append(&file, utc);
    }
    const std::string path = dir + "/leap.qdx";
    ASSERT_TRUE(test::WriteFileBytes(path, file));
    auto reader = std::make_unique<QdxReader>();
    InitQdxReader(path.c_str(), reader.get());
    EXPECT_EQ(GetLeapCount(reader.get(), c.first_epoch_ms), c.expected);
    EXPECT_EQ(QdxTell(reader.get()), 0);
    CloseQdxReader(reader.get());
  }
}

}  // namespace
}  // namespace kavrino

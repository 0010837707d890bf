// End to end: the observation generator's behaviours on small QDX files built
// here (decimation, repeated epochs, moving and site records, site commands,
// events, windows, system and signal selection, antenna choice). Each case
// checks the lines that matter, not whole files.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/meas_blocks.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;
using test::QdxBlockWriter;
using Blocks = std::vector<QdxBlockWriter>;

constexpr uint16_t kWeek = 2300;  // week 2300 starts on 2024-02-04
constexpr uint32_t kT0 = 345000;  // 00:05:45 of that Sunday

Blocks operator+(Blocks a, const Blocks& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// GPS 5 (L1 C/A + L2C) on the main antenna; `range_mm` shifts its code.
QdxBlockWriter Epoch(uint32_t tow_ms, uint32_t range_mm = 0) {
  test::MainSub gps;
  gps.range_low += range_mm;
  gps.extras.push_back({});
  test::MainSub glo;  // GLONASS slot 1, k = +1, L1 C/A
  glo.channel = 2, glo.svid = 38, glo.type = 8, glo.info = 9 << 3;
  test::MainSub second;  // GPS 7 seen on the second antenna only
  second.channel = 3, second.svid = 7, second.type = 0x20, second.range_low = 111111111;
  test::ChannelBlockShape shape;
  shape.tow_ms = tow_ms;
  return test::ChannelBlock({gps, glo, second}, shape);
}

// n epochs one second apart from tow_ms.
Blocks Epochs(uint32_t tow_ms, int n) {
  Blocks b;
  for (int i = 0; i < n; ++i) b.push_back(Epoch(tow_ms + 1000 * static_cast<uint32_t>(i)));
  return b;
}

QdxBlockWriter Comment(uint32_t tow_ms, const std::string& text) {
  return QdxBlockWriter(5936, 0, tow_ms, kWeek, 16)
      .U16(14, static_cast<uint16_t>(text.size()))
      .Text(16, text, text.size());
}

QdxBlockWriter Fix(uint32_t tow_ms, float speed) {
  return QdxBlockWriter(4006, 0, tow_ms, kWeek, 56)
      .F64(16, 4331297.0)
      .F64(24, 567555.0)
      .F64(32, 4633133.0)
      .F32(44, speed)
      .F32(48, 0.0f)
      .F32(52, 0.0f);
}

QdxBlockWriter Setup(uint32_t tow_ms, const std::string& marker) {
  QdxBlockWriter w(5902, 0, tow_ms, kWeek, 424);
  w.Text(16, marker, 60).Text(76, marker + "-N", 20).Text(216, "AS7", 20).Text(236, "ANT-X", 20);
  return w;
}

QdxBlockWriter Event(uint32_t tow_ms) {
  return QdxBlockWriter(5924, 0, tow_ms, kWeek, 20).U8(14, 2).F32(16, 0.0f);
}

struct Case {
  const char* name;
  Blocks blocks;
  const char* args;  // after "-f in.qdx -o out.obs"
  int status;
  int epochs;                         // epoch records (flag 0) expected; -1: not checked
  std::vector<std::string> want;      // whole lines, in this order
  std::vector<std::string> not_want;  // texts that must appear nowhere
};

std::string Label(const std::string& text, const char* label) {
  char line[96];
  std::snprintf(line, sizeof line, "%-60.60s%-20s", text.c_str(), label);
  return line;
}

const std::string kNewSite = Label("  *** NEW SITE OCCUPATION FOLLOWS ! ***", "COMMENT");

std::vector<Case> Cases() {
  const std::string e3 = "> 2024 02 04 00 ";  // event and epoch lines of RINEX 3
  return {
      {"decimation keeps the 30 s grid",
       Epochs(kT0, 5) + Blocks{Fix(kT0 + 4500, 5.0f)} + Epochs(kT0 + 5000, 60),
       "-R3 -i 30 -ma",
       0,
       2,
       {Label("        0.0000        0.0000        0.0000", "APPROX POSITION XYZ"),
        Label("    30.000", "INTERVAL"), e3 + "06  0.0000000  0  2", e3 + "06 30.0000000  0  2"},
       {"Kinematic data", "00 05 46"}},
      {"an epoch repeating a written time is dropped",
       Blocks{Epoch(kT0), Epoch(kT0 + 1000), Comment(kT0 + 1000, "Unknown"),
              Epoch(kT0 + 1000, 777000), Epoch(kT0 + 2000)},
       "-R3",
       0,
       3,
       {Label("     1.000", "INTERVAL")},
       {"21599070.269"}},
      {"-mf marks a static file as moving",
       Epochs(kT0, 3) + Blocks{Fix(kT0, 0.0f)},
       "-R3 -mf",
       0,
       3,
       {Label("", "END OF HEADER"), e3 + "05 45.0000000  2  1",
        Label("  Kinematic data", "COMMENT"), e3 + "05 45.0000000  0  2"},
       {}},
      {"-ma with a fast fix",
       Epochs(kT0, 2) + Blocks{Fix(kT0 + 1000, 1.5f)} + Epochs(kT0 + 2000, 1),
       "-R3 -ma",
       0,
       3,
       {e3 + "05 45.0000000  2  1", Label("  Kinematic data", "COMMENT")},
       {}},
      {"-ma with a slow fix",
       Epochs(kT0, 2) + Blocks{Fix(kT0 + 1000, 0.9f)} + Epochs(kT0 + 2000, 1),
       "-R3 -ma",
       0,
       3,
       {},
       {"Kinematic data"}},
      {"a cancelled point writes no site, its text stays a comment",
       Epochs(kT0, 2) + Blocks{Comment(kT0 + 1500, "BEGIN_POINT;P1;x")} + Epochs(kT0 + 2000, 2) +
           Blocks{Comment(kT0 + 3500, "CANCEL_POINT")} + Epochs(kT0 + 4000, 1),
       "-R3 -c",
       0,
       5,
       {e3 + "05 46.0000000  4  1", Label("BEGIN_POINT;P1;x", "COMMENT"),
        e3 + "05 48.0000000  4  1", Label("CANCEL_POINT", "COMMENT")},
       {"NEW SITE"}},
      {"BEGIN_POINT names marker and number",
       Epochs(kT0, 2) + Blocks{Comment(kT0 + 1500, "BEGIN_POINT;A12;x")} + Epochs(kT0 + 2000, 1),
       "-R3",
       0,
       3,
       {e3 + "05 46.0000000  3  5", Label("A12", "MARKER NAME"), Label("A12", "MARKER NUMBER"),
        Label("Unknown             Unknown", "ANT # / TYPE"), kNewSite},
       {}},
      {"a nameless BEGIN_POINT takes the END_POINT's name",
       Epochs(kT0, 2) + Blocks{Comment(kT0 + 1500, "BEGIN_POINT")} + Epochs(kT0 + 2000, 2) +
           Blocks{Comment(kT0 + 3500, "END_POINT;B7;y")} + Epochs(kT0 + 4000, 1),
       "-R3",
       0,
       5,
       {e3 + "05 46.0000000  3  5", Label("B7", "MARKER NAME"), kNewSite,
        e3 + "05 48.0000000  2  1", Label("  *** END OF OCCUPATION ! ***", "COMMENT")},
       {}},
      {"ANTENNA with offsets shows at the next site",
       Epochs(kT0, 2) +
           Blocks{Comment(kT0 + 1200, "ANTENNA;ANT-A;0.1;0.2"),
                  Comment(kT0 + 1500, "BEGIN_POINT;P2;x")} +
           Epochs(kT0 + 2000, 1),
       "",
       0,
       3,
       {" 24  2  4  0  5 46.0000000  3  6", Label("P2", "MARKER NAME"),
        Label("                    ANT-A", "ANT # / TYPE"),
        "L1PhaOff:   0.1000  L2PhaOff:   0.2000                      COMMENT", kNewSite},
       {}},
      // One ";" only: the offsets become unknown, the antenna stays.
      {"ANTENNA without offsets makes them unknown",
       Epochs(kT0, 2) +
           Blocks{Comment(kT0 + 1100, "ANTENNA;ANT-A;0.1;0.2"),
                  Comment(kT0 + 1200, "ANTENNA;ANT-B"), Comment(kT0 + 1500, "BEGIN_POINT;P3;x")} +
           Epochs(kT0 + 2000, 1),
       "",
       0,
       3,
       {" 24  2  4  0  5 46.0000000  3  5", Label("                    ANT-A", "ANT # / TYPE")},
       {"PhaOff"}},
      {"a setup with the same marker is silent, another marker is a new site",
       Blocks{Setup(kT0, "SITE1")} + Epochs(kT0, 2) + Blocks{Setup(kT0 + 1500, "SITE1")} +
           Epochs(kT0 + 2000, 1) + Blocks{Setup(kT0 + 2500, "SITE2")} + Epochs(kT0 + 3000, 1),
       "-R3",
       0,
       4,
       {Label("SITE1", "MARKER NAME"), e3 + "05 47.0000000  3  5", Label("SITE2", "MARKER NAME"),
        Label("SITE2-N", "MARKER NUMBER"), kNewSite},
       {"05 46.0000000  3"}},
      {"an event before the first epoch",
       Blocks{Event(kT0 - 500)} + Epochs(kT0, 2),
       "-R3",
       0,
       2,
       {">                              4  1",
        "External Event # 2 @    344.500000000                       COMMENT"},
       {}},
      {"-noevent drops events",
       Blocks{Event(kT0 - 500)} + Epochs(kT0, 2),
       "-R3 -noevent",
       0,
       2,
       {},
       {"External Event"}},
      {"time-of-day window",
       Epochs(kT0, 10),
       "-R3 -b 00:05:47 -e 00:05:49",
       0,
       3,
       {Label("  2024     2     4     0     5   47.0000000     GPS", "TIME OF FIRST OBS"),
        Label("  2024     2     4     0     5   49.0000000     GPS", "TIME OF LAST OBS")},
       {}},
      {"absolute window",
       Epochs(kT0, 10),
       "-R3 -b 2024-02-04_00:05:52 -e 2024-02-04_00:06:30",
       0,
       3,
       {e3 + "05 52.0000000  0  2", e3 + "05 54.0000000  0  2"},
       {"05 51.0", "05 55.0"}},
      {"window outside the data", Epochs(kT0, 3), "-R3 -b 01:00:00", 2, -1, {}, {}},
      {"every system excluded", Epochs(kT0, 3), "-R3 -xGR", 2, -1, {}, {}},
      {"one system excluded",
       Epochs(kT0, 3),
       "-R3 -xR",
       0,
       3,
       {Label("G    4 C1C L1C C2L L2L", "SYS / # / OBS TYPES")},
       {"R01", "R    2"}},
      {"-I keeps the listed signals",
       Epochs(kT0, 3),
       "-R3 -I GPSL1CA",
       0,
       3,
       {Label("G    2 C1C L1C", "SYS / # / OBS TYPES"), e3 + "05 45.0000000  0  1"},
       {"C2L", "R01"}},
      {"-E removes the listed signals",
       Epochs(kT0, 3),
       "-R3 -E GPSL2C",
       0,
       3,
       {Label("G    2 C1C L1C", "SYS / # / OBS TYPES"),
        Label("R    2 C1C L1C", "SYS / # / OBS TYPES")},
       {"C2L"}},
      {"second antenna",
       Epochs(kT0, 3),
       "-R3 -a 2",
       0,
       3,
       {e3 + "05 45.0000000  0  1"},
       {"G05", "R01"}},
  };
}

TEST(ObservationGenerator, Behaviours) {
  const std::string dir = test::MakeTempDir("obs_gen");
  ASSERT_FALSE(dir.empty());
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file;
    for (const QdxBlockWriter& b : c.blocks) test::Append(&file, b);
    ASSERT_TRUE(test::WriteFileBytes(dir + "/in.qdx", file));
    fs::remove(dir + "/out.obs");
    EXPECT_EQ(test::Kavrino(dir, std::string("-f in.qdx -o out.obs ") + c.args).status, c.status);
    if (c.status != 0) {
      EXPECT_FALSE(fs::exists(dir + "/out.obs"));
      continue;
    }
    const std::string text = test::ReadFileText(dir + "/out.obs");
    const std::vector<std::string> lines = test::Lines(text);
    // Epoch records (flag 0) of RINEX 2 and RINEX 3.
    static const std::regex kEpochLine(
        "^(> [0-9]{4}( [0-9]{2}){4}| [0-9]{2}( [ 0-9][0-9]){4}) [ 0-9][0-9]\\.[0-9]{7}  0");
    int epochs = 0;
    for (const std::string& line : lines) epochs += std::regex_search(line, kEpochLine);
    if (c.epochs >= 0) {
      EXPECT_EQ(epochs, c.epochs) << text;
    }
    size_t at = 0;
    for (const std::string& want : c.want) {
      size_t i = at;
      while (i < lines.size() && lines[i] != want) ++i;
      EXPECT_LT(i, lines.size()) << "missing or out of order: '" << want << "'\n" << text;
      if (i < lines.size()) at = i + 1;
    }
    for (const std::string& bad : c.not_want) {
      EXPECT_EQ(text.find(bad), std::string::npos) << "unexpected '" << bad << "'\n" << text;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kavrino

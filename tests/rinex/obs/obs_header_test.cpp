#include "rinex/obs/obs_header.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/rinex_version.h"
#include "rinex/header_lines.h"
#include "support/capture.h"

namespace kavrino {
namespace {

constexpr int64_t kDay20190624Ms = 1245369600000;  // 2019-06-24 00:00:00 GPS time
const CalendarTime kRunDate{2026, 5, 12, 15, 24, 36.7};

// One expected header line: content padded to 60 columns, label to 20.
std::string L(const std::string& content, const std::string& label) {
  std::string line = content;
  line.resize(60, ' ');
  std::string tail = label;
  tail.resize(20, ' ');
  return line + tail + "\n";
}

void PutText(ReceiverSetupRecord* s, size_t offset, size_t width, const std::string& text) {
  std::memset(s->bytes + offset, 0, width);
  std::memcpy(s->bytes + offset, text.data(), std::min(width, text.size()));
}

ReceiverSetupRecord DefaultSetup() {
  ReceiverSetupRecord s;
  SetReceiverSetupDefaults(&s);
  return s;
}

void SetId(ReceiverSetupRecord* s, int revision) {
  uint16_t id = static_cast<uint16_t>(5902 | (revision << 13));
  s->bytes[4] = id & 0xFF;
  s->bytes[5] = id >> 8;
}

ObsTypeLayout EmptyLayout(RinexVersion version) {
  ObsTypeLayout layout{};
  layout.version = version;
  for (int i = 0; i < kSignalCount; ++i) {
    layout.code_col[i] = layout.phase_col[i] = layout.doppler_col[i] = layout.snr_col[i] = -1;
  }
  const char letters[] = "GESRCJI";
  for (int c = 0; c < 7; ++c)
    std::snprintf(layout.type_text[c], kObsTypeTextSize, "%c    0", letters[c]);
  return layout;
}

std::vector<std::string> LinesWithLabel(const std::string& header, const std::string& label) {
  std::vector<std::string> found;
  std::istringstream in(header);
  for (std::string line; std::getline(in, line);) {
    if (line.size() >= 60 && line.substr(60).starts_with(label)) found.push_back(line);
  }
  return found;
}

void ExpectAllLines80(const std::string& header) {
  std::istringstream in(header);
  for (std::string line; std::getline(in, line);) EXPECT_EQ(line.size(), 80u) << line;
}

ObsHeaderInfo Info(const ObsTypeLayout& layout, const ReceiverSetupRecord& setup) {
  ObsHeaderInfo info;
  info.layout = &layout;
  info.setup = &setup;
  info.first_ms = kDay20190624Ms;
  info.run_date = kRunDate;
  info.program = "kavrino-13.4.3";
  return info;
}

TEST(ObsHeader, WholeRinex304Header) {
  ObsTypeLayout layout = EmptyLayout(RinexVersion::k304);
  layout.signal_mask = 0x1F | 0x500;
  layout.with_snr = 1;
  std::snprintf(layout.type_text[0], kObsTypeTextSize, "%s",
                "G   14 C1C L1C S1C C1W S1W C2W L2W S2W C2L L2L S2L C5Q L5Q S5Q");
  std::snprintf(layout.type_text[3], kObsTypeTextSize, "%s", "R    6 C1C L1C S1C C2P L2P S2P");
  ReceiverSetupRecord setup = DefaultSetup();
  SetId(&setup, 4);
  PutText(&setup, 16, 60, "SITE A");
  PutText(&setup, 76, 20, "12345M001");
  PutText(&setup, 96, 20, "Obs");
  PutText(&setup, 116, 40, "Agency");
  PutText(&setup, 156, 20, "3001");
  PutText(&setup, 176, 20, "QX");
  PutText(&setup, 196, 20, "4.2");
  PutText(&setup, 216, 20, "A17");
  PutText(&setup, 236, 20, "OTHER ANT");
  PutText(&setup, 268, 20, "GEODETIC");
  PutText(&setup, 328, 40, "Mirla KPD4X");
  int8_t glo[30];
  std::memset(glo, -128, sizeof glo);
  const int8_t known[10] = {1, -4, 5, 6, 1, -4, 5, 6, -2, -7};
  std::memcpy(glo, known, sizeof known);

  ObsHeaderInfo info = Info(layout, setup);
  info.glo_slot_freq = glo;
  std::string header = test::CaptureWrites([&](OutStream* f) { WriteObsHeader(f, info); });
  std::string expected =
      "     3.04           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n"
      "kavrino-13.4.3                          20261205 152436 UTC PGM / RUN BY / DATE \n" +
      L("SITE A", "MARKER NAME") + L("12345M001", "MARKER NUMBER") + L("GEODETIC", "MARKER TYPE") +
      L("Obs                 Agency", "OBSERVER / AGENCY") +
      L("3001                NORV MIRLA KPD4X    4.2", "REC # / TYPE / VERS") +
      L("A17                 KPDKPD-7R       NONE", "ANT # / TYPE") +
      L("        0.0000        0.0000        0.0000", "APPROX POSITION XYZ") +
      L("        0.0000        0.0000        0.0000", "ANTENNA: DELTA H/E/N") +
      L("G   14 C1C L1C S1C C1W S1W C2W L2W S2W C2L L2L S2L C5Q L5Q", "SYS / # / OBS TYPES") +
      L("       S5Q", "SYS / # / OBS TYPES") +
      L("R    6 C1C L1C S1C C2P L2P S2P", "SYS / # / OBS TYPES") +
      L("NORVALIS RECEIVERS OUTPUT ALIGNED CARRIER PHASES.", "COMMENT") +
      L("NO FURTHER PHASE SHIFT APPLIED IN THE RINEX ENCODER.", "COMMENT") +
      L("G L1C", "SYS / PHASE SHIFT") + L("G L2W", "SYS / PHASE SHIFT") +
      L("G L2L  0.00000", "SYS / PHASE SHIFT") + L("G L5Q  0.00000", "SYS / PHASE SHIFT") +
      L("R L1C", "SYS / PHASE SHIFT") + L("R L2P  0.00000", "SYS / PHASE SHIFT") +
      L("  2019     6    24     0     0    0.0000000     GPS", "TIME OF FIRST OBS") +
      L(" C1C    0.000 C2P    0.000", "GLONASS COD/PHS/BIS") + L("DBHZ", "SIGNAL STRENGTH UNIT") +
      L(" 10 R01  1 R02 -4 R03  5 R04  6 R05  1 R06 -4 R07  5 R08  6", "GLONASS SLOT / FRQ #") +
      L("    R09 -2 R10 -7", "GLONASS SLOT / FRQ #") + L("", "END OF HEADER");
  EXPECT_EQ(header, expected);
  ExpectAllLines80(header);
}

std::string HeaderOf(const ObsTypeLayout& layout, const ReceiverSetupRecord& setup,
                     uint32_t antenna = 1, const char* override_type = nullptr,
                     std::string_view comment = "", const int8_t* glo = nullptr) {
  ObsHeaderInfo info = Info(layout, setup);
  info.antenna = antenna;
  info.receiver_type = override_type;
  info.comment = comment;
  info.glo_slot_freq = glo;
  return test::CaptureWrites([&](OutStream* f) { WriteObsHeader(f, info); });
}

TEST(ObsHeader, SystemLetter) {
  const struct {
    uint64_t mask;
    char letter;
  } cases[] = {{0x1, 'G'},        {0x101, 'M'},      {0x10000, 'E'},
               {0, '\0'},         {0x8000, 'I'},     {1ULL << 32, 'J'},
               {1ULL << 28, 'C'}, {1ULL << 24, 'S'}, {0x3000000 | 0x1000, 'M'}};
  for (const auto& c : cases) EXPECT_EQ(ObsSystemLetter(c.mask), c.letter) << c.mask;
}

TEST(ObsHeader, ReceiverAndAntennaRules) {
  struct Case {
    int revision;
    uint32_t antenna;
    const char* override_type;
    const char* rec_line;
    const char* ant_line;
  } cases[] = {
      // Below revision 3 the product name counts for nothing.
      {2, 1, nullptr, "Unknown             QX                  Unknown",
       "A17                 OTHER ANT"},
      {3, 1, nullptr, "Unknown             NORV MIRLA KPD4X    Unknown",
       "A17                 KPDKPD-7R       NONE"},
      {3, 2, nullptr, "Unknown             NORV MIRLA KPD4X    Unknown",
       "Ant#2               Unknown"},
      {3, 3, "RecType From -t Option That Is Long",
       "Unknown             RecType From -t OptiUnknown", "Ant#3               Unknown"},
  };
  for (const auto& c : cases) {
    ReceiverSetupRecord setup = DefaultSetup();
    SetId(&setup, c.revision);
    PutText(&setup, 176, 20, "QX");
    PutText(&setup, 216, 20, "A17");
    PutText(&setup, 236, 20, "OTHER ANT");
    PutText(&setup, 328, 40, "Mirla KPD4X");
    std::string header =
        HeaderOf(EmptyLayout(RinexVersion::k211), setup, c.antenna, c.override_type);
    auto rec = LinesWithLabel(header, "REC # / TYPE / VERS");
    auto ant = LinesWithLabel(header, "ANT # / TYPE");
    ASSERT_EQ(rec.size(), 1u);
    ASSERT_EQ(ant.size(), 1u);
    EXPECT_EQ(rec[0], L(c.rec_line, "REC # / TYPE / VERS").substr(0, 80)) << c.revision;
    EXPECT_EQ(ant[0], L(c.ant_line, "ANT # / TYPE").substr(0, 80)) << c.revision;
  }
}

TEST(ObsHeader, FullWidthSetupTextsStayInTheirFields) {
  ReceiverSetupRecord setup = DefaultSetup();
  std::memset(setup.bytes + 16, 'M', 60);  // marker name, no terminator
  std::memset(setup.bytes + 76, 'N', 20);  // marker number runs into the observer
  std::memset(setup.bytes + 96, 'O', 20);
  std::memset(setup.bytes + 116, 'A', 40);  // agency runs into the receiver serial
  std::string header = HeaderOf(EmptyLayout(RinexVersion::k211), setup);
  EXPECT_EQ(LinesWithLabel(header, "MARKER NAME")[0],
            std::string(60, 'M') + "MARKER NAME         ");
  EXPECT_EQ(LinesWithLabel(header, "MARKER NUMBER")[0],
            std::string(20, 'N') + std::string(40, ' ') + "MARKER NUMBER       ");
  EXPECT_EQ(LinesWithLabel(header, "OBSERVER / AGENCY")[0],
            std::string(20, 'O') + std::string(40, 'A') + "OBSERVER / AGENCY   ");
  ExpectAllLines80(header);
}

TEST(ObsHeader, Rinex3TypeListsWithChannelAndLongLists) {
  ObsTypeLayout layout = EmptyLayout(RinexVersion::k304);
  layout.with_channel = 1;
  std::snprintf(layout.type_text[0], kObsTypeTextSize, "%s", "G    1 X1 ");  // channel only
  std::snprintf(layout.type_text[3], kObsTypeTextSize, "%s", "R    3 X1  C1C L1C");
  // 30 types with the channel: every type stays whole on lines of 13, 13 and 4 types.
  std::string gal = "E   30 X1 ";
  for (int i = 1; i < 30; ++i) gal += " L" + std::to_string(i % 10) + "X";
  std::snprintf(layout.type_text[1], kObsTypeTextSize, "%s", gal.c_str());
  std::string header = HeaderOf(layout, DefaultSetup());
  auto sys = LinesWithLabel(header, "SYS / # / OBS TYPES");
  ASSERT_EQ(sys.size(), 4u);  // Galileo on three lines, GLONASS on one, GPS none
  EXPECT_EQ(sys[0].substr(0, 60), gal.substr(0, 58) + "  ");
  EXPECT_EQ(sys[1].substr(0, 60), "      " + gal.substr(58, 52) + "  ");
  EXPECT_EQ(sys[2].substr(0, 60), "       L6X L7X L8X L9X" + std::string(38, ' '));
  EXPECT_EQ(sys[3], L("R    3 X1  C1C L1C", "SYS / # / OBS TYPES").substr(0, 80));
  auto shifts = LinesWithLabel(header, "SYS / PHASE SHIFT");
  // Galileo: L1X..L9X repeated (29 phases, none a reference), GLONASS L1C (reference).
  ASSERT_EQ(shifts.size(), 30u);
  EXPECT_EQ(shifts[29], L("R L1C", "SYS / PHASE SHIFT").substr(0, 80));
  ExpectAllLines80(header);
}

TEST(ObsHeader, GlonassSlotLines) {
  ObsTypeLayout layout = EmptyLayout(RinexVersion::k304);
  int8_t glo[30];
  for (int k = 0; k < 30; ++k) glo[k] = static_cast<int8_t>(k % 14 - 7);
  layout.signal_mask = 1ULL << 12;  // GLONASS L3 alone: no slot lines, no code-phase biases
  std::string header = HeaderOf(layout, DefaultSetup(), 1, nullptr, "", glo);
  EXPECT_TRUE(LinesWithLabel(header, "GLONASS SLOT / FRQ #").empty());
  EXPECT_TRUE(LinesWithLabel(header, "GLONASS COD/PHS/BIS").empty());

  layout.signal_mask = 0xF00;
  header = HeaderOf(layout, DefaultSetup(), 1, nullptr, "", glo);
  auto slots = LinesWithLabel(header, "GLONASS SLOT / FRQ #");
  ASSERT_EQ(slots.size(), 4u);  // 8, 8, 8 and 6 slots
  EXPECT_EQ(slots[0].substr(0, 11), " 30 R01 -7 ");
  EXPECT_EQ(slots[1].substr(0, 11), "    R09  1 ");
  EXPECT_EQ(slots[3].substr(0, 46), "    R25  3 R26  4 R27  5 R28  6 R29 -7 R30 -6 ");
  EXPECT_EQ(LinesWithLabel(header, "GLONASS COD/PHS/BIS")[0].substr(0, 52),
            " C1C    0.000 C1P    0.000 C2C    0.000 C2P    0.000");

  std::memset(glo, -128, sizeof glo);  // no slot known: no line
  header = HeaderOf(layout, DefaultSetup(), 1, nullptr, "", glo);
  EXPECT_TRUE(LinesWithLabel(header, "GLONASS SLOT / FRQ #").empty());
}

TEST(HeaderLines, MakeReceiverType) {
  struct Case {
    int revision;
    std::string product;
    size_t capacity;
    const char* expected;
  } cases[] = {
      {2, "KPD4X", 100, "QX-1"},
      {3, "", 100, "QX-1"},
      {3, "Unknown", 100, "NORV QX-1"},
      {3, "Velkro QT7 plus", 100, "NORV VELKRO QT"},
      {4, "KPD4X", 100, "MIRLA KPD4X"},
      {3, "ab cd_e", 100, "NORV AB"},
      {3, "_ab", 100, "NORV "},
      {3, " ab", 100, "NORV "},
      {3, "mirla long name of a product", 100, "NORV MIRLA LONG NAME"},
      {3, std::string(40, 'q'), 100, "NORV QQQQQQQQQQQQQQQ"},
      {3, "ab cd", 6, "NORV "},
      {3, "abcdef", 8, "NORV AB"},
  };
  for (const auto& c : cases) {
    ReceiverSetupRecord setup = DefaultSetup();
    SetId(&setup, c.revision);
    PutText(&setup, 176, 20, "QX-1");
    PutText(&setup, 328, 40, c.product);
    char out[100];
    std::memset(out, '#', sizeof out);
    MakeReceiverType(setup, out, c.capacity);
    EXPECT_STREQ(out, c.expected) << c.product;
  }
}

TEST(HeaderLines, PgmRunByDateAndEndOfHeader) {
  CalendarTime odd{2007, 9, 13, 7, 5, 9.99};
  std::string v2 = test::CaptureWrites([&](OutStream* f) {
    WritePgmRunByDate(f, odd, "a-very-long-program-name-x", RinexVersion::k210);
  });
  EXPECT_EQ(v2,
            "a-very-long-program-                    09-   -07 07:05     PGM / RUN BY / DATE \n");
  std::string v3 = test::CaptureWrites(
      [&](OutStream* f) { WritePgmRunByDate(f, odd, "p", RinexVersion::k304); });
  EXPECT_EQ(
      v3, L("p                                       20071309 070509 UTC", "PGM / RUN BY / DATE"));
  for (int count : {0, 1, 4}) {
    std::string text = test::CaptureWrites([&](OutStream* f) { WriteEndOfHeader(f, count); });
    std::string expected;
    for (int i = 1; i < count; ++i) expected += L("", "COMMENT");
    expected += L("", "END OF HEADER");
    EXPECT_EQ(text, expected) << count;
  }
}

}  // namespace
}  // namespace kavrino

// Observation headers, whole, against data/headers.txt; the lines they share
// with the other files.
#include "rinex/obs/obs_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "core/rinex_version.h"
#include "rinex/case_table.h"
#include "rinex/header_lines.h"
#include "support/capture.h"

namespace kavrino {
namespace {

void PutText(ReceiverSetupRecord* s, size_t offset, size_t width, const std::string& text) {
  std::memset(s->bytes + offset, 0, width);
  std::memcpy(s->bytes + offset, text.data(), std::min(width, text.size()));
}

// The receiver setup of the tests: the defaults, the given revision (none: as
// by default) and texts at their offsets.
ReceiverSetupRecord SetupOf(int revision,
                            std::initializer_list<std::pair<size_t, std::string>> texts) {
  ReceiverSetupRecord s;
  SetReceiverSetupDefaults(&s);
  if (revision >= 0) {
    const uint16_t id = static_cast<uint16_t>(5902 | (revision << 13));
    s.bytes[4] = id & 0xFF;
    s.bytes[5] = id >> 8;
  }
  for (const auto& [offset, text] : texts) {
    PutText(&s, offset, offset == 16 ? 60 : offset == 116 || offset == 328 ? 40 : 20, text);
  }
  return s;
}
const std::initializer_list<std::pair<size_t, std::string>> kProduct = {
    {176, "QX"}, {216, "A17"}, {236, "OTHER ANT"}, {328, "Mirla KPD4X"}};

// A layout with the given type lists ("" for none) and signals.
ObsTypeLayout Layout(RinexVersion version, uint64_t mask,
                     std::initializer_list<std::pair<int, const char*>> lists) {
  ObsTypeLayout layout{};
  layout.version = version;
  layout.signal_mask = mask;
  for (int c = 0; c < 7; ++c)
    std::snprintf(layout.type_text[c], kObsTypeTextSize, "%c    0", "GESRCJI"[c]);
  for (const auto& [c, text] : lists)
    std::snprintf(layout.type_text[c], kObsTypeTextSize, "%s", text);
  return layout;
}

TEST(ObsHeader, WholeHeaders) {
  int8_t glo[30], cycling[30], unknown[30];
  std::memset(glo, -128, sizeof glo);
  std::memset(unknown, -128, sizeof unknown);
  const int8_t known[10] = {1, -4, 5, 6, 1, -4, 5, 6, -2, -7};
  std::memcpy(glo, known, sizeof known);
  for (int k = 0; k < 30; ++k) cycling[k] = static_cast<int8_t>(k % 14 - 7);
  ObsTypeLayout full =
      Layout(RinexVersion::k304, 0x51F,
             {{0, "G   14 C1C L1C S1C C1W S1W C2W L2W S2W C2L L2L S2L C5Q L5Q S5Q"},
              {3, "R    6 C1C L1C S1C C2P L2P S2P"}});
  full.with_snr = 1;
  // 30 types with the channel: every type stays whole on lines of 13, 13 and 4 types.
  std::string gal = "E   30 X1 ";
  for (int i = 1; i < 30; ++i) gal += " L" + std::to_string(i % 10) + "X";
  ObsTypeLayout channel = Layout(RinexVersion::k304, 0,
                                 {{0, "G    1 X1 "}, {3, "R    3 X1  C1C L1C"}, {1, gal.c_str()}});
  channel.with_channel = 1;
  const ObsTypeLayout v211 = Layout(RinexVersion::k211, 0, {});
  const ObsTypeLayout glo_l3 = Layout(RinexVersion::k304, 1ULL << 12, {});  // no slots, no biases
  const ObsTypeLayout glo_all = Layout(RinexVersion::k304, 0xF00, {});
  const ReceiverSetupRecord full_setup = SetupOf(4, {{16, "SITE A"},
                                                     {76, "12345M001"},
                                                     {96, "Obs"},
                                                     {116, "Agency"},
                                                     {156, "3001"},
                                                     {176, "QX"},
                                                     {196, "4.2"},
                                                     {216, "A17"},
                                                     {236, "OTHER ANT"},
                                                     {268, "GEODETIC"},
                                                     {328, "Mirla KPD4X"}});
  // Texts without terminator running into the next field.
  ReceiverSetupRecord full_width = SetupOf(-1, {});
  std::memset(full_width.bytes + 16, 'M', 60);
  std::memset(full_width.bytes + 76, 'N', 20);
  std::memset(full_width.bytes + 96, 'O', 20);
  std::memset(full_width.bytes + 116, 'A', 40);
  const struct {
    const char* name;
    const ObsTypeLayout& layout;
    ReceiverSetupRecord setup;
    uint32_t antenna;
    const char* receiver_type;
    const int8_t* glo;
  } cases[] = {
      {"3.04", full, full_setup, 1, nullptr, glo},
      // Below revision 3 the product name counts for nothing.
      {"revision 2", v211, SetupOf(2, kProduct), 1, nullptr, nullptr},
      {"revision 3", v211, SetupOf(3, kProduct), 1, nullptr, nullptr},
      {"antenna 2", v211, SetupOf(3, kProduct), 2, nullptr, nullptr},
      {"antenna 3, receiver type from -t", v211, SetupOf(3, kProduct), 3,
       "RecType From -t Option That Is Long", nullptr},
      {"texts of full width", v211, full_width, 1, nullptr, nullptr},
      {"channel and long type lists", channel, SetupOf(-1, {}), 1, nullptr, nullptr},
      {"GLONASS L3 alone", glo_l3, SetupOf(-1, {}), 1, nullptr, cycling},
      {"GLONASS slots", glo_all, SetupOf(-1, {}), 1, nullptr, cycling},
      {"GLONASS slots unknown", glo_all, SetupOf(-1, {}), 1, nullptr, unknown},
  };
  const auto goldens = test::ReadGoldens("rinex/obs/data/headers.txt");
  for (const auto& c : cases) {
    ObsHeaderInfo info;
    info.layout = &c.layout;
    info.setup = &c.setup;
    info.first_ms = 1245369600000;  // 2019-06-24 00:00:00 GPS time
    info.run_date = {2026, 5, 12, 15, 24, 36.7};
    info.program = "kavrino-13.4.3";
    info.antenna = c.antenna;
    info.receiver_type = c.receiver_type;
    info.glo_slot_freq = c.glo;
    const std::string header = test::CaptureWrites([&](OutStream* f) { WriteObsHeader(f, info); });
    test::Dump(c.name, header);
    EXPECT_EQ(header, goldens.count(c.name) ? goldens.at(c.name) : "?") << c.name;
    std::istringstream in(header);
    for (std::string line; std::getline(in, line);) EXPECT_EQ(line.size(), 80u) << line;
  }
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

TEST(HeaderLines, MakeReceiverType) {
  const struct {
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
    char out[100];
    std::memset(out, '#', sizeof out);
    MakeReceiverType(SetupOf(c.revision, {{176, "QX-1"}, {328, c.product}}), out, c.capacity);
    EXPECT_STREQ(out, c.expected) << c.product;
  }
}

TEST(HeaderLines, PgmRunByDateAndEndOfHeader) {
  const CalendarTime odd{2007, 9, 13, 7, 5, 9.99};
  EXPECT_EQ(test::CaptureWrites([&](OutStream* f) {
              WritePgmRunByDate(f, odd, "a-very-long-program-name-x", RinexVersion::k210);
            }),
            "a-very-long-program-                    09-   -07 07:05     PGM / RUN BY / DATE \n");
  EXPECT_EQ(test::CaptureWrites(
                [&](OutStream* f) { WritePgmRunByDate(f, odd, "p", RinexVersion::k304); }),
            "p                                       20071309 070509 UTC PGM / RUN BY / DATE \n");
  const std::string comment(60, ' '), end = comment + "END OF HEADER       \n";
  for (int count : {0, 1, 4}) {
    std::string expected;
    for (int i = 1; i < count; ++i) expected += comment + "COMMENT             \n";
    EXPECT_EQ(test::CaptureWrites([&](OutStream* f) { WriteEndOfHeader(f, count); }),
              expected + end)
        << count;
  }
}

}  // namespace
}  // namespace kavrino

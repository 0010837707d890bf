// Observation headers, whole, against data/headers.txt (the headers described
// in data/header_cases.txt); the lines they share with the other files.
#include "rinex/obs/obs_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/rinex_version.h"
#include "rinex/case_table.h"
#include "rinex/header_lines.h"
#include "support/capture.h"

namespace kavrino {
namespace {

// "REVISION OFFSET=TEXT...": the defaults, the revision (- as by default) and
// each text in its field at its offset.
ReceiverSetupRecord SetupOf(const std::string& spec) {
  ReceiverSetupRecord s;
  SetReceiverSetupDefaults(&s);
  const auto w = test::Words(spec);
  if (w[0] != "-") {
    const uint16_t id = static_cast<uint16_t>(5902 | (std::stoi(w[0]) << 13));
    s.bytes[4] = id & 0xFF;
    s.bytes[5] = id >> 8;
  }
  for (size_t i = 1; i < w.size(); ++i) {
    const size_t offset = std::stoul(w[i]), width = offset == 16                     ? 60
                                                    : offset == 116 || offset == 328 ? 40
                                                                                     : 20;
    const std::string text = test::Unquote(w[i].substr(w[i].find('=') + 1));
    std::memset(s.bytes + offset, 0, width);
    std::memcpy(s.bytes + offset, text.data(), std::min(width, text.size()));
  }
  return s;
}

// "VERSION MASK [snr] [channel] SYSTEM=LIST...".
ObsTypeLayout LayoutOf(const std::string& spec) {
  const auto w = test::Words(spec);
  ObsTypeLayout layout{};
  layout.version = w[0] == "2.11" ? RinexVersion::k211 : RinexVersion::k304;
  layout.signal_mask = std::stoull(w[1], nullptr, 16);
  for (int c = 0; c < 7; ++c)
    std::snprintf(layout.type_text[c], kObsTypeTextSize, "%c    0", "GESRCJI"[c]);
  for (size_t i = 2; i < w.size(); ++i) {
    layout.with_snr |= w[i] == "snr";
    layout.with_channel |= w[i] == "channel";
    if (w[i].find('=') == std::string::npos) continue;
    std::snprintf(layout.type_text[std::stoi(w[i])], kObsTypeTextSize, "%s",
                  test::Unquote(w[i].substr(w[i].find('=') + 1)).c_str());
  }
  return layout;
}

TEST(ObsHeader, CaseTable) {
  const auto goldens = test::ReadGoldens("rinex/obs/data/headers.txt");
  for (const auto& row : test::ReadCases("rinex/obs/data/header_cases.txt")) {
    SCOPED_TRACE(row[1]);
    if (row[0] == "letter") {
      EXPECT_EQ(ObsSystemLetter(std::stoull(row[1], nullptr, 16)),
                row[2] == "-" ? '\0' : row[2][0]);
    }
    if (row[0] == "receiver") {
      char out[100];
      std::memset(out, '#', sizeof out);
      MakeReceiverType(SetupOf(row[1] + " 176=QX-1 328=\"" + row[2] + "\""), out,
                       std::stoul(row[3]));
      EXPECT_STREQ(out, row[4].c_str());
    }
    if (row[0] != "header") continue;
    const ObsTypeLayout layout = LayoutOf(row[2]);
    const ReceiverSetupRecord setup = SetupOf(row[3]);
    std::vector<int8_t> glo(30, -128);
    const auto numbers = test::Words(row[6]);
    for (size_t k = 0; k < numbers.size() && numbers[0] != "-"; ++k)
      glo[k] = static_cast<int8_t>(std::stoi(numbers[k]));
    ObsHeaderInfo info;
    info.layout = &layout;
    info.setup = &setup;
    info.first_ms = 1245369600000;  // 2019-06-24 00:00:00 GPS time
    info.run_date = {2026, 5, 12, 15, 24, 36.7};
    info.program = "kavrino-13.4.3";
    info.antenna = static_cast<uint32_t>(std::stoul(row[4]));
    info.receiver_type = row[5] == "-" ? nullptr : row[5].c_str();
    info.glo_slot_freq = row[6] == "-" ? nullptr : glo.data();
    const std::string header = test::CaptureWrites([&](OutStream* f) { WriteObsHeader(f, info); });
    EXPECT_EQ(header, goldens.at(row[1]));
    std::istringstream in(header);
    for (std::string line; std::getline(in, line);) EXPECT_EQ(line.size(), 80u) << line;
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

// Observation type lists and columns, from the table in data/obs_types.txt.
// The lists of every signal in 2.10, 2.11 and 3.04, with both L2 choices, are
// also checked against the converter's output by the end-to-end truth test.
#include "rinex/obs/obs_types.h"

#include <gtest/gtest.h>

#include <string>

#include "core/rinex_version.h"
#include "rinex/case_table.h"

namespace kavrino {
namespace {

TEST(BuildObsTypeLayout, Table) {
  for (const auto& row : test::ReadCases("rinex/obs/data/obs_types.txt")) {
    SCOPED_TRACE(row[0] + " " + row[1]);
    const RinexVersion version = row[0] == "2.10"   ? RinexVersion::k210
                                 : row[0] == "2.11" ? RinexVersion::k211
                                                    : RinexVersion::k304;
    uint64_t mask = 0;
    for (const std::string& w : test::Words(row[1] == "-" ? "" : row[1]))
      mask |= w == "all" ? ~0ULL : 1ULL << std::stoi(w);
    const auto has = [&](const char* word) { return row[2].find(word) != std::string::npos; };
    ObsTypeLayout l;
    BuildObsTypeLayout(&l, mask, has("doppler"), has("snr"), has("channel"), version);
    for (const std::string& w : test::Words(row[3])) {  // SYSTEM="TEXT"
      EXPECT_EQ(l.type_text[std::stoi(w)], test::Unquote(w.substr(w.find('=') + 1)));
    }
    EXPECT_EQ(l.line_len, std::stoi(row[4]));
    for (const std::string& w : test::Words(row[5] == "-" ? "" : row[5])) {  // KIND SIGNAL=COLUMN
      const int signal = std::stoi(w.substr(1));
      const int16_t column = w[0] == 'C'   ? l.code_col[signal]
                             : w[0] == 'L' ? l.phase_col[signal]
                             : w[0] == 'D' ? l.doppler_col[signal]
                                           : l.snr_col[signal];
      EXPECT_EQ(column, std::stoi(w.substr(w.find('=') + 1))) << w;
    }
    EXPECT_EQ(l.signal_mask, std::stoull(row[6], nullptr, 16));
    EXPECT_EQ(l.version, version);
    EXPECT_EQ(AllowedSignalMask(version), std::stoull(row[7], nullptr, 16));
  }
}

}  // namespace
}  // namespace kavrino

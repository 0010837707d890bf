#include "core/signals.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>

#include "core/diag.h"
#include "core/time.h"

namespace kavrino {
namespace {

// The rows of data/tables.txt (its head names the tables).
TEST(CoreTables, EveryRowHolds) {
  std::ifstream in(KAVRINO_SOURCE_DIR "/tests/core/data/tables.txt");
  int rows = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string kind;
    int64_t a = 0, b = 0, c = 0, d = 0;
    if (!(words >> kind >> a >> b) || kind[0] == '#') continue;
    words >> c >> d;
    double got = 0, want = static_cast<double>(b);
    if (kind == "svid") got = SvidToSatIndex(static_cast<uint8_t>(a));
    if (kind == "system") got = SatIndexConstellation(static_cast<uint8_t>(a));
    if (kind == "wavelength") got = SignalWavelength(uint32_t(a), int(b)), want = kSpeedOfLight / c;
    if (kind == "doy") got = DayOfYear(uint32_t(a), uint32_t(b), uint32_t(c)), want = double(d);
    if (kind == "widen") got = double(WidenWeek(a, b, int(c))), want = double(d);
    EXPECT_EQ(got, want) << line;
    ++rows;
  }
  EXPECT_EQ(rows, 90);
  // An absurd frequency number wraps in 32 bits instead of overflowing.
  const auto wrapped = static_cast<int32_t>(static_cast<uint32_t>(uint64_t{1} << 20) * 562500u);
  EXPECT_EQ(SignalWavelength(8, 1 << 20), kSpeedOfLight / (1602e6 + wrapped));
}

// Spot checks at the ends and gaps; every named signal's name and code are
// checked against the converter's output by the end-to-end truth test.
TEST(SignalTable, RowsAndLookupsOutOfRange) {
  const struct {
    int signal;
    const char* name;
    uint8_t constellation;
    int slot;
    const char* code;
  } rows[] = {
      {0, "GPSL1CA", CONST_GPS, 0, "1C"},    {15, "IRNL5", CONST_NAVIC, 0, "5A"},
      {16, nullptr, CONST_GALILEO, 0, "1A"}, {23, nullptr, CONST_OTHER, 0, "??"},
      {27, "QZSL6", CONST_QZSS, 3, "??"},    {31, nullptr, CONST_OTHER, 0, "??"},
      {33, "QZSL1S", CONST_QZSS, 5, "1Z"},
  };
  for (const auto& r : rows) {
    const auto s = static_cast<uint8_t>(r.signal);
    SCOPED_TRACE(r.signal);
    EXPECT_EQ(GetSignalConstellation(s), r.constellation);
    EXPECT_EQ(GetSignalIndexInConstellation(r.signal), r.slot);
    EXPECT_STREQ(GetSignalRinex3Code(s), r.code);
    EXPECT_EQ(GetSignalName(s) == nullptr ? "-" : std::string(GetSignalName(s)),
              r.name == nullptr ? "-" : r.name);
    const uint64_t bit = uint64_t{1} << r.signal;
    EXPECT_EQ((ConstellationSignalMask(r.constellation) & bit) != 0,
              r.constellation != CONST_OTHER);
  }
  EXPECT_EQ(GetSignalConstellation(34), CONST_OTHER);
  EXPECT_EQ(GetSignalConstellation(255), CONST_OTHER);
  EXPECT_STREQ(GetSignalRinex3Code(34), "??");
  EXPECT_EQ(GetSignalName(34), nullptr);
  EXPECT_EQ(ConstellationSignalMask(8), 0u);
  EXPECT_EQ(ConstellationSignalMask(CONST_QZSS), 0x30C0000C0ULL);
}

// Through AssertFailed: the process ends at once, without a word.
TEST(SignalIndexInConstellationDeathTest, SignalOutOfRangeAbortsSilently) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(GetSignalIndexInConstellation(34), testing::KilledBySignal(SIGABRT), "^$");
  EXPECT_EXIT(GetSignalIndexInConstellation(-1), testing::KilledBySignal(SIGABRT), "^$");
}

TEST(Diagnostics, MessagesNameTheFailureAndItsReason) {
  EXPECT_EQ(FatalMessage("qdxread", 460, ENOENT),
            "Abnormal program termination (qdxread,460): No such file or directory");
  EXPECT_EQ(FatalMessage("mkringen", 389, ENOSPC),
            "Abnormal program termination (mkringen,389): No space left on device");
  EXPECT_EQ(OpenFailureMessage("output RINEX", "a/b.24O", "writing", EACCES),
            "The output RINEX file \"a/b.24O\" could not be opened for writing: Permission denied");
  // The text before the reason is cut to 254 characters; "Abnormal program
  // termination (" is 30 of them.
  EXPECT_EQ(FatalMessage(std::string(300, 'm').c_str(), 1, EACCES),
            "Abnormal program termination (" + std::string(224, 'm') + ": Permission denied");
}

}  // namespace
}  // namespace kavrino

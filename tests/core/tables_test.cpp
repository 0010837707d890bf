// The numbering, signal and calendar tables of data/tables.txt and the abort of
// a signal number out of range.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "core/signals.h"
#include "core/time.h"

namespace kavrino {
namespace {

std::string Evaluate(const std::string& kind, int64_t a, int64_t b, int64_t c) {
  char s[160] = "?";
  const auto u8 = static_cast<uint8_t>(a);
  if (kind == "svid") std::snprintf(s, sizeof s, "%d", SvidToSatIndex(u8));
  if (kind == "system") std::snprintf(s, sizeof s, "%d", SatIndexConstellation(u8));
  if (kind == "mask") std::snprintf(s, sizeof s, "%llx", (long long)ConstellationSignalMask(u8));
  if (kind == "wavelength") std::snprintf(s, sizeof s, "%.17g", SignalWavelength(a, int(b)));
  if (kind == "doy") std::snprintf(s, sizeof s, "%u", DayOfYear(a, b, c));
  if (kind == "widen") std::snprintf(s, sizeof s, "%lld", (long long)WidenWeek(a, b, int(c)));
  if (kind == "settle") {
    SettleTimeOfDay(a, &b, &c);
    std::snprintf(s, sizeof s, "%lld %lld", (long long)b, (long long)c);
  }
  if (kind == "leap") {
    const auto at = static_cast<int64_t>(CalendarToGpsSeconds({uint32_t(a), 1, uint32_t(b)})) + c;
    std::snprintf(s, sizeof s, "%d %d", LeapCountFromTable(at), LeapCountFromTable(at + 1));
  }
  if (kind == "signal") {
    const uint8_t system = GetSignalConstellation(u8);
    std::snprintf(s, sizeof s, "%d %s %s %d", system, GetSignalRinex3Code(u8),
                  GetSignalName(u8) != nullptr ? GetSignalName(u8) : "-",
                  int(ConstellationSignalMask(system) >> (a & 63) & 1));
    if (a < 34) std::snprintf(s + strlen(s), 20, " %d", GetSignalIndexInConstellation(int(a)));
  }
  return s;
}

TEST(CoreTables, EveryRowHolds) {
  std::ifstream in(KAVRINO_SOURCE_DIR "/tests/core/data/tables.txt");
  int rows = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line.substr(0, line.find(" = ")));
    std::string kind, got;
    words >> kind;
    for (std::string group; std::getline(words, group, ',');) {
      std::istringstream arguments(group);
      int64_t a = 0, b = 0, c = 0;
      arguments >> a >> b >> c;
      got += (got.empty() ? "" : ", ") + Evaluate(kind, a, b, c);
      ++rows;
    }
    EXPECT_EQ(got, line.substr(line.find(" = ") + 3)) << line;
  }
  EXPECT_EQ(rows, 118);
}

// Through AssertFailed: the process ends at once, without a word.
TEST(SignalIndexInConstellationDeathTest, SignalOutOfRangeAbortsSilently) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(GetSignalIndexInConstellation(34), testing::KilledBySignal(SIGABRT), "^$");
  EXPECT_EXIT(GetSignalIndexInConstellation(-1), testing::KilledBySignal(SIGABRT), "^$");
}

}  // namespace
}  // namespace kavrino

// The time window of a navigation product.
#include <gtest/gtest.h>

#include "convert/nav_product.h"
#include "core/time.h"

namespace kavrino {
namespace {

TEST(NavWindow, TimesOfDayTieToTheFirstEpochAndAnOpenStartGetsTheMargin) {
  const int64_t day = 14414LL * kMsPerDay;  // 2019-06-24 00:00:00
  const int64_t first = day + 30000;        // first data block at 00:00:30
  struct Case {
    int64_t first, start, end, want_start, want_end;
  } cases[] = {
      {first, kNoStartMs, kNoEndMs, first - 14400000, kNoEndMs},  // 2019-06-23 20:00:30
      {first, 36000000, 39600000, day + 36000000, day + 39600000},
      {first, kNoStartMs, 0, first - 14400000, day},
      {first, day + 5, kNoEndMs, day + 5, kNoEndMs},  // absolute values stay
      {0, kNoStartMs, 3600000, kNoStartMs, 3600000},  // no data: nothing to tie to
  };
  for (const Case& c : cases) {
    TimeWindow window{c.start, c.end};
    SettleNavWindow(c.first, &window);
    EXPECT_EQ(window.start_ms, c.want_start) << c.start;
    EXPECT_EQ(window.end_ms, c.want_end) << c.end;
  }
}

}  // namespace
}  // namespace kavrino

#include "rinex/obs/obs_events.h"

#include <gtest/gtest.h>

#include <string>

#include "support/capture.h"

namespace kavrino {
namespace {

TEST(WriteEventEpochLine, BothLayouts) {
  // 2019-06-24 13:31:09.5 on the GPS time scale.
  const double seconds = 2059 * 604800.0 + 1 * 86400.0 + 13 * 3600.0 + 31 * 60.0 + 9.5;
  EXPECT_EQ(test::CaptureWrites(
                [&](OutStream* f) { WriteEventEpochLine(f, 3, 6, RinexVersion::k211, seconds); }),
            " 19  6 24 13 31  9.5000000  3  6");
  EXPECT_EQ(test::CaptureWrites(
                [&](OutStream* f) { WriteEventEpochLine(f, 4, 1, RinexVersion::k304, seconds); }),
            "> 2019 06 24 13 31  9.5000000  4  1");
}

TEST(WriteSiteOccupation, RecordCountFollowsPositionAndOffsets) {
  ObsSite site;
  SetReceiverSetupDefaults(&site.setup);
  const double seconds = 2059 * 604800.0 + 86400.0;
  // The bare record (no position, no offsets): see the generator end-to-end test.
  site.approx_x = 4000000.0;
  site.l1_phase_offset = 0.1;
  site.l2_phase_offset = -0.2;
  const std::string full = test::CaptureWrites(
      [&](OutStream* f) { WriteSiteOccupation(f, site, RinexVersion::k304, seconds); });
  EXPECT_NE(full.find("> 2019 06 24 00 00  0.0000000  3  7\n"), std::string::npos);
  EXPECT_NE(full.find("  4000000.0000        0.0000        0.0000                  APPROX "
                      "POSITION XYZ \n"),
            std::string::npos);
  EXPECT_NE(full.find("L1PhaOff:   0.1000  L2PhaOff:  -0.2000                      COMMENT\n"),
            std::string::npos);
}

}  // namespace
}  // namespace kavrino

#include "rinex/obs/obs_site.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/settings.h"
#include "support/capture.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

std::vector<uint8_t> CommentBlock(const std::string& text, uint16_t declared_length) {
  return test::QdxBlockWriter(kCommentBlock, 0, 1000, 2000)
      .U16(14, declared_length)
      .Text(16, text, text.size())
      .Finish();
}

std::vector<uint8_t> CommentBlock(const std::string& text) {
  return CommentBlock(text, static_cast<uint16_t>(text.size()));
}

ObsFileSummary FreshSummary() {
  ObsFileSummary summary;
  SetReceiverSetupDefaults(&summary.setup);
  return summary;
}

TEST(CommentText, IsCutAtTheBlockEnd) {
  auto block = CommentBlock("BEGIN_POINT;A12;x", 500);
  EXPECT_EQ(CommentText(block.data()), "BEGIN_POINT;A12;x");
  auto with_zero = CommentBlock(std::string("XYZ;1;2\0;3", 10));
  EXPECT_EQ(CommentText(with_zero.data()).size(), 10u);
  EXPECT_EQ(CommandText(with_zero.data()), "XYZ;1;2");
}

TEST(WriteEventEpochLine, BothLayouts) {
  // 2019-06-24 13:31:09.5 on the GPS time scale.
  const double seconds = 2059 * 604800.0 + 1 * 86400.0 + 13 * 3600.0 + 31 * 60.0 + 9.5;
  EXPECT_EQ(test::CaptureWrites([&](FILE* f) { WriteEventEpochLine(f, 3, 6, RINEX_211, seconds); }),
            " 19  6 24 13 31  9.5000000  3  6");
  EXPECT_EQ(test::CaptureWrites([&](FILE* f) { WriteEventEpochLine(f, 4, 1, RINEX_304, seconds); }),
            "> 2019 06 24 13 31  9.5000000  4  1");
}

struct SiteNameCase {
  std::string text;
  std::string name;
  std::string number;
};

TEST(ApplySiteName, TakesTheSecondField) {
  const SiteNameCase cases[] = {
      {"BEGIN_POINT;A12", "", ""},
      {"END_POINT;SITE-WITH-A-VERY-LONG-NAME;", "SITE-WITH-A-VERY-LONG-NAME",
       "SITE-WITH-A-VERY-LON"},
      {"BEGIN_POINT;" + std::string(200, 'N') + ";", std::string(60, 'N'), std::string(20, 'N')},
  };
  for (const auto& c : cases) {
    ReceiverSetupRecord setup;
    SetReceiverSetupDefaults(&setup);
    auto block = CommentBlock(c.text);
    ApplySiteName(&setup, block.data());
    EXPECT_EQ(SetupText(setup, kSetupMarkerName), c.name) << c.text;
    EXPECT_EQ(SetupText(setup, kSetupMarkerNumber), c.number) << c.text;
  }
}

TEST(SiteCommands, AntennaAndXyz) {
  // Whole ANTENNA commands, with and without offsets: see the generator end-to-end test.
  ObsFileSummary summary = FreshSummary();
  ApplyAntennaCommand(&summary, "ANTENNA;A-TYPE-LONGER-THAN-TWENTY;x;y");
  EXPECT_EQ(SetupText(summary.setup, kSetupAntennaType), "A-TYPE-LONGER-THAN-T");
  EXPECT_EQ(summary.l1_phase_offset, 0.0);  // not a number

  ApplyXyzCommand(&summary, "XYZ;4000000.5;-12.25;5000000");
  EXPECT_EQ(summary.approx_x, 4000000.5);
  EXPECT_EQ(summary.approx_y, -12.25);
  EXPECT_EQ(summary.approx_z, 5000000.0);
  ApplyXyzCommand(&summary, "XYZ;1;2");
  EXPECT_EQ(summary.approx_x, 4000000.5);
}

TEST(WriteSiteOccupation, RecordCountFollowsPositionAndOffsets) {
  ObsFileSummary summary = FreshSummary();
  auto block = CommentBlock("BEGIN_POINT;A12;x");
  ApplySiteName(&summary.setup, block.data());
  const double seconds = 2059 * 604800.0 + 86400.0;
  // The bare record (no position, no offsets): see the generator end-to-end test.
  summary.approx_x = 4000000.0;
  summary.l1_phase_offset = 0.1;
  summary.l2_phase_offset = -0.2;
  const std::string full =
      test::CaptureWrites([&](FILE* f) { WriteSiteOccupation(f, summary, 3, seconds); });
  EXPECT_NE(full.find("> 2019 06 24 00 00  0.0000000  3  7\n"), std::string::npos);
  EXPECT_NE(full.find("  4000000.0000        0.0000        0.0000                  APPROX "
                      "POSITION XYZ \n"),
            std::string::npos);
  EXPECT_NE(full.find("L1PhaOff:   0.1000  L2PhaOff:  -0.2000                      COMMENT\n"),
            std::string::npos);
}

}  // namespace
}  // namespace kavrino

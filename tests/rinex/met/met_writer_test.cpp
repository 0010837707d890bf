// Meteorological records against hand-worked lines (the headers: the
// meteorological files of tests/convert).
#include "rinex/met/met_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "rinex/case_table.h"
#include "support/capture.h"

namespace kavrino {
namespace {

TEST(MetRecord, LayoutsAndBlankFields) {
  for (const auto& row : test::ReadCases("rinex/met/data/records.txt")) {
    const auto value = [&](size_t i) { return row[i] == "-" ? kMetAbsent : std::stof(row[i]); };
    const XdrValues v{value(1), value(2), value(3)};
    EXPECT_EQ(test::CaptureWrites([&](OutStream* out) {
                WriteMetRecord(out, 2305LL * 604800000 + 36300000, test::VersionOf(row[0]), v);
              }),
              row[4] + "\n");
  }
}

}  // namespace
}  // namespace kavrino

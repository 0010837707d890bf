// The first observation pass learns the same from a file read in ranges on
// several threads as from one walk over it: generated logs cut anywhere,
// compact ones whose cuts must wait for a reference epoch, damaged ones, and
// logs whose time goes back across a cut, which must be read in one walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "convert/job.h"
#include "convert/obs_product.h"
#include "rinex/case_table.h"
#include "support/e2e.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

// Everything the header is made from.
std::string Describe(const ObsFileSummary& s) {
  char line[200];
  std::snprintf(line, sizeof line,
                "%lld..%lld every %u, signals %llx, moving %d, at %.9f %.9f %.9f",
                static_cast<long long>(s.first_epoch_ms), static_cast<long long>(s.last_epoch_ms),
                s.data_interval_ms, static_cast<unsigned long long>(s.seen_signal_mask), s.moving,
                s.site.approx_x, s.site.approx_y, s.site.approx_z);
  std::string text = line;
  text += "\nsats";
  for (int i = 0; i < 256; ++i) text += s.sat_seen[i] ? " " + std::to_string(i) : "";
  text += "\nglonass";
  for (int i = 0; i < kGloSlotCount; ++i) {
    text += " " + std::to_string(s.glo_slot_known[i]) + ":" + std::to_string(s.glo_slot_freq[i]);
  }
  text += "\nsetup " +
          std::string(reinterpret_cast<const char*>(s.site.setup.bytes), sizeof s.site.setup.bytes);
  return text;
}

// The summary of the first pass over `path` and the ranges it was read in.
std::string Scan(const std::string& path, const ConvertOptions& options, int* ranges) {
  ConvertJob job;
  job.options = &options;
  job.input = job.input_name = path;
  ObsScan scan;
  scan.job = &job;
  scan.decode_mode = MeasDecodeMode(options);
  scan.window = options.window;
  scan.min_range_bytes = 1;  // as many ranges as threads, whatever the size
  auto summary = std::make_unique<ObsFileSummary>();
  const bool found = ScanObsFile(&scan, summary.get());
  *ranges = scan.ranges_read;
  return found ? Describe(*summary) : "no epoch";
}

TEST(ObsScan, AnyNumberOfThreadsLearnsWhatOneWalkLearns) {
  const std::string day = "--no-truth --start '2024-03-10 10:00:00' --duration 1800 ";
  const struct {
    std::string logs;  // qdxgen arguments; "+" joins the logs of two runs
    std::string options;
    int epochs;  // read in as many ranges as threads, up to this; 0: in any number
  } cases[] = {
      {"--systems G,R,E,C,S --setup-change 900 --motion circle --fixes 4006,5904", "", 99},
      {"--encoding compact --ref-interval 30000 --systems G,R,E --antennas 2", "a2", 99},
      {"--encoding both --ref-interval 1 --interval 0.5 --setup-interval 60", "i30", 99},
      {"--setup-interval 0 --systems G,R", "w", 99},
      {"--duration 600 + --start '2024-03-10 10:10:00' --motion line --fixes 5903", "", 99},
      {"--interval 30 + --start '2024-03-10 10:30:00' --duration 20", "", 99},
      {"--duration 2 --systems G --no-nav --no-weather", "", 2},  // a range per epoch
      {"--flip-bytes 0.01 --noise 0.01 --duplicate 0.01 --zero-fill 0.005 --seed 3", "w", 0},
      {"--encoding compact --ref-interval 120000 --duration 600", "", 0},
      {"--seed 4 + --start '2024-03-10 10:30:00' + --start '2024-03-10 10:20:00'", "", 0},
  };
  const test::ScopedTempDir dir("scan");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logs + " | " + c.options);
    std::vector<uint8_t> bytes;
    for (const std::string& log : test::Split(c.logs, '+')) {
      const std::string text = test::ReadFileText(test::SharedLog(day + log) + "/log.qdx");
      bytes.insert(bytes.end(), text.begin(), text.end());
    }
    ASSERT_TRUE(test::WriteFileBytes(dir / "in.qdx", bytes));
    ConvertOptions options;
    if (c.options == "a2") options.antenna = 2;
    if (c.options == "i30") options.interval_ms = 30000;
    if (c.options == "w") options.window = {36300000, 37200000};  // 10:05 to 10:20
    options.threads = 1;
    int ranges = 0;
    const std::string one_walk = Scan(dir / "in.qdx", options, &ranges);
    EXPECT_EQ(ranges, 1);
    for (const int threads : {2, 3, 7}) {
      options.threads = threads;
      EXPECT_EQ(Scan(dir / "in.qdx", options, &ranges), one_walk) << threads << " threads";
      EXPECT_TRUE(c.epochs == 0 || ranges == std::min(threads, c.epochs)) << ranges << " ranges";
    }
  }
}

}  // namespace
}  // namespace kavrino

#include "app/progress_bar.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "convert/progress.h"
#include "qdx/block.h"
#include "qdx/reader.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

// What fn writes on the file it is handed (with `fd` 2 also going there).
template <typename Fn>
std::string CaptureOn(Fn fn, bool stderr_too = false) {
  FILE* sink = std::tmpfile();
  std::fflush(stderr);
  const int saved = dup(2);
  if (stderr_too) dup2(fileno(sink), 2);
  fn(sink);
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string text;
  std::rewind(sink);
  for (int c; (c = std::fgetc(sink)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(sink);
  return text;
}

const std::string kClearLine = "\r" + std::string(80, ' ') + "\r";
const std::string kLabel = "Creating RINEX file:";

TEST(DrawProgressBar, DrawsOrClears) {
  const std::string bar = "\r" + kLabel + " |";
  const struct {
    const char* label;
    float value;
    std::string expected;
  } cases[] = {
      {kLabel.c_str(), 50.0f, bar + std::string(26, '=') + "-" + std::string(26, ' ') + "| 50%"},
      {kLabel.c_str(), 0.0f, bar + std::string(53, ' ') + "|  0%"},
      {kLabel.c_str(), 99.99f, bar + std::string(52, '=') + "-| 99%"},
      {kLabel.c_str(), 100.0f, kClearLine},
      {kLabel.c_str(), -0.5f, kClearLine},
      {kLabel.c_str(), std::nanf(""), kClearLine},
      {"", 50.0f, "\r|" + std::string(37, '=') + std::string(37, ' ') + "| 50%"}};
  for (const auto& c : cases) {
    EXPECT_EQ(CaptureOn([&](FILE* out) { DrawProgressBarOn(out, c.label, c.value); }), c.expected)
        << c.value;
  }
  for (int tenth = 0; tenth < 1000; ++tenth) {
    const float value = static_cast<float>(tenth) / 10.0f;
    const std::string line =
        CaptureOn([&](FILE* out) { DrawProgressBarOn(out, kLabel.c_str(), value); });
    char percent[8];
    std::snprintf(percent, sizeof percent, "| %2d%%", static_cast<int>(value));
    ASSERT_EQ(line.size(), 81u) << value;
    EXPECT_EQ(line.substr(76), percent) << value;
  }
}

TEST(ProgressValue, FollowsThePositionInTheRunsOwnFile) {
  const struct {
    int from, to;
    int64_t position, size;
    float expected;
  } cases[] = {{0, 100, 500, 1000, 50.0f},   {50, 100, 5, 10, 75.0f}, {50, 100, 10, 10, 100.0f},
               {100, 100, 0, 1000, 100.0f},  {20, 40, 0, 0, 20.0f},   {0, 50, 2000, 1000, 50.0f},
               {90, 120, 1000, 1000, 100.0f}};
  for (const auto& c : cases) {
    EXPECT_FLOAT_EQ(ProgressValue(c.from, c.to, c.position, c.size), c.expected)
        << c.from << ".." << c.to << " at " << c.position << "/" << c.size;
  }
}

// First file (1000 bytes, then 10 blocks) owns 0..50, the second (10 bytes,
// then one block) 50..100: the bar is redrawn once per whole percent, and
// cleared when the run is complete.
TEST(UpdateProgressBar, EachFileFillsItsOwnShare) {
  const std::string out = CaptureOn([](FILE* f) {
    ProgressBar bar{f};
    for (int64_t pos = 0; pos <= 1000; ++pos) UpdateProgressBar(&bar, 0, 50, pos, 1000);
    for (int64_t pos = 0; pos <= 10; ++pos) UpdateProgressBar(&bar, 50, 100, pos, 10);
  });
  EXPECT_EQ(std::count(out.begin(), out.end(), '\r'), 50 + 9 + 2);  // 55..95 in steps of 5
  EXPECT_NE(out.find("| 75%"), std::string::npos);
  EXPECT_TRUE(out.ends_with(kClearLine));

  test::ScopedTempDir dir("progress");
  std::vector<uint8_t> large, small;
  for (int i = 0; i < 10; ++i) test::Append(&large, test::QdxBlockWriter(4027, 0, i, 2000, 100));
  test::Append(&small, test::QdxBlockWriter(4027, 0, 0, 2000, 100));
  ASSERT_TRUE(test::WriteFileBytes(dir / "large.qdx", large) &&
              test::WriteFileBytes(dir / "small.qdx", small));
  const std::string walked = CaptureOn([&](FILE* f) {
    ProgressBar bar{f};
    const ProgressSink sink = ProgressBarSink(&bar);
    for (const auto& [name, from, to] : {std::tuple{"large.qdx", 0, 50}, {"small.qdx", 50, 100}}) {
      QdxReader reader;
      InitQdxReader((dir / name).c_str(), &reader);
      BlockWalk walk;
      StartBlockWalk(&walk, &reader, &sink, {from, to});
      while (NextWalkBlock(&walk) != nullptr) {
      }
      CloseQdxReader(&reader);
    }
  });
  EXPECT_NE(walked.find("| 50%"), std::string::npos);
  EXPECT_EQ(walked.find("| 55%"), std::string::npos);
  EXPECT_TRUE(walked.ends_with(kClearLine));
}

TEST(CheckReadable, ReportsWhyOnStderr) {
  test::ScopedTempDir dir("file_io");
  ASSERT_TRUE(test::WriteFileBytes(dir / "present.qdx", {1, 2, 3}));
  const std::string long_name = dir / std::string(300, 'n'), cannot = "The input QDX file \"";
  const std::pair<std::string, std::string> cases[] = {
      {dir / "present.qdx", ""},
      {"x", cannot + "x\" could not be opened for reading: No such file or directory\n"},
      {dir.path(), cannot + dir.path() + "\" could not be opened for reading: Is a directory\n"},
      {long_name, (cannot + long_name).substr(0, 254) + ": File name too long\n"}};
  for (const auto& [path, message] : cases) {
    bool result = false;
    EXPECT_EQ(CaptureOn([&](FILE*) { result = CheckReadable(path.c_str(), "input QDX"); }, true),
              message);
    EXPECT_EQ(result, message.empty()) << path;
  }
}

}  // namespace
}  // namespace kavrino

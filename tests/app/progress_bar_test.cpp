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

// What fn writes on a temporary file handed to it.
template <typename Fn>
std::string CaptureOn(Fn fn) {
  FILE* sink = std::tmpfile();
  fn(sink);
  std::string text;
  std::rewind(sink);
  for (int c; (c = std::fgetc(sink)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(sink);
  return text;
}

// What fn writes on stderr.
template <typename Fn>
std::string CaptureStderr(Fn fn) {
  std::fflush(stderr);
  const int saved = dup(2);
  const std::string text = CaptureOn([&](FILE* sink) {
    dup2(fileno(sink), 2);
    fn();
    std::fflush(stderr);
    dup2(saved, 2);
  });
  close(saved);
  return text;
}

const std::string kClearLine = std::string("\r").append(80, ' ').append("\r");
const std::string kLabel = "Creating RINEX file:";

std::string Bar(const std::string& label, const std::string& bar, size_t width, const char* pct) {
  return "\r" + label + (label.empty() ? "" : " ") + "|" + bar +
         std::string(width - bar.size(), ' ') + "| " + pct;
}

TEST(DrawProgressBar, DrawsOrClears) {
  const struct {
    const char* label;
    float value;
    std::string expected;
  } cases[] = {
      {kLabel.c_str(), 50.0f, Bar(kLabel, std::string(26, '=') + "-", 53, "50%")},
      {kLabel.c_str(), 0.0f, Bar(kLabel, "", 53, " 0%")},
      {kLabel.c_str(), 99.99f, Bar(kLabel, std::string(52, '=') + "-", 53, "99%")},
      {kLabel.c_str(), 100.0f, kClearLine},
      {kLabel.c_str(), -0.5f, kClearLine},
      {kLabel.c_str(), std::nanf(""), kClearLine},
      {"", 50.0f, Bar("", std::string(37, '='), 74, "50%")},
  };
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
    EXPECT_EQ(line.substr(line.size() - 5), percent) << value;
  }
}

TEST(ProgressValue, FollowsThePositionInTheRunsOwnFile) {
  const struct {
    int from, to;
    int64_t position, size;
    float expected;
  } cases[] = {
      {0, 100, 500, 1000, 50.0f}, {50, 100, 5, 10, 75.0f},  // a small second file fills its half
      {50, 100, 10, 10, 100.0f},  {100, 100, 0, 1000, 100.0f},   {20, 40, 0, 0, 20.0f},
      {0, 50, 2000, 1000, 50.0f}, {90, 120, 1000, 1000, 100.0f},
  };
  for (const auto& c : cases) {
    EXPECT_FLOAT_EQ(ProgressValue(c.from, c.to, c.position, c.size), c.expected)
        << c.from << ".." << c.to << " at " << c.position << "/" << c.size;
  }
}

TEST(UpdateProgressBar, RedrawsOncePerWholePercentAcrossFiles) {
  const std::string out = CaptureOn([](FILE* f) {
    ProgressBar bar{f};
    // First file (1000 bytes) owns 0..50, second file (10 bytes) owns 50..100.
    for (int64_t pos = 0; pos <= 1000; ++pos) UpdateProgressBar(&bar, 0, 50, pos, 1000);
    for (int64_t pos = 0; pos <= 10; ++pos) UpdateProgressBar(&bar, 50, 100, pos, 10);
  });
  // 50 bars in the first file, 55..95 in steps of 5, the clearing at 100 (two
  // carriage returns).
  EXPECT_EQ(std::count(out.begin(), out.end(), '\r'), 50 + 9 + 2);
  EXPECT_NE(out.find("| 75%"), std::string::npos);
  EXPECT_TRUE(out.ends_with(kClearLine));
}

// A walk over the blocks of a file moves the bar in its range [from, to).
TEST(UpdateProgressBar, EachFileFillsItsOwnShare) {
  test::ScopedTempDir dir("progress");
  std::vector<uint8_t> large, small;
  for (int i = 0; i < 10; ++i) test::Append(&large, test::QdxBlockWriter(4027, 0, i, 2000, 100));
  test::Append(&small, test::QdxBlockWriter(4027, 0, 0, 2000, 100));
  ASSERT_TRUE(test::WriteFileBytes(dir / "large.qdx", large));
  ASSERT_TRUE(test::WriteFileBytes(dir / "small.qdx", small));
  const std::string out = CaptureOn([&](FILE* f) {
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
  EXPECT_NE(out.find("| 50%"), std::string::npos);
  EXPECT_EQ(out.find("| 55%"), std::string::npos);  // the small file's one block ends the run
  EXPECT_TRUE(out.ends_with(kClearLine));
}

TEST(CheckReadable, ReportsWhyOnStderr) {
  test::ScopedTempDir dir("file_io");
  ASSERT_TRUE(test::WriteFileBytes(dir / "present.qdx", {1, 2, 3}));
  const std::string long_name = dir / std::string(300, 'n');
  const std::string cannot = "The input QDX file \"";
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {dir / "present.qdx", ""},
      {"x", cannot + "x\" could not be opened for reading: No such file or directory\n"},
      {dir.path(), cannot + dir.path() + "\" could not be opened for reading: Is a directory\n"},
      {long_name, (cannot + long_name).substr(0, 254) + ": File name too long\n"},
  };
  for (const auto& c : cases) {
    bool result = false;
    EXPECT_EQ(CaptureStderr([&] { result = CheckReadable(c.path.c_str(), "input QDX"); }),
              c.message);
    EXPECT_EQ(result, c.message.empty()) << c.path;
  }
}

}  // namespace
}  // namespace kavrino

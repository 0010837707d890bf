#include "app/progress_bar.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "convert/progress.h"
#include "qdx/block.h"
#include "qdx/encode/qdx_writer.h"
#include "qdx/reader.h"

namespace kavrino {
namespace {

// Runs fn with the file descriptor of `stream` redirected into a temporary
// file and returns what was written to it.
template <typename Fn>
std::string Capture(FILE* stream, Fn fn) {
  std::fflush(stream);
  const int fd = fileno(stream);
  const int saved = dup(fd);
  FILE* sink = std::tmpfile();
  dup2(fileno(sink), fd);
  fn();
  std::fflush(stream);
  dup2(saved, fd);
  close(saved);
  std::string text;
  std::rewind(sink);
  for (int c; (c = std::fgetc(sink)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(sink);
  return text;
}

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

const std::string kClearLine = std::string("\r").append(80, ' ').append("\r");

std::string Bar(const std::string& label, const std::string& bar, int width, const char* pct) {
  return "\r" + label + (label.empty() ? "" : " ") + "|" + bar +
         std::string(width - bar.size(), ' ') + "| " + pct;
}

TEST(DrawProgressBar, DrawsOrClears) {
  const std::string label = "Creating RINEX file:";
  struct Case {
    const char* label;
    float value;
    std::string expected;
  } cases[] = {
      {label.c_str(), 50.0f, Bar(label, std::string(26, '=') + "-", 53, "50%")},
      {label.c_str(), 0.0f, Bar(label, "", 53, " 0%")},
      {label.c_str(), 99.99f, Bar(label, std::string(52, '=') + "-", 53, "99%")},
      {label.c_str(), 100.0f, kClearLine},
      {label.c_str(), -0.5f, kClearLine},
      {label.c_str(), std::nanf(""), kClearLine},
      {"", 50.0f, Bar("", std::string(37, '='), 74, "50%")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CaptureOn([&](FILE* out) { DrawProgressBarOn(out, c.label, c.value); }), c.expected)
        << "value " << c.value;
  }
}

TEST(DrawProgressBar, LineIsAlwaysEightyColumns) {
  for (int tenth = 0; tenth < 1000; ++tenth) {
    const float value = static_cast<float>(tenth) / 10.0f;
    const std::string line =
        CaptureOn([&](FILE* out) { DrawProgressBarOn(out, "Creating RINEX file:", value); });
    ASSERT_EQ(line.size(), 81u) << value;
    char percent[8];
    std::snprintf(percent, sizeof percent, "| %2d%%", static_cast<int>(value));
    EXPECT_EQ(line.substr(line.size() - 5), percent) << value;
  }
}

TEST(ProgressValue, FollowsThePositionInTheRunsOwnFile) {
  struct Case {
    int from, to;
    int64_t position, size;
    float expected;
  } cases[] = {
      {0, 100, 500, 1000, 50.0f}, {50, 100, 5, 10, 75.0f},  // a small second file fills its half
      {50, 100, 10, 10, 100.0f},  {100, 100, 0, 1000, 100.0f},   {20, 40, 0, 0, 20.0f},
      {0, 50, 2000, 1000, 50.0f}, {90, 120, 1000, 1000, 100.0f},
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(ProgressValue(c.from, c.to, c.position, c.size), c.expected)
        << c.from << ".." << c.to << " at " << c.position << "/" << c.size;
  }
}

TEST(UpdateProgressBar, RedrawsOncePerWholePercentAcrossFiles) {
  std::string out = CaptureOn([](FILE* f) {
    ProgressBar bar{f};
    // First file (1000 bytes) owns 0..50, second file (10 bytes) owns 50..100.
    for (int64_t pos = 0; pos <= 1000; ++pos) UpdateProgressBar(&bar, 0, 50, pos, 1000);
    for (int64_t pos = 0; pos <= 10; ++pos) UpdateProgressBar(&bar, 50, 100, pos, 10);
  });
  int draws = 0;
  for (char c : out) draws += c == '\r';
  // 50 bars in the first file, then 55..95 in steps of 5, then the clearing at
  // 100 (two carriage returns).
  EXPECT_EQ(draws, 50 + 9 + 2);
  EXPECT_NE(out.find("| 75%"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - kClearLine.size()), kClearLine);
}

// Walks every block of a file, moving the bar in the range [from, to).
void WalkWithProgress(const std::string& path, ProgressBar* bar, int from, int to) {
  QdxReader reader;
  InitQdxReader(path.c_str(), &reader);
  const ProgressSink sink = ProgressBarSink(bar);
  BlockWalk walk;
  StartBlockWalk(&walk, &reader, &sink, {from, to});
  while (NextWalkBlock(&walk) != nullptr) {
  }
  CloseQdxReader(&reader);
}

TEST(UpdateProgressBar, EachFileFillsItsOwnShare) {
  const std::string dir = test::MakeTempDir("progress");
  std::vector<uint8_t> large, small;
  for (int i = 0; i < 10; ++i) test::Append(&large, test::QdxBlockWriter(4027, 0, i, 2000, 100));
  test::Append(&small, test::QdxBlockWriter(4027, 0, 0, 2000, 100));
  ASSERT_TRUE(test::WriteFileBytes(dir + "/large.qdx", large));
  ASSERT_TRUE(test::WriteFileBytes(dir + "/small.qdx", small));
  const std::string out = CaptureOn([&](FILE* f) {
    ProgressBar bar{f};
    WalkWithProgress(dir + "/large.qdx", &bar, 0, 50);
    WalkWithProgress(dir + "/small.qdx", &bar, 50, 100);
  });
  EXPECT_NE(out.find("| 50%"), std::string::npos);
  // The one block of the small file completes the run: the line is cleared.
  EXPECT_EQ(out.find("| 55%"), std::string::npos);
  ASSERT_GE(out.size(), kClearLine.size());
  EXPECT_EQ(out.substr(out.size() - kClearLine.size()), kClearLine);
}

class FileOpenTest : public ::testing::Test {
 protected:
  std::string dir_ = test::MakeTempDir("file_io");
};

TEST_F(FileOpenTest, CheckReadableReportsWhyOnStderr) {
  const std::string present = dir_ + "/present.qdx";
  ASSERT_TRUE(test::WriteFileBytes(present, {1, 2, 3}));
  const std::string long_name = dir_ + "/" + std::string(300, 'n');
  struct Case {
    std::string path;
    bool readable;
    std::string message;
  } cases[] = {
      {present, true, ""},
      {"x", false,
       "The input QDX file \"x\" could not be opened for reading: No such file or directory\n"},
      {dir_, false,
       "The input QDX file \"" + dir_ + "\" could not be opened for reading: Is a directory\n"},
      {long_name, false,
       ("The input QDX file \"" + long_name).substr(0, 254) + ": File name too long\n"},
  };
  for (const Case& c : cases) {
    bool result = !c.readable;
    EXPECT_EQ(Capture(stderr, [&] { result = CheckReadable(c.path.c_str(), "input QDX"); }),
              c.message);
    EXPECT_EQ(result, c.readable) << c.path;
  }
}

}  // namespace
}  // namespace kavrino

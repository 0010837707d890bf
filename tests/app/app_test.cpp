// The command line (data/options.txt), the usage text and the progress bar.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "app/options.h"
#include "app/progress_bar.h"
#include "convert/progress.h"
#include "qdx/reader.h"
#include "rinex/case_table.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

std::string ReadAll(FILE* f) {
  std::string text;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  std::fclose(f);
  return text;
}

struct Parsed {
  int status = 0;
  RunSettings settings;
  std::string out, err;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "kavrino");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  FILE *out = std::tmpfile(), *err = std::tmpfile();
  Parsed p;
  p.status = ParseCommandLine(static_cast<int>(args.size()), argv.data(), &p.settings, out, err);
  p.out = ReadAll(out);
  p.err = ReadAll(err);
  return p;
}

std::string UsageText() {
  FILE* f = std::tmpfile();
  PrintUsage(f);
  return ReadAll(f);
}

// The settings that differ from the defaults, as words in a fixed order.
std::string Differences(const RunSettings& s) {
  const ConvertOptions& o = s.convert;
  std::string text = "files=", excluded;
  for (const std::string& f : s.input_files) text += (&f == &s.input_files[0] ? "" : ",") + f;
  for (int c = 0; c < 32; ++c) {
    if (IsSystemExcluded(o, static_cast<uint8_t>(c))) excluded += c < 7 ? "GESRCJI"[c] : '?';
  }
  char mask[32];
  std::snprintf(mask, sizeof mask, "mask=0x%llx", static_cast<unsigned long long>(o.signal_mask));
  const std::pair<bool, std::string> words[] = {
      {s.file_types != "O", "types=" + s.file_types},
      {s.product_count != 1, "products=" + std::to_string(s.product_count)},
      {o.version != RinexVersion::k211, o.version == RinexVersion::k304 ? "R3" : "R210"},
      {o.interval_ms != 1, "i=" + std::to_string(o.interval_ms)},
      {o.window.start_ms != kNoStartMs, "b=" + std::to_string(o.window.start_ms)},
      {o.window.end_ms != kNoEndMs, "e=" + std::to_string(o.window.end_ms)},
      {!excluded.empty(), "x=" + excluded},
      {o.signal_mask != ~0ULL, mask},
      {o.antenna != 1, "a=" + std::to_string(o.antenna)},
      {o.moving != MovingEvent::kNever, o.moving == MovingEvent::kAlways ? "mf" : "ma"},
      {o.families != MeasFamilies::kBoth, o.families == MeasFamilies::kClassicOnly ? "-2" : "-3"},
      {!o.naming.output_name.empty(), "out=" + o.naming.output_name},
      {!o.naming.country_code.empty(), "country=" + o.naming.country_code},
      {o.has_receiver_type, "rectype=" + o.receiver_type},
      {!o.comment.empty(), "comment=" + o.comment},
      {o.threads != 0, "threads=" + std::to_string(o.threads)}};
  const std::pair<bool, const char*> flags[] = {
      {s.meteo_requested, "met"},       {s.verbose, "verbose"},     {o.extras.snr, "snr"},
      {o.extras.doppler, "doppler"},    {o.extras.channel, "X"},    {o.comments, "comments"},
      {!o.events, "noevent"},           {o.naming.sequence, "seq"}, {o.naming.long_names, "long"},
      {o.sbas_valid_only, "validonly"}, {o.compact_rinex, "crx"},   {o.gzip_output, "gzip"}};
  for (const auto& [differs, word] : words) text += differs ? " " + word : "";
  for (const auto& [differs, word] : flags) text += differs ? std::string(" ") + word : "";
  return text;
}

// A command line either parses, with nothing on stderr (stdout takes one
// newline with -v), or ends with a status: 0 after what -V and -z print, 3
// with one line naming the cause before the usage text.
TEST(Options, CommandLineTable) {
  const std::string usage = UsageText();
  for (const auto& row : test::ReadCases("app/data/options.txt")) {
    SCOPED_TRACE(row[0]);
    ASSERT_EQ(row.size(), 3u);
    const Parsed p = Parse(test::Words(row[0]));
    if (row[1] == "ok") {
      ASSERT_EQ(p.status, kParseContinue) << p.err;
      EXPECT_EQ(Differences(p.settings), row[2]);
      EXPECT_EQ(p.out, p.settings.verbose ? "\n" : "");
      EXPECT_EQ(p.err, "");
    } else {
      EXPECT_EQ(p.status, std::stoi(row[1]));
      EXPECT_EQ(p.out, row[1] == "0" ? row[2] : "");
      EXPECT_EQ(p.err, row[1] == "0" ? "" : row[2] + "\n" + usage);
    }
  }
}

// Long values kept whole or cut (the G after 199 type letters); -z with its key
// prints the build information.
TEST(Options, LongValuesAndBuildInfo) {
  const std::string n(300, 'n'), o(300, 'o'), y(198, 'y');
  const Parsed p = Parse({"-f", n, "-o", o, "-C", std::string(300, 'c'), "-n", "N" + y + "G"});
  EXPECT_EQ(Differences(p.settings),
            "files=" + n + " types=N" + y + " out=" + o + " comment=" + std::string(240, 'c'));
  const Parsed info = Parse({"-z", "Kv7#zq2mextra"});
  EXPECT_EQ(info.status, 0);
  EXPECT_TRUE(info.out.starts_with("Builder: ")) << info.out;
  EXPECT_NE(info.out.find("\nBuild date: "), std::string::npos);
  EXPECT_NE(info.out.find("\nSource revision: "), std::string::npos);
  EXPECT_EQ(std::count(info.out.begin(), info.out.end(), '\n'), 3);
}

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
  return ReadAll(sink);
}

const std::string kClearLine = "\r" + std::string(80, ' ') + "\r";

TEST(DrawProgressBar, DrawsOrClearsAndFollowsTheValue) {
  for (const auto& row : test::ReadCases("app/data/progress.txt")) {
    SCOPED_TRACE(row[1] + " " + row[2] + " " + row[3]);
    const auto n = [&](size_t i) { return std::stoi(row[i]); };
    if (row[0] == "draw") {
      EXPECT_EQ(
          CaptureOn([&](FILE* f) { DrawProgressBarOn(f, row[1].c_str(), std::stof(row[2])); }),
          row[3]);
    } else {
      EXPECT_FLOAT_EQ(ProgressValue(n(1), n(2), n(3), n(4)), std::stof(row[5]));
    }
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
  std::string large;
  for (int i = 0; i < 10; ++i) large += "4027 " + std::to_string(i) + " 2000 100;";
  ASSERT_TRUE(test::WriteFileBytes(dir / "large.qdx", test::Blocks(large)) &&
              test::WriteFileBytes(dir / "small.qdx", test::Blocks("4027 0 2000 100")));
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

// A name too long for the message is cut (a missing file and a folder: the
// command-line table of tests/e2e).
TEST(CheckReadable, ReportsWhyOnStderr) {
  test::ScopedTempDir dir("file_io");
  ASSERT_TRUE(test::WriteFileBytes(dir / "present.qdx", {1, 2, 3}));
  const std::string long_name = dir / std::string(300, 'n');
  for (const auto& [path, message] :
       {std::pair<std::string, std::string>{dir / "present.qdx", ""},
        {long_name,
         ("The input QDX file \"" + long_name).substr(0, 254) + ": File name too long\n"}}) {
    bool result = false;
    EXPECT_EQ(CaptureOn([&](FILE*) { result = CheckReadable(path.c_str(), "input QDX"); }, true),
              message);
    EXPECT_EQ(result, message.empty()) << path;
  }
}

}  // namespace
}  // namespace kavrino

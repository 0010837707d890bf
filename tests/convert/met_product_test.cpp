// The meteorological file generator on hand-built files and on a generated log.
#include "convert/met_product.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "rinex/case_table.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

constexpr uint16_t kWeek = 2305;     // 2024-03-10 is a Sunday of week 2305
constexpr uint32_t kTen = 36000000;  // 10:00:00
constexpr size_t kHeaderBytes = 9 * 81;

// Makes the meteorological file of `input`: 0 written, 2 no data, 1 failed.
int Meteo(const std::string& input, uint32_t interval_ms, int64_t start_ms,
          const std::string& output, bool long_names, RinexVersion version) {
  ConvertOptions options;
  options.interval_ms = interval_ms;
  options.window.start_ms = start_ms;
  options.naming.output_name = output;
  options.naming.long_names = long_names;
  options.version = version;
  ConvertJob job;
  job.options = &options;
  job.input = input;
  job.input_name = input;
  ProgressTrack progress;
  const ProductStatus status = MakeMeteoFile(job, &progress);
  return status.result == ProductResult::kWritten  ? 0
         : status.result == ProductResult::kNoData ? 2
                                                   : 1;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The file without the date it was made on (its second line).
std::string Undated(const std::string& path) {
  std::string text = test::ReadFileText(path);
  const size_t line2 = text.find('\n') + 1;
  return text.replace(line2, 60, std::string(60, '~'));
}

TEST(MetFile, HandBuiltFile) {
  test::ScopedTempDir dir("met");
  const auto texts = test::ReadGoldens("convert/data/met_files.txt");
  std::vector<uint8_t> file = test::Blocks(texts.at("blocks"));
  ASSERT_TRUE(test::WriteFileBytes(dir / "in.qdx", file));
  ASSERT_EQ(Meteo(dir / "in.qdx", 30000, kTen, dir / "out.m", false, RinexVersion::k211), 0);
  EXPECT_EQ(Undated(dir / "out.m"), texts.at("2.11 from 10:00, 30 s"));
  ASSERT_EQ(Meteo(dir / "in.qdx", 30000, kTen, dir / "out.m", false, RinexVersion::k304), 0);
  EXPECT_EQ(Undated(dir / "out.m"), texts.at("3.04 from 10:00, 30 s"));
  test::Append(&file, test::Blocks(texts.at("later setup")));
  ASSERT_TRUE(test::WriteFileBytes(dir / "in.qdx", file));
  ASSERT_EQ(Meteo(dir / "in.qdx", 1, -1, dir / "out.m", false, RinexVersion::k211), 0);
  EXPECT_EQ(Undated(dir / "out.m"), texts.at("2.11, every sentence"));
  // No usable sentence: no file.
  ASSERT_TRUE(test::WriteFileBytes(dir / "none.qdx", test::Blocks(texts.at("no usable sentence"))));
  EXPECT_EQ(Meteo(dir / "none.qdx", 1, -1, dir / "none.m", false, RinexVersion::k211), 2);
  EXPECT_FALSE(std::filesystem::exists(dir / "none.m"));
}

// One record as the truth file's weather values give it; the generated log
// below lies on Sunday 2024-03-10, so the time of week is the time of day.
std::string ExpectedRecord(long long tow_ms, double p, double t, double h) {
  const long long s = (tow_ms + 500) / 1000;
  char line[64];
  std::snprintf(line, sizeof line, " 24  3 10%3lld%3lld%3lld%7.1f%7.1f%7.1f", s / 3600, s / 60 % 60,
                s % 60, p * 1000, t, h);
  return line;
}

TEST(MetFile, GeneratedLogMatchesTruth) {
  test::ScopedTempDir dir("met_gen");
  const std::string input = dir / "gen.qdx";
  const std::string command = std::string(KAVRINO_BINARY_DIR "/qdxgen") + " -o " + input +
                              " --start '2024-03-10 10:00:00' --duration 1800 --interval 30" +
                              " --systems G --no-nav --weather-interval 60 --seed 7";
  ASSERT_EQ(std::system((command + " > /dev/null").c_str()), 0);

  std::vector<std::string> expected;
  double rx = 0, ry = 0, rz = 0;
  std::istringstream truth(test::ReadFileText(input + ".truth"));
  for (std::string line; std::getline(truth, line);) {
    std::istringstream fields(line);
    std::string tag;
    fields >> tag;
    if (tag == "RECEIVER") fields >> rx >> ry >> rz;
    if (tag != "MET") continue;
    long long week, tow;
    double p, t, h;
    fields >> week >> tow >> p >> t >> h;
    EXPECT_EQ(week, kWeek);
    expected.push_back(ExpectedRecord(tow, p, t, h));
  }
  ASSERT_GE(expected.size(), 30u);

  // Named like any product, in the current directory.
  struct Cwd {  // back to the previous folder before the folder is removed
    std::filesystem::path old = std::filesystem::current_path();
    ~Cwd() { std::filesystem::current_path(old); }
  } cwd;
  std::filesystem::current_path(dir.path());
  ASSERT_EQ(Meteo(input, 1, -1, "", false, RinexVersion::k211), 0);
  const std::string text = test::ReadFileText("KVRN0700.24M");
  // Long names measure the span: 30 minutes of data plus one measurement interval.
  EXPECT_EQ(Meteo(input, 1, -1, "", true, RinexVersion::k304), 0);
  EXPECT_TRUE(std::filesystem::exists("KVRN00CHE_R_20240701000_30M_MM.rnx"));

  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 9 + expected.size());
  EXPECT_EQ(text.find("END OF HEADER"), kHeaderBytes - 21);
  EXPECT_EQ(lines[2].substr(0, 5), "KVRN ");
  EXPECT_EQ(lines[4].substr(0, 40), "KVR-MET3            WEATHER             ");
  double x = 0, y = 0, z = 0;
  ASSERT_EQ(std::sscanf(lines[7].c_str(), "%lf %lf %lf", &x, &y, &z), 3);
  EXPECT_LT(std::hypot(x - rx, y - ry, z - rz), 50.0);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[9 + i], expected[i]) << i;
}

}  // namespace
}  // namespace kavrino

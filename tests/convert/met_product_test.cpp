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

using test::QdxBlockWriter;

constexpr uint16_t kWeek = 2305;     // 2024-03-10 is a Sunday of week 2305
constexpr uint32_t kTen = 36000000;  // 10:00:00
constexpr size_t kHeaderBytes = 9 * 81;

std::vector<uint8_t> SensorText(uint32_t tow, const std::string& model, const std::string& text,
                                uint16_t declared, size_t length) {
  QdxBlockWriter b(4075, 0, tow, kWeek, length);
  b.U16(18, declared).Text(20, model, 20).Text(40, "WEATHER", 20);
  if (length > 80) b.Text(80, text, length - 80);
  return b.Finish();
}

std::vector<uint8_t> SensorText(uint32_t tow, const std::string& model, const std::string& text) {
  return SensorText(tow, model, text, static_cast<uint16_t>(text.size()), 80 + text.size());
}

std::vector<uint8_t> SetupBlock(uint8_t revision, uint32_t tow, const std::string& marker,
                                float h) {
  QdxBlockWriter b(5902, revision, tow, 0xFFFF, 424);
  b.Text(16, marker, 60).F64(368, 0.0).F64(376, 0.0).F32(384, h);
  if (tow != 0xFFFFFFFFu) b.U16(12, kWeek);
  return b.Finish();
}

std::vector<uint8_t> Fix(uint16_t number, uint32_t tow, double a, double b, double c) {
  return QdxBlockWriter(number, 0, tow, kWeek, 48).F64(16, a).F64(24, b).F64(32, c).Finish();
}

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
  const std::string input = dir / "in.qdx";
  const std::string long_text = "$WIXDR,C,10.0,C,T,H,11.0,P,RH,H,99.0,P,X";
  std::vector<uint8_t> file;
  for (const auto& block : {
           SetupBlock(4, kTen - 10000, "SITE", 100.0f),            // reference position: X 6378237
           SensorText(kTen - 10000, "EARLY", "$WIXDR,C,1.0,C,T"),  // before the window
           SensorText(kTen, "FIRST", "$WIXDR,C,21.5,C,TEMP,P,1.0132,B,BARO,H,45.0,P,RH*3A"),
           Fix(4006, kTen + 400, 6378187.0, 0.0, 0.0),  // height 50 on the equator
           SensorText(kTen + 499, "FIRST", "$WIXDR,P,101320,P,BARO*1F"),  // same second
           SensorText(kTen + 15000, "OFFGRID", "$WIXDR,C,2.0,C,T"),
           SensorText(kTen + 30000, "SECOND", long_text),
           // Declares the length of the text before it, but the block ends after
           // 29 characters: the text is cut at the block end.
           SensorText(kTen + 60000, "KVR-MET3", "$WIXDR,C,20.0,C,T,H,45.0,P,RH",
                      static_cast<uint16_t>(long_text.size()), 80 + 29),
           SensorText(kTen + 90000, "SHORT", "", 20, 60),  // no room for a text
           SensorText(kTen + 120000, "WIND", "$WIMWV,120.0,R,2.5,M,A*00"),
           Fix(4007, kTen + 120000, -2e10, -2e10, -2e10),  // not available
           Fix(4006, kTen + 120000, 1e12, 0.0, 0.0),       // cannot be written
           SetupBlock(3, kTen + 150000, "OLD", 300.0f),    // revision 3: no position
       }) {
    test::Append(&file, block);
  }
  ASSERT_TRUE(test::WriteFileBytes(input, file));
  const auto goldens = test::ReadGoldens("convert/data/met_files.txt");
  ASSERT_EQ(Meteo(input, 30000, kTen, dir / "out.m", false, RinexVersion::k211), 0);
  EXPECT_EQ(Undated(dir / "out.m"), goldens.at("2.11 from 10:00, 30 s"));
  ASSERT_EQ(Meteo(input, 30000, kTen, dir / "out.m", false, RinexVersion::k304), 0);
  EXPECT_EQ(Undated(dir / "out.m"), goldens.at("3.04 from 10:00, 30 s"));
  // A reference position counts whatever its time stamp; the first setup block
  // keeps the marker name.
  test::Append(&file, SetupBlock(4, 0xFFFFFFFFu, "LATER", 200.0f));
  ASSERT_TRUE(test::WriteFileBytes(input, file));
  ASSERT_EQ(Meteo(input, 1, -1, dir / "out2.m", false, RinexVersion::k211), 0);
  EXPECT_EQ(Undated(dir / "out2.m"), goldens.at("2.11, every sentence"));
}

TEST(MetFile, NoUsableSentenceMakesNoFile) {
  test::ScopedTempDir dir("met_none");
  const std::string input = dir / "in.qdx";
  std::vector<uint8_t> file;
  test::Append(&file, Fix(4006, kTen, 6378187.0, 0.0, 0.0));
  test::Append(&file, SensorText(kTen, "WIND", "$WIMWV,120.0,R,2.5,M,A*00"));
  test::Append(&file, SensorText(kTen + 1000, "T", "$WIXDR,C,21.5,K,TEMP"));
  ASSERT_TRUE(test::WriteFileBytes(input, file));
  const std::string output = dir / "out.m";
  EXPECT_EQ(Meteo(input, 1, -1, output, false, RinexVersion::k211), 2);
  EXPECT_FALSE(std::filesystem::exists(output));
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

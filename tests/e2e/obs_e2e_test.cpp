// End to end: QDX files built here, converted by the kavrino executable, the
// observation files compared whole with reviewed expected files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/meas_blocks.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;
using test::QdxBlockWriter;

constexpr uint16_t kWeek = 2300;

QdxBlockWriter SetupBlock(uint32_t tow_ms, const std::string& marker) {
  QdxBlockWriter w(5902, 4, tow_ms, kWeek, 424);
  w.Text(16, marker, 60).Text(76, "T-1", 20).Text(96, "Tester", 20).Text(116, "Lab", 40);
  w.Text(156, "SN42", 20).Text(176, "QX-5", 20).Text(196, "1.0", 20);
  w.Text(216, "AS7", 20).Text(236, "ANT-X", 20).F32(256, 1.5f);
  w.Text(268, "Unknown", 20).Text(328, "QX-5 Pro", 40);
  w.F64(368, 0.8).F64(376, 0.1).F32(384, 500.0f);  // reference position
  w.Text(388, "TST1", 10).Text(400, "CHE", 3);
  return w;
}

// GPS 5 (L1 C/A + L2C), GLONASS slot 1 (k = +1, L1 C/A) and Galileo 1 (E1 + E5a).
QdxBlockWriter EpochBlock(uint32_t tow_ms, uint32_t step) {
  test::MainSub gps;
  gps.range_low = 123456789 + step * 100;
  gps.extras.push_back({});
  test::MainSub glo;
  glo.channel = 2, glo.svid = 38, glo.type = 8, glo.info = 9 << 3;
  glo.range_low = 987654321 + step * 50;
  test::MainSub gal;
  gal.channel = 3, gal.svid = 71, gal.type = 17, gal.range_low = 555555555 + step * 70;
  test::ExtraSub e5a;
  e5a.type = 20, e5a.code_low = 2500, e5a.cn0 = 120;
  gal.extras.push_back(e5a);
  test::ChannelBlockShape shape;
  shape.tow_ms = tow_ms;
  return test::ChannelBlock({gps, glo, gal}, shape);
}

std::vector<uint8_t> BuildFile() {
  std::vector<uint8_t> file;
  test::Append(&file, SetupBlock(344000, "TEST"));
  test::Append(&file, QdxBlockWriter(4007, 0, 345000, kWeek, 56)
                          .F64(16, 0.8)
                          .F64(24, 0.1)
                          .F64(32, 500.0)
                          .F32(44, 0.0f)
                          .F32(48, 0.0f)
                          .F32(52, 0.0f));
  test::Append(&file, EpochBlock(345000, 0));
  const std::string comment = "Tripod checked";
  test::Append(&file, QdxBlockWriter(5936, 0, 345500, kWeek, 16)
                          .U16(14, static_cast<uint16_t>(comment.size()))
                          .Text(16, comment, comment.size()));
  test::Append(&file, EpochBlock(346000, 1));
  test::Append(&file, QdxBlockWriter(5924, 0, 346200, kWeek, 20).U8(14, 1).F32(16, 0.00025f));
  test::Append(&file, QdxBlockWriter(4106, 0, 346500, kWeek, 28).U32(16, 0).U32(20, 77));
  test::Append(&file, SetupBlock(347000, "MOVED"));
  test::Append(&file, EpochBlock(347000, 2));
  return file;
}

struct GoldenCase {
  const char* args;
  const char* output;
  const char* expected;
};

TEST(ObservationFile, MatchesExpectedText) {
  const GoldenCase cases[] = {
      {"-f in.qdx -c", "TST10350.24O", "obs_basic_211.rnx"},
      {"-f in.qdx -c -R3 -s -D", "TST10350.24O", "obs_basic_304.rnx"},
      {"-f in.qdx -R210 -noevent -nO", "TST10350.24O", "obs_basic_210.rnx"},
  };
  for (const GoldenCase& c : cases) {
    const std::string dir = test::MakeTempDir("obs_e2e");
    ASSERT_TRUE(test::WriteFileBytes(dir + "/in.qdx", BuildFile()));
    EXPECT_EQ(test::Kavrino(dir, c.args).status, 0) << c.args;
    ASSERT_TRUE(fs::exists(dir + "/" + c.output)) << c.args;
    const std::string actual = test::MaskRunDate(test::ReadFileText(dir + "/" + c.output));
    const std::string expected_path =
        std::string(KAVRINO_SOURCE_DIR "/tests/e2e/data/") + c.expected;
    if (std::getenv("KAVRINO_UPDATE_EXPECTED"))
      test::WriteFileBytes(expected_path, {actual.begin(), actual.end()});
    EXPECT_EQ(actual, test::ReadFileText(expected_path)) << c.args;
    fs::remove_all(dir);
  }
}

TEST(ObservationFile, NothingSelectedWritesNoFile) {
  const std::string dir = test::MakeTempDir("obs_e2e");
  ASSERT_TRUE(test::WriteFileBytes(dir + "/in.qdx", BuildFile()));
  struct {
    const char* args;
  } cases[] = {{"-f in.qdx -b 23:00:00"}, {"-f in.qdx -xGRE"}, {"-f in.qdx -I SBSL1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(test::Kavrino(dir, c.args).status, 2) << c.args;
    EXPECT_FALSE(fs::exists(dir + "/TST10350.24O")) << c.args;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kavrino

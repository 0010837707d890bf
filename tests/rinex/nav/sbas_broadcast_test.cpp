#include "rinex/nav/sbas_broadcast.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "convert/nav_walks.h"
#include "core/rinex_version.h"
#include "qdx/block_numbers.h"
#include "qdx/encode/qdx_writer.h"
#include "qdx/reader.h"
#include "rinex/case_table.h"
#include "support/capture.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

using test::QdxBlockWriter;

constexpr int64_t kNoon = 1394107200;  // 2024-03-10 12:00:00 GPS, a multiple of 3
constexpr uint16_t kWeek = 2305;
constexpr uint32_t kNoonTowMs = 43200000;

const uint32_t kWords[8] = {0x53240011, 0x22334455, 0x66778899, 0xAABBCCDD,
                            0xEEFF0102, 0x03040506, 0x0708090A, 0x12345678};

// The hand-worked record, the message type (its bits depend on the preamble of
// L5 messages) and the seconds field of records, the header: against
// data/sbas_broadcast.txt.
TEST(SbasBroadcast, RecordsAndHeader) {
  const struct {
    const char* name;
    int64_t seconds;
    uint32_t sat, first_word;
    bool l5;
  } cases[] = {
      {"hand-worked", kNoon, 126, 0, false},
      {"L5, the L1 preamble of the second: bits 23..18", kNoon + 1, 7, 0x9A5C0000, true},
      {"L5, another preamble: bits 27..22", kNoon + 1, 7, 0x535C0000, true},
      {"L5, preamble 0xC6 at k = 2", kNoon + 2, 7, 0xC6FC0000, true},
      {"L1: always bits 23..18", kNoon + 1, 7, 0x535C0000, false},
      {"L1, 59 s", kNoon + 59, 7, 0x00000000, false},
  };
  const auto goldens = test::ReadGoldens("rinex/nav/data/sbas_broadcast.txt");
  for (const auto& c : cases) {
    uint32_t words[8] = {c.first_word};
    if (c.first_word == 0 && c.seconds == kNoon) std::copy(kWords, kWords + 8, words);
    const std::string text = test::CaptureWrites([&](OutStream* f) {
      WriteSbasBroadcastRecord(f, c.seconds, c.l5 ? '5' : '1', c.sat, words, c.l5);
    });
    test::Dump(c.name, text);
    EXPECT_EQ(text, goldens.count(c.name) ? goldens.at(c.name) : "?") << c.name;
  }
  ReceiverSetupRecord setup;
  SetReceiverSetupDefaults(&setup);
  std::memcpy(setup.bytes + kSetupReceiverSerial.offset, "SN-4711", 7);
  const std::string header = test::CaptureWrites([&](OutStream* f) {
    WriteSbasBroadcastHeader(f, setup, CalendarTime{2024, 15, 3, 9, 7, 5.0}, "kavrino-13.4.3");
  });
  test::Dump("header", header);
  EXPECT_EQ(header, goldens.count("header") ? goldens.at("header") : "?");
}

constexpr bool FLAG_SBAS_VALID_ONLY = true;

// Runs the walk over a file image; returns its status (0 records, 2 none) and
// the output text.
int RunGenerator(const std::string& path, bool valid_only, int64_t start_ms, int64_t end_ms,
                 std::string* text) {
  QdxReader reader;
  InitQdxReader(path.c_str(), &reader);
  ConvertOptions options;
  options.sbas_valid_only = valid_only;
  NavPass pass;
  pass.options = &options;
  pass.reader = &reader;
  pass.window = {start_ms, end_ms};
  int status = 2;
  *text = test::CaptureWrites([&](OutStream* out) {
    pass.out = out;
    status = RunNavWalk(&pass, NavRun::kSbasBroadcast) ? 0 : 2;
  });
  CloseQdxReader(&reader);
  return status;
}

QdxBlockWriter RawBlock(uint16_t number, uint32_t tow_ms, uint8_t svid, uint8_t crc_ok) {
  const bool legacy = number == kSbasRawLegacyBlock;
  QdxBlockWriter w(number, 0, tow_ms, kWeek, legacy ? 48 : 52);
  w.U8(14, svid);
  if (!legacy) w.U8(15, crc_ok);
  for (size_t i = 0; i < 8; ++i) w.U32((legacy ? 16 : 20) + 4 * i, kWords[i]);
  return w;
}

std::vector<std::string> RecordStarts(const std::string& text) {
  std::vector<std::string> starts;
  std::istringstream lines(text);
  std::string line;
  for (int i = 0; std::getline(lines, line); ++i) {
    if (i % 3 == 0) starts.push_back(line.substr(0, 27));
  }
  return starts;
}

TEST(SbasBroadcastGenerator, SelectsBlocksAndSkipsDamaged) {
  std::vector<uint8_t> file;
  const uint32_t t = kNoonTowMs + 1000;  // message starts at 12:00:00
  test::Append(&file, RawBlock(kSbasRawL1Block, t, 126, 1));
  test::Append(&file, RawBlock(kSbasRawL1Block, t, 127, 0));  // failed CRC
  test::Append(&file, RawBlock(kSbasRawL5Block, t + 1000, 128, 1));
  test::Append(&file, RawBlock(kSbasRawLegacyBlock, t + 2000, 200, 0));  // sat byte kept
  test::Append(&file, RawBlock(kSbasRawL1Block, t, 129, 1).Resize(48));  // words cut off
  test::Append(&file, RawBlock(kSbasRawLegacyBlock, t, 130, 0).Resize(44));
  test::Append(&file, QdxBlockWriter(kSbasRawL1Block, 0, 0xFFFFFFFFu, kWeek, 52));  // no time
  test::Append(&file, RawBlock(kSbasRawL1Block, t + 3600000, 131, 1));  // after the window
  test::Append(&file, RawBlock(5896, t, 132, 1));                       // another block
  test::ScopedTempDir dir("sbas_broadcast");
  const std::string path = dir / "mixed.qdx";
  ASSERT_TRUE(test::WriteFileBytes(path, file));

  // Window 12:00:00 .. 12:30:00 given as times of day.
  const int64_t start = 12 * 3600000LL, end = start + 1800000;
  std::string text;
  EXPECT_EQ(RunGenerator(path, false, start, end, &text), 0);
  EXPECT_EQ(RecordStarts(text), (std::vector<std::string>{
                                    "126 24 03 10 12 00  0.1  L1", "127 24 03 10 12 00  0.1  L1",
                                    "128 24 03 10 12 00  1.1  L5", "200 24 03 10 12 00  2.1  L1"}));
  EXPECT_EQ(RunGenerator(path, FLAG_SBAS_VALID_ONLY, start, end, &text), 0);
  EXPECT_EQ(RecordStarts(text),
            (std::vector<std::string>{"126 24 03 10 12 00  0.1  L1", "128 24 03 10 12 00  1.1  L5",
                                      "200 24 03 10 12 00  2.1  L1"}));
  // Nothing inside the window: status 2 and no output.
  EXPECT_EQ(RunGenerator(path, false, start + 7200000, end + 7200000, &text), 2);
  EXPECT_EQ(text, "");
}

// CRC-24Q over the first 226 message bits against bits 226..249 of a record.
bool RecordCrcPasses(const std::string& line2, const std::string& line3) {
  std::vector<uint8_t> bytes;
  std::istringstream hex(line2.substr(6) + line3.substr(6));
  std::string b;
  while (hex >> b) bytes.push_back(static_cast<uint8_t>(std::strtoul(b.c_str(), nullptr, 16)));
  if (bytes.size() != 32) return false;
  auto bit = [&](int i) { return (bytes[i / 8] >> (7 - i % 8)) & 1; };
  uint32_t crc = 0;
  for (int i = 0; i < 226; ++i) {
    crc ^= static_cast<uint32_t>(bit(i)) << 23;
    crc = (crc << 1) ^ ((crc & 0x800000) ? 0x1864CFB : 0);
    crc &= 0xFFFFFF;
  }
  uint32_t sent = 0;
  for (int i = 226; i < 250; ++i) sent = (sent << 1) | static_cast<uint32_t>(bit(i));
  return crc == sent;
}

TEST(SbasBroadcastGenerator, GeneratedFileMatchesTruth) {
  test::ScopedTempDir dir("sbas_broadcast_gen");
  const std::string path = dir / "gen.qdx";
  std::string command = std::string(KAVRINO_BINARY_DIR "/qdxgen") + " -o " + path +
                        " --seed 7 --systems G,S --interval 1 --duration 300 --no-nav"
                        " --no-weather > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);

  // Every tracked SBAS satellite sends one L1 message a second, and one L5
  // message when it has the L5 signal.
  std::map<std::string, int> per_second;
  int expected = 0;
  std::ifstream truth(path + ".truth");
  std::string line;
  while (std::getline(truth, line)) {
    std::istringstream in(line);
    std::string kind, name;
    in >> kind >> name;
    if (kind == "SAT" && name[0] == 'S') {
      per_second[name] = line.find("SBSL5") != std::string::npos ? 2 : 1;
    } else if (kind == "SV" && name[0] == 'S') {
      expected += per_second[name];
    }
  }
  ASSERT_GT(expected, 0);

  struct Count {
    int records = 0;
    int crc_passed = 0;
  };
  auto count = [](const std::string& text) {
    Count c;
    std::istringstream lines(text);
    std::string l1, l2, l3;
    while (std::getline(lines, l1) && std::getline(lines, l2) && std::getline(lines, l3)) {
      ++c.records;
      if (RecordCrcPasses(l2, l3)) ++c.crc_passed;
    }
    return c;
  };
  std::string text;
  ASSERT_EQ(RunGenerator(path, false, -1, 0x4000000000000000, &text), 0);
  Count all = count(text);
  EXPECT_EQ(all.records, expected);
  EXPECT_LT(all.crc_passed, all.records);  // about 5% are damaged
  ASSERT_EQ(RunGenerator(path, FLAG_SBAS_VALID_ONLY, -1, 0x4000000000000000, &text), 0);
  Count valid = count(text);
  EXPECT_EQ(valid.records, all.crc_passed);
  EXPECT_EQ(valid.crc_passed, valid.records);
}

}  // namespace
}  // namespace kavrino

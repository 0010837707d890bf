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
#include "rinex/nav/test_blocks.h"
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

// The hand-worked record (the words above), the message type (its bits depend
// on the preamble of L5 messages) and the seconds field of records, the header:
// against data/sbas_broadcast.txt.
TEST(SbasBroadcast, RecordsAndHeader) {
  const auto goldens = test::ReadGoldens("rinex/nav/data/sbas_broadcast.txt");
  for (const auto& row : test::ReadCases("rinex/nav/data/sbas_records.txt")) {
    uint32_t words[8] = {};
    if (row[3] == "hand-worked") std::copy(kWords, kWords + 8, words);
    if (row[3] != "hand-worked") words[0] = static_cast<uint32_t>(std::stoul(row[3], nullptr, 16));
    const bool l5 = row[4] == "L5";
    EXPECT_EQ(test::CaptureWrites([&](OutStream* f) {
                WriteSbasBroadcastRecord(f, kNoon + std::stoi(row[1]), l5 ? '5' : '1',
                                         static_cast<uint32_t>(std::stoul(row[2])), words, l5);
              }),
              goldens.at(row[0]));
  }
  ReceiverSetupRecord setup;
  SetReceiverSetupDefaults(&setup);
  std::memcpy(setup.bytes + kSetupReceiverSerial.offset, "SN-4711", 7);
  EXPECT_EQ(test::CaptureWrites([&](OutStream* f) {
              WriteSbasBroadcastHeader(f, setup, {2024, 15, 3, 9, 7, 5.0}, "kavrino-13.4.3");
            }),
            goldens.at("header"));
}

// The records of the broadcast walk over a file ("" when it writes none).
std::string Walk(const std::string& path, bool valid_only, int64_t start_ms, int64_t end_ms) {
  bool wrote = false;
  const std::string text =
      test::WalkText(path, NavRun::kSbasBroadcast, {start_ms, end_ms}, &wrote, nullptr, valid_only);
  EXPECT_EQ(wrote, !text.empty());
  return text;
}

QdxBlockWriter RawBlock(uint16_t number, uint32_t tow_ms, uint8_t svid, uint8_t crc_ok) {
  const bool legacy = number == kSbasRawLegacyBlock;
  QdxBlockWriter w(number, 0, tow_ms, kWeek, legacy ? 48 : 52);
  w.U8(14, svid).U8(15, legacy ? 0 : crc_ok);
  for (size_t i = 0; i < 8; ++i) w.U32((legacy ? 16 : 20) + 4 * i, kWords[i]);
  return w;
}

TEST(SbasBroadcastWalk, SelectsBlocksAndSkipsDamaged) {
  const uint32_t t = kNoonTowMs + 1000;  // message starts at 12:00:00
  std::vector<uint8_t> file;
  for (const QdxBlockWriter& b :
       {RawBlock(kSbasRawL1Block, t, 126, 1), RawBlock(kSbasRawL1Block, t, 127, 0),  // failed CRC
        RawBlock(kSbasRawL5Block, t + 1000, 128, 1),
        RawBlock(kSbasRawLegacyBlock, t + 2000, 200, 0),  // satellite byte kept
        RawBlock(kSbasRawL1Block, t, 129, 1).Resize(48),  // words cut off
        RawBlock(kSbasRawLegacyBlock, t, 130, 0).Resize(44),
        QdxBlockWriter(kSbasRawL1Block, 0, 0xFFFFFFFFu, kWeek, 52),  // no time
        RawBlock(kSbasRawL1Block, t + 3600000, 131, 1),              // after the window
        RawBlock(5896, t, 132, 1)}) {                                // another block
    test::Append(&file, b);
  }
  test::ScopedTempDir dir("sbas_broadcast");
  ASSERT_TRUE(test::WriteFileBytes(dir / "mixed.qdx", file));
  // Window 12:00:00 .. 12:30:00 given as times of day.
  const int64_t start = 12 * 3600000LL, end = start + 1800000;
  const auto goldens = test::ReadGoldens("rinex/nav/data/sbas_broadcast.txt");
  EXPECT_EQ(Walk(dir / "mixed.qdx", false, start, end), goldens.at("walk"));
  EXPECT_EQ(Walk(dir / "mixed.qdx", true, start, end), goldens.at("walk, valid only"));
  EXPECT_EQ(Walk(dir / "mixed.qdx", false, start + 7200000, end + 7200000), "");
}

// CRC-24Q over the first 226 message bits against bits 226..249 of a record.
bool RecordCrcPasses(const std::string& line2, const std::string& line3) {
  std::vector<uint8_t> bytes;
  std::istringstream hex(line2.substr(6) + line3.substr(6));
  for (std::string b; hex >> b;) bytes.push_back(static_cast<uint8_t>(std::stoul(b, nullptr, 16)));
  if (bytes.size() != 32) return false;
  auto bit = [&](int i) { return static_cast<uint32_t>(bytes[i / 8] >> (7 - i % 8)) & 1; };
  uint32_t crc = 0, sent = 0;
  for (int i = 0; i < 226; ++i) {
    crc ^= bit(i) << 23;
    crc = ((crc << 1) ^ ((crc & 0x800000) ? 0x1864CFB : 0)) & 0xFFFFFF;
  }
  for (int i = 226; i < 250; ++i) sent = (sent << 1) | bit(i);
  return crc == sent;
}

// Every tracked SBAS satellite of a generated log sends one L1 message a
// second, and one L5 message when it has the L5 signal; about 5 % are damaged.
TEST(SbasBroadcastWalk, GeneratedFileMatchesTruth) {
  test::ScopedTempDir dir("sbas_broadcast_gen");
  const std::string path = dir / "gen.qdx";
  ASSERT_EQ(std::system((KAVRINO_BINARY_DIR "/qdxgen -o " + path +
                         " --seed 7 --systems G,S --interval 1 --duration 300 --no-nav"
                         " --no-weather > /dev/null")
                            .c_str()),
            0);
  std::map<std::string, int> per_second;
  int expected = 0;
  std::ifstream truth(path + ".truth");
  for (std::string line, kind, name; std::getline(truth, line);) {
    std::istringstream(line) >> kind >> name;
    if (kind == "SAT" && name[0] == 'S')
      per_second[name] = line.find("SBSL5") != std::string::npos ? 2 : 1;
    if (kind == "SV" && name[0] == 'S') expected += per_second[name];
  }
  ASSERT_GT(expected, 0);
  int records[2] = {0, 0}, passed[2] = {0, 0};
  for (int valid_only = 0; valid_only < 2; ++valid_only) {
    std::istringstream lines(Walk(path, valid_only == 1, -1, 0x4000000000000000));
    for (std::string l1, l2, l3;
         std::getline(lines, l1) && std::getline(lines, l2) && std::getline(lines, l3);) {
      ++records[valid_only];
      passed[valid_only] += RecordCrcPasses(l2, l3);
    }
  }
  EXPECT_EQ(records[0], expected);
  EXPECT_LT(passed[0], records[0]);
  EXPECT_EQ(records[1], passed[0]);
  EXPECT_EQ(passed[1], records[1]);
}

}  // namespace
}  // namespace kavrino

// The navigation files: records, headers and SBAS broadcast records against
// hand-worked texts in data/, the value rules of their fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/time.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/correction_blocks.h"
#include "qdx/decode/ephemeris_blocks.h"
#include "qdx/lookups.h"
#include "qdx/reader.h"
#include "rinex/case_table.h"
#include "rinex/header_lines.h"
#include "rinex/nav/cartesian_records.h"
#include "rinex/nav/kepler_records.h"
#include "rinex/nav/nav_format.h"
#include "rinex/nav/nav_header.h"
#include "rinex/nav/sbas_broadcast.h"
#include "rinex/nav/test_blocks.h"
#include "support/capture.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

// Navigation records worked out by hand from the record formats (in
// data/records.expected), the lines they are made of and the value rules behind them.

using test::CaptureWrites;
constexpr RinexVersion k210 = RinexVersion::k210, k211 = RinexVersion::k211,
                       k304 = RinexVersion::k304;

// The record a writer makes of its block of data/blocks.txt with `fields`
// over it; nothing for a block too short for its fields.
std::string RecordOf(const std::string& w, const std::string& fields) {
  const RinexVersion version = test::VersionOf(w.substr(w.find(' ') + 1));
  return CaptureWrites([&](OutStream* o) {
    const auto write = [&]<typename E>(const std::string& description,
                                       bool (*decode)(const uint8_t*, E*), auto emit) {
      E e;
      if (decode(test::BlockList(description + " " + (fields == "-" ? "" : fields))[0].data(), &e))
        emit(e);
    };
    const uint32_t tow = 345618000;
    if (w.starts_with("GPS")) {
      write(test::GpsLayoutBlock(5891, tow, 2060, 5, 100), DecodeGpsEphemeris,
            [&](const auto& e) { WriteGpsNavRecord(o, e, 5, version); });
    }
    if (w == "QZSS") {
      write(test::GpsLayoutBlock(4095, tow, 2060, 181, 100), DecodeGpsEphemeris,
            [&](const auto& e) { WriteQzssNavRecord(o, e, 201); });
    }
    if (w == "BeiDou") {
      write(test::GpsLayoutBlock(4081, tow, 2056, 141, 0), DecodeBdsEphemeris,
            [&](const auto& e) { WriteBdsNavRecord(o, e, 161); });
    }
    if (w == "Galileo") {
      write(test::GalBlock(tow, 2060, 71, 0, 50), DecodeGalEphemeris,
            [&](const auto& e) { WriteGalNavRecord(o, e, 71); });
    }
    if (w.starts_with("GLONASS")) {
      write(test::GloBlock(), DecodeGloEphemeris, [&](const auto& e) {
        WriteCartesianNavRecord(o, MakeGloNavRecord(e, version), version);
      });
    }
    if (w == "SBAS") {
      write(test::SbasBlock(), DecodeSbasNavigation,
            [&](const auto& e) { WriteCartesianNavRecord(o, MakeSbasNavRecord(e), version); });
    }
  });
}

TEST(NavRecords, HandWorkedRecords) {
  const auto goldens = test::ReadGoldens("rinex/nav/data/records.expected");
  for (const auto& row : test::ReadCases("rinex/nav/data/record_cases.txt")) {
    EXPECT_EQ(RecordOf(row[1], row[2]), goldens.at(row[0])) << row[0];
  }
}

// Record starts with a fraction of a second in both layouts, a value not
// finite left blank, the width of a number written.
TEST(NavRecords, RecordLines) {
  const double epoch = CalendarToGpsSeconds({2019, 24, 6, 13, 31, 59.5});
  const std::string values = " 1.000000000000E+00-2.000000000000E+00 0.000000000000E+00\n";
  EXPECT_EQ(CaptureWrites([&](OutStream* o) {
              WriteNavRecordStart(o, 5, k211, epoch, 1.0, -2.0, 0.0);
              WriteNavRecordStart(o, 5, k304, epoch, 1.0, -2.0, 0.0);
              WriteOrbitLine(o, k304, std::nan(""), 1.0);
              EXPECT_EQ(WriteNavNumber(o, 12, 4, 0.5), 12u);
            }),
            "05 19  6 24 13 31 59.5" + values + "G05 2019 06 24 13 31 59" + values +
                std::string(23, ' ') + " 1.000000000000E+00\n  5.0000E-01");
}

double Number(const std::string& text) {
  if (!text.starts_with("swap:")) return std::strtod(text.c_str(), nullptr);
  const uint64_t bits = std::bit_cast<uint64_t>(std::strtod(text.c_str() + 5, nullptr));
  return std::bit_cast<double>(std::rotl(bits, 32));  // the halves exchanged
}

// The value of a rule of data/value_rules.txt.
double Rule(const std::string& rule, const std::vector<double>& a) {
  const auto u8 = [&](size_t i) { return static_cast<uint8_t>(a[i]); };
  if (rule == "fit") return GpsFitIntervalHours(u8(0), static_cast<uint16_t>(a[1]));
  if (rule == "ura") return UraMetres(u8(0));
  if (rule == "sbas_ura") return SbasUraMetres(u8(0));
  if (rule == "sisa") return GalSisaMetres(u8(0));
  if (rule == "transmission") {
    return NavTransmissionTime(static_cast<uint32_t>(a[0]), static_cast<int64_t>(a[1]),
                               static_cast<int64_t>(a[2]));
  }
  if (rule == "af0") return RepairGalAf0(a[0]);
  if (rule == "glo_tk") {
    const std::vector<uint8_t> block =
        test::BlockList(test::GloBlock(40, static_cast<uint32_t>(a[0] * 1000)))[0];
    GloEphemerisBlock eph;
    const RinexVersion version = test::Rinex(static_cast<int>(a[1]));
    return DecodeGloEphemeris(block.data(), &eph) ? MakeGloNavRecord(eph, version).start[2] : -1;
  }
  const int64_t day = 2061 * kSecondsPerWeek + 3 * 86400;  // sbas_day
  return static_cast<double>(
      PlaceSbasTimeOfDay(day + static_cast<int64_t>(a[0]), static_cast<uint32_t>(a[1])) - day);
}

TEST(NavRecords, ValueRules) {
  for (const auto& row : test::ReadCases("rinex/nav/data/value_rules.txt")) {
    std::vector<double> args;
    for (const std::string& w : test::Words(row[1])) args.push_back(Number(w));
    const double value = Rule(row[0], args);
    EXPECT_TRUE(value == Number(row[2]) || std::fabs(value - Number(row[2])) < 1e-15)
        << row[0] << " " << row[1] << ": " << value;
  }
  // The 10-bit week of t_oe is widened to the week nearest to the block's.
  GloEphemerisBlock late;
  ASSERT_TRUE(
      DecodeGloEphemeris(test::BlockList(test::GloBlock() + " u16@80=1023")[0].data(), &late));
  late.week = 2048;
  EXPECT_EQ(MakeGloNavRecord(late, k304).epoch, 2047 * 604800.0 + 345618 - 18);
  // An unusable SBAS URA: health 63 and URA 32767.
  const std::vector<uint8_t> unusable =
      test::BlockList(test::SbasBlock(127, 100500, 86000, 110, 15))[0];
  SbasNavigationBlock eph;
  ASSERT_TRUE(DecodeSbasNavigation(unusable.data(), &eph));
  const CartesianNavRecord record = MakeSbasNavRecord(eph);
  EXPECT_EQ(record.orbit[0][3], 63.0);
  EXPECT_EQ(record.orbit[1][3], 32767.0);
}

// Navigation headers written over their reserved area, and the leap-second count.

// The header as it stands in its file: written over `reserved` lines reserved
// for it (blank comments and "END OF HEADER"), the records after them. A header
// longer than its area would run into the records.
std::string OverReserved(int reserved, const std::function<void(OutStream*)>& write) {
  std::string area;
  OutStream out;
  OpenOutStream(&out, StringSink(&area));
  WriteEndOfHeader(&out, reserved);
  WriteText(&out, "RECORDS\n");
  FlushOutStream(&out);
  const std::string header = test::CaptureWrites(write);
  return header + area.substr(std::min(header.size(), area.size()));
}

// Each header written over the area reserved for it, with the correction
// blocks named, against data/headers.expected.
TEST(NavHeader, HeadersFillTheirReservedAreaInOrder) {
  const std::map<std::string, void (*)(OutStream*, const NavHeaderInfo&)> writers = {
      {"GPS", WriteGpsNavHeader},   {"GLONASS", WriteGloNavHeader}, {"Galileo", WriteGalNavHeader},
      {"SBAS", WriteSbasNavHeader}, {"BeiDou", WriteBdsNavHeader},  {"mixed", WriteMixedNavHeader}};
  const auto goldens = test::ReadGoldens("rinex/nav/data/headers.expected");
  for (const auto& row : test::ReadCases("rinex/nav/data/header_cases.txt")) {
    NavCorrections corrections;
    for (const auto& block : test::BlockList(goldens.at("corrections: " + row[4]))) {
      EXPECT_TRUE(TakeCorrectionBlock(block.data(), &corrections));
    }
    NavHeaderInfo info;
    info.date = {2024, 9, 3, 14, 5, 7.0};
    info.program = "kavrino-13.4.3";
    info.version = test::VersionOf(row[3]);
    info.leap_count = row[5] == "-" ? kLeapCountUnknown : std::stoi(row[5]);
    info.corrections = &corrections;
    EXPECT_EQ(OverReserved(std::stoi(row[2]), [&](OutStream* f) { writers.at(row[1])(f, info); }),
              goldens.at(row[0]))
        << row[0];
  }
}

// The leap-second count of a file (data/leap.txt); the file is read from its
// start and left there.
TEST(LeapCount, BlockFirstThenBuiltInTable) {
  test::ScopedTempDir dir("leap");
  for (const auto& row : test::ReadCases("rinex/nav/data/leap.txt")) {
    ASSERT_TRUE(test::WriteFileBytes(dir / "leap.qdx", test::Blocks(row[1])));
    auto reader = std::make_unique<QdxReader>();
    InitQdxReader((dir / "leap.qdx").c_str(), reader.get());
    EXPECT_EQ(GetLeapCount(reader.get(), std::stoll(row[0])), std::stoi(row[2]))
        << row[0] << row[1];
    EXPECT_EQ(QdxTell(reader.get()), 0);
    CloseQdxReader(reader.get());
  }
}

constexpr int64_t kNoon = 1394107200;  // 2024-03-10 12:00:00 GPS, a multiple of 3

const uint32_t kWords[8] = {0x53240011, 0x22334455, 0x66778899, 0xAABBCCDD,
                            0xEEFF0102, 0x03040506, 0x0708090A, 0x12345678};

// The hand-worked record (the words above), the message type (its bits depend
// on the preamble of L5 messages) and the seconds field of records, the header:
// against data/sbas_broadcast.expected.
TEST(SbasBroadcast, RecordsAndHeader) {
  const auto goldens = test::ReadGoldens("rinex/nav/data/sbas_broadcast.expected");
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

// The walk over the blocks of data/sbas_broadcast.expected, in a window from
// 12:00:00 to 12:30:00 given as times of day, and two hours later.
TEST(SbasBroadcastWalk, SelectsBlocksAndSkipsDamaged) {
  const auto goldens = test::ReadGoldens("rinex/nav/data/sbas_broadcast.expected");
  test::ScopedTempDir dir("sbas_broadcast");
  ASSERT_TRUE(test::WriteFileBytes(dir / "mixed.qdx", test::Blocks(goldens.at("walk blocks"))));
  const int64_t start = 12 * 3600000LL, end = start + 1800000;
  EXPECT_EQ(Walk(dir / "mixed.qdx", false, start, end), goldens.at("walk"));
  EXPECT_EQ(Walk(dir / "mixed.qdx", true, start, end), goldens.at("walk, valid only"));
  EXPECT_EQ(Walk(dir / "mixed.qdx", false, start + 7200000, end + 7200000), "");
}

}  // namespace
}  // namespace kavrino

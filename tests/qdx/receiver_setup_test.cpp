#include "qdx/decode/receiver_setup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qdx/block.h"
#include "qdx/encode/qdx_writer.h"
#include "qdx/lookups.h"
#include "qdx/reader.h"

namespace kavrino {
namespace {

using test::QdxBlockWriter;

constexpr uint16_t kRev4 = 4;

struct TextCase {
  SetupTextField field;
  const char* expected;
};

void ExpectDefaults(const ReceiverSetupRecord& record) {
  const TextCase cases[] = {
      {kSetupMarkerName, "NORV"},
      {kSetupMarkerNumber, "Unknown"},
      {kSetupObserver, "Unknown"},
      {kSetupAgency, "Unknown"},
      {kSetupReceiverSerial, "Unknown"},
      {kSetupReceiverName, "Unknown"},
      {kSetupReceiverVersion, "Unknown"},
      {kSetupAntennaSerial, "Unknown"},
      {kSetupAntennaType, "Unknown"},
      {kSetupMarkerType, "Unknown"},
      {kSetupFirmwareVersion, "Unknown"},
      {kSetupProductName, "Unknown"},
      {kSetupStationCode, ""},
      {kSetupCountryCode, "___"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(SetupText(record, c.field), c.expected) << "offset " << c.field.offset;
  }
  EXPECT_EQ(SetupBlockId(record), 0);
  EXPECT_FALSE(SetupIsRevision3OrLater(record));
  EXPECT_FALSE(SetupIsRevision4OrLater(record));
  EXPECT_FALSE(SetupHasReferencePosition(record));
  EXPECT_EQ(SetupAntennaDeltaH(record), 0.0f);
  EXPECT_EQ(SetupAntennaDeltaE(record), 0.0f);
  EXPECT_EQ(SetupAntennaDeltaN(record), 0.0f);
  EXPECT_EQ(SetupMonumentIndex(record), 0);
  EXPECT_EQ(SetupReceiverIndex(record), 0);
  EXPECT_LE(SetupRefLatitude(record), -1e10);
}

QdxBlockWriter FullSetup(uint8_t revision, const std::string& marker) {
  QdxBlockWriter w(kReceiverSetupBlock, revision, 5000, 2100, kReceiverSetupSize);
  w.Text(kSetupMarkerName.offset, marker, 60)
      .Text(kSetupMarkerNumber.offset, "M-17", 20)
      .Text(kSetupAntennaType.offset, "CHOKE RING", 20)
      .F32(kSetupAntennaDeltaHOffset, 1.25f)
      .F32(kSetupAntennaDeltaNOffset, -0.5f)
      .F64(kSetupRefLatitudeOffset, 0.8)
      .F64(kSetupRefLongitudeOffset, -0.1)
      .F32(kSetupRefHeightOffset, 312.5f)
      .Text(kSetupStationCode.offset, "ABCDEFGHIJ", 10)
      .U8(kSetupMonumentIndexOffset, 3)
      .U8(kSetupReceiverIndexOffset, 7)
      .Text(kSetupCountryCode.offset, "BEL", 3);
  return w;
}

TEST(ReceiverSetup, DefaultsAndOverlay) {
  ReceiverSetupRecord record;
  std::memset(record.bytes, 0xAB, sizeof record.bytes);
  SetReceiverSetupDefaults(&record);
  ExpectDefaults(record);

  std::vector<uint8_t> block = FullSetup(kRev4, "SITE ONE").Finish();
  OverlayReceiverSetup(block.data(), &record);
  EXPECT_EQ(SetupText(record, kSetupMarkerName), "SITE ONE");
  EXPECT_EQ(SetupText(record, kSetupMarkerNumber), "M-17");
  EXPECT_EQ(SetupText(record, kSetupObserver), "");  // the block's own zero bytes
  // Ten characters fill the field without a terminating zero.
  EXPECT_EQ(SetupText(record, kSetupStationCode), "ABCDEFGHIJ");
  EXPECT_EQ(SetupText(record, kSetupCountryCode), "BEL");
  EXPECT_TRUE(SetupIsRevision3OrLater(record));
  EXPECT_TRUE(SetupIsRevision4OrLater(record));
  EXPECT_TRUE(SetupHasReferencePosition(record));
  EXPECT_EQ(SetupRefLatitude(record), 0.8);
  EXPECT_EQ(SetupRefLongitude(record), -0.1);
  EXPECT_EQ(SetupRefHeight(record), 312.5f);
  EXPECT_EQ(SetupAntennaDeltaH(record), 1.25f);
  EXPECT_EQ(SetupAntennaDeltaN(record), -0.5f);
  EXPECT_EQ(SetupMonumentIndex(record), 3);
  EXPECT_EQ(SetupReceiverIndex(record), 7);
}

TEST(ReceiverSetup, RevisionGates) {
  struct Case {
    uint8_t revision;
    bool rev3;
    bool rev4;
  };
  const Case cases[] = {
      {0, false, false}, {2, false, false}, {3, true, false}, {4, true, true}, {7, true, true}};
  for (const Case& c : cases) {
    ReceiverSetupRecord record;
    SetReceiverSetupDefaults(&record);
    std::vector<uint8_t> block = FullSetup(c.revision, "X").Finish();
    OverlayReceiverSetup(block.data(), &record);
    EXPECT_EQ(SetupIsRevision3OrLater(record), c.rev3) << int{c.revision};
    EXPECT_EQ(SetupIsRevision4OrLater(record), c.rev4) << int{c.revision};
    EXPECT_EQ(SetupHasReferencePosition(record), c.rev4) << int{c.revision};
  }
}

TEST(ReceiverSetup, ShortBlockOverlaysOnlyItsOwnBytes) {
  // 100 bytes: the marker name and the first 4 bytes of the observer field.
  std::vector<uint8_t> block = QdxBlockWriter(kReceiverSetupBlock, kRev4, 0, 0, 100)
                                   .Text(kSetupMarkerName.offset, "SHORT", 60)
                                   .Text(kSetupObserver.offset, "OBSERVER", 20)
                                   .Resize(100)
                                   .Finish();
  block.resize(kReceiverSetupSize, 0xEE);  // bytes behind the block must not be taken
  ReceiverSetupRecord record;
  SetReceiverSetupDefaults(&record);
  OverlayReceiverSetup(block.data(), &record);
  EXPECT_EQ(SetupText(record, kSetupMarkerName), "SHORT");
  EXPECT_EQ(SetupText(record, kSetupObserver), "OBSEown");
  EXPECT_EQ(SetupText(record, kSetupAgency), "Unknown");
  EXPECT_EQ(SetupText(record, kSetupCountryCode), "___");
  EXPECT_TRUE(SetupIsRevision4OrLater(record));
  // Revision 4 but too short to carry the reference position.
  EXPECT_FALSE(SetupHasReferencePosition(record));

  // Cut in the middle of the latitude: still no position.
  block = FullSetup(kRev4, "HALF").Resize(372).Finish();
  SetReceiverSetupDefaults(&record);
  OverlayReceiverSetup(block.data(), &record);
  EXPECT_FALSE(SetupHasReferencePosition(record));
}

TEST(ReceiverSetup, LongBlockTakesFirst424Bytes) {
  std::vector<uint8_t> block = FullSetup(kRev4, "LONG").Resize(600).U8(424, 0x55).Finish();
  ReceiverSetupRecord record;
  SetReceiverSetupDefaults(&record);
  OverlayReceiverSetup(block.data(), &record);
  EXPECT_EQ(SetupText(record, kSetupMarkerName), "LONG");
  EXPECT_EQ(SetupBlockLength(record), 600);
  EXPECT_EQ(std::memcmp(record.bytes, block.data(), kReceiverSetupSize), 0);
}

TEST(ReceiverSetup, TextNeverReadsPastWidthOrRecord) {
  ReceiverSetupRecord record;
  std::memset(record.bytes, 'x', sizeof record.bytes);
  EXPECT_EQ(SetupText(record, kSetupMarkerName).size(), 60u);
  EXPECT_EQ(SetupText(record, kSetupCountryCode).size(), 3u);
  EXPECT_EQ(SetupText(record, 420, 10).size(), 4u);
  EXPECT_EQ(SetupText(record, 424, 10).size(), 0u);
  EXPECT_EQ(SetupText(record, 5000, 10).size(), 0u);
}

class ReceiverSetupFileTest : public testing::Test {
 protected:
  std::string WriteFile(const std::vector<uint8_t>& bytes) {
    std::string path = test::MakeTempDir("receiver_setup") + "/input.qdx";
    EXPECT_TRUE(test::WriteFileBytes(path, bytes));
    return path;
  }
};

TEST_F(ReceiverSetupFileTest, NoSetupBlockKeepsDefaults) {
  std::vector<uint8_t> file;
  test::Append(&file, QdxBlockWriter(4027, 0, 1000, 2100, 32));
  test::Append(&file, std::vector<uint8_t>{'$', '@', 1, 2, 3});
  QdxReader reader;
  InitQdxReader(WriteFile(file).c_str(), &reader);
  ReceiverSetupRecord record;
  ReadReceiverSetup(&reader, &record);
  ExpectDefaults(record);
  EXPECT_EQ(QdxTell(&reader), 0);
  CloseQdxReader(&reader);
}

TEST_F(ReceiverSetupFileTest, FirstOfTwoBlocksAndPositionUnchanged) {
  std::vector<uint8_t> file;
  test::Append(&file, QdxBlockWriter(4027, 0, 1000, 2100, 32));
  std::vector<uint8_t> damaged = FullSetup(kRev4, "DAMAGED").Finish();
  damaged[40] ^= 0xFF;  // CRC no longer matches: skipped
  test::Append(&file, damaged);
  test::Append(&file, FullSetup(kRev4, "FIRST"));
  test::Append(&file, FullSetup(kRev4, "SECOND"));

  QdxReader reader;
  InitQdxReader(WriteFile(file).c_str(), &reader);
  std::vector<uint8_t> buffer(kQdxMaxBlockSize);
  ASSERT_EQ(GetNextQdxBlock(&reader, buffer.data(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk), 0);
  int64_t position = QdxTell(&reader);
  ASSERT_EQ(position, 32);

  ReceiverSetupRecord record;
  ReadReceiverSetup(&reader, &record);
  EXPECT_EQ(SetupText(record, kSetupMarkerName), "FIRST");
  EXPECT_EQ(SetupText(record, kSetupStationCode), "ABCDEFGHIJ");
  EXPECT_EQ(QdxTell(&reader), position);
  CloseQdxReader(&reader);
}

}  // namespace
}  // namespace kavrino

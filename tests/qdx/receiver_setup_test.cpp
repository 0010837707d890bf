#include "qdx/decode/receiver_setup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qdx/block.h"
#include "qdx/lookups.h"
#include "qdx/qdx_files.h"

namespace kavrino {
namespace {

using test::QdxBlockWriter;

QdxBlockWriter FullSetup(uint8_t revision, const std::string& marker) {
  QdxBlockWriter w(kReceiverSetupBlock, revision, 5000, 2100, kReceiverSetupSize);
  w.Text(kSetupMarkerName.offset, marker, 60).Text(kSetupMarkerNumber.offset, "M-17", 20);
  w.Text(kSetupAntennaType.offset, "CHOKE RING", 20)
      .Text(kSetupStationCode.offset, "ABCDEFGHIJ", 10);
  w.Text(kSetupCountryCode.offset, "BEL", 3).U8(kSetupMonumentIndexOffset, 3);
  w.U8(kSetupReceiverIndexOffset, 7).F32(kSetupAntennaDeltaHOffset, 1.25f);
  w.F32(kSetupAntennaDeltaNOffset, -0.5f).F64(kSetupRefLatitudeOffset, 0.8);
  return w.F64(kSetupRefLongitudeOffset, -0.1).F32(kSetupRefHeightOffset, 312.5f);
}

// The defaults with an overlay of `block` (none when empty); bytes behind the
// block must not be taken.
ReceiverSetupRecord Overlaid(std::vector<uint8_t> block) {
  ReceiverSetupRecord record;
  std::memset(record.bytes, 0xAB, sizeof record.bytes);
  SetReceiverSetupDefaults(&record);
  const bool overlay = !block.empty();
  block.resize(kReceiverSetupSize, 0xEE);
  if (overlay) OverlayReceiverSetup(block.data(), &record);
  return record;
}

// Every text field, each followed by "|".
std::string Texts(const ReceiverSetupRecord& r) {
  std::string all;
  for (SetupTextField f :
       {kSetupMarkerName, kSetupMarkerNumber, kSetupObserver, kSetupAgency, kSetupReceiverSerial,
        kSetupReceiverName, kSetupReceiverVersion, kSetupAntennaSerial, kSetupAntennaType,
        kSetupMarkerType, kSetupFirmwareVersion, kSetupProductName, kSetupStationCode,
        kSetupCountryCode}) {
    all += std::string(SetupText(r, f)) + "|";
  }
  return all;
}
std::string Unknown(int n) {
  std::string s;
  while (n-- > 0) s += "Unknown|";
  return s;
}

TEST(ReceiverSetup, DefaultsAndOverlays) {
  const struct {
    std::vector<uint8_t> block;
    std::string texts;  // "": not checked
    bool rev3, rev4, position;
  } cases[] = {
      {{}, "NORV|" + Unknown(11) + "|___|", false, false, false},
      // Ten characters fill the station code without a terminating zero.
      {FullSetup(4, "ONE").Finish(), "ONE|M-17|||||||CHOKE RING||||ABCDEFGHIJ|BEL|", 1, 1, 1},
      {FullSetup(0, "X").Finish(), "", false, false, false},
      {FullSetup(2, "X").Finish(), "", false, false, false},
      {FullSetup(3, "X").Finish(), "", true, false, false},
      {FullSetup(7, "X").Finish(), "", true, true, true},
      {FullSetup(4, "X").Resize(372).Finish(), "", true, true, false},  // half a latitude
      // 100 bytes: the marker name and the first 4 bytes of the observer field.
      {QdxBlockWriter(kReceiverSetupBlock, 4, 0, 0, 100)
           .Text(16, "SHORT", 60)
           .Text(96, "OBSE", 4)
           .Finish(),
       "SHORT||OBSEown|" + Unknown(9) + "|___|", true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    const ReceiverSetupRecord record = Overlaid(c.block);
    EXPECT_TRUE(c.texts.empty() || Texts(record) == c.texts) << Texts(record);
    EXPECT_EQ(SetupIsRevision3OrLater(record), c.rev3);
    EXPECT_EQ(SetupIsRevision4OrLater(record), c.rev4);
    EXPECT_EQ(SetupHasReferencePosition(record), c.position);
  }
  const ReceiverSetupRecord none = Overlaid({});
  EXPECT_EQ(SetupBlockId(none), 0);
  EXPECT_EQ(SetupAntennaDeltaH(none) + SetupAntennaDeltaE(none) + SetupAntennaDeltaN(none), 0.0f);
  EXPECT_EQ(SetupMonumentIndex(none) + SetupReceiverIndex(none), 0);
  EXPECT_LE(SetupRefLatitude(none), -1e10);

  const std::vector<uint8_t> full = FullSetup(4, "LONG").Resize(600).U8(424, 0x55).Finish();
  const ReceiverSetupRecord r = Overlaid(full);  // the first 424 bytes of a long block
  EXPECT_EQ(std::memcmp(r.bytes, full.data(), kReceiverSetupSize), 0);
  EXPECT_EQ(SetupBlockLength(r), 600);
  const double values[] = {SetupRefLatitude(r),   SetupRefLongitude(r),  SetupRefHeight(r),
                           SetupAntennaDeltaH(r), SetupAntennaDeltaE(r), SetupAntennaDeltaN(r)};
  EXPECT_EQ(std::vector<double>(values, values + 6),
            (std::vector<double>{0.8, -0.1, 312.5, 1.25, 0.0, -0.5}));
  EXPECT_EQ(SetupMonumentIndex(r), 3);
  EXPECT_EQ(SetupReceiverIndex(r), 7);
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

// The first CRC-valid setup block from the reader's position, which stays.
TEST(ReceiverSetup, ReadFromAFileLeavesThePosition) {
  std::vector<uint8_t> damaged = FullSetup(4, "DAMAGED").Finish();
  damaged[40] ^= 0xFF;
  const test::Bytes first = QdxBlockWriter(4027, 0, 1000, 2100, 32).Finish();
  const struct {
    test::Bytes image;
    const char* marker;
  } cases[] = {
      {test::Concat({first, {'$', '@', 1, 2, 3}}), "NORV"},
      {test::Concat(
           {first, damaged, FullSetup(4, "FIRST").Finish(), FullSetup(4, "SECOND").Finish()}),
       "FIRST"},
  };
  for (const auto& c : cases) {
    test::TempQdxFile file(c.image);
    QdxReader reader;
    InitQdxReader(file.path.c_str(), &reader);
    std::vector<uint8_t> buffer(kQdxMaxBlockSize);
    ASSERT_EQ(GetNextQdxBlock(&reader, buffer.data(), kQdxAnyBlock, kQdxAnyBlock, 0), 0);
    ReceiverSetupRecord record;
    ReadReceiverSetup(&reader, &record);
    EXPECT_EQ(SetupText(record, kSetupMarkerName), c.marker);
    EXPECT_EQ(QdxTell(&reader), 32);
    CloseQdxReader(&reader);
  }
}

}  // namespace
}  // namespace kavrino

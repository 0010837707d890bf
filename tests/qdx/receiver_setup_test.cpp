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

TEST(ReceiverSetup, DefaultsAndOverlays) {
  const std::string defaults = "Unknown|Unknown|Unknown|Unknown|Unknown|Unknown|Unknown|Unknown|";
  const struct {
    std::vector<uint8_t> block;
    const char* gates;  // revision 3 or later, revision 4 or later, reference position
    std::string texts;  // "": not checked
  } cases[] = {
      {{}, "000", "NORV|Unknown|Unknown|Unknown|" + defaults + "|___|"},
      // Ten characters fill the station code without a terminating zero.
      {FullSetup(4, "ONE").Finish(), "111", "ONE|M-17|||||||CHOKE RING||||ABCDEFGHIJ|BEL|"},
      {FullSetup(0, "X").Finish(), "000", ""},
      {FullSetup(2, "X").Finish(), "000", ""},
      {FullSetup(3, "X").Finish(), "100", ""},
      {FullSetup(7, "X").Finish(), "111", ""},
      {FullSetup(4, "X").Resize(372).Finish(), "110", ""},  // half a latitude
      // 100 bytes: the marker name and the first 4 bytes of the observer field.
      {QdxBlockWriter(kReceiverSetupBlock, 4, 0, 0, 100)
           .Text(16, "SHORT", 60)
           .Text(96, "OBSE", 4)
           .Finish(),
       "110", "SHORT||OBSEown|Unknown|" + defaults + "|___|"},
  };
  for (const auto& c : cases) {
    const ReceiverSetupRecord record = Overlaid(c.block);
    const std::string gates = {"01"[SetupIsRevision3OrLater(record)],
                               "01"[SetupIsRevision4OrLater(record)],
                               "01"[SetupHasReferencePosition(record)]};
    EXPECT_EQ(gates, c.gates) << &c - cases;
    EXPECT_TRUE(c.texts.empty() || Texts(record) == c.texts) << Texts(record);
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
  const std::vector<uint8_t> last = FullSetup(4, "SECOND").Finish();
  const test::TempQdxFile file(test::Concat({QdxBlockWriter(4027, 0, 1000, 2100, 32).Finish(),
                                             damaged,
                                             FullSetup(4, "FIRST").Finish(),
                                             last,
                                             {'$', '@', 1, 2, 3}}));
  QdxReader reader;
  InitQdxReader(file.path.c_str(), &reader);
  const int64_t after_setups = 32 + 2 * kReceiverSetupSize + last.size();
  for (int64_t at : {int64_t{32}, after_setups}) {
    QdxSeek(&reader, at);
    ReceiverSetupRecord record;
    ReadReceiverSetup(&reader, &record);
    EXPECT_EQ(SetupText(record, kSetupMarkerName), at == 32 ? "FIRST" : "NORV");
    EXPECT_EQ(QdxTell(&reader), at);
  }
  CloseQdxReader(&reader);
}

}  // namespace
}  // namespace kavrino

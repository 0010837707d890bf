// What blocks say about the site: the receiver setup, the site commands of
// comments and the weather values of XDR sentences (data/text_fields.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/comment_block.h"
#include "qdx/decode/receiver_setup.h"
#include "qdx/decode/xdr_sentence.h"
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

// The defaults overlaid with `block` (none when empty; the bytes behind it
// must not be taken): the gates (revision 3 or later, revision 4 or later,
// reference position), every text field and the numbers.
std::string Overlaid(std::vector<uint8_t> block) {
  ReceiverSetupRecord r;
  std::memset(r.bytes, 0xAB, sizeof r.bytes);
  SetReceiverSetupDefaults(&r);
  const size_t taken = std::min(block.size(), kReceiverSetupSize);
  block.resize(std::max(block.size(), kReceiverSetupSize), 0xEE);
  if (taken != 0) OverlayReceiverSetup(block.data(), &r);
  EXPECT_EQ(std::memcmp(r.bytes, block.data(), taken), 0);
  std::string all = {"01"[SetupIsRevision3OrLater(r)], "01"[SetupIsRevision4OrLater(r)],
                     "01"[SetupHasReferencePosition(r)], ' '};
  for (SetupTextField f :
       {kSetupMarkerName, kSetupMarkerNumber, kSetupObserver, kSetupAgency, kSetupReceiverSerial,
        kSetupReceiverName, kSetupReceiverVersion, kSetupAntennaSerial, kSetupAntennaType,
        kSetupMarkerType, kSetupFirmwareVersion, kSetupProductName, kSetupStationCode,
        kSetupCountryCode}) {
    all += std::string(SetupText(r, f)) + "|";
  }
  char numbers[160];
  std::snprintf(numbers, sizeof numbers, " %x %u %g %g %g %g %g %g %u %u", SetupBlockId(r),
                SetupBlockLength(r), SetupRefLatitude(r), SetupRefLongitude(r), SetupRefHeight(r),
                SetupAntennaDeltaH(r), SetupAntennaDeltaE(r), SetupAntennaDeltaN(r),
                SetupMonumentIndex(r), SetupReceiverIndex(r));
  return all + numbers;
}

TEST(ReceiverSetup, DefaultsAndOverlays) {
  const std::string unknown = "Unknown|Unknown|Unknown|Unknown|Unknown|Unknown|Unknown|Unknown|";
  const std::string full = "|M-17|||||||CHOKE RING||||ABCDEFGHIJ|BEL| ";
  const struct {
    std::vector<uint8_t> block;
    std::string want;  // its start only
  } cases[] = {
      {{},
       "000 NORV|Unknown|Unknown|Unknown|" + unknown + "|___| 0 0 -2e+10 -2e+10 -2e+10 0 0 0 0 0"},
      // Ten characters fill the station code without a terminating zero.
      {FullSetup(4, "ONE").Finish(), "111 ONE" + full + "970e 424 0.8 -0.1 312.5 1.25 0 -0.5 3 7"},
      {FullSetup(4, "LONG").Resize(600).U8(424, 0x55).Finish(), "111 LONG" + full + "970e 600"},
      {FullSetup(2, "X").Finish(), "000"},
      {FullSetup(3, "X").Finish(), "100"},
      {FullSetup(7, "X").Finish(), "111"},
      {FullSetup(4, "X").Resize(372).Finish(), "110"},  // half a latitude
      // 100 bytes: the marker name and the first 4 bytes of the observer field.
      {QdxBlockWriter(kReceiverSetupBlock, 4, 0, 0, 100)
           .Text(16, "SHORT", 60)
           .Text(96, "OBSE", 4)
           .Finish(),
       "110 SHORT||OBSEown|Unknown|" + unknown + "|___| 970e 100 "},
  };
  for (const auto& c : cases) EXPECT_EQ(Overlaid(c.block).substr(0, c.want.size()), c.want);

  ReceiverSetupRecord record;  // texts never read past their width or the record
  std::memset(record.bytes, 'x', sizeof record.bytes);
  EXPECT_EQ(SetupText(record, kSetupMarkerName).size(), 60u);
  EXPECT_EQ(SetupText(record, kSetupCountryCode).size(), 3u);
  EXPECT_EQ(SetupText(record, 420, 10).size(), 4u);
  EXPECT_EQ(SetupText(record, 424, 10).size(), 0u);
  EXPECT_EQ(SetupText(record, 5000, 10).size(), 0u);
}

std::string Read(const std::string& kind, const std::string& text) {
  char out[200];
  if (kind == "xdr") {
    XdrValues v;
    v.pressure_bar = 7.0f;  // overwritten by the parser
    const bool found = ParseXdrSentence(text.data(), text.size(), &v);
    std::snprintf(out, sizeof out, "%d %.9g %.9g %.9g", found, v.pressure_bar, v.temperature_c,
                  v.humidity_pct);
  } else {
    const AntennaCommand a = ParseAntennaCommand(text);
    double xyz[3] = {};
    const bool has_xyz = ParseXyzCommand(text, xyz);
    std::snprintf(out, sizeof out, "site=%s antenna=%d/%s/%d/%g/%g xyz=%d/%.10g/%.10g/%.10g",
                  std::string(SiteCommandName(text)).c_str(), a.has_type,
                  std::string(a.type).c_str(), a.has_offsets, a.l1_offset, a.l2_offset, has_xyz,
                  xyz[0], xyz[1], xyz[2]);
  }
  return out;
}

TEST(TextFields, XdrSentencesAndSiteCommands) {
  std::ifstream in(KAVRINO_SOURCE_DIR "/tests/qdx/data/text_fields.txt");
  int rows = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find('|'), rule = line.find('|', bar + 1);
    const size_t read = line.find('|', rule + 1);
    std::string text = line.substr(read + 1);
    if (text.find("\\0") != std::string::npos) text.replace(text.find("\\0"), 2, 1, '\0');
    EXPECT_EQ(Read(line.substr(0, bar), text), line.substr(rule + 1, read - rule - 1))
        << line.substr(bar + 1, rule - bar - 1);
    ++rows;
  }
  EXPECT_EQ(rows, 14);
  // A comment is cut at the block end; its commands end at a zero byte.
  const auto block = [](const std::string& text, uint16_t declared_length) {
    return QdxBlockWriter(kCommentBlock, 0, 1000, 2000)
        .U16(14, declared_length)
        .Text(16, text, text.size())
        .Finish();
  };
  EXPECT_EQ(CommentText(block("BEGIN_POINT;A12;x", 500).data()), "BEGIN_POINT;A12;x");
  const std::vector<uint8_t> with_zero = block(std::string("XYZ;1;2\0;3", 10), 10);
  EXPECT_EQ(CommentText(with_zero.data()).size(), 10u);
  EXPECT_EQ(CommandText(with_zero.data()), "XYZ;1;2");
}

}  // namespace
}  // namespace kavrino

#include "convert/file_naming.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "convert/output_file.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

constexpr int64_t kDay20190624Ms = 1245369600000;  // 2019-06-24 00:00:00 GPS time

void PutText(ReceiverSetupRecord* s, size_t offset, size_t width, const std::string& text) {
  std::memset(s->bytes + offset, 0, width);
  std::memcpy(s->bytes + offset, text.data(), std::min(width, text.size()));
}

ReceiverSetupRecord DefaultSetup() {
  ReceiverSetupRecord s;
  SetReceiverSetupDefaults(&s);
  return s;
}

// A ReceiverSetup record of the given revision with naming fields.
ReceiverSetupRecord SetupWith(int revision, const std::string& station, const std::string& country,
                              uint8_t monument = 0, uint8_t receiver = 0) {
  ReceiverSetupRecord s = DefaultSetup();
  uint16_t id = static_cast<uint16_t>(5902 | (revision << 13));
  s.bytes[4] = id & 0xFF;
  s.bytes[5] = id >> 8;
  PutText(&s, 388, 10, station);
  PutText(&s, 400, 3, country);
  s.bytes[398] = monument;
  s.bytes[399] = receiver;
  return s;
}

bool NoFiles(const std::string&) {
  return false;
}

constexpr uint32_t FLAG_LONG_NAMES = 1;
constexpr uint32_t FLAG_SEQUENCE = 2;

// The name, or "refused: <message>".
std::string Name(std::string_view input, const char* output, int64_t first_ms, const char* country,
                 uint32_t interval_ms, uint32_t span_s, int type, const ReceiverSetupRecord& setup,
                 uint32_t flags, const FileExistsFn& exists) {
  NamingOptions naming;
  naming.output_name = output;
  naming.country_code = country;
  naming.long_names = (flags & FLAG_LONG_NAMES) != 0;
  naming.sequence = (flags & FLAG_SEQUENCE) != 0;
  NameRequest request{input, &naming, first_ms, interval_ms, span_s, type, &setup};
  std::string name;
  std::string message;
  if (!BuildOutputFileName(request, exists, &name, &message)) return "refused: " + message;
  return name;
}

TEST(FileNaming, Names) {
  const ReceiverSetupRecord none = DefaultSetup();
  ReceiverSetupRecord marker = DefaultSetup();
  PutText(&marker, 16, 60, "ab/\x01rest");
  const int64_t afternoon = kDay20190624Ms + (13 * 3600 + 45 * 60 + 10) * 1000LL;
  struct Case {
    const char* input;
    const char* output;
    int64_t first_ms;
    const char* country;
    uint32_t interval_ms;
    uint32_t span_s;
    int type;
    ReceiverSetupRecord setup;
    uint32_t flags;
    const char* expected;
  } cases[] = {
      {"a.qdx", "", kDay20190624Ms, "", 30000, 86400, FILE_OBS, none, 0, "NORV1750.19O"},
      {"a.qdx", "", kDay20190624Ms, "", 30000, 86400, FILE_OBS, SetupWith(4, "ab", "BEL"), 0,
       "ab__1750.19O"},
      // Below revision 4 the naming fields are not used.
      {"a.qdx", "", kDay20190624Ms, "", 30000, 86400, FILE_OBS, SetupWith(3, "ZZZZ", "BEL"),
       FLAG_LONG_NAMES, "NORV00____R_20191750000_01D_30S_MO.rnx"},
      {"a.qdx", "", kDay20190624Ms, "", 30000, 86400, FILE_OBS,
       SetupWith(4, "ABCDEFGHIJ", "BELX", 3, 7), FLAG_LONG_NAMES,
       "ABCD37BEL_R_20191750000_01D_30S_MO.rnx"},
      {"a.qdx", "", kDay20190624Ms, "BE", 30000, 86400, FILE_GPS_NAV, SetupWith(4, "", "BEL"),
       FLAG_LONG_NAMES, "NORV00BE__R_20191750000_01D_GN.rnx"},
      {"a.qdx", "", kDay20190624Ms, "BE", 30000, 86400, FILE_GPS_NAV, none, 0, "NORV1750.19N"},
      {"a.qdx", "", afternoon, "", 1000, 3599, FILE_OBS, none, FLAG_LONG_NAMES,
       "NORV00____R_20191751345_59M_01S_MO.rnx"},
      {"a.qdx", "", kDay20190624Ms, "", kNotMeasured, kNotMeasured, FILE_MET, none, FLAG_LONG_NAMES,
       "NORV00____R_20191750000_00U_MM.rnx"},
      {"a.qdx", "", kDay20190624Ms, "", 0, 60, FILE_SBAS_BROADCAST, none, FLAG_LONG_NAMES,
       "NORV00____R_20191750000_01M_SB.rnx"},
      {"a.qdx", "", kDay20190624Ms, "", 0, 60, FILE_BDS_NAV, none, 0, "NORV1750.19I"},
      // Receiver texts never name another directory.
      {"a.qdx", "", kDay20190624Ms, "", 0, 0, FILE_OBS, marker, 0, "ab__1750.19O"},
      {"a.qdx", "", kDay20190624Ms, "", 0, 0, FILE_OBS, SetupWith(4, "../x", "/.."),
       FLAG_LONG_NAMES, ".._x00_.._R_20191750000_01S_00U_MO.rnx"},
      // Names from -o.
      {"logs/site1750.19_", "copy", kDay20190624Ms, "", 0, 0, FILE_OBS, none, 0, "site1750.19O"},
      {"C:\\data\\x.qdx", "copy", kDay20190624Ms, "", 0, 0, FILE_MIXED_NAV, none, 0, "x.qdP"},
      {"x.qdx", "copybase", kDay20190624Ms, "", 0, 0, FILE_OBS, none, 0, "x.19O"},
      {"d/x.q", "copybase", kDay20190624Ms, "", 0, 0, FILE_SBAS_BROADCAST, none, 0, "19B"},
      {"logs/", "copy", kDay20190624Ms, "", 0, 0, FILE_OBS, none, 0, "NORV1750.19O"},
      {"d/ab", "copybase", kDay20190624Ms, "", 0, 0, FILE_GLO_NAV, none, 0, "NORV1750.19G"},
      {"a.qdx", "out.txt", kDay20190624Ms, "", 0, 0, FILE_OBS, none, 0, "out.txt"},
      {"a.qdx", "dir/out.txt", kDay20190624Ms, "", 0, 0, FILE_GPS_NAV, none, FLAG_LONG_NAMES,
       "dir/out.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Name(c.input, c.output, c.first_ms, c.country, c.interval_ms, c.span_s, c.type,
                   c.setup, c.flags, NoFiles),
              c.expected)
        << c.input << " " << c.output;
  }
}

TEST(FileNaming, LongNameFields) {
  const struct {
    uint32_t span_s;
    const char* period;
  } periods[] = {{0, "01S"},       {1, "01S"},       {59, "59S"},          {60, "01M"},
                 {3599, "59M"},    {3600, "01H"},    {86399, "23H"},       {86400, "01D"},
                 {8639999, "99D"}, {8640000, "00U"}, {kNotMeasured, "00U"}};
  for (const auto& p : periods) EXPECT_EQ(LongNamePeriod(p.span_s), p.period) << p.span_s;
  const struct {
    uint32_t interval_ms;
    const char* frequency;
  } frequencies[] = {{0, "00U"},       {100, "10H"},         {500, "02H"},     {999, "01H"},
                     {1000, "01S"},    {30000, "30S"},       {60000, "60S"},   {90000, "90S"},
                     {99999, "99S"},   {100000, "01M"},      {5999999, "99M"}, {6000000, "00U"},
                     {7200000, "00U"}, {kNotMeasured, "00U"}};
  for (const auto& f : frequencies) {
    EXPECT_EQ(LongNameFrequency(f.interval_ms), f.frequency) << f.interval_ms;
  }
}

// The -S sequence character against the files already in a directory.
TEST(FileNaming, SequencePrecedence) {
  const std::string dir = test::MakeTempDir("file_naming_seq");
  const struct {
    std::vector<std::string> existing;
    int type;
    const char* expected;
  } cases[] = {
      {{}, FILE_OBS, "NORV1750.19O"},
      {{"NORV1750.19O", "NORV1750.19N"}, FILE_OBS, "NORV1751.19O"},
      {{"NORV1750.19O", "NORV1751.19O", "NORV1750.19N"}, FILE_GPS_NAV, "NORV1751.19N"},
      {{"NORV1750.19O"}, FILE_GPS_NAV, "NORV1750.19N"},
      {{"NORV1750.19O"}, FILE_MIXED_NAV, "NORV1750.19P"},
      {{"NORV1750.19N"}, FILE_OBS, "NORV1751.19O"},
      {{"NORV1750.19N"}, FILE_GLO_NAV, "NORV1750.19G"},
      {{"NORV1752.19I"}, FILE_GAL_NAV, "NORV1753.19L"},
      {{"NORV1752.19L"}, FILE_BDS_NAV, "NORV1752.19I"},
      {{"NORV1750.19O", "NORV1750.19N"}, FILE_SBAS_NAV, "NORV1750.19H"},
      {{"NORV1750.19O"}, FILE_MET, "NORV1750.19M"},
      {{"NORV175Z.19O"},
       FILE_OBS,
       "refused: Every sequence character of the output RINEX file \"NORV175Z.19O\" is taken "
       "(0-9, A-Z); no file is written over"},
      {{"NORV1750.18O", "NORV1760.19O", "XXXX1750.19O"}, FILE_OBS, "NORV1750.19O"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const auto& name : c.existing) ASSERT_TRUE(test::WriteFileBytes(dir + "/" + name, {}));
    auto exists = [&](const std::string& name) {
      return access((dir + "/" + name).c_str(), F_OK) == 0;
    };
    EXPECT_EQ(Name("a.qdx", "", kDay20190624Ms, "", 1000, 60, c.type, DefaultSetup(), FLAG_SEQUENCE,
                   exists),
              c.expected)
        << c.existing.size() << " " << c.type;
  }
  std::filesystem::remove_all(dir);
}

TEST(FileNaming, SequenceOfFilesMadeInTheCurrentDirectory) {
  const std::string dir = test::MakeTempDir("file_naming_create");
  const auto old_dir = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  const ReceiverSetupRecord setup = DefaultSetup();
  NamingOptions naming;
  naming.sequence = true;
  for (int round = 0; round < 2; ++round) {
    for (int type : {FILE_OBS, FILE_GPS_NAV}) {
      const NameRequest request{"in.qdx", &naming, kDay20190624Ms, 1000, 60, type, &setup};
      std::string name;
      std::string message;
      ASSERT_TRUE(NameOutputFile(request, &name, &message)) << message;
      OutputFile file;
      ASSERT_TRUE(OpenOutputFile(name, OutputContext{}, OutputFormat{}, &file, &message)) << message;
      WriteText(&file.stream, "x");
      ASSERT_TRUE(CommitOutputFile(&file, &message)) << message;
    }
  }
  // Second round: each kind takes the next index after the first round's files.
  for (const char* name : {"NORV1750.19O", "NORV1751.19O", "NORV1750.19N", "NORV1751.19N"}) {
    EXPECT_TRUE(std::filesystem::exists(name)) << name;
  }
  std::filesystem::current_path(old_dir);
  std::filesystem::remove_all(dir);
}

TEST(FileNaming, SequenceRefusedWhenAllIndicesAreTaken) {
  auto all = [](const std::string& name) { return name.ends_with("O"); };
  const std::string refused = "refused: Every sequence character of the output RINEX file ";
  EXPECT_EQ(
      Name("a.qdx", "", kDay20190624Ms, "", 1000, 60, FILE_OBS, DefaultSetup(), FLAG_SEQUENCE, all),
      refused + "\"NORV175Z.19O\" is taken (0-9, A-Z); no file is written over");
  EXPECT_EQ(Name("a.qdx", "", kDay20190624Ms, "", 1000, 60, FILE_GPS_NAV, DefaultSetup(),
                 FLAG_SEQUENCE, all),
            "NORV175Z.19N");  // no N file exists: Z is free for it
  // Long names have no sequence character.
  EXPECT_EQ(Name("a.qdx", "", kDay20190624Ms, "", 1000, 60, FILE_GPS_NAV, DefaultSetup(),
                 FLAG_SEQUENCE | FLAG_LONG_NAMES, all),
            "NORV00____R_20191750000_01M_GN.rnx");
}

}  // namespace
}  // namespace kavrino

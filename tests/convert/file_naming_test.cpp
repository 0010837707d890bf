// Output file names, from the table in data/naming.txt.
#include "convert/file_naming.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "rinex/case_table.h"

namespace kavrino {
namespace {

constexpr int64_t kDay20190624Ms = 1245369600000;  // 2019-06-24 00:00:00 GPS time
const std::string kTypeLetters = "ONLGH??IPBM";    // by file type index

void PutText(ReceiverSetupRecord* s, size_t offset, size_t width, const std::string& text) {
  std::memset(s->bytes + offset, 0, width);
  std::memcpy(s->bytes + offset, text.data(), std::min(width, text.size()));
}

// "-": the defaults; "marker NAME"; or "REVISION STATION COUNTRY [MONUMENT RECEIVER]".
ReceiverSetupRecord SetupFrom(const std::string& text) {
  ReceiverSetupRecord s;
  SetReceiverSetupDefaults(&s);
  const std::vector<std::string> w = test::Words(text);
  if (w[0] == "marker") PutText(&s, 16, 60, w[1]);
  if (w[0] == "marker" || w[0] == "-") return s;
  const uint16_t id = static_cast<uint16_t>(5902 | (std::stoi(w[0]) << 13));
  s.bytes[4] = id & 0xFF;
  s.bytes[5] = id >> 8;
  PutText(&s, 388, 10, w[1]);
  PutText(&s, 400, 3, w[2]);
  s.bytes[398] = static_cast<uint8_t>(w.size() > 3 ? std::stoi(w[3]) : 0);
  s.bytes[399] = static_cast<uint8_t>(w.size() > 4 ? std::stoi(w[4]) : 0);
  return s;
}

uint32_t Measured(const std::string& text) {
  return text == "-" ? kNotMeasured : static_cast<uint32_t>(std::stoul(text));
}

// The name, or "refused: <message>".
std::string Name(NameRequest request, const std::string& switches, const FileExistsFn& exists) {
  NamingOptions naming = *request.naming;
  naming.long_names = switches.find("long") != std::string::npos;
  naming.sequence = switches.find("seq") != std::string::npos;
  request.naming = &naming;
  request.compact_rinex = switches.find("crx") != std::string::npos;
  request.gzip = switches.find("gzip") != std::string::npos;
  std::string name, message;
  return BuildOutputFileName(request, exists, &name, &message) ? name : "refused: " + message;
}

TEST(FileNaming, Table) {
  const ReceiverSetupRecord defaults = SetupFrom("-");
  for (const auto& row : test::ReadCases("convert/data/naming.txt")) {
    SCOPED_TRACE(row[1] + " " + row[2]);
    if (row[0] == "period" || row[0] == "frequency") {
      const uint32_t value = Measured(row[1]);
      EXPECT_EQ(row[0] == "period" ? LongNamePeriod(value) : LongNameFrequency(value), row[2]);
    }
    if (row[0] == "name") {
      ASSERT_EQ(row.size(), 11u);
      NamingOptions naming{row[2] == "-" ? "" : row[2], row[4] == "-" ? "" : row[4]};
      const ReceiverSetupRecord setup = SetupFrom(row[8]);
      const NameRequest request{row[1],
                                &naming,
                                kDay20190624Ms + std::stoll(row[3]) * 1000,
                                Measured(row[5]),
                                Measured(row[6]),
                                static_cast<int>(kTypeLetters.find(row[7])),
                                &setup};
      EXPECT_EQ(Name(request, row[9], [](const std::string&) { return false; }), row[10]);
    }
    if (row[0] == "sequence") {
      const std::vector<std::string> existing = test::Words(row[1]);
      const std::set<std::string> files(existing.begin(), existing.end());
      const auto exists = [&](const std::string& name) {
        return files.count(name) > 0 || (files.count("*O") > 0 && name.ends_with("O"));
      };
      const NamingOptions naming;
      const NameRequest request{"a.qdx",  &naming, kDay20190624Ms,
                                1000,     60,      static_cast<int>(kTypeLetters.find(row[2][0])),
                                &defaults};
      EXPECT_EQ(Name(request, "seq " + row[2].substr(1), exists), row[3]);
    }
  }
}

}  // namespace
}  // namespace kavrino

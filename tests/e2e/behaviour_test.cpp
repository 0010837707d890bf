// End to end: the behaviours of the conversion, one case of data/behaviours.txt
// each (the file tells its keys): logs, a run of kavrino, what it must make.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "support/e2e.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

using test::QdxBlockWriter;
const std::string kData = KAVRINO_SOURCE_DIR "/tests/e2e/data/";

struct Case {
  std::string name, args, alone;
  std::vector<std::vector<uint8_t>> logs;  // in.qdx, in1.qdx, ...
  int status = 0, records = -1;
  std::vector<std::string> files, want, not_want, goldens;
};

// GPS 5 (L1 C/A + L2C), GLONASS slot 1 (k = +1, L1 C/A) and Galileo 1 (E1 + E5a)
// on the main antenna, GPS 7 on the second one; the codes grow with `step`.
QdxBlockWriter Epoch(uint32_t tow_ms, uint32_t step, uint32_t length) {
  const struct {
    uint8_t channel, type, svid, info;
    uint32_t range;
    uint8_t extra, cn0;  // extra: the type of the one extra sub-block, 0 for none
    uint16_t code;
  } sats[] = {{1, 0, 5, 0, 123456789 + step * 100, 3, 160, 0},
              {2, 8, 38, 9 << 3, 987654321 + step * 50, 0, 0, 0},
              {3, 17, 71, 0, 555555555 + step * 70, 20, 120, 2500},
              {4, 0x20, 7, 0, 111111111, 0, 0, 0}};
  QdxBlockWriter w(4027, 0, tow_ms, 2300, 20);  // week 2300 starts on 2024-02-04
  w.U8(14, 4).U8(15, 20).U8(16, 12);
  for (size_t at = 20; const auto& s : sats) {
    w.U8(at, s.channel).U8(at + 1, s.type).U8(at + 2, s.svid).U8(at + 3, 5).U32(at + 4, s.range);
    w.I32(at + 8, -12345678).U16(at + 12, 1000).I8(at + 14, -3).U8(at + 15, 180).U16(at + 16, 5);
    w.U8(at + 18, s.info).U8(at + 19, s.extra != 0);
    if (s.extra) w.U8(at + 20, s.extra).U8(at + 21, 1).U8(at + 22, s.cn0).U16(at + 26, s.code);
    at += s.extra ? 32 : 20;
    w.Resize(at);
  }
  return length ? w.Resize(length) : w;
}

// Adds the blocks of an "epoch" or a "block" line to `log`.
void AddBlocks(const std::string& kind, std::istringstream& in, std::vector<uint8_t>* log) {
  uint32_t tow = 0, n = 1, step = 0, length = 0, number = 0;
  in >> tow;
  if (kind == "epoch") {  // see data/behaviours.txt
    in >> n >> step >> length;
    for (uint32_t i = 0; i < n; ++i) test::Append(log, Epoch(tow + 1000 * i, step + i, length));
    return;
  }
  std::map<std::string, uint32_t> opt = {{"rev", 0}, {"len", 16}, {"week", 2300}, {"count", 1}};
  std::vector<std::pair<std::string, std::string>> fields;
  in >> number;
  for (std::string word; in >> word;) {
    const size_t eq = word.find('=');
    if (word.find('@') < eq) fields.emplace_back(word.substr(0, eq), word.substr(eq + 1));
    if (word.find('@') > eq) opt[word.substr(0, eq)] = std::stoul(word.substr(eq + 1));
  }
  QdxBlockWriter b(number, opt["rev"], tow, opt["week"], opt["len"]);
  for (auto [field, value] : fields) {
    const size_t at = std::stoul(field.substr(field.find('@') + 1));
    field.resize(field.find('@'));
    if (field == "u8") b.U8(at, std::stoul(value));
    if (field == "u16") b.U16(at, std::stoul(value));
    if (field == "u32") b.U32(at, std::stoul(value));
    if (field == "f32") b.F32(at, std::stof(value));
    if (field == "f64") b.F64(at, std::stod(value));
    std::replace(value.begin(), value.end(), '~', ' ');
    if (field == "text") b.Text(at, value, value.size());
  }
  for (uint32_t i = 0; i < opt["count"]; ++i) test::Append(log, b);
}

std::vector<Case> ReadCases() {
  std::vector<Case> cases;
  for (const std::string& line : test::ReadLines(kData + "behaviours.txt")) {
    const std::string key = line.substr(0, line.find(' '));
    const std::string text = line.substr(std::min(line.size(), key.size() + 1));
    if (key == "==") cases.emplace_back().name = text;
    if (key.empty() || key[0] == '#' || key == "==") continue;
    Case& c = cases.back();
    std::istringstream words(text);
    const std::string keys =
        " run status records files want not alone golden again noise qdxgen epoch block ";
    EXPECT_NE(keys.find(" " + key + " "), std::string::npos) << "unknown line: " << line;
    if (key == "run") c.args = text;
    if (key == "status") words >> c.status;
    if (key == "records") words >> c.records;
    if (key == "files") c.files = {std::istream_iterator<std::string>(words), {}};
    if (key == "want") c.want.push_back(text);
    if (key == "not") c.not_want.push_back(text);
    if (key == "alone") c.alone = text;
    if (key == "golden") c.goldens.push_back(text);
    if (key == "again") c.logs = cases[cases.size() - 2].logs;
    if (key == "noise") {
      uint64_t size = 0, seed = 0;
      words >> size >> seed;
      std::mt19937_64 random(seed);
      for (uint8_t& byte : c.logs.emplace_back(size)) byte = static_cast<uint8_t>(random() >> 56);
    }
    if (key == "qdxgen") {
      const std::string bytes = test::ReadFileText(test::SharedLog(text) + "/log.qdx");
      EXPECT_FALSE(bytes.empty()) << text;
      c.logs.emplace_back(bytes.begin(), bytes.end());
    }
    if (key == "epoch" || key == "block") {
      if (c.logs.empty()) c.logs.emplace_back();
      AddBlocks(key, words, &c.logs.back());
    }
  }
  return cases;
}

// The header and the first `lines` lines after it, and the first record of
// each kind (the first character of a record's first line) found later.
std::string Excerpt(const std::string& text, int lines) {
  std::string out, kinds;
  bool header = true, keep = false;
  for (const std::string& line : test::Lines(text)) {
    if (!header && line[0] != ' ') {
      keep = lines > 0 || kinds.find(line[0]) == std::string::npos;
      kinds += line[0];
    }
    if (header || lines-- > 0 || keep) out += line + "\n";
    header = header && line.find("END OF HEADER") == std::string::npos;
  }
  return out;
}

TEST(Behaviour, EveryCase) {
  static const std::regex kEpochRecord(
      "^(> [0-9]{4}( [0-9]{2}){4}| [0-9]{2}( [ 0-9][0-9]){4}) [ 0-9][0-9]\\.[0-9]{7}  0");
  const std::vector<Case> cases = ReadCases();
  ASSERT_GT(cases.size(), 30u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::ScopedTempDir dir("behaviour");
    std::string inputs;
    for (size_t i = 0; i < c.logs.size(); ++i) {
      const std::string name = i == 0 ? "in.qdx" : "in" + std::to_string(i) + ".qdx";
      ASSERT_TRUE(test::WriteFileBytes(dir / name, c.logs[i]));
      inputs += " " + name;
    }
    EXPECT_EQ(test::Kavrino(dir.path(), "-f" + inputs + " " + c.args).status, c.status);
    std::vector<std::string> made, files = c.files;
    for (const auto& [name, text] : test::FolderFiles(dir.path()))
      if (!name.ends_with(".qdx")) made.push_back(name);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(made, files);
    for (const char product : c.alone) {
      const test::ScopedTempDir alone("alone");
      const std::string args =
          std::regex_replace(c.args, std::regex("-n[A-Z]+"), std::string("-n") + product);
      ASSERT_EQ(test::Kavrino(alone.path(), "-f " + dir.path() + "/in.qdx " + args).status, 0);
      const auto alone_files = test::FolderFiles(alone.path());
      EXPECT_FALSE(alone_files.empty()) << product << " made alone";
      for (const auto& [name, text] : alone_files) {
        EXPECT_EQ(test::MaskRunDate(test::ReadFileText(dir / name)), test::MaskRunDate(text))
            << name << " made alone";
      }
    }
    for (const std::string& golden : c.goldens) {  // OUTPUT EXPECTED [LINES]
      std::string output, expected;
      int lines = -1;
      std::istringstream(golden) >> output >> expected >> lines;
      std::string text = test::MaskRunDate(test::ReadFileText(dir / output));
      if (lines >= 0) text = Excerpt(text, lines);
      if (std::getenv("KAVRINO_UPDATE_EXPECTED"))
        test::WriteFileBytes(kData + expected, {text.begin(), text.end()});
      EXPECT_EQ(text, test::ReadFileText(kData + expected)) << output;
    }
    if (c.files.empty()) continue;
    const std::string text = test::ReadFileText(dir / c.files[0]);
    std::vector<std::string> lines = test::Lines(text);
    int records = 0;
    for (std::string& line : lines) {
      records += std::regex_search(line, kEpochRecord);
      line.erase(line.find_last_not_of(' ') + 1);
    }
    EXPECT_TRUE(c.records < 0 || records == c.records) << records << " records\n" << text;
    auto at = lines.begin();
    for (const std::string& want : c.want) {
      at = std::find(at, lines.end(), want);
      EXPECT_NE(at, lines.end()) << "missing or out of order: '" << want << "'\n" << text;
      at += at != lines.end();
    }
    for (const std::string& bad : c.not_want)
      EXPECT_EQ(text.find(bad), std::string::npos) << "unexpected '" << bad << "'\n" << text;
  }
}

}  // namespace
}  // namespace kavrino

// End to end: the behaviours of the conversion, one case of data/behaviours.txt
// each. A case builds its logs (qdxgen logs, blocks written here, or both),
// runs kavrino on them and checks the files made, the lines that matter and
// whole expected files (or their header and first records) in data/.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/meas_blocks.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;
using test::QdxBlockWriter;

const std::string kData = KAVRINO_SOURCE_DIR "/tests/e2e/data/";
constexpr uint16_t kWeek = 2300;  // week 2300 starts on 2024-02-04

struct Golden {
  std::string output, expected;
  int lines = -1;  // compare the header and these many lines (-1: the whole file)
};

struct Case {
  std::string name, args;
  std::vector<std::vector<uint8_t>> logs;  // in.qdx, in1.qdx, ...
  int status = 0, records = -1;            // records: epoch records (flag 0) expected
  std::vector<std::string> files, want, not_want;
  std::vector<Golden> goldens;
  std::string alone;  // products whose files must be those of a run making it alone
};

// GPS 5 (L1 C/A + L2C), GLONASS slot 1 (k = +1, L1 C/A) and Galileo 1 (E1 +
// E5a) on the main antenna, GPS 7 on the second one; the codes grow with `step`.
QdxBlockWriter Epoch(uint32_t tow_ms, uint32_t step) {
  test::MainSub gps, glo, gal, second;
  gps.range_low += step * 100;
  gps.extras.push_back({});
  glo.channel = 2, glo.svid = 38, glo.type = 8, glo.info = 9 << 3;
  glo.range_low = 987654321 + step * 50;
  gal.channel = 3, gal.svid = 71, gal.type = 17, gal.range_low = 555555555 + step * 70;
  gal.extras.push_back({.type = 20, .cn0 = 120, .code_low = 2500});
  second.channel = 4, second.svid = 7, second.type = 0x20, second.range_low = 111111111;
  return test::ChannelBlock({gps, glo, gal, second}, {.tow_ms = tow_ms});
}

// Adds the blocks of an epoch or block line to `log`.
void AddBlocks(const std::string& kind, std::istringstream& in, std::vector<uint8_t>* log) {
  uint32_t tow = 0, n = 1, step = 0, length = 0, number = 0;
  in >> tow;
  if (kind == "epoch") {  // epoch TOW [COUNT [STEP [LENGTH]]]: one a second
    in >> n >> step >> length;
    for (uint32_t i = 0; i < n; ++i) {
      QdxBlockWriter b = Epoch(tow + 1000 * i, step + i);
      if (length != 0) b.Resize(length);
      test::Append(log, b);
    }
    return;
  }
  // block TOW NUMBER [rev=R] [len=L] [week=W] [count=N] [TYPE@OFFSET=VALUE...]
  std::map<std::string, uint32_t> options = {
      {"rev", 0}, {"len", 16}, {"week", kWeek}, {"count", 1}};
  std::vector<std::pair<std::string, std::string>> fields;
  in >> number;
  const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
  for (size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];  // a text runs on to the next word with a "="
    while (word.starts_with("text@") && i + 1 < words.size() &&
           words[i + 1].find('=') == std::string::npos)
      word += " " + words[++i];
    const size_t eq = word.find('=');
    if (word.find('@') == std::string::npos) {
      options[word.substr(0, eq)] = static_cast<uint32_t>(std::stoul(word.substr(eq + 1)));
    } else {
      fields.emplace_back(word.substr(0, eq), word.substr(eq + 1));
    }
  }
  QdxBlockWriter b(static_cast<uint16_t>(number), static_cast<uint8_t>(options["rev"]), tow,
                   static_cast<uint16_t>(options["week"]), options["len"]);
  for (const auto& [field, value] : fields) {
    const std::string type = field.substr(0, field.find('@'));
    const size_t at = std::stoul(field.substr(type.size() + 1));
    if (type == "u8") b.U8(at, static_cast<uint8_t>(std::stoul(value)));
    if (type == "u16") b.U16(at, static_cast<uint16_t>(std::stoul(value)));
    if (type == "u32") b.U32(at, static_cast<uint32_t>(std::stoul(value)));
    if (type == "f32") b.F32(at, std::stof(value));
    if (type == "f64") b.F64(at, std::stod(value));
    if (type == "text") b.Text(at, value, value.size());
  }
  for (uint32_t i = 0; i < options["count"]; ++i) test::Append(log, b);
}

std::vector<Case> ReadCases() {
  std::vector<Case> cases;
  for (const std::string& line : test::ReadLines(kData + "behaviours.txt")) {
    std::istringstream in(line);
    std::string key, text;
    in >> key;
    const size_t at = line.find(' ');
    text = at == std::string::npos ? "" : line.substr(at + 1);
    if (key == "==") cases.emplace_back().name = text;
    if (key.empty() || key[0] == '#' || key == "==") continue;
    Case& c = cases.back();
    std::istringstream words(text);
    const std::string keys =
        " run status records files want not alone golden noise qdxgen epoch block ";
    EXPECT_NE(keys.find(" " + key + " "), std::string::npos) << "unknown line: " << line;
    if (key == "run") c.args = text;
    if (key == "status") words >> c.status;
    if (key == "records") words >> c.records;
    if (key == "files") c.files = {std::istream_iterator<std::string>(words), {}};
    if (key == "want") c.want.push_back(text);
    if (key == "not") c.not_want.push_back(text);
    if (key == "alone") c.alone = text;
    if (key == "golden") {  // golden OUTPUT EXPECTED [LINES]
      Golden& g = c.goldens.emplace_back();
      words >> g.output >> g.expected >> g.lines;
    }
    if (key == "noise") {  // noise BYTES SEED: a log of random bytes of its own
      size_t size = 0;
      uint64_t seed = 0;
      words >> size >> seed;
      std::mt19937_64 random(seed);
      for (uint8_t& byte : c.logs.emplace_back(size)) byte = static_cast<uint8_t>(random() >> 56);
    }
    if (key == "qdxgen") {  // a log of its own
      const std::string bytes = test::ReadFileText(test::SharedLog(text) + "/log.qdx");
      EXPECT_FALSE(bytes.empty()) << text;
      c.logs.emplace_back(bytes.begin(), bytes.end());
    }
    if (key == "epoch" || key == "block") {
      if (c.logs.empty()) c.logs.emplace_back();
      AddBlocks(key, in, &c.logs.back());
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
    if (header) {
      out += line + "\n";
      header = line.find("END OF HEADER") == std::string::npos;
      continue;
    }
    if (line[0] != ' ') {
      keep = lines > 0 || kinds.find(line[0]) == std::string::npos;
      kinds += line[0];
    }
    if (lines-- > 0 || keep) out += line + "\n";
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
    for (const Golden& g : c.goldens) {
      std::string text = test::MaskRunDate(test::ReadFileText(dir / g.output));
      if (g.lines >= 0) text = Excerpt(text, g.lines);
      if (std::getenv("KAVRINO_UPDATE_EXPECTED"))
        test::WriteFileBytes(kData + g.expected, {text.begin(), text.end()});
      EXPECT_EQ(text, test::ReadFileText(kData + g.expected)) << g.output;
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
    for (const std::string& bad : c.not_want) {
      EXPECT_EQ(text.find(bad), std::string::npos) << "unexpected '" << bad << "'\n" << text;
    }
  }
}

}  // namespace
}  // namespace kavrino

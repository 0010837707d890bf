// The command line, from the table in data/options.txt, and the usage text.
#include "app/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "rinex/case_table.h"

namespace kavrino {
namespace {

std::string ReadAll(FILE* f) {
  std::string text;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  std::fclose(f);
  return text;
}

struct Parsed {
  int status = 0;
  RunSettings settings;
  std::string out, err;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "kavrino");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  Parsed p;
  p.status = ParseCommandLine(static_cast<int>(args.size()), argv.data(), &p.settings, out, err);
  p.out = ReadAll(out);
  p.err = ReadAll(err);
  return p;
}

std::string UsageText() {
  FILE* f = std::tmpfile();
  PrintUsage(f);
  return ReadAll(f);
}

// The settings that differ from the defaults, as words in a fixed order.
std::string Differences(const RunSettings& s) {
  const ConvertOptions& o = s.convert;
  std::string text = "files=";
  for (const std::string& f : s.input_files) text += (&f == &s.input_files[0] ? "" : ",") + f;
  const auto add = [&](bool differs, const std::string& word) {
    if (differs) text += " " + word;
  };
  add(s.file_types != "O", "types=" + s.file_types);
  add(s.product_count != 1, "products=" + std::to_string(s.product_count));
  add(s.meteo_requested, "met");
  add(s.verbose, "verbose");
  add(o.version != RinexVersion::k211, o.version == RinexVersion::k304 ? "R3" : "R210");
  add(o.interval_ms != 1, "i=" + std::to_string(o.interval_ms));
  add(o.window.start_ms != kNoStartMs, "b=" + std::to_string(o.window.start_ms));
  add(o.window.end_ms != kNoEndMs, "e=" + std::to_string(o.window.end_ms));
  std::string excluded;
  for (int c = 0; c < 32; ++c) {
    if (IsSystemExcluded(o, static_cast<uint8_t>(c))) excluded += c < 7 ? "GESRCJI"[c] : '?';
  }
  add(!excluded.empty(), "x=" + excluded);
  char mask[32];
  std::snprintf(mask, sizeof mask, "mask=%#llx", static_cast<unsigned long long>(o.signal_mask));
  add(o.signal_mask != ~0ULL, o.signal_mask == 0 ? "mask=0x0" : mask);
  add(o.antenna != 1, "a=" + std::to_string(o.antenna));
  add(o.extras.snr, "snr");
  add(o.extras.doppler, "doppler");
  add(o.extras.channel, "channel");
  add(o.comments, "comments");
  add(o.moving != MovingEvent::kNever,
      o.moving == MovingEvent::kWhenMoving ? "moving=auto" : "moving=always");
  add(!o.events, "noevent");
  add(o.sbas_valid_only, "validonly");
  add(o.families != MeasFamilies::kBoth,
      o.families == MeasFamilies::kClassicOnly ? "classic" : "compact");
  add(o.naming.sequence, "seq");
  add(o.naming.long_names, "long");
  add(!o.naming.output_name.empty(), "out=" + o.naming.output_name);
  add(!o.naming.country_code.empty(), "country=" + o.naming.country_code);
  add(o.has_receiver_type, "rectype=" + o.receiver_type);
  std::string comment;
  for (unsigned char c : o.comment) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", c);
    comment += c > ' ' && c < 127 ? std::string(1, static_cast<char>(c)) : hex;
  }
  add(!o.comment.empty(), "comment=" + comment);
  add(o.compact_rinex, "crx");
  add(o.gzip_output, "gzip");
  return text;
}

// A command line either parses, with nothing on stderr (stdout takes one
// newline with -v), or ends with a status: 0 after what -V and -z print, 3
// with one line naming the cause before the usage text.
TEST(Options, CommandLineTable) {
  const std::string usage = UsageText();
  for (const auto& row : test::ReadCases("app/data/options.txt")) {
    SCOPED_TRACE(row[0]);
    ASSERT_EQ(row.size(), 3u);
    const Parsed p = Parse(test::Words(row[0]));
    if (row[1] == "ok") {
      ASSERT_EQ(p.status, kParseContinue) << p.err;
      EXPECT_EQ(Differences(p.settings), row[2]);
      EXPECT_EQ(p.out, p.settings.verbose ? "\n" : "");
      EXPECT_EQ(p.err, "");
    } else {
      EXPECT_EQ(p.status, std::stoi(row[1]));
      EXPECT_EQ(p.out, row[1] == "0" ? row[2] : "");
      EXPECT_EQ(p.err, row[1] == "0" ? "" : row[2] + "\n" + usage);
    }
  }
}

TEST(Options, LongValuesAreKeptOrCut) {
  const Parsed p = Parse({"-f", std::string(300, 'n'), "-o", std::string(300, 'o'), "-C",
                          std::string(300, 'c'), "-n", "N" + std::string(198, 'y') + "G"});
  ASSERT_EQ(p.status, kParseContinue) << p.err;
  EXPECT_EQ(p.settings.input_files, std::vector<std::string>{std::string(300, 'n')});
  EXPECT_EQ(p.settings.convert.naming.output_name, std::string(300, 'o'));
  EXPECT_EQ(p.settings.convert.comment, std::string(240, 'c'));
  EXPECT_EQ(p.settings.file_types, "N" + std::string(198, 'y'));  // the G is cut off
  EXPECT_EQ(p.settings.product_count, 1);
}

uint64_t Fnv1a(const std::string& text) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ULL;
  return h;
}

TEST(Options, UsageAndBuildInfo) {
  const std::string usage = UsageText();
  EXPECT_EQ(usage.size(), 7976u);
  EXPECT_EQ(Fnv1a(usage), 0xba17e1aab559bb77ULL);
  const Parsed info = Parse({"-z", "Kv7#zq2mextra"});
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.out.rfind("Builder: ", 0), 0u);
  EXPECT_NE(info.out.find("\nBuild date: "), std::string::npos);
  EXPECT_NE(info.out.find("\nSource revision: "), std::string::npos);
  EXPECT_EQ(std::count(info.out.begin(), info.out.end(), '\n'), 3);
}

}  // namespace
}  // namespace kavrino

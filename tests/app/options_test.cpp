#include "app/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/time.h"

namespace kavrino {
namespace {

std::string ReadAll(FILE* f) {
  std::string text;
  std::rewind(f);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  return text;
}

struct Parsed {
  int status = 0;
  RunSettings settings;
  std::string out;
  std::string err;
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

uint64_t Fnv1a(const std::string& text) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ULL;
  return h;
}

TEST(Usage, TextIsFixed) {
  const std::string usage = UsageText();
  EXPECT_EQ(usage.size(), 7819u);
  EXPECT_EQ(Fnv1a(usage), 0x3444ace96ef1ba05ULL);
  EXPECT_EQ(usage.rfind("\nkavrino -f input_file [-o output_file][-l][-O CCC][-R3]", 0), 0u);
  EXPECT_NE(usage.find("\n  -V              Display the kavrino version.\n\n\nNote on the L2"),
            std::string::npos);
  EXPECT_NE(usage.find("\n \n With the \"-o copy\" option"), std::string::npos);
  const std::string tail = " The RINEX files are put in the current directory.\n";
  EXPECT_EQ(usage.substr(usage.size() - tail.size()), tail);
}

TEST(Options, Defaults) {
  const Parsed p = Parse({"-f", "a.qdx"});
  ASSERT_EQ(p.status, kParseContinue);
  const RunSettings& s = p.settings;
  EXPECT_EQ(s.input_files, std::vector<std::string>{"a.qdx"});
  EXPECT_EQ(s.file_types, "O");
  EXPECT_EQ(s.product_count, 1);
  EXPECT_EQ(s.rinex_version, RINEX_211);
  EXPECT_EQ(s.interval_ms, 1u);
  EXPECT_EQ(s.start_ms, kNoStartMs);
  EXPECT_EQ(s.end_ms, kNoEndMs);
  EXPECT_EQ(s.flags, 0u);
  EXPECT_EQ(s.signal_mask, ~0ULL);
  EXPECT_EQ(s.antenna, 1u);
  EXPECT_EQ(s.receiver_type_override, "default");
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err, "");
}

TEST(Options, InputFileLists) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> files;
    uint32_t flags;
  } const cases[] = {
      {{"-f", "a.qdx", "b.qdx", "-s"}, {"a.qdx", "b.qdx"}, FLAG_SNR_OBS},
      {{"-finput"}, {"input"}, 0},
      {{"-f", "a.qdx", "-s", "-f", "b.qdx", "-D"},
       {"a.qdx", "b.qdx"},
       FLAG_SNR_OBS | FLAG_DOPPLER_OBS},
      {{"-s", "-fa", "-f", "b", "c", "-fd", "-v"},
       {"a", "b", "c", "d"},
       FLAG_SNR_OBS | FLAG_VERBOSE},
      {{"-f", "-s", "-fa"}, {"a"}, FLAG_SNR_OBS},  // an empty list, then a file
      {{"-sf", "a", "b", "-D"}, {"a", "b"}, FLAG_SNR_OBS | FLAG_DOPPLER_OBS},  // grouped -f
      {{"-s", "stop", "-D", "-f", "a"}, {"a"}, FLAG_SNR_OBS},       // found after parsing stopped
      {{"-f", std::string(300, 'n')}, {std::string(300, 'n')}, 0},  // names are kept whole
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(c.args);
    ASSERT_EQ(p.status, kParseContinue) << c.args[0] << " " << p.err;
    EXPECT_EQ(p.settings.input_files, c.files) << c.args[0];
    EXPECT_EQ(p.settings.flags, c.flags) << c.args[0];
  }
}

// Each case adds "-f a" at the end unless the arguments already name a file.
TEST(Options, ScannerAndFlags) {
  struct Case {
    std::vector<std::string> args;
    uint32_t flags;
  } const cases[] = {
      {{"-sDX"}, FLAG_SNR_OBS | FLAG_DOPPLER_OBS | FLAG_CHANNEL_OBS},
      {{"-cSvl23"},
       FLAG_COMMENTS | FLAG_SEQUENCE | FLAG_VERBOSE | FLAG_LONG_NAMES | FLAG_CLASSIC_MEAS_ONLY |
           FLAG_COMPACT_MEAS_ONLY},
      {{"-s", "--", "-D"}, FLAG_SNR_OBS},  // "--" ends parsing
      {{"-s-D"}, FLAG_SNR_OBS},            // so does '-' inside a group
      {{"-s", "-", "-D"}, FLAG_SNR_OBS},   // and a lone "-"
      {{"-xGRESCJI"},
       FLAG_EXCL_GPS | FLAG_EXCL_GLONASS | FLAG_EXCL_GALILEO | FLAG_EXCL_SBAS | FLAG_EXCL_BEIDOU |
           FLAG_EXCL_QZSS | FLAG_EXCL_NAVIC},
      {{"-x", "zGz", "-xR"}, FLAG_EXCL_GPS | FLAG_EXCL_GLONASS},
      {{"-ma"}, FLAG_MOVING_AUTO},
      {{"-m", "fa"}, FLAG_MOVING_AUTO | FLAG_MOVING_FORCE},
      {{"-noevent"}, FLAG_NO_EVENTS},
      {{"-L2C", "-L", "2C"}, 0},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-f", "a"});
    const Parsed p = Parse(args);
    ASSERT_EQ(p.status, kParseContinue) << c.args[0] << p.err;
    EXPECT_EQ(p.settings.flags, c.flags) << c.args[0];
  }
}

TEST(Options, TextAndNumberValues) {
  const Parsed p = Parse({"-f", "a", "-o", std::string(300, 'o'), "-OABCD", "-C",
                          std::string(300, 'c'), "-t", "xRecType=ABCDEFGHIJKLMNOPQRSTUVWXYZ", "-a",
                          "3", "-R", "3", "-n", "N" + std::string(198, 'y') + "G"});
  ASSERT_EQ(p.status, kParseContinue) << p.err;
  EXPECT_EQ(p.settings.output_name, std::string(300, 'o'));
  EXPECT_EQ(p.settings.country_code, "ABC");
  EXPECT_EQ(p.settings.comment, std::string(240, 'c'));
  EXPECT_EQ(p.settings.receiver_type_override, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(p.settings.antenna, 3u);
  EXPECT_EQ(p.settings.rinex_version, RINEX_304);
  EXPECT_EQ(p.settings.file_types, "N" + std::string(198, 'y'));  // the G is cut off
  EXPECT_EQ(p.settings.product_count, 1);
  EXPECT_EQ(Parse({"-f", "a", "-R210"}).settings.rinex_version, RINEX_210);
  EXPECT_EQ(Parse({"-f", "a", "-R3"}).settings.rinex_version, RINEX_304);
}

TEST(Options, Products) {
  struct Case {
    std::vector<std::string> args;
    std::string file_types;
    int product_count;
    bool meteo;
    uint32_t flags;
  } const cases[] = {
      {{"-nN"}, "N", 1, false, 0},
      {{"-nNNGG"}, "NNGG", 2, false, 0},
      {{"-nBvalidonly"}, "Bvalidonly", 1, false, FLAG_SBAS_VALID_ONLY},
      {{"-MET"}, "O", 2, true, 0},
      {{"-nN", "-MET"}, "N", 2, true, 0},
      {{"-nN", "-nGE"}, "GE", 2, false, 0},  // a later -n replaces the earlier one
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-f", "a"});
    const Parsed p = Parse(args);
    ASSERT_EQ(p.status, kParseContinue) << c.args[0] << p.err;
    EXPECT_EQ(p.settings.file_types, c.file_types) << c.args[0];
    EXPECT_EQ(p.settings.product_count, c.product_count) << c.args[0];
    EXPECT_EQ(p.settings.meteo_requested, c.meteo) << c.args[0];
    EXPECT_EQ(p.settings.flags, c.flags) << c.args[0];
  }
}

TEST(Options, SignalLists) {
  struct Case {
    std::vector<std::string> args;
    uint64_t mask;
  } const cases[] = {
      {{"-I", "GPSL1CA+GPSL1C"}, 0x21},
      {{"-I", "GPSL1CA+GPSL1CA"}, 0x1},  // a repeated name does not bring in GPSL1C
      {{"-I", "GALE5"}, 1ULL << 22},
      {{"-I", "GALE5a+GALE5"}, (1ULL << 20) | (1ULL << 22)},
      {{"-I", "QZSL1CA+QZSL1C+QZSL1S+QZSL6"},
       (1ULL << 6) | (1ULL << 32) | (1ULL << 33) | (1ULL << 27)},
      {{"-I", "GLOL1CAGLOL2CA,foo"}, (1ULL << 8) | (1ULL << 11)},
      {{"-I", "nothing"}, 0},
      {{"-I", "BDSB1I+BDSB2I+BDSB3I+BDSB1C+BDSB2a+SBSL1+SBSL5+IRNL5"},
       (7ULL << 28) | (3ULL << 13) | (3ULL << 24) | (1ULL << 15)},
      {{"-I", "GPSL1P+GPSL2P+GPSL2C+GPSL5+GLOL1P+GLOL2P+GLOL3+GALE1+GALE6+QZSL2C+QZSL5"},
       0x1E | (1ULL << 9) | (1ULL << 10) | (1ULL << 12) | (1ULL << 17) | (1ULL << 19) |
           (1ULL << 7) | (1ULL << 26)},
      {{"-I", "GPSL1CA", "-E", "GPSL1CA"}, 0},
      {{"-E", "GPSL2P+GALE5"}, ~((1ULL << 2) | (1ULL << 22))},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-f", "a"});
    const Parsed p = Parse(args);
    ASSERT_EQ(p.status, kParseContinue);
    EXPECT_EQ(p.settings.signal_mask, c.mask) << c.args[1];
  }
}

TEST(Options, IntervalAndEpochs) {
  const int64_t june24 = 2059 * kMsPerWeek + kMsPerDay;  // 2019-06-24 on the GPS scale
  struct Case {
    std::vector<std::string> args;
    uint32_t interval_ms;
    int64_t start_ms, end_ms;
  } const cases[] = {
      {{"-i", "30"}, 30000, kNoStartMs, kNoEndMs},
      {{"-i0.0005"}, 1, kNoStartMs, kNoEndMs},
      {{"-i", "0.0156"}, 16, kNoStartMs, kNoEndMs},
      {{"-i", " 1e1x"}, 10000, kNoStartMs, kNoEndMs},
      {{"-b", "10:00:00.5"}, 1, 36000500, kNoEndMs},
      {{"-b", "23:59:59.9999"}, 1, 86399999, kNoEndMs},
      {{"-b", "1980-01-06_00:00:01"}, 1, 1000, kNoEndMs},
      {{"-b", "80-01-06_00:00:00"}, 1, 0, kNoEndMs},
      {{"-b", "79-01-01_00:00:00"},
       1,
       static_cast<int64_t>(CalendarToGpsSeconds({2079, 1, 1, 0, 0, 0}) * 1000),
       kNoEndMs},
      {{"-b", "2019-06-24_13:31:09.5", "-e", "2019-06-24T13:31:10"},
       1,
       june24 + (13 * 3600 + 31 * 60 + 9) * 1000 + 500,
       june24 + (13 * 3600 + 31 * 60 + 10) * 1000},
      {{"-e", "2019-06-23_24:00:00.0004"}, 1, kNoStartMs, june24},  // rounded, hours carry
      {{"-e", "1:2:3"}, 1, kNoStartMs, 3723000},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-f", "a"});
    const Parsed p = Parse(args);
    ASSERT_EQ(p.status, kParseContinue) << c.args[1] << p.err;
    EXPECT_EQ(p.settings.interval_ms, c.interval_ms) << c.args[1];
    EXPECT_EQ(p.settings.start_ms, c.start_ms) << c.args[1];
    EXPECT_EQ(p.settings.end_ms, c.end_ms) << c.args[1];
  }
}

TEST(Options, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string line;  // printed before the usage text
  } const cases[] = {
      {{}, ""},
      {{"-s"}, ""},
      {{"-f"}, "Option -f requires an argument.\n"},
      {{"-f", "-s"}, ""},  // -f directly followed by an option: no input file
      {{"-f", "a", "-o"}, "Option -o requires an argument.\n"},
      {{"-f", "a", "-sq"}, "Unknown option -q.\n"},
      {{"-f", "a", "-:"}, "Unknown option -:.\n"},
      {{"-f", "a", "-\x01"}, "Unknown option character \\x1.\n"},
      {{"-f", "a", "-\xc3\xa9"}, "Unknown option character \\xc3.\n"},
      {{"-f", "a", "-R", "2.11"}, ""},
      {{"-f", "a", "-MT"}, ""},
      {{"-f", "a", "-L2P"}, ""},
      {{"-f", "a", "-t", "Receiver"}, ""},
      {{"-f", "a", "-n", "xyz"}, ""},
      {{"-f", "a", "-i", "abc"}, ""},
      {{"-f", "a", "-i", "0"}, ""},
      {{"-f", "a", "-i", "0.0004"}, ""},
      {{"-f", "a", "-i", "1e300"}, ""},
      {{"-f", "a", "-i", "nan"}, ""},
      {{"-f", "a", "-a", "x"}, ""},
      {{"-f", "a", "-a", "99999999999"}, ""},
      {{"-f", "a", "-b", "2019-06-24"}, ""},  // fields missing
      {{"-f", "a", "-e", "10:00"}, ""},
      {{"-f", "a", "-b", "xx"}, ""},
      {{"-f", "a", "-b", "25:00:00"}, ""},  // not a time of day
      {{"-f", "a", "-b", "2019-06-24_10:00:1e300"}, ""},
  };
  const std::string usage = UsageText();
  for (const auto& c : cases) {
    const Parsed p = Parse(c.args);
    const std::string what = c.args.empty() ? "(none)" : c.args.back();
    EXPECT_EQ(p.status, 3) << what;
    EXPECT_EQ(p.err, c.line + usage) << what;
    EXPECT_EQ(p.out, "") << what;
  }
}

TEST(Options, VersionBuildInfoAndVerbose) {
  const std::string version = std::string(kProgramVersion) + "\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  } const cases[] = {
      {{"-V"}, 0, version},   {{"-f", "a", "-V", "-R", "bad"}, 0, version},
      {{"-sV"}, 0, version},  {{"-z", "notright"}, 0, ""},
      {{"-zKv7#zq2"}, 0, ""}, {{"-f", "a", "-v"}, kParseContinue, "\n"},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(c.args);
    EXPECT_EQ(p.status, c.status) << c.args[0];
    EXPECT_EQ(p.out, c.out) << c.args[0];
    EXPECT_EQ(p.err, "") << c.args[0];
  }
  const Parsed info = Parse({"-z", "Kv7#zq2mextra"});
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.out.rfind("Builder: ", 0), 0u);
  EXPECT_NE(info.out.find("\nBuild date: "), std::string::npos);
  EXPECT_NE(info.out.find("\nSource revision: "), std::string::npos);
  EXPECT_EQ(std::count(info.out.begin(), info.out.end(), '\n'), 3);
}

}  // namespace
}  // namespace kavrino

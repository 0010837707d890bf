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

// The switches of the settings as one bit set, for compact tables.
enum : uint32_t {
  FLAG_SNR_OBS = 1u << 0,
  FLAG_DOPPLER_OBS = 1u << 1,
  FLAG_CHANNEL_OBS = 1u << 2,
  FLAG_COMMENTS = 1u << 3,
  FLAG_SEQUENCE = 1u << 4,
  FLAG_VERBOSE = 1u << 5,
  FLAG_LONG_NAMES = 1u << 6,
  FLAG_CLASSIC_MEAS_ONLY = 1u << 7,
  FLAG_COMPACT_MEAS_ONLY = 1u << 8,
  FLAG_MOVING_AUTO = 1u << 9,
  FLAG_MOVING_FORCE = 1u << 10,
  FLAG_NO_EVENTS = 1u << 11,
  FLAG_SBAS_VALID_ONLY = 1u << 12,
  FLAG_EXCL_GPS = 1u << (16 + CONST_GPS),
  FLAG_EXCL_GLONASS = 1u << (16 + CONST_GLONASS),
  FLAG_EXCL_GALILEO = 1u << (16 + CONST_GALILEO),
  FLAG_EXCL_SBAS = 1u << (16 + CONST_SBAS),
  FLAG_EXCL_BEIDOU = 1u << (16 + CONST_BEIDOU),
  FLAG_EXCL_QZSS = 1u << (16 + CONST_QZSS),
  FLAG_EXCL_NAVIC = 1u << (16 + CONST_NAVIC),
};

uint32_t Flags(const RunSettings& run) {
  const ConvertOptions& o = run.convert;
  uint32_t flags = o.excluded_systems << 16;
  if (o.extras.snr) flags |= FLAG_SNR_OBS;
  if (o.extras.doppler) flags |= FLAG_DOPPLER_OBS;
  if (o.extras.channel) flags |= FLAG_CHANNEL_OBS;
  if (o.comments) flags |= FLAG_COMMENTS;
  if (o.naming.sequence) flags |= FLAG_SEQUENCE;
  if (run.verbose) flags |= FLAG_VERBOSE;
  if (o.naming.long_names) flags |= FLAG_LONG_NAMES;
  if (o.families == MeasFamilies::kClassicOnly) flags |= FLAG_CLASSIC_MEAS_ONLY;
  if (o.families == MeasFamilies::kCompactOnly) flags |= FLAG_COMPACT_MEAS_ONLY;
  if (o.moving == MovingEvent::kWhenMoving) flags |= FLAG_MOVING_AUTO;
  if (o.moving == MovingEvent::kAlways) flags |= FLAG_MOVING_FORCE;
  if (!o.events) flags |= FLAG_NO_EVENTS;
  if (o.sbas_valid_only) flags |= FLAG_SBAS_VALID_ONLY;
  return flags;
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
  EXPECT_EQ(usage.size(), 7976u);
  EXPECT_EQ(Fnv1a(usage), 0xba17e1aab559bb77ULL);
  EXPECT_EQ(usage.rfind("\nkavrino -f input_file [-o output_file][-l][-O CCC][-R3]", 0), 0u);
  EXPECT_NE(usage.find("\n  -V              Display the kavrino version.\n  --crx   "),
            std::string::npos);
  EXPECT_NE(usage.find("(.gz appended).\n\n\nNote on the L2"), std::string::npos);
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
  EXPECT_EQ(s.convert.version, RinexVersion::k211);
  EXPECT_EQ(s.convert.interval_ms, 1u);
  EXPECT_EQ(s.convert.window.start_ms, kNoStartMs);
  EXPECT_EQ(s.convert.window.end_ms, kNoEndMs);
  EXPECT_EQ(Flags(s), 0u);
  EXPECT_EQ(s.convert.signal_mask, ~0ULL);
  EXPECT_EQ(s.convert.antenna, 1u);
  EXPECT_FALSE(s.convert.has_receiver_type);
  EXPECT_FALSE(s.convert.compact_rinex || s.convert.gzip_output);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err, "");
  const Parsed gzip = Parse({"--gzip", "-f", "a"});
  EXPECT_TRUE(gzip.settings.convert.gzip_output && !gzip.settings.convert.compact_rinex);
  const Parsed crx = Parse({"-f", "a", "--crx"});
  EXPECT_TRUE(crx.settings.convert.compact_rinex && !crx.settings.convert.gzip_output);
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
      {{"-s", "--", "-D", "-f", "a"}, {"a"}, FLAG_SNR_OBS},         // found after parsing stopped
      {{"-f", std::string(300, 'n')}, {std::string(300, 'n')}, 0},  // names are kept whole
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(c.args);
    ASSERT_EQ(p.status, kParseContinue) << c.args[0] << " " << p.err;
    EXPECT_EQ(p.settings.input_files, c.files) << c.args[0];
    EXPECT_EQ(Flags(p.settings), c.flags) << c.args[0];
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
       FLAG_COMMENTS | FLAG_SEQUENCE | FLAG_VERBOSE | FLAG_LONG_NAMES |
           FLAG_CLASSIC_MEAS_ONLY},        // -2 wins over -3
      {{"-s", "--", "-D"}, FLAG_SNR_OBS},  // "--" ends parsing
      {{"-xGRESCJI"},
       FLAG_EXCL_GPS | FLAG_EXCL_GLONASS | FLAG_EXCL_GALILEO | FLAG_EXCL_SBAS | FLAG_EXCL_BEIDOU |
           FLAG_EXCL_QZSS | FLAG_EXCL_NAVIC},
      {{"-x", "zGz", "-xR"}, FLAG_EXCL_GPS | FLAG_EXCL_GLONASS},
      {{"-ma"}, FLAG_MOVING_AUTO},
      {{"-m", "fa"}, FLAG_MOVING_FORCE},
      {{"-mf", "-ma"}, FLAG_MOVING_FORCE},
      {{"-3", "-2"}, FLAG_CLASSIC_MEAS_ONLY},
      {{"-noevent"}, FLAG_NO_EVENTS},
      {{"-L2C", "-L", "2C"}, 0},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-f", "a"});
    const Parsed p = Parse(args);
    ASSERT_EQ(p.status, kParseContinue) << c.args[0] << p.err;
    EXPECT_EQ(Flags(p.settings), c.flags) << c.args[0];
  }
}

TEST(Options, TextAndNumberValues) {
  const Parsed p = Parse({"-f", "a", "-o", std::string(300, 'o'), "-OABCD", "-C",
                          std::string(300, 'c'), "-t", "xRecType=ABCDEFGHIJKLMNOPQRSTUVWXYZ", "-a",
                          " +3", "-R", "3", "-n", "N" + std::string(198, 'y') + "G"});
  ASSERT_EQ(p.status, kParseContinue) << p.err;
  EXPECT_EQ(p.settings.convert.naming.output_name, std::string(300, 'o'));
  EXPECT_EQ(p.settings.convert.naming.country_code, "ABC");
  EXPECT_EQ(p.settings.convert.comment, std::string(240, 'c'));
  EXPECT_EQ(p.settings.convert.receiver_type, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(p.settings.convert.antenna, 3u);
  EXPECT_EQ(p.settings.convert.version, RinexVersion::k304);
  EXPECT_EQ(p.settings.file_types, "N" + std::string(198, 'y'));  // the G is cut off
  EXPECT_EQ(p.settings.product_count, 1);
  EXPECT_EQ(Parse({"-f", "a", "-R210"}).settings.convert.version, RinexVersion::k210);
  EXPECT_EQ(Parse({"-f", "a", "-R3"}).settings.convert.version, RinexVersion::k304);
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
    EXPECT_EQ(Flags(p.settings), c.flags) << c.args[0];
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
    EXPECT_EQ(p.settings.convert.signal_mask, c.mask) << c.args[1];
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
      {{"-i", " +1e1"}, 10000, kNoStartMs, kNoEndMs},
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
      {{"-e", " 1:2:3"}, 1, kNoStartMs, 3723000},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-f", "a"});
    const Parsed p = Parse(args);
    ASSERT_EQ(p.status, kParseContinue) << c.args[1] << p.err;
    EXPECT_EQ(p.settings.convert.interval_ms, c.interval_ms) << c.args[1];
    EXPECT_EQ(p.settings.convert.window.start_ms, c.start_ms) << c.args[1];
    EXPECT_EQ(p.settings.convert.window.end_ms, c.end_ms) << c.args[1];
  }
}

// A command line either parses, with nothing on stderr, or fails with status 3
// and one line naming the cause before the usage text.
TEST(Options, StatusAndCause) {
  const int ok = kParseContinue;
  const std::string epoch = "kavrino: -b needs yyyy-mm-dd_hh:mm:ss or hh:mm:ss";
  const std::string interval = "kavrino: -i needs a positive number of seconds";
  const std::string antenna = "kavrino: -a needs an antenna number: 1, 2 or 3";
  const std::string control = "kavrino: -C text must not contain control characters";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string line;  // first line of stderr
  } const cases[] = {
      {{"-f", "a", "--", "stray", "-R4"}, ok, ""},
      {{"--gzip", "-f", "a", "--crx"}, ok, ""},
      {{"-sf", "a", "b", "-MET", "-noevent", "-nBvalidonly", "-R210", "-tRecType=x", "-L2C"},
       ok,
       ""},
      {{"-f", "a", "b", "-C", "\x20~\x80", "-i", "\t+30", "-b", " 10:00:00", "-e", "+1:0:0"},
       ok,
       ""},
      {{}, 3, "kavrino: no input file given with -f"},
      {{"-f", "-s"}, 3, "kavrino: no input file given with -f"},
      {{"-f"}, 3, "Option -f requires an argument."},
      {{"-f", "a", "-o"}, 3, "Option -o requires an argument."},
      {{"-f", "a", "-sq"}, 3, "Unknown option -q."},
      {{"-f", "a", "-:"}, 3, "Unknown option -:."},
      {{"-f", "a", "-\x01"}, 3, "Unknown option character \\x1."},
      {{"-f", "a", "-\xc3\xa9"}, 3, "Unknown option character \\xc3."},
      {{"-f", "a", "-s-D"}, 3, "Unknown option --."},
      {{"-f", "a", "--crx=1"}, 3, "kavrino: unknown option --crx=1"},
      {{"-f", "a", "--gz"}, 3, "kavrino: unknown option --gz"},
      {{"-f", "B.qdx", "-R3", "stray", "-l", "-nOP"}, 3, "kavrino: unexpected argument \"stray\""},
      {{"-f", "a", "-", "-s"}, 3, "kavrino: unexpected argument \"-\""},
      {{"-f", "a", "-R4"}, 3, "kavrino: -R needs 3 or 210"},
      {{"-f", "a", "-MT"}, 3, "kavrino: -M is only valid as -MET"},
      {{"-f", "a", "-L2P"}, 3, "kavrino: -L is only valid as -L2C"},
      {{"-f", "a", "-t", "Foo=bar"}, 3, "kavrino: -t needs RecType=name"},
      {{"-f", "a", "-n", "Z"},
       3,
       "kavrino: -n needs at least one of the file types O, N, G, E, H, I, P, B, M"},
      {{"-f", "a", "-C", "a\nb"}, 3, control},
      {{"-f", "a", "-C", "\x1f"}, 3, control},
      {{"-f", "a", "-C", "x\x7f"}, 3, control},
      {{"-f", "a", "-i", "0"}, 3, interval},
      {{"-f", "a", "-i", "30abc"}, 3, interval},
      {{"-f", "a", "-i", "nan"}, 3, interval},
      {{"-f", "a", "-i", "0.0004"}, 3, "kavrino: -i needs at least 0.0005 seconds"},
      {{"-f", "a", "-i", "1e300"}, 3, "kavrino: -i needs at most 4294967 seconds"},
      {{"-f", "a", "-a", "3x"}, 3, antenna},
      {{"-f", "a", "-a", "99999999999"}, 3, antenna},
      {{"-f", "a", "-b", "2019-06-24"}, 3, epoch},  // fields missing
      {{"-f", "a", "-b", "10:00"}, 3, epoch},
      {{"-f", "a", "-b", "10:00:00x"}, 3, epoch},
      {{"-f", "a", "-b", "2019-06-24_10:00:00 "}, 3, epoch},
      {{"-f", "a", "-e", "25:00:00"}, 3, "kavrino: -e needs a time of day before 24:00:00"},
      {{"-f", "a", "-b", "2019-06-24_10:00:1e300"}, 3, "kavrino: -b date out of range"},
  };
  const std::string usage = UsageText();
  for (const auto& c : cases) {
    const Parsed p = Parse(c.args);
    std::string what;
    for (const std::string& arg : c.args) what += arg + " ";
    EXPECT_EQ(p.status, c.status) << what;
    EXPECT_EQ(p.err, c.status == ok ? "" : c.line + "\n" + usage) << what;
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

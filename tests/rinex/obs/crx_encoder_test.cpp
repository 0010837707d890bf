// The Compact RINEX encoder: golden compact texts, round trips through the
// tests' own reader in any chunking, damaged input, a failing output.
#include "rinex/obs/crx_encoder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <string>

#include "rinex/obs/crx_decoder.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

struct Encoded {
  std::string text;
  uint64_t lossy = 0;
  bool ok = false;
};

// Encodes `rinex` handed to the sink in pieces of `chunk` bytes.
Encoded Encode(const std::string& rinex, size_t chunk = size_t{1} << 20) {
  Encoded r;
  OutStream out;
  OpenOutStream(&out, StringSink(&r.text));
  CrxEncoder encoder;
  StartCrxEncoder(&encoder, &out, CrxStamp{"kavrino test", 2024, 3, 10, 12, 0});
  const ByteSink sink = CrxEncoderSink(&encoder);
  bool fed = true;
  for (size_t at = 0; at < rinex.size(); at += chunk) {
    fed = sink.write(sink.context, rinex.data() + at, std::min(chunk, rinex.size() - at)) && fed;
  }
  r.ok = FinishCrxEncoder(&encoder) && FlushOutStream(&out) && fed;
  r.lossy = encoder.lossy;
  return r;
}

std::string Data(const std::string& name) {
  return test::ReadFileText(KAVRINO_SOURCE_DIR "/tests/" + name);
}

// The text without the trailing blanks of its lines, which the format drops.
std::string Trimmed(const std::string& text) {
  return std::regex_replace(text, std::regex(" +\n"), "\n");
}

TEST(CrxEncoder, WritesTheGoldenCompactTexts) {
  for (const std::string name : {"crx_v2", "crx_v3", "crx_one"}) {
    const Encoded e = Encode(Data("rinex/obs/data/" + name + ".rnx"));
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(e.text, Data("rinex/obs/data/" + name + ".crx")) << name;
  }
}

// The observation writer's own files and the hand-made ones: events, site
// records, comments, changed observation types, satellites coming and going,
// empty fields, flags, clock offsets, arcs restarted at the range limits.
TEST(CrxEncoder, RestoresEveryTextInAnyChunking) {
  for (const char* name :
       {"e2e/data/obs_basic_210.rnx", "e2e/data/obs_basic_211.rnx", "e2e/data/obs_basic_304.rnx",
        "rinex/obs/data/crx_v2.rnx", "rinex/obs/data/crx_v3.rnx", "rinex/obs/data/crx_one.rnx"}) {
    const std::string rinex = Data(name);
    for (const size_t chunk : {size_t{1}, size_t{7}, size_t{1} << 20}) {
      for (const bool last_newline : {true, false}) {
        const Encoded e = Encode(last_newline ? rinex : rinex.substr(0, rinex.size() - 1), chunk);
        std::string back;
        EXPECT_TRUE(e.ok && e.lossy == 0) << name;
        ASSERT_TRUE(test::DecodeCrx(e.text, &back)) << name;
        EXPECT_EQ(back, Trimmed(rinex)) << name << ", pieces of " << chunk;
      }
    }
  }
}

// Text the observation writer never writes: the record written as the
// encoder's head comment says, and the stream readable on.
TEST(CrxEncoder, CarriesDamagedTextAsFarAsTheFormatAllows) {
  const std::string head3 =
      "     3.04           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n"
      "G    2 C1C L1C                                              SYS / # / OBS TYPES\n"
      "                                                            END OF HEADER\n";
  const std::string head2 =
      "     2.11           OBSERVATION DATA    M (MIXED)           RINEX VERSION / TYPE\n"
      "     2    C1    L1                                          # / TYPES OF OBSERV\n"
      "                                                            END OF HEADER\n";
  struct Case {
    const char* what;
    std::string head, records, compact;
    bool lossy;
  };
  const Case cases[] = {
      {"a record cut short, a line that is no epoch line", head3,
       "> 2024 03 10 00 00  0.0000000  0  3\nG01      1000.000\nG02      2000.000\n"
       "> 2024 03 10 00 00  1.0000000  0  1\nG01      1001.000\nnot an epoch\n"
       "> 2024 03 10 00 00  2.0000000  0  1\nG01      1002.000\n",
       "> 2024 03 10 00 00  0.0000000  0  2      G01G02\n\n3&1000000  &&&&\n3&2000000  &&&&\n"
       "                    1             1         &&&\n\n1000\n                    2\n\n0\n",
       true},
      {"unknown system, extra field, malformed value", head3,
       "> 2024 03 10 00 00  0.0000000  0  2\nX01      5.000 1\nG01      1000.000        2000.000"
       "        3000.000\n> 2024 03 10 00 00  1.0000000  0  1\nG01      1001.00         2001.000\n",
       "> 2024 03 10 00 00  0.0000000  0  2      X01G01\n\n\n3&1000000 3&2000000 &&&&\n"
       "                    1             1      G  &&&\n\n 1000\n",
       true},
      {"a satellite listed twice, and the epoch after", head3,
       "> 2024 03 10 00 00  0.0000000  0  1\nG01      1000.000 5\n"
       "> 2024 03 10 00 00  1.0000000  0  2\nG01      1001.000 5\nG01         7.000\n"
       "> 2024 03 10 00 00  2.0000000  0  1\nG01      1002.000 5         2.000\n",
       "> 2024 03 10 00 00  0.0000000  0  1      G01\n\n3&1000000  &5&&\n"
       "                    1             2         G01\n\n1000\n3&7000  &&&&\n"
       "                    2             1         &&&\n\n3&1002000 3&2000 &5&&\n",
       false},
      {"RINEX 2: a record cut short, flags of a blank value", head2,
       " 24  3 10  0  0  0.0000000  0  2G01G02\n      1000.000 5              1\n"
       " 24  3 10  0  0  1.0000000  0  1G01\n      1001.000 5\n",
       "&24  3 10  0  0  0.0000000  0  2G01G02\n\n3&1000000   5\n\n"
       "                 1             1   &&&\n\n1000\n",
       true},
  };
  for (const Case& c : cases) {
    const Encoded e = Encode(c.head + c.records);
    std::string back;
    EXPECT_TRUE(e.ok && (e.lossy > 0) == c.lossy) << c.what;
    EXPECT_EQ(e.text.substr(e.text.find("END OF HEADER\n") + 14), c.compact) << c.what;
    EXPECT_TRUE(test::DecodeCrx(e.text, &back)) << c.what;
  }
}

TEST(CrxEncoder, ReportsAFailedOutput) {
  int fd = -1;
  OutStream out;
  OpenOutStream(&out, FdSink(&fd), 256);
  CrxEncoder encoder;
  StartCrxEncoder(&encoder, &out, CrxStamp{"kavrino test", 2024, 3, 10, 12, 0});
  const std::string rinex = Data("rinex/obs/data/crx_v3.rnx");
  const ByteSink sink = CrxEncoderSink(&encoder);
  errno = 0;
  EXPECT_FALSE(sink.write(sink.context, rinex.data(), rinex.size()));
  EXPECT_EQ(errno, EBADF);
  EXPECT_FALSE(FinishCrxEncoder(&encoder));
}

}  // namespace
}  // namespace kavrino

// The Compact RINEX encoder: golden compact texts, round trips through the
// tests' own reader in any chunking, damaged input (failing outputs: the
// failure table of tests/convert/output_file_test.cpp).
#include "rinex/obs/crx_encoder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <string>

#include "qdx/encode/qdx_writer.h"
#include "rinex/case_table.h"
#include "rinex/obs/crx_decoder.h"

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

// Text the observation writer never writes (data/crx_damaged.txt): the record
// written as the encoder's head comment says, and the stream readable on.
TEST(CrxEncoder, CarriesDamagedTextAsFarAsTheFormatAllows) {
  const auto texts = test::ReadGoldens("rinex/obs/data/crx_damaged.txt");
  const std::pair<std::string, bool> cases[] = {
      // name, lossy
      {"a record cut short, a line that is no epoch line", true},
      {"unknown system, extra field, malformed value", true},
      {"a satellite listed twice, and the epoch after", false},
      {"RINEX 2: a record cut short, flags of a blank value", true},
  };
  for (const auto& [name, lossy] : cases) {
    const Encoded e = Encode(texts.at(name + " / text"));
    std::string back;
    EXPECT_TRUE(e.ok && (e.lossy > 0) == lossy) << name;
    EXPECT_EQ(e.text.substr(e.text.find("END OF HEADER\n") + 14), texts.at(name + " / compact"))
        << name;
    EXPECT_TRUE(test::DecodeCrx(e.text, &back)) << name;
  }
}

}  // namespace
}  // namespace kavrino

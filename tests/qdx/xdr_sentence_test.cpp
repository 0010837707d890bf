// Weather values read from XDR sentences.
#include "qdx/decode/xdr_sentence.h"

#include <gtest/gtest.h>

#include <string>

namespace kavrino {
namespace {

constexpr float A = kMetAbsent;

struct XdrCase {
  const char* name;
  std::string text;
  bool found;
  float pressure;
  float temperature;
  float humidity;
};

TEST(XdrSentence, ReadsGroupsByTypeAndUnit) {
  const std::string long_prefix = "$WIXDR,C,21.5,C,TEMP," + std::string(240, 'x') + ",";
  const XdrCase cases[] = {
      {"all three", "$WIXDR,C,21.5,C,TEMP,P,1.0132,B,BARO,H,45.0,P,RH*3A", true, 1.0132f, 21.5f,
       45.0f},
      {"pascal to bar in single precision", "$WIXDR,P,101320,P,BARO*1F", true, 101320.0f * 1e-5f, A,
       A},
      {"temperature only", "$WIXDR,C,-3.5,C,TEMP*00", true, A, -3.5f, A},
      {"kelvin ignored", "$WIXDR,C,294.6,K,TEMP*00", false, A, A, A},
      {"humidity needs unit P", "$WIXDR,H,45.0,H,RH*00", false, A, A, A},
      {"no XDR", "$WIMWV,120.0,R,2.5,M,A*00", false, A, A, A},
      {"XDR anywhere", "junk$IIXDR,H,45.0,P,RH", true, A, A, 45.0f},
      {"type of two characters", "$WIXDR,CC,21.5,C,TEMP,H,45.0,P,RH", true, A, A, 45.0f},
      {"last unit character decides", "$WIXDR,C,21.5,XC,TEMP", true, A, 21.5f, A},
      {"empty unit", "$WIXDR,C,21.5,,TEMP", false, A, A, A},
      {"later group replaces", "$WIXDR,C,1.0,C,A,C,2.0,C,B", true, A, 2.0f, A},
      {"empty value reads 0", "$WIXDR,C,,C,TEMP", true, A, 0.0f, A},
      {"text value reads 0", "$WIXDR,C,abc,C,TEMP", true, A, 0.0f, A},
      {"inf is no number", "$WIXDR,C,inf,C,TEMP", true, A, 0.0f, A},
      {"number prefix", "$WIXDR,P,1.01x,B,BARO", true, 1.01f, A, A},
      {"checksum after unit: too few commas", "$WIXDR,H,45.0,P*1C", false, A, A, A},
      {"group cut short", "$WIXDR,C,21.5,C", false, A, A, A},
      {"zero byte ends the text", std::string("$WIXDR,C,21.5,C,T,\0H,45.0,P,RH", 30), true, A,
       21.5f, A},
      {"beyond 255 characters ignored", long_prefix + "H,45.0,P,RH", true, A, 21.5f, A},
  };
  for (const XdrCase& c : cases) {
    SCOPED_TRACE(c.name);
    XdrValues v;
    v.pressure_bar = 7.0f;  // overwritten by the parser
    EXPECT_EQ(ParseXdrSentence(c.text.data(), c.text.size(), &v), c.found);
    EXPECT_EQ(v.pressure_bar, c.pressure);
    EXPECT_EQ(v.temperature_c, c.temperature);
    EXPECT_EQ(v.humidity_pct, c.humidity);
  }
}

}  // namespace
}  // namespace kavrino

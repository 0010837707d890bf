// The observation files: headers and epochs against hand-worked texts in
// data/, the Compact RINEX encoder and the number texts against printf.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "rinex/case_table.h"
#include "rinex/format.h"
#include "rinex/header_lines.h"
#include "rinex/nav/nav_format.h"
#include "rinex/obs/crx_encoder.h"
#include "rinex/obs/obs_epoch.h"
#include "rinex/obs/obs_header.h"
#include "rinex/obs/obs_types.h"
#include "support/capture.h"

namespace kavrino {
namespace {

// Observation headers, whole, against data/headers.expected (the headers described
// in data/header_cases.txt); the lines they share with the other files.

// "VERSION MASK [snr] [channel] SYSTEM=LIST...".
ObsTypeLayout LayoutOf(const std::string& description) {
  const auto w = test::Words(description);
  ObsTypeLayout layout{};
  layout.version = w[0] == "2.11" ? RinexVersion::k211 : RinexVersion::k304;
  layout.signal_mask = std::stoull(w[1], nullptr, 16);
  for (int c = 0; c < 7; ++c)
    std::snprintf(layout.type_text[c], kObsTypeTextSize, "%c    0", "GESRCJI"[c]);
  for (size_t i = 2; i < w.size(); ++i) {
    layout.with_snr |= w[i] == "snr";
    layout.with_channel |= w[i] == "channel";
    if (w[i].find('=') == std::string::npos) continue;
    std::snprintf(layout.type_text[std::stoi(w[i])], kObsTypeTextSize, "%s",
                  test::Unquote(w[i].substr(w[i].find('=') + 1)).c_str());
  }
  return layout;
}

TEST(ObsHeader, CaseTable) {
  const auto goldens = test::ReadGoldens("rinex/obs/data/headers.expected");
  for (const auto& row : test::ReadCases("rinex/obs/data/header_cases.txt")) {
    SCOPED_TRACE(row[1]);
    if (row[0] == "letter") {
      EXPECT_EQ(ObsSystemLetter(std::stoull(row[1], nullptr, 16)),
                row[2] == "-" ? '\0' : row[2][0]);
    }
    if (row[0] == "receiver") {
      char out[100];
      std::memset(out, '#', sizeof out);
      MakeReceiverType(test::SetupOf(row[1] + " 176=QX-1 328=\"" + row[2] + "\""), out,
                       std::stoul(row[3]));
      EXPECT_STREQ(out, row[4].c_str());
    }
    if (row[0] != "header") continue;
    const ObsTypeLayout layout = LayoutOf(row[2]);
    const ReceiverSetupRecord setup = test::SetupOf(row[3]);
    std::vector<int8_t> glo(30, -128);
    const auto numbers = test::Words(row[6]);
    for (size_t k = 0; k < numbers.size() && numbers[0] != "-"; ++k)
      glo[k] = static_cast<int8_t>(std::stoi(numbers[k]));
    ObsHeaderInfo info;
    info.layout = &layout;
    info.setup = &setup;
    info.first_ms = 1245369600000;  // 2019-06-24 00:00:00 GPS time
    info.run_date = {2026, 5, 12, 15, 24, 36.7};
    info.program = "kavrino-13.4.3";
    info.antenna = static_cast<uint32_t>(std::stoul(row[4]));
    info.receiver_type = row[5] == "-" ? nullptr : row[5].c_str();
    info.glo_slot_freq = row[6] == "-" ? nullptr : glo.data();
    EXPECT_EQ(test::CaptureWrites([&](OutStream* f) { WriteObsHeader(f, info); }),
              goldens.at(row[1]));
  }
}

// Observation epochs and event records against data/epochs.expected (the epochs
// described in data/epoch_cases.txt), and the rules of identifiers, loss of
// lock and antenna and satellite selection.

// "VERSION SIGNAL... [doppler] [snr] [channel]", "all" for every signal.
ObsTypeLayout Layout(const std::string& text) {
  const auto w = test::Words(text);
  uint64_t mask = 0;
  for (size_t i = 1; i < w.size(); ++i) {
    mask |= w[i] == "all" ? ~0ULL : std::isdigit(w[i][0]) ? 1ULL << std::stoi(w[i]) : 0;
  }
  const auto has = [&](const char* word) { return text.find(word) != std::string::npos; };
  ObsTypeLayout l;
  BuildObsTypeLayout(&l, mask, has("doppler"), has("snr"), has("channel"), test::VersionOf(w[0]));
  return l;
}

double Value(const std::string& text) {
  return text == "-" ? MEAS_ABSENT : std::strtod(text.c_str(), nullptr);
}

// Satellites SAT[/CHANNEL][@ANTENNA]=SIGNAL,... with signals
// SLOT:TYPE:RANGE[:CARRIER[:DOPPLER[:CN0[:LOCK[:nophase]]]]].
MeasEpochRecord Epoch(const std::string& sats, uint32_t ms = 0) {
  MeasEpochRecord rec{};
  rec.tow_ms = 345600250 + ms;  // 2018-05-10 00:00:00.250
  rec.week = 2000;
  for (const std::string& s : test::Words(sats)) {
    MeasSatEntry& e = rec.sats[rec.num_sats++];
    const size_t slash = s.find('/'), at = s.find('@'), eq = s.find('=');
    e.sat_index = static_cast<uint8_t>(std::stoi(s));
    e.channel = static_cast<uint8_t>(slash < eq ? std::stoi(s.substr(slash + 1)) : rec.num_sats);
    for (const std::string& signal : test::Split(s.substr(eq + 1), ',')) {
      std::vector<std::string> f = test::Split(signal, ':');
      f.resize(8, "-");
      e.sig[at < eq ? std::stoi(s.substr(at + 1)) : 0][std::stoi(f[0])] = MeasSignal{
          Value(f[2]),
          Value(f[3]),
          static_cast<float>(Value(f[4])),
          static_cast<float>(Value(f[5])),
          f[6] == "-" ? 0u : static_cast<uint32_t>(std::stoul(f[6])),
          static_cast<uint8_t>(std::stoi(f[1])),
          static_cast<uint8_t>(SIG_FLAG_FILLED | (f[7] == "nophase" ? SIG_FLAG_NO_PHASE : 0))};
    }
  }
  return rec;
}

// Writes one epoch; the loss-of-lock history is carried in `history` from call
// to call when one is given.
std::string Write(const ObsTypeLayout& layout, const MeasEpochRecord& rec, uint32_t antenna = 1,
                  bool first = true, LockHistory* history = nullptr) {
  auto own = std::make_unique<LockHistory>();
  const ObsRecordContext context{&layout, antenna, history != nullptr ? history : own.get()};
  return test::CaptureWrites([&](OutStream* out) { WriteObsEpoch(out, context, rec, first); });
}

TEST(WriteObsEpoch, CaseTable) {
  const auto goldens = test::ReadGoldens("rinex/obs/data/epochs.expected");
  auto history = std::make_unique<LockHistory>();
  const ObsTypeLayout l1 = Layout("3.04 0");
  std::map<std::string, std::pair<ObsTypeLayout, MeasEpochRecord>> epochs;
  for (const auto& row : test::ReadCases("rinex/obs/data/epoch_cases.txt")) {
    SCOPED_TRACE(row[1] + " " + row[2]);
    if (row[0] == "epoch") {
      const auto& [layout, rec] =
          epochs[row[1]] = {Layout(row[2]), Epoch(row[4], std::stoul(row[3]))};
      EXPECT_EQ(Write(layout, rec), goldens.at(row[1]));
    }
    if (row[0] == "lli") {
      const std::string text = Write(l1, Epoch("2=0:0:2e7:1e8:-:-:" + row[2], std::stoul(row[1])),
                                     1, row[3] == "1", history.get());
      ASSERT_GE(text.size(), 3u);
      EXPECT_EQ(text[text.size() - 3], row[4][0]);
    }
    if (row[0] == "antenna") {  // an epoch of the second antenna only
      const MeasEpochRecord rec = Epoch("1@1=0:0:2e7");
      const uint32_t antenna = static_cast<uint32_t>(std::stoul(row[1]));
      uint8_t sats[kMaxEpochSats];
      EXPECT_EQ(CountEpochSatellites(rec, l1, antenna, sats, nullptr), std::stoi(row[2]));
      EXPECT_EQ(GetEpochSignalMask(rec, l1, antenna), row[2] == "1" ? 1u : 0u);
      EXPECT_EQ(Write(l1, rec, antenna).empty(), row[2] == "0");
    }
    if (row[0] == "id") {
      char id[4];
      EXPECT_EQ(RinexSatId(static_cast<uint8_t>(std::stoi(row[1])), id), row[2] != "???");
      EXPECT_EQ(id, row[2]);
    }
  }
  uint8_t sats[kMaxEpochSats], freqs[kMaxEpochSats];
  auto& [sorted_layout, sorted] = epochs.at("3.04 sorted and cut");
  sorted.sats[0].glo_freq = 9;
  ASSERT_EQ(CountEpochSatellites(sorted, sorted_layout, 1, sats, freqs), 2);
  EXPECT_TRUE(sats[0] == 40 && freqs[0] == 9 && sats[1] == 5);
  EXPECT_EQ(CountEpochSatellites(sorted, sorted_layout, 1, sats, nullptr), 2);
  // G33 counts towards the signal mask, index 68 and the phase-only entry do not.
  EXPECT_EQ(GetEpochSignalMask(sorted, sorted_layout, 1), 0x105u);
  auto& [damaged_layout, damaged] = epochs.at("damaged entries");
  ASSERT_EQ(CountEpochSatellites(damaged, damaged_layout, 1, sats, nullptr), 1);
  EXPECT_EQ(sats[0], 72);
  EXPECT_EQ(GetEpochSignalMask(damaged, damaged_layout, 1), 1u << 17);
  damaged.num_sats = 1000;  // more than the record holds
  EXPECT_EQ(CountEpochSatellites(damaged, damaged_layout, 1, sats, nullptr), 1);
}

// The Compact RINEX encoder (failing outputs: the failure table of
// tests/convert/convert_test.cpp).

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
  StartCrxEncoder(&encoder, &out, CrxStamp{"kavrino test", 2024, 1, 10, 12, 0});
  const ByteSink sink = CrxEncoderSink(&encoder);
  bool fed = true;
  for (size_t at = 0; at < rinex.size(); at += chunk) {
    fed = sink.write(sink.context, rinex.data() + at, std::min(chunk, rinex.size() - at)) && fed;
  }
  r.ok = FinishCrxEncoder(&encoder) && FlushOutStream(&out) && fed;
  r.lossy = encoder.lossy;
  return r;
}

// The golden compact texts of hand-made files (events, site records, comments,
// changed observation types, satellites coming and going, empty fields, flags,
// clock offsets, arcs restarted at the range limits), in any chunking and with
// or without the last newline (the converter's own files: the Compact RINEX
// goldens of the end-to-end behaviour cases).
TEST(CrxEncoder, GoldenTextsInAnyChunking) {
  for (const std::string name : {"crx_v2", "crx_v3", "crx_one"}) {
    const std::string rinex = test::ReadTestFile("rinex/obs/data/" + name + ".rnx");
    for (const size_t chunk : {size_t{1}, size_t{7}, size_t{1} << 20}) {
      for (const bool last_newline : {true, false}) {
        const Encoded e = Encode(last_newline ? rinex : rinex.substr(0, rinex.size() - 1), chunk);
        EXPECT_TRUE(e.ok && e.lossy == 0) << name;
        EXPECT_EQ(e.text, test::ReadTestFile("rinex/obs/data/" + name + ".crx"))
            << name << ", " << chunk << ", " << last_newline;
      }
    }
  }
}

// Every number text of the writers gives exactly what printf gives: the fixed
// fields of observation and meteorological values, the observation field
// routine, integers, and the navigation numbers.

std::string Printf(const char* format, int width, int precision, double v) {
  char buf[1024];
  return std::string(
      buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, format, width, precision, v)));
}

// A navigation number: "%*.*E" one column wider, a three-digit exponent with a
// leading 0 cut to two digits, then one leading blank removed; blanks when not
// finite.
std::string NavReference(int width, int precision, double v) {
  if (!std::isfinite(v)) return std::string(static_cast<size_t>(width), ' ');
  std::string s = Printf("%*.*E", width + 1, precision, v);
  const size_t e = s.find('E');
  if (s.size() - e == 5 && s[e + 2] == '0') s = " " + s.erase(e + 2, 1);
  return s[0] == ' ' ? s.substr(1) : s;
}

void ExpectSame(double v, int width, int precision) {
  char buf[kFixedTextMax + kMaxFixedWidth];
  ASSERT_EQ(std::string(buf, FormatFixed(buf, sizeof buf, v, width, precision)),
            Printf("%*.*f", width, precision, v))
      << std::hexfloat << v << " width " << width << " precision " << precision;
  ASSERT_EQ(std::string(buf, AppendNavNumber(buf, width, precision, v)),
            NavReference(width, precision, v))
      << std::hexfloat << v << " width " << width << " precision " << precision;
}

// The observation field routine takes every finite value below 1e9 in
// magnitude and gives what "%14.3f" gives; it declines every other value. It
// writes into observation lines in place, so no byte past its text may change.
void ExpectObsFieldSame(double v) {
  char fast[16];
  std::memset(fast, '#', sizeof fast);
  const size_t n = FormatObsFixed(fast, v);
  const std::string expected = std::fabs(v) < 1e9 ? Printf("%*.*f", 14, 3, v) : "";
  ASSERT_EQ(std::string(fast, sizeof fast), expected + std::string(16 - expected.size(), '#'))
      << std::hexfloat << v;
  ASSERT_EQ(n, expected.size());
}

std::vector<double> BoundaryValues() {
  // Ties, values near 1e9, 2^53 and the powers of ten, the extremes and the
  // non-finite values; each is also taken negated.
  const char* text =
      "0 0.0625 0.0005 0.0015 0.0025 1.0005 2.5 3.5 0.125 0.375 0.5 1.5 0.0004 1.25 1234.5 "
      "999999999.9995 999999999.9994999 1e9 999999999.999 1234567890.1234 4294967.296 "
      "4294967296 4294967295 9007199254740992 9007199254740993 1e15 1e19 18446744073709551616 "
      "1e20 1e22 1e23 1e300 1.7976931348623157e308 2.2250738585072014e-308 "
      "4.9406564584124654e-324 inf nan 2e10 45.25 59.9 604800 3.141592653589793 0.000001 1e-99 "
      "1e-100 1e100 9.9999999999995e99 9.99999999999949e99 9.9999999999995 9.99999999999949";
  std::vector<double> v;
  for (char* end = nullptr;; text = end) {
    double m = std::strtod(text, &end);
    if (end == text) break;
    v.insert(v.end(), {m, -m, std::nextafter(m, 0.0), std::nextafter(m, 2 * m + 1)});
    if (std::fabs(m) < 3e38) v.push_back(static_cast<float>(m));
  }
  // Ties k/2^n; where the whole part gains a digit, also by rounding up.
  for (int k = 1; k < 64; k += 2) v.push_back(k / 2048.0);
  for (double power = 1.0; power <= 1e9; power *= 10.0) {
    for (double x : {power, power - 0.0005, power - 0.0004999, power + 0.0005}) {
      v.insert(v.end(), {x, -x, std::nextafter(x, 0.0), std::nextafter(x, 2e9)});
    }
  }
  return v;
}

TEST(NumberFormat, BoundaryValuesMatchPrintf) {
  for (double v : BoundaryValues()) {
    for (int precision = 0; precision <= 12; ++precision) {
      for (int width : {0, 1, 5, 12, 14, 16, 17, 19}) ExpectSame(v, width, precision);
    }
    ExpectSame(v, 20, 17);
    ExpectSame(v, 0, 40);
    ExpectObsFieldSame(v);
  }
}

TEST(NumberFormat, RandomValuesMatchPrintf) {
  std::mt19937_64 rng(4242);
  std::uniform_real_distribution<double> wide(-1e9, 1e9);
  std::uniform_int_distribution<int64_t> millis(-1000000000000LL, 1000000000000LL);
  std::uniform_int_distribution<int64_t> sixteenths(-16000000000LL, 16000000000LL);
  for (int i = 0; i < 300000; ++i) {
    uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    ExpectSame(v, i % 3 == 0 ? 19 : 14, i % 13);
    ExpectSame(std::ldexp(static_cast<double>(bits >> 11), static_cast<int>(bits % 80) - 100),
               static_cast<int>(rng() % 25), static_cast<int>(rng() % 18));
    ExpectObsFieldSame(v);
    // Values meant as whole millimetres, exact binary ties, single precision.
    for (double x : {wide(rng), static_cast<double>(millis(rng)) / 1000.0,
                     static_cast<double>(sixteenths(rng)) / 16.0,
                     static_cast<double>(static_cast<float>(wide(rng) / 1e7)),
                     std::ldexp(wide(rng), -static_cast<int>(bits % 40))}) {
      ExpectSame(x, 14, 3);
      ExpectObsFieldSame(x);
    }
  }
}

TEST(NumberFormat, KeepsOnlyTheCapacityLikeSnprintf) {
  for (double v : {1e30, -123456789012.345, 3.4e38, 12.5}) {
    char fast[16];
    const size_t n = FormatFixed(fast, sizeof fast, v, 14, 3);
    char ref[17];
    EXPECT_EQ(n, static_cast<size_t>(std::snprintf(ref, sizeof ref, "%14.3f", v)));
    EXPECT_EQ(std::string(fast, std::min(n, sizeof fast)), std::string(ref)) << v;
  }
}

TEST(NumberFormat, IntegersMatchSnprintf) {
  std::mt19937_64 rng(99);
  std::vector<uint64_t> values = {0, 1, 9, 10, 99, 100, 999, 4294967295ULL, UINT64_MAX};
  for (int i = 0; i < 2000; ++i) values.push_back(rng() >> (rng() % 64));
  for (uint64_t u : values) {
    const int64_t s = static_cast<int64_t>(u) * ((u & 1) ? -1 : 1);
    for (int width : {0, 1, 2, 3, 4, 21}) {
      for (bool zero : {false, true}) {
        char buf[64], ref[64];
        std::snprintf(ref, sizeof ref, zero ? "%0*llu" : "%*llu", width,
                      static_cast<unsigned long long>(u));
        ASSERT_EQ(std::string(buf, FormatUnsigned(buf, sizeof buf, u, width, zero)), ref);
        std::snprintf(ref, sizeof ref, zero ? "%0*lld" : "%*lld", width, static_cast<long long>(s));
        ASSERT_EQ(std::string(buf, FormatSigned(buf, sizeof buf, s, width, zero)), ref);
      }
    }
  }
}

}  // namespace
}  // namespace kavrino

// End to end against the truth: qdxgen writes a log (classic or compact
// measurement blocks, or both) and the values it put in the blocks; every code,
// phase, Doppler and C/N0 of kavrino's RINEX 2.10, 2.11 or 3.04 file is checked
// against them (nothing missing, nothing extra), with the header's types and
// the loss-of-lock and signal strength digits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/signals.h"
#include "support/e2e.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

constexpr int kSignals = 34;
constexpr double kAbsent = -1.0e10;

struct TruthObs {
  std::string sat;
  int antenna = 0;  // 0-based
  int signal = 0;
  double pr = 0, carrier = 0, doppler = 0, cn0 = 0;
  uint32_t lock_ms = 0;
  int no_phase = 0;
};

struct TruthEpoch {
  int64_t t_ms = 0;  // GPS time, ms since 1980-01-06
  std::vector<TruthObs> obs;
};

std::vector<TruthEpoch> ReadTruth(const std::string& path) {
  std::map<std::string, int> signal_of;
  for (int s = 0; s < kSignals; ++s) {
    if (const char* name = GetSignalName(static_cast<uint8_t>(s))) signal_of[name] = s;
  }
  std::vector<TruthEpoch> epochs;
  for (const std::string& line : test::ReadLines(path)) {
    long long week = 0, tow = 0;
    char sat[8], sig[16];
    TruthObs o;
    if (std::sscanf(line.c_str(), "EPOCH %lld %lld", &week, &tow) == 2) {
      epochs.push_back({week * 604800000LL + tow, {}});
    } else if (std::sscanf(line.c_str(), "OBS %7s %d %15s %lf %lf %lf %lf %u %d", sat, &o.antenna,
                           sig, &o.pr, &o.carrier, &o.doppler, &o.cn0, &o.lock_ms,
                           &o.no_phase) == 9) {
      o.sat = sat;
      o.signal = signal_of.count(sig) ? signal_of[sig] : -1;
      EXPECT_GE(o.signal, 0) << line;
      if (!epochs.empty()) epochs.back().obs.push_back(o);
    }
  }
  return epochs;
}

// ------------------------------------------------- observation types by rule

constexpr uint64_t Bit(int s) {
  return 1ULL << s;
}

uint64_t AllowedMask(int version) {
  return version == 210 ? 0x1000707 : version == 211 ? 0x37A0F1F : 0x3777FFFFFULL;
}

// Types of one signal: code, phase, Doppler, strength ("" for none).
struct TypeNames {
  std::string code, phase, doppler, snr;
};

// RINEX 2: the code type and the band digit of L, D and S ('-': none); the
// choices of L2 depend on the file's signal mask.
TypeNames Rinex2Types(int s, uint64_t mask) {
  static const char* const kTypes[kSignals] = {
      "C11", "P1-", "P22", "C2-", "C55", "",    "", "",    "C11", "P1-", "P22", "C22",
      "",    "",    "",    "",    "",    "C11", "", "C66", "C55", "C77", "C88", "",
      "C11", "C55", "",    "",    "",    "",    "", "",    "",    ""};
  std::string t = kTypes[s];
  if (t.empty()) return {};
  if (s == 10 && (mask & Bit(11))) t[2] = '-';  // GLONASS L2 P: phase only without L2 C/A
  const std::string band = t.substr(2);
  if (band == "-") {
    const bool l2c_phase = s == 3 && !(mask & Bit(2));  // GPS L2C: phase only without L2 P
    return {t.substr(0, 2), l2c_phase ? "L2" : "", "", ""};
  }
  return {t.substr(0, 2), "L" + band, "D" + band, "S" + band};
}

TypeNames Rinex3Types(int s) {
  static const char* const kCodes[kSignals] = {"1C", "1W", "2W", "2L", "5Q", "1L", "1C", "2L", "1C",
                                               "1P", "2P", "2C", "3Q", "1P", "5P", "5A", "1A", "1C",
                                               "6A", "6C", "5Q", "7Q", "8Q", "??", "1C", "5I", "5Q",
                                               "??", "2I", "7I", "6I", "??", "1L", "1Z"};
  const std::string xx = kCodes[s];
  if (xx == "??") return {};
  if (s == 1) return {"C" + xx, "", "", "S" + xx};  // GPS L1P: code and strength only
  return {"C" + xx, "L" + xx, "D" + xx, "S" + xx};
}

struct Conversion {
  int version;           // 210, 211 or 304
  int antenna;           // 1-based
  bool doppler, snr;     // -D, -s
  const char* encoding;  // of the measurement blocks: classic, compact or both
};

TypeNames TypesOf(const Conversion& run, int s, uint64_t mask) {
  if (!(mask & Bit(s))) return {};
  TypeNames t = run.version == 304 ? Rinex3Types(s) : Rinex2Types(s, mask);
  if (!run.doppler) t.doppler.clear();
  if (!run.snr) t.snr.clear();
  return t;
}

// ---------------------------------------------------- expected observations

struct Expected {
  double value = 0;
  int lli = -1;       // -1: no LLI digit (blank)
  int strength = -1;  // -1: no strength digit (the C/N0 field itself)
};
using Fields = std::map<std::string, std::map<std::string, Expected>>;  // sat -> type -> value
struct EpochExpect {
  int64_t t_ms = 0;
  Fields sats;
};

int StrengthDigit(double cn0) {
  return cn0 > kAbsent ? std::clamp(static_cast<int>(cn0 / 6.0), 1, 9) : 0;
}

// *raised counts the codes moved by the 1 mm separation of equal codes.
std::vector<EpochExpect> ExpectedEpochs(const std::vector<TruthEpoch>& truth, const Conversion& run,
                                        uint64_t mask, size_t* raised) {
  struct Lock {
    uint32_t tow = 0, lock = 0;
  };
  std::map<std::pair<std::string, int>, Lock> locks;  // (sat, slot)
  std::vector<EpochExpect> out;
  for (const TruthEpoch& te : truth) {
    const bool first = out.empty();
    const uint32_t tow = static_cast<uint32_t>(te.t_ms % 604800000);
    std::map<std::string, std::vector<TruthObs>> by_sat;
    for (const TruthObs& o : te.obs) {
      if (o.antenna == run.antenna - 1) by_sat[o.sat].push_back(o);
    }
    EpochExpect ee{te.t_ms, {}};
    for (auto& [sat, obs] : by_sat) {
      std::stable_sort(obs.begin(), obs.end(), [](const TruthObs& a, const TruthObs& b) {
        return GetSignalIndexInConstellation(a.signal) < GetSignalIndexInConstellation(b.signal);
      });
      std::set<uint64_t> written_mm;
      std::map<std::string, Expected> se;
      for (const TruthObs& o : obs) {
        const TypeNames t = TypesOf(run, o.signal, mask);
        if (t.code.empty() || !(o.pr > kAbsent)) continue;
        const int digit = StrengthDigit(o.cn0);
        double pr = std::fmod(o.pr, 1e9);
        if (o.signal <= 3 || (o.signal >= 8 && o.signal <= 11)) {  // separated to 1 mm
          uint64_t mm = static_cast<uint64_t>(o.pr * 1000.0 + 0.5);
          for (; written_mm.count(mm); ++mm) ++*raised;
          written_mm.insert(mm);
          pr = std::fmod(static_cast<double>(mm) / 1000.0, 1e9);
        }
        se[t.code] = {pr, -1, digit};
        if (!o.no_phase && o.carrier > kAbsent) {
          int lli = 0;
          if (o.lock_ms != 0) {
            const uint32_t lock = std::min<uint32_t>(o.lock_ms, 254000);
            Lock& e = locks[{sat, GetSignalIndexInConstellation(o.signal)}];
            if (!(lock >= e.lock && tow <= e.tow + lock)) lli = first ? 0 : 1;
            e = {tow, lock};
          }
          if (!t.phase.empty()) se[t.phase] = {std::fmod(o.carrier, 1e9), lli, digit};
        }
        if (!t.doppler.empty() && o.doppler > kAbsent) {
          se[t.doppler] = {std::fmod(static_cast<float>(o.doppler), 1e9f), -1, digit};
        }
        if (!t.snr.empty() && o.cn0 > kAbsent) se[t.snr] = {o.cn0, -1, -1};
      }
      if (!se.empty()) ee.sats[sat] = se;
    }
    if (!ee.sats.empty()) out.push_back(ee);
  }
  return out;
}

// ------------------------------------------------------ RINEX file, parsed

struct ParsedFile {
  std::map<char, std::vector<std::string>> types;  // RINEX 2: one list under ' '
  std::vector<int64_t> times;
  std::vector<std::map<std::string, std::map<std::string, std::string>>> fields;
  std::string error;
};

std::string Padded(std::string s, size_t width) {
  if (s.size() < width) s.resize(width, ' ');
  return s;
}

ParsedFile ParseObsFile(const std::string& path, bool rinex3) {
  ParsedFile pf;
  std::istringstream in(test::ReadFileText(path));
  std::string line;
  char sys = ' ';
  size_t declared = 0;
  while (std::getline(in, line) && line.find("END OF HEADER") != 60) {
    if (rinex3 && line.find("SYS / # / OBS TYPES") == 60) {
      if (line[0] != ' ') sys = line[0], declared = std::stoul(line.substr(3, 3));
      for (size_t k = 0; k < 13 && pf.types[sys].size() < declared; ++k)
        pf.types[sys].push_back(line.substr(7 + 4 * k, 3));
    } else if (!rinex3 && line.find("# / TYPES OF OBSERV") == 60) {
      if (line.substr(0, 6) != "      ") declared = std::stoul(line.substr(0, 6));
      for (size_t k = 0; k < 9 && pf.types[' '].size() < declared; ++k)
        pf.types[' '].push_back(line.substr(10 + 6 * k, 2));
    }
  }
  const size_t r2_lines = rinex3 ? 0 : (pf.types[' '].size() + 4) / 5;
  while (std::getline(in, line)) {
    line = Padded(line, 35);
    if (rinex3 && line[0] != '>') return pf.error = "not an epoch line: " + line, pf;
    // The logs hold no events: an event record fails as an epoch of unknown satellites.
    const int count = std::stoi(line.substr(rinex3 ? 32 : 29, 3));
    std::tm tm{};
    double sec;
    std::istringstream(line.substr(rinex3 ? 2 : 1, 27)) >> tm.tm_year >> tm.tm_mon >> tm.tm_mday >>
        tm.tm_hour >> tm.tm_min >> sec;
    tm.tm_year -= rinex3 ? 1900 : -100, tm.tm_mon -= 1;
    pf.times.push_back((timegm(&tm) - 315964800) * 1000LL + std::llround(sec * 1000.0));  // GPS
    std::vector<std::string> sats;
    for (int i = 0; !rinex3 && i < count; ++i) {
      if (i > 0 && i % 12 == 0 && (!std::getline(in, line) || line.find_first_not_of(' ') < 32))
        return pf.error = "bad continuation: " + line, pf;
      sats.push_back(Padded(line, 32 + 3 * (i % 12 + 1)).substr(32 + 3 * (i % 12), 3));
    }
    auto& fields = pf.fields.emplace_back();
    for (int i = 0; i < count; ++i) {
      std::string sat, text;
      if (rinex3) {
        if (!std::getline(in, text)) return pf.error = "file ends in an epoch", pf;
        sat = text.substr(0, 3);
        text = text.substr(3);
      } else {
        sat = sats[static_cast<size_t>(i)];
        for (size_t k = 0; k < r2_lines; ++k) {
          if (!std::getline(in, line) || line.size() > 80 || line.ends_with(' '))
            return pf.error = "bad observation line: " + line, pf;
          text += Padded(line, 80);
        }
      }
      const std::vector<std::string>& types = pf.types[rinex3 ? sat[0] : ' '];
      text = Padded(text, 16 * types.size());
      if (text.find_first_not_of(' ', 16 * types.size()) != std::string::npos)
        return pf.error = "line too long for " + sat, pf;
      for (size_t k = 0; k < types.size(); ++k) {
        if (text.substr(16 * k, 16) != std::string(16, ' '))
          fields[sat][types[k]] = text.substr(16 * k, 16);
      }
    }
  }
  return pf;
}

// --------------------------------------------------------------- the runs

struct Tally {
  std::vector<std::string> faults;
  size_t values = 0, lli_set = 0;
  void Fault(const std::string& text) {
    if (faults.size() < 10) faults.push_back(text);
  }
};

// Written to 1 mm (or 0.001 cycle, Hz, dB-Hz) from a truth of 4 decimals; the
// compact blocks carry code and phase to 2 mm, Doppler to 6 mHz and C/N0 to
// 1/16 dB-Hz.
double Tolerance(char kind, bool compact) {
  return !compact ? 0.00056 : kind == 'D' ? 0.006 : kind == 'S' ? 0.07 : 0.002;
}

void CompareEpoch(const EpochExpect& want,
                  const std::map<std::string, std::map<std::string, std::string>>& got,
                  bool compact, Tally* tally) {
  const std::string when = "epoch " + std::to_string(want.t_ms) + " ";
  std::map<std::string, std::set<std::string>> want_types, got_types;
  for (const auto& [sat, types] : want.sats)
    for (const auto& [type, e] : types) want_types[sat].insert(type);
  for (const auto& [sat, types] : got)
    for (const auto& [type, f] : types) got_types[sat].insert(type);
  if (got_types != want_types) {
    return tally->Fault(when + "has other satellites or types than the truth: " +
                        testing::PrintToString(got_types) + testing::PrintToString(want_types));
  }
  for (const auto& [sat, types] : want.sats) {
    for (const auto& [type, e] : types) {
      const std::string& f = got.at(sat).at(type);
      const double v = std::strtod(f.substr(0, 14).c_str(), nullptr);
      const std::string tail = {e.lli >= 0 ? static_cast<char>('0' + e.lli) : ' ',
                                e.strength >= 0 ? static_cast<char>('0' + e.strength) : ' '};
      if (std::fabs(v - e.value) > Tolerance(type[0], compact) || f[10] != '.' ||
          f.substr(14) != tail) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.4f lli %d strength %d", e.value, e.lli, e.strength);
        tally->Fault(when + sat + " " + type + ": '" + f + "' expected " + buf);
      }
      ++tally->values;
      tally->lli_set += e.lli == 1;
    }
  }
}

// Options of every log; with each scenario's own.
constexpr char kLogBase[] = "--no-nav --no-weather --no-sbas-raw --position 35.7,139.7,40 ";

void CheckScenario(const std::string& scenario, const std::vector<Conversion>& runs,
                   bool separation) {
  const test::ScopedTempDir dir("obs_truth");
  for (const Conversion& run : runs) {
    const std::string log = test::SharedLog(kLogBase + scenario + " --encoding " + run.encoding);
    SCOPED_TRACE(scenario + " / " + run.encoding + " / version " + std::to_string(run.version) +
                 " antenna " + std::to_string(run.antenna));
    ASSERT_FALSE(log.empty());
    const std::vector<TruthEpoch> truth = ReadTruth(log + "/log.qdx.truth");
    // The file's signals: those with a pseudorange on the antenna, as far as
    // the version allows them.
    uint64_t mask = 0;
    size_t no_phase = 0;
    for (const TruthEpoch& te : truth) {
      for (const TruthObs& o : te.obs) {
        if (o.antenna == run.antenna - 1 && o.pr > kAbsent) mask |= Bit(o.signal);
        no_phase += o.no_phase && o.antenna == run.antenna - 1;
      }
    }
    mask &= AllowedMask(run.version);
    std::string args = std::string(run.doppler ? " -D" : "") + (run.snr ? " -s" : "");
    args += run.version == 304 ? " -R3" : run.version == 210 ? " -R210" : "";
    args += " -a " + std::to_string(run.antenna);
    ASSERT_EQ(test::Kavrino(dir.path(), "-f " + log + "/log.qdx -o out.obs" + args).status, 0);
    const ParsedFile pf = ParseObsFile(dir / "out.obs", run.version == 304);
    ASSERT_EQ(pf.error, "");

    // Header: the types of the signals present, nothing more.
    std::map<char, std::set<std::string>> want_types, got_types;
    for (int s = 0; s < kSignals; ++s) {
      const TypeNames t = TypesOf(run, s, mask);
      const char sys =
          run.version == 304 ? "GESRCJI?"[GetSignalConstellation(static_cast<uint8_t>(s))] : ' ';
      for (const std::string& name : {t.code, t.phase, t.doppler, t.snr}) {
        if (!name.empty()) want_types[sys].insert(name);
      }
    }
    for (const auto& [sys, list] : pf.types) got_types[sys].insert(list.begin(), list.end());
    EXPECT_EQ(got_types, want_types);

    size_t raised = 0;
    const std::vector<EpochExpect> want = ExpectedEpochs(truth, run, mask, &raised);
    ASSERT_EQ(pf.times.size(), want.size());
    Tally tally;
    for (size_t i = 0; i < want.size() && tally.faults.empty(); ++i) {
      EXPECT_EQ(pf.times[i], want[i].t_ms) << "epoch " << i;
      CompareEpoch(want[i], pf.fields[i], std::string(run.encoding) != "classic", &tally);
    }
    for (const std::string& f : tally.faults) ADD_FAILURE() << f;
    // The scenario must exercise what it is meant to check.
    EXPECT_GT(tally.values, 5000u);
    EXPECT_GT(no_phase, 0u);
    EXPECT_GT(tally.lli_set, 0u);
    EXPECT_TRUE(!separation || raised > 0);
  }
}

TEST(ObservationTruth, EveryValueOfEverySignal) {
  CheckScenario(
      "--duration 1200 --interval 10 --systems G,R,E,C,J,S,I --slips 20 --signals IRNL5,"
      "GPSL1CA,GPSL1P,GPSL2P,GPSL2C,GPSL5,GPSL1C,QZSL1CA,QZSL2C,QZSL5,QZSL1C,QZSL1S,GLOL1CA,"
      "GLOL1P,GLOL2P,GLOL2CA,GLOL3,BDSB1C,BDSB2a,BDSB1I,BDSB2I,BDSB3I,GALE1,GALE6,GALE5a,GALE5b,"
      "GALE5,SBSL1,SBSL5",
      {{211, 1, true, true, "classic"},
       {304, 1, true, true, "classic"},
       {210, 1, true, true, "classic"},
       {304, 1, true, true, "compact"},
       {211, 1, true, true, "both"}},
      false);
}

// Second antenna; GPS without L2P and GLONASS without L2 C/A (the other RINEX 2
// L2 choice); no code noise, so that L1 C/A and L1 P codes coincide and the
// 1 mm separation is exercised; a second apart, so that four compact epochs of
// five are told by their differences from the reference epoch.
TEST(ObservationTruth, SecondAntennaAndOtherL2Choice) {
  CheckScenario(
      "--duration 150 --interval 1 --systems G,R,E,C,J,S,I --slips 60 --antennas 2 "
      "--code-noise 0 --signals GPSL1CA,GPSL1P,GPSL2C,GLOL1CA,GLOL1P,GLOL2P,GALE1,GALE5a "
      "--ref-interval 5000",
      {{211, 2, true, true, "classic"},
       {304, 2, true, true, "classic"},
       {211, 1, false, true, "classic"},
       {304, 2, true, false, "compact"},
       {304, 1, true, true, "both"}},
      true);
}

}  // namespace
}  // namespace kavrino

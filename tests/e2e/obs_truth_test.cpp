// End to end against the truth: qdxgen writes a multi-constellation file and
// the values it put in the blocks; the kavrino executable converts the file to
// RINEX 2.11 and 3.04, and every pseudorange, phase, Doppler and C/N0 of the
// observation file is checked against the truth (nothing missing, nothing
// extra), together with the LLI and signal strength digits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/signals.h"
#include "support/e2e.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;

constexpr int kSignals = 34;
constexpr double kAbsent = -1.0e10;

// ---------------------------------------------------------------- truth file

struct TruthObs {
  std::string sat;
  int antenna = 0;  // 0-based
  int signal = 0;
  double pr = 0, carrier = 0, doppler = 0, cn0 = 0;
  uint32_t lock_ms = 0;
  bool no_phase = false;
};

struct TruthEpoch {
  int64_t t_ms = 0;  // GPS time, ms since 1980-01-06
  std::vector<TruthObs> obs;
};

int SignalByName(const std::string& name) {
  for (int s = 0; s < kSignals; ++s) {
    const char* n = GetSignalName(static_cast<uint8_t>(s));
    if (n != nullptr && name == n) return s;
  }
  return -1;
}

bool ReadTruth(const std::string& path, std::vector<TruthEpoch>* epochs) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("EPOCH ", 0) == 0) {
      long long week = 0, tow = 0;
      if (std::sscanf(line.c_str(), "EPOCH %lld %lld", &week, &tow) != 2) return false;
      epochs->push_back({week * 604800000LL + tow, {}});
    } else if (line.rfind("OBS ", 0) == 0 && !epochs->empty()) {
      char sat[8], sig[16];
      TruthObs o;
      int no_phase = 0;
      if (std::sscanf(line.c_str(), "OBS %7s %d %15s %lf %lf %lf %lf %u %d", sat, &o.antenna, sig,
                      &o.pr, &o.carrier, &o.doppler, &o.cn0, &o.lock_ms, &no_phase) != 9) {
        return false;
      }
      o.sat = sat;
      o.signal = SignalByName(sig);
      o.no_phase = no_phase != 0;
      if (o.signal < 0) return false;
      epochs->back().obs.push_back(o);
    }
  }
  return !epochs->empty();
}

// ------------------------------------------------- observation types by rule

constexpr uint64_t Bit(int s) {
  return 1ULL << s;
}

uint64_t AllowedMask(int version) {
  if (version == 210) return 0x1000707;
  if (version == 211) return 0x37A0F1F;
  return 0x3777FFFFFULL;
}

// RINEX 2 types of one signal: code, phase, Doppler, strength ("" for none);
// mask is the file's signal mask (the L2 choice depends on it).
struct TypeNames {
  std::string code, phase, doppler, snr;
};

TypeNames Rinex2Types(int s, uint64_t mask) {
  std::string code, band;  // band: digit of L/D/S, "" when the signal has none
  switch (s) {
    case 0:
    case 8:
    case 17:
    case 24:
      code = "C1", band = "1";
      break;
    case 1:
    case 9:
      code = "P1";
      break;
    case 2:
      code = "P2", band = "2";
      break;
    case 10:
      code = "P2", band = (mask & Bit(11)) ? "" : "2";
      break;
    case 11:
      code = "C2", band = "2";
      break;
    case 3:
      code = "C2";
      break;
    case 4:
    case 20:
    case 25:
      code = "C5", band = "5";
      break;
    case 19:
      code = "C6", band = "6";
      break;
    case 21:
      code = "C7", band = "7";
      break;
    case 22:
      code = "C8", band = "8";
      break;
    default:
      return {};
  }
  TypeNames t{code, band.empty() ? "" : "L" + band, band.empty() ? "" : "D" + band,
              band.empty() ? "" : "S" + band};
  if (s == 3 && !(mask & Bit(2))) t.phase = "L2";  // L2C phase only without L2P
  return t;
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
  int version;  // 210, 211 or 304
  int antenna;  // 1-based
  bool doppler, snr;
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
using SatExpect = std::map<std::string, Expected>;  // type -> value
struct EpochExpect {
  int64_t t_ms = 0;
  std::map<std::string, SatExpect> sats;
};

int StrengthDigit(double cn0) {
  if (!(cn0 > kAbsent)) return 0;
  return std::clamp(static_cast<int>(cn0 / 6.0), 1, 9);
}

// *raised counts the codes moved by the 1 mm separation.
std::vector<EpochExpect> ExpectedEpochs(const std::vector<TruthEpoch>& truth, const Conversion& run,
                                        uint64_t mask, size_t* raised) {
  struct Lock {
    uint32_t tow = 0, lock = 0;
  };
  std::map<std::pair<std::string, int>, Lock> lock_table;  // (sat, slot)
  std::vector<EpochExpect> out;
  for (const TruthEpoch& te : truth) {
    const bool first = out.empty();
    if (first) lock_table.clear();
    const uint32_t tow = static_cast<uint32_t>(te.t_ms % 604800000);
    std::map<std::string, std::vector<TruthObs>> by_sat;
    for (const TruthObs& o : te.obs) {
      if (o.antenna == run.antenna - 1) by_sat[o.sat].push_back(o);
    }
    EpochExpect ee;
    ee.t_ms = te.t_ms;
    for (auto& [sat, obs] : by_sat) {
      std::stable_sort(obs.begin(), obs.end(), [](const TruthObs& a, const TruthObs& b) {
        return GetSignalIndexInConstellation(a.signal) < GetSignalIndexInConstellation(b.signal);
      });
      std::vector<uint64_t> written_mm;
      SatExpect se;
      for (const TruthObs& o : obs) {
        const TypeNames t = TypesOf(run, o.signal, mask);
        if (t.code.empty() || !(o.pr > kAbsent)) continue;
        const int digit = StrengthDigit(o.cn0);
        double pr = std::fmod(o.pr, 1e9);
        const bool separated = o.signal <= 3 || (o.signal >= 8 && o.signal <= 11);
        if (separated) {
          uint64_t mm = static_cast<uint64_t>(o.pr * 1000.0 + 0.5);
          while (std::find(written_mm.begin(), written_mm.end(), mm) != written_mm.end()) {
            ++mm;
            ++*raised;
          }
          written_mm.push_back(mm);
          pr = std::fmod(static_cast<double>(mm) / 1000.0, 1e9);
        }
        se[t.code] = {pr, -1, digit};
        if (!o.no_phase && o.carrier > kAbsent) {
          int lli = 0;
          if (o.lock_ms != 0) {
            const uint32_t lock = std::min<uint32_t>(o.lock_ms, 254000);
            Lock& e = lock_table[{sat, GetSignalIndexInConstellation(o.signal)}];
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
  std::vector<EpochExpect> epochs;                 // times only; the fields follow as text
  std::vector<std::map<std::string, std::map<std::string, std::string>>> fields;
  std::string error;
};

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int64_t EpochMs(int year, int month, int day, int hour, int minute, double sec) {
  const int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1980, 1, 6);
  return ((days * 24 + hour) * 60 + minute) * 60000 + std::llround(sec * 1000.0);
}

std::string Padded(std::string s, size_t width) {
  if (s.size() < width) s.resize(width, ' ');
  return s;
}

ParsedFile ParseObsFile(const std::string& path, bool rinex3) {
  ParsedFile pf;
  std::ifstream in(path);
  std::string line;
  char sys = ' ';
  size_t declared = 0;
  while (std::getline(in, line)) {
    const std::string label = line.size() > 60 ? line.substr(60) : "";
    if (label.rfind("END OF HEADER", 0) == 0) break;
    if (rinex3 && label.rfind("SYS / # / OBS TYPES", 0) == 0) {
      if (line[0] != ' ') sys = line[0], declared = std::stoul(line.substr(3, 3));
      for (size_t k = 0; k < 13 && pf.types[sys].size() < declared; ++k) {
        pf.types[sys].push_back(line.substr(7 + 4 * k, 3));
      }
    } else if (!rinex3 && label.rfind("# / TYPES OF OBSERV", 0) == 0) {
      if (line.substr(0, 6) != "      ") declared = std::stoul(line.substr(0, 6));
      for (size_t k = 0; k < 9 && pf.types[' '].size() < declared; ++k) {
        pf.types[' '].push_back(line.substr(10 + 6 * k, 2));
      }
    }
  }
  const size_t r2_types = rinex3 ? 0 : pf.types[' '].size();
  const size_t r2_lines = (r2_types + 4) / 5;
  while (std::getline(in, line)) {
    line = Padded(line, 35);
    if (rinex3 && line[0] != '>') return pf.error = "not an epoch line: " + line, pf;
    const int flag = std::stoi(line.substr(rinex3 ? 29 : 26, 3));
    const int count = std::stoi(line.substr(rinex3 ? 32 : 29, 3));
    if (flag > 1) {  // event records: skip them
      for (int i = 0; i < count && std::getline(in, line); ++i) {
      }
      continue;
    }
    EpochExpect ep;
    if (rinex3) {
      ep.t_ms = EpochMs(std::stoi(line.substr(2, 4)), std::stoi(line.substr(7, 2)),
                        std::stoi(line.substr(10, 2)), std::stoi(line.substr(13, 2)),
                        std::stoi(line.substr(16, 2)), std::stod(line.substr(18, 11)));
    } else {
      ep.t_ms = EpochMs(2000 + std::stoi(line.substr(1, 2)), std::stoi(line.substr(3, 3)),
                        std::stoi(line.substr(6, 3)), std::stoi(line.substr(9, 3)),
                        std::stoi(line.substr(12, 3)), std::stod(line.substr(15, 11)));
    }
    std::vector<std::string> sats;
    if (!rinex3) {
      for (int i = 0; i < count; ++i) {
        if (i > 0 && i % 12 == 0) {
          std::getline(in, line);
          if (line.substr(0, 32) != std::string(32, ' '))
            return pf.error = "bad continuation: " + line, pf;
        }
        sats.push_back(Padded(line, 32 + 3 * (i % 12 + 1)).substr(32 + 3 * (i % 12), 3));
      }
    }
    std::map<std::string, std::map<std::string, std::string>> fields;
    for (int i = 0; i < count; ++i) {
      std::string sat, text;
      const std::vector<std::string>* types = nullptr;
      if (rinex3) {
        if (!std::getline(in, text)) return pf.error = "file ends in an epoch", pf;
        sat = text.substr(0, 3);
        text = text.substr(3);
        types = &pf.types[sat[0]];
      } else {
        sat = sats[static_cast<size_t>(i)];
        for (size_t k = 0; k < r2_lines; ++k) {
          if (!std::getline(in, line)) return pf.error = "file ends in an epoch", pf;
          if (line.size() > 80 || (!line.empty() && line.back() == ' '))
            return pf.error = "bad observation line: " + line, pf;
          text += Padded(line, 80);
        }
        types = &pf.types[' '];
      }
      text = Padded(text, 16 * types->size());
      if (text.find_first_not_of(' ', 16 * types->size()) != std::string::npos)
        return pf.error = "line too long for " + sat, pf;
      for (size_t k = 0; k < types->size(); ++k) {
        const std::string f = text.substr(16 * k, 16);
        if (f != std::string(16, ' ')) fields[sat][(*types)[k]] = f;
      }
    }
    pf.epochs.push_back(ep);
    pf.fields.push_back(fields);
  }
  return pf;
}

// --------------------------------------------------------------- comparison

struct Tally {
  std::vector<std::string> faults;
  size_t values = 0, blank_phases = 0, lli_set = 0;
  void Fault(const std::string& text) {
    if (faults.size() < 10) faults.push_back(text);
  }
};

void CompareEpoch(const EpochExpect& want,
                  const std::map<std::string, std::map<std::string, std::string>>& got,
                  Tally* tally) {
  const std::string when = "epoch " + std::to_string(want.t_ms) + " ";
  for (const auto& [sat, types] : got) {
    if (!want.sats.count(sat)) tally->Fault(when + sat + ": satellite not in the truth");
  }
  for (const auto& [sat, types] : want.sats) {
    auto gs = got.find(sat);
    if (gs == got.end()) {
      tally->Fault(when + sat + ": satellite missing");
      continue;
    }
    for (const auto& [type, text] : gs->second) {
      if (!types.count(type))
        tally->Fault(when + sat + " " + type + ": extra value '" + text + "'");
    }
    for (const auto& [type, e] : types) {
      auto gf = gs->second.find(type);
      if (gf == gs->second.end()) {
        tally->Fault(when + sat + " " + type + ": missing");
        continue;
      }
      const std::string& f = gf->second;
      const double v = std::strtod(f.substr(0, 14).c_str(), nullptr);
      char expect_tail[3] = "  ";
      if (e.lli >= 0) expect_tail[0] = static_cast<char>('0' + e.lli);
      if (e.strength >= 0) expect_tail[1] = static_cast<char>('0' + e.strength);
      // Written to 1 mm (or 0.001 cycle, Hz, dB-Hz); the truth carries 4 decimals.
      if (std::fabs(v - e.value) > 0.00056 || f[10] != '.' || f.substr(14) != expect_tail) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.4f lli %d strength %d", e.value, e.lli, e.strength);
        tally->Fault(when + sat + " " + type + ": '" + f + "' expected " + buf);
      }
      ++tally->values;
      if (e.lli == 1) ++tally->lli_set;
    }
  }
}

// ------------------------------------------------------------------ the runs

struct Scenario {
  const char* qdxgen_args;
  std::vector<Conversion> runs;
  bool separation = false;  // codes that need the 1 mm separation occur
};

void CheckScenario(const Scenario& sc) {
  const std::string dir = test::MakeTempDir("obs_truth");
  ASSERT_FALSE(dir.empty());
  ASSERT_EQ(test::Qdxgen(
                dir, std::string("-o in.qdx --no-nav --no-weather --no-sbas-raw ") + sc.qdxgen_args)
                .status,
            0);
  std::vector<TruthEpoch> truth;
  ASSERT_TRUE(ReadTruth(dir + "/in.qdx.truth", &truth));
  for (const Conversion& run : sc.runs) {
    SCOPED_TRACE(std::string(sc.qdxgen_args) + " / version " + std::to_string(run.version) +
                 " antenna " + std::to_string(run.antenna));
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
    std::string args = " -s -D";
    if (!run.doppler || !run.snr) args = run.doppler ? " -D" : (run.snr ? " -s" : "");
    if (run.version == 304) args += " -R3";
    if (run.version == 210) args += " -R210";
    args += " -a " + std::to_string(run.antenna);
    fs::remove(dir + "/out.obs");
    ASSERT_EQ(test::Kavrino(dir, "-f in.qdx -o out.obs" + args).status, 0);
    const ParsedFile pf = ParseObsFile(dir + "/out.obs", run.version == 304);
    ASSERT_EQ(pf.error, "");

    // Header: the types of the signals present, nothing more.
    std::map<char, std::set<std::string>> want_types;
    for (int s = 0; s < kSignals; ++s) {
      const TypeNames t = TypesOf(run, s, mask);
      const char sys =
          run.version == 304 ? "GESRCJI?"[GetSignalConstellation(static_cast<uint8_t>(s))] : ' ';
      for (const std::string& name : {t.code, t.phase, t.doppler, t.snr}) {
        if (!name.empty()) want_types[sys].insert(name);
      }
    }
    std::map<char, std::set<std::string>> got_types;
    for (const auto& [sys, list] : pf.types) got_types[sys].insert(list.begin(), list.end());
    EXPECT_EQ(got_types, want_types);

    size_t raised = 0;
    const std::vector<EpochExpect> want = ExpectedEpochs(truth, run, mask, &raised);
    ASSERT_EQ(pf.epochs.size(), want.size());
    Tally tally;
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(pf.epochs[i].t_ms, want[i].t_ms) << "epoch " << i;
      CompareEpoch(want[i], pf.fields[i], &tally);
      for (const std::string& f : tally.faults) ADD_FAILURE() << f;
      if (!tally.faults.empty()) break;
    }
    // The scenario must exercise what it is meant to check.
    EXPECT_GT(tally.values, 5000u);
    EXPECT_GT(no_phase, 0u);
    EXPECT_GT(tally.lli_set, 0u);
    EXPECT_TRUE(!sc.separation || raised > 0);
  }
  fs::remove_all(dir);
}

constexpr const char* kAllSignals =
    "--signals GPSL1CA,GPSL1P,GPSL2P,GPSL2C,GPSL5,GPSL1C,QZSL1CA,QZSL2C,QZSL5,QZSL1C,QZSL1S,"
    "GLOL1CA,GLOL1P,GLOL2P,GLOL2CA,GLOL3,BDSB1C,BDSB2a,BDSB1I,BDSB2I,BDSB3I,GALE1,GALE6,"
    "GALE5a,GALE5b,GALE5,SBSL1,SBSL5";

TEST(ObservationTruth, EveryValueOfEverySignal) {
  const std::string args = std::string("--duration 1200 --interval 10 --systems G,R,E,C,J,S ") +
                           "--position 35.7,139.7,40 --slips 20 " + kAllSignals;
  CheckScenario({args.c_str(), {{211, 1, true, true}, {304, 1, true, true}, {210, 1, true, true}}});
}

// Second antenna; GPS without L2P and GLONASS without L2 C/A (the other RINEX 2
// L2 choice); no code noise, so that L1 C/A and L1 P codes coincide and the
// 1 mm separation is exercised.
TEST(ObservationTruth, SecondAntennaAndOtherL2Choice) {
  CheckScenario(
      {"--duration 600 --interval 10 --systems G,R,E,C,J,S --position 35.7,139.7,40 "
       "--slips 20 --antennas 2 --code-noise 0 "
       "--signals GPSL1CA,GPSL1P,GPSL2C,GLOL1CA,GLOL1P,GLOL2P,GALE1,GALE5a",
       {{211, 2, true, true}, {304, 2, true, true}, {211, 1, false, true}},
       true});
}

}  // namespace
}  // namespace kavrino

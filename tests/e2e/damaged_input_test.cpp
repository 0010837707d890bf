// Damaged input end to end: qdxgen writes a clean log and the same log with
// flipped bytes, noise between blocks, duplicated blocks, zero-filled regions
// and a truncated tail, with a truth file naming every damaged block. kavrino
// must give exactly the clean output minus the epochs and navigation records
// whose blocks were damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/time.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "support/e2e.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

// A RINEX file cut into its header lines and its records. A record starts at
// a line that does not begin with a blank (navigation) or with '>' (observation).
struct RinexParts {
  std::vector<std::string> header, records;
};

RinexParts SplitRinex(const std::string& path, bool observation) {
  RinexParts parts;
  bool in_header = true;
  for (const std::string& line : test::ReadLines(path)) {
    if (in_header) {
      parts.header.push_back(line);
      in_header = line.find("END OF HEADER") == std::string::npos;
    } else {
      if (parts.records.empty() || (observation ? line[0] == '>' : line[0] != ' '))
        parts.records.emplace_back();
      parts.records.back() += line + "\n";
    }
  }
  return parts;
}

// GPS milliseconds of an observation epoch line "> yyyy mm dd hh mm ss.sssssss".
int64_t EpochTimeMs(const std::string& record) {
  CalendarTime cal;
  double second = 0;
  std::istringstream(record.substr(1)) >> cal.year >> cal.month >> cal.day >> cal.hour >>
      cal.minute >> second;
  cal.second = second;
  return std::llround(CalendarToGpsSeconds(cal) * 1000.0);
}

// An observation record with the loss-of-lock column of every value blanked
// (RINEX 3: three characters of satellite, then 14 + 1 + 1 per observation).
std::string MaskLossOfLock(std::string record) {
  for (size_t line = record.find('\n'); line != std::string::npos;
       line = record.find('\n', line + 1)) {
    const size_t end = std::min(record.find('\n', line + 1), record.size());
    for (size_t at = line + 1 + 3 + 14; at < end; at += 16) record[at] = ' ';
  }
  return record;
}

// A navigation record without its transmission time: the third value of the
// first line (GLONASS, SBAS) or the last line (the others).
std::string WithoutTransmissionTime(std::string record) {
  if (record[0] == 'R' || record[0] == 'S') return record.replace(61, 19, 19, ' ');
  const size_t end = record.rfind('\n', record.size() - 2);
  return end == std::string::npos ? record : record.substr(0, end + 1);
}

// The system of the records that an ephemeris block gives; 0 for other blocks.
char SystemOfEphemeris(uint16_t number) {
  static const std::map<uint16_t, char> kSystems = {
      {kGpsEphemerisBlock, 'G'}, {kQzsEphemerisBlock, 'J'}, {kGalEphemerisBlock, 'E'},
      {kBdsEphemerisBlock, 'C'}, {kGloEphemerisBlock, 'R'}, {kSbasNavigationBlock, 'S'}};
  return kSystems.count(number) ? kSystems.at(number) : 0;
}

// The header lines, those with a label that may differ blanked.
std::vector<std::string> Masked(std::vector<std::string> header, std::set<std::string> may_differ) {
  may_differ.insert("PGM / RUN BY / DATE ");
  for (std::string& line : header) {
    if (line.size() > 60 && may_differ.count(line.substr(60))) line.clear();
  }
  return header;
}

void CheckDamage(const std::string& encoding, const std::string& damage) {
  const std::string scenario =
      "--seed 7 --duration 600 --systems G,R,E,C,J,S --setup-interval 60 --eph-repeat 120 "
      "--no-weather --no-sbas-raw " +
      encoding;
  const std::string clean = test::SharedLog(scenario + " --no-truth");
  const std::string damaged = test::SharedLog(scenario + " " + damage);
  ASSERT_TRUE(!clean.empty() && !damaged.empty());

  // The blocks of the clean log in order (it is a plain concatenation), and
  // the epochs and ephemerides of those that the truth file lists as damaged.
  const std::string bytes = test::ReadFileText(clean + "/log.qdx");
  std::vector<const uint8_t*> blocks;
  for (size_t at = 0; at + 16 <= bytes.size(); at += QdxBlockLength(blocks.back())) {
    blocks.push_back(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
    ASSERT_TRUE(QdxBlockLength(blocks.back()) >= 16 && IsQdxCrcValid(blocks.back())) << at;
  }
  std::set<int64_t> damaged_epochs;
  std::map<char, int> damaged_ephemerides;
  std::set<std::string> may_differ = {"TIME OF FIRST OBS   ", "TIME OF LAST OBS    "};
  for (const std::string& line : test::ReadLines(damaged + "/log.qdx.truth")) {
    std::istringstream words(line);
    std::string tag, kind, word;
    size_t index = 0;
    if (!(words >> tag >> kind >> word >> index) || tag != "DAMAGE" || word != "block") continue;
    ASSERT_LT(index, blocks.size());
    const uint16_t number = QdxBlockNumber(blocks[index]);
    if (IsMeasBlockNumber(number)) damaged_epochs.insert(QdxBlockTimeMs(blocks[index]));
    if (SystemOfEphemeris(number)) ++damaged_ephemerides[SystemOfEphemeris(number)];
    if (number == kCartesianFixBlock || number == kGeodeticFixBlock)
      may_differ.insert("APPROX POSITION XYZ ");
  }
  EXPECT_FALSE(damaged_epochs.empty());

  const test::ScopedTempDir dir("damaged");
  for (const std::string& log : {clean, damaged}) {
    const std::string to = log == clean ? " -o clean." : " -o damaged.";
    EXPECT_EQ(test::Kavrino(dir.path(), "-f " + log + "/log.qdx -R3 -nO" + to + "obs").status, 0);
    EXPECT_EQ(test::Kavrino(dir.path(), "-f " + log + "/log.qdx -R3 -nP" + to + "nav").status, 0);
  }

  // Observations: every clean epoch is there, byte for byte, unless one of
  // its measurement blocks was damaged; no epoch appears that was not there.
  const RinexParts clean_obs = SplitRinex(dir / "clean.obs", true);
  const RinexParts damaged_obs = SplitRinex(dir / "damaged.obs", true);
  EXPECT_EQ(Masked(clean_obs.header, may_differ), Masked(damaged_obs.header, may_differ));
  std::vector<std::string> expected, kept;
  for (const std::string& record : clean_obs.records) {
    if (!damaged_epochs.count(EpochTimeMs(record))) expected.push_back(record);
  }
  for (const std::string& record : damaged_obs.records) {
    if (!damaged_epochs.count(EpochTimeMs(record))) kept.push_back(record);
  }
  EXPECT_EQ(kept.size(), expected.size());
  EXPECT_LE(damaged_obs.records.size(), clean_obs.records.size());
  int64_t previous = -1;
  for (size_t i = 0; i < std::min(kept.size(), expected.size()); ++i) {
    // After lost epochs a lock time shorter than the gap rightly raises the
    // loss-of-lock flag: there the flags are left out of the comparison.
    const int64_t t = EpochTimeMs(expected[i]);
    const auto lost = damaged_epochs.upper_bound(previous);
    previous = t;
    if (lost != damaged_epochs.end() && *lost < t) {
      ASSERT_EQ(MaskLossOfLock(kept[i]), MaskLossOfLock(expected[i])) << "record " << i;
    } else {
      ASSERT_EQ(kept[i], expected[i]) << "observation record " << i;
    }
  }

  // Navigation: every record is a clean one, byte for byte. A record whose
  // first copy was damaged comes from a later copy: it moves and carries the
  // later transmission time. Per system at most as many records are missing
  // as ephemeris blocks were damaged.
  const RinexParts clean_nav = SplitRinex(dir / "clean.nav", false);
  const RinexParts damaged_nav = SplitRinex(dir / "damaged.nav", false);
  EXPECT_EQ(Masked(clean_nav.header, {}), Masked(damaged_nav.header, {}));
  std::multiset<std::string> unmatched(clean_nav.records.begin(), clean_nav.records.end());
  for (const std::string& record : damaged_nav.records) {
    auto it = unmatched.find(record);
    if (it == unmatched.end() && damaged_ephemerides[record[0]] > 0) {
      it = std::find_if(unmatched.begin(), unmatched.end(), [&](const std::string& r) {
        return WithoutTransmissionTime(r) == WithoutTransmissionTime(record);
      });
    }
    ASSERT_NE(it, unmatched.end()) << "a navigation record not in the clean output:\n" << record;
    unmatched.erase(it);
  }
  std::map<char, int> missing;
  for (const std::string& record : unmatched) ++missing[record[0]];
  for (const auto& [system, count] : missing) {
    EXPECT_LE(count, damaged_ephemerides[system]) << "system " << system;
  }
}

constexpr char kDamage[] =
    "--flip-bytes 0.02 --noise 0.1 --duplicate 0.02 --zero-fill 0.003 --truncate-last";

TEST(DamagedInput, ClassicLogLosesExactlyTheDamagedEpochsAndRecords) {
  CheckDamage("--encoding classic", kDamage);
}

TEST(DamagedInput, CompactLogLosesExactlyTheDamagedEpochsAndRecords) {
  CheckDamage("--encoding compact --ref-interval 1", kDamage);
}

}  // namespace
}  // namespace kavrino

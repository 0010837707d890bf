// The scenario of one qdxgen run: everything the command line (or a scenario
// file) can set, with the defaults of a static geodetic receiver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavrino::qdxgen {

// Constellation bits of Scenario::systems (bit n = kavrino::Constellation n).
inline constexpr uint32_t kSysGps = 1u << 0;
inline constexpr uint32_t kSysGalileo = 1u << 1;
inline constexpr uint32_t kSysSbas = 1u << 2;
inline constexpr uint32_t kSysGlonass = 1u << 3;
inline constexpr uint32_t kSysBeidou = 1u << 4;
inline constexpr uint32_t kSysQzss = 1u << 5;
inline constexpr uint32_t kSysNavic = 1u << 6;

// Position block numbers wanted (bits of Scenario::fix_blocks).
inline constexpr uint32_t kFixCartesian = 1;   // 4006
inline constexpr uint32_t kFixGeodetic = 2;    // 4007
inline constexpr uint32_t kFixCartesian2 = 4;  // 5903
inline constexpr uint32_t kFixGeodetic2 = 8;   // 5904

// Measurement block families written.
enum MeasEncoding : uint8_t { ENC_CLASSIC = 0, ENC_COMPACT = 1, ENC_BOTH = 2 };

enum MotionKind : uint8_t { MOTION_STATIC = 0, MOTION_CIRCLE = 1, MOTION_LINE = 2 };

// A text (comment) or number (item, event source) at an offset from the start.
struct TimedEntry {
  int64_t offset_ms = 0;
  std::string text;
  uint64_t number = 0;
};

struct Scenario {
  std::string output = "qdxgen.qdx";
  std::string truth_path;  // empty: output + ".truth"
  bool write_truth = true;
  bool gzip = false;  // the QDX file gzip-compressed
  uint64_t seed = 1;

  int64_t start_ms = 0;  // GPS time, ms since 1980-01-06
  int64_t duration_ms = 3600000;
  int64_t interval_ms = 1000;
  int leap_seconds = 18;

  uint32_t systems = kSysGps | kSysGalileo | kSysGlonass | kSysBeidou;
  uint64_t signal_mask = 0;  // 0: defaults of each selected system

  double lat_deg = 46.5;
  double lon_deg = 7.5;
  double height_m = 550.0;
  MotionKind motion = MOTION_STATIC;
  double speed_mps = 10.0;
  double radius_m = 200.0;
  double heading_deg = 45.0;
  int antennas = 1;
  double baseline_enu[3] = {1.2, 0.4, 0.05};

  double mask_deg = 5.0;
  double slips_per_hour = 0.5;  // per satellite signal
  double code_noise_m = 0.25;

  MeasEncoding encoding = ENC_CLASSIC;
  uint8_t ref_interval_code = 2;  // compact reference interval (2: 1000 ms)
  bool compact_rate = true;       // compact master records carry a range rate
  bool variant_5944 = false;
  bool extra_info_4000 = false;
  bool full_ranges_4098 = false;

  bool navigation = true;
  int64_t eph_repeat_ms = 1800000;
  bool sbas_raw = true;
  double sbas_bad_crc = 0.05;
  bool weather = true;
  int64_t weather_interval_ms = 60000;
  uint32_t fix_blocks = kFixCartesian | kFixGeodetic;

  int64_t setup_interval_ms = 600000;
  int64_t setup_change_ms = -1;  // offset of a changed setup; -1 none
  std::string marker = "KVRN";
  std::string marker_number = "10001M001";
  std::string station = "KVRN00CHE";
  std::string country = "CHE";

  std::vector<TimedEntry> comments;
  std::vector<TimedEntry> events;
  std::vector<TimedEntry> items;
  bool site_commands = false;

  double flip_rate = 0.0;   // probability that a block gets one byte flipped
  double noise_rate = 0.0;  // probability of noise bytes after a block
  bool truncate_last = false;
  double duplicate_rate = 0.0;  // probability that a block is written twice in a row
  double zero_rate = 0.0;       // probability that a run of zero bytes starts inside a block
};

// Parses the command line into scenario. Returns 0 to run, 1 when the help
// text was printed, 2 on an error (message in *error).
int ParseCommandLine(int argc, char** argv, Scenario* scenario, std::string* error);
// Applies one option given by name (without the leading dashes); used for the
// command line and for scenario files. Returns false with *error set.
bool ApplyOption(const std::string& name, const std::string& value, bool has_value,
                 Scenario* scenario, std::string* error);
// Options that take no value.
bool IsFlagOption(const std::string& name);
// Reads the "name = value" lines of a scenario file (flags stand alone;
// lines starting with # are comments).
bool LoadScenarioFile(const std::string& path, Scenario* scenario, std::string* error);
void PrintHelp();
// Signals of the selected systems that the scenario generates.
uint64_t EffectiveSignalMask(const Scenario& scenario);

}  // namespace kavrino::qdxgen

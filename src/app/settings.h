// Run settings: everything the command line decides for one run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavrino {

// RINEX version codes; codes 2 and 4 select the RINEX 2 layouts everywhere.
enum RinexVersionCode : int {
  RINEX_211 = 2,
  RINEX_304 = 3,
  RINEX_210 = 4,
};

inline bool IsRinex2(int version) {
  return version == RINEX_211 || version == RINEX_210;
}

// The flag set handed to every generator.
inline constexpr uint32_t FLAG_SNR_OBS = 0x2;
inline constexpr uint32_t FLAG_DOPPLER_OBS = 0x4;
inline constexpr uint32_t FLAG_CHANNEL_OBS = 0x8;
inline constexpr uint32_t FLAG_EXCL_GPS = 0x10;
inline constexpr uint32_t FLAG_EXCL_GLONASS = 0x20;
inline constexpr uint32_t FLAG_EXCL_GALILEO = 0x40;
inline constexpr uint32_t FLAG_EXCL_SBAS = 0x80;
inline constexpr uint32_t FLAG_EXCL_BEIDOU = 0x100;
inline constexpr uint32_t FLAG_EXCL_QZSS = 0x200;
inline constexpr uint32_t FLAG_EXCL_NAVIC = 0x400;
inline constexpr uint32_t FLAG_VERBOSE = 0x1000;
inline constexpr uint32_t FLAG_COMMENTS = 0x2000;
inline constexpr uint32_t FLAG_SEQUENCE = 0x4000;
inline constexpr uint32_t FLAG_MOVING_AUTO = 0x8000;
inline constexpr uint32_t FLAG_MOVING_FORCE = 0x10000;
inline constexpr uint32_t FLAG_NO_EVENTS = 0x20000;
inline constexpr uint32_t FLAG_SBAS_VALID_ONLY = 0x40000;
inline constexpr uint32_t FLAG_LONG_NAMES = 0x80000;
inline constexpr uint32_t FLAG_CLASSIC_MEAS_ONLY = 0x100000;
inline constexpr uint32_t FLAG_COMPACT_MEAS_ONLY = 0x200000;

// Time window markers (block time in ms since the GPS epoch). Values below one
// day are times of day, tied to the day of the data before use.
inline constexpr int64_t kNoStartMs = -1;
inline constexpr int64_t kNoEndMs = 0x4000000000000000LL;

// The program's version text.
inline constexpr const char* kProgramVersion = "kavrino-13.4.3";

struct RunSettings {
  std::vector<std::string> input_files;  // every -f list, in command-line order
  std::string output_name;               // -o (kept whole)
  std::string country_code;              // -O, at most 3 characters
  int rinex_version = RINEX_211;         // -R3, -R210
  std::string file_types = "O";          // -n, at most 199 characters
  int product_count = 1;                 // distinct product kinds per input file
  bool meteo_requested = false;          // -MET
  uint32_t interval_ms = 1;              // -i
  int64_t start_ms = kNoStartMs;         // -b
  int64_t end_ms = kNoEndMs;             // -e (never negative; kept signed for comparisons)
  uint32_t flags = 0;
  uint64_t signal_mask = ~0ULL;                    // -I, -E: bit n is signal number n
  uint32_t antenna = 1;                            // -a
  std::string comment;                             // -C, at most 240 characters
  std::string receiver_type_override = "default";  // -t; "default" means none
  bool compact_rinex = false;                      // --crx: observation files as Compact RINEX
  bool gzip_output = false;                        // --gzip: every output file gzip-compressed
};

// Measurement decoding mode handed to the epoch decoder: bit 0 compact, bit 1 classic.
inline int MeasDecodeMode(uint32_t flags) {
  if (flags & FLAG_CLASSIC_MEAS_ONLY) return 2;
  if (flags & FLAG_COMPACT_MEAS_ONLY) return 1;
  return 3;
}

}  // namespace kavrino

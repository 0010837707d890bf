// What a conversion is asked to do: the settings every product of every input
// file is made with.
#pragma once

#include <cstdint>
#include <string>

#include "core/rinex_version.h"
#include "core/satellites.h"
#include "core/time.h"

namespace kavrino {

// The program's version text.
inline constexpr const char* kProgramVersion = "kavrino-13.4.3";

// A time window of block times (ms since the GPS epoch); values below one day
// are times of day, tied to the day of the data before use.
struct TimeWindow {
  int64_t start_ms = kNoStartMs;
  int64_t end_ms = kNoEndMs;  // never negative
};

// Observation types beyond code and phase.
struct ObsExtras {
  bool snr = false;      // -s
  bool doppler = false;  // -D
  bool channel = false;  // -X (RINEX 3)
};

// When a "start moving" event opens the observation file.
enum class MovingEvent { kNever, kWhenMoving, kAlways };

// The measurement block families decoded.
enum class MeasFamilies { kBoth, kClassicOnly, kCompactOnly };

// How output files are named.
struct NamingOptions {
  std::string output_name;   // -o, used as given; "copy" and "copybase" derive it
  std::string country_code;  // -O, at most 3 characters
  bool long_names = false;   // -l
  bool sequence = false;     // -S
};

struct ConvertOptions {
  RinexVersion version = RinexVersion::k211;
  TimeWindow window;
  uint32_t interval_ms = 1;
  uint32_t excluded_systems = 0;  // bit n: constellation n left out (-x)
  uint64_t signal_mask = ~0ULL;   // -I, -E: bit n is signal number n
  uint32_t antenna = 1;           // -a
  ObsExtras extras;
  bool comments = false;  // -c: the receiver's comments as event records
  MovingEvent moving = MovingEvent::kNever;
  bool events = true;  // external events (-noevent clears it)
  bool sbas_valid_only = false;
  MeasFamilies families = MeasFamilies::kBoth;
  std::string comment;  // -C, at most 240 characters
  bool has_receiver_type = false;
  std::string receiver_type;  // -t
  NamingOptions naming;
  bool compact_rinex = false;  // --crx: observation files as Compact RINEX
  bool gzip_output = false;    // --gzip: every output file gzip-compressed
  // --threads: threads of the first observation pass; 0: one per core, at most 8.
  int threads = 0;
};

inline bool IsSystemExcluded(const ConvertOptions& options, uint8_t constellation) {
  return constellation < 32 && (options.excluded_systems >> constellation & 1) != 0;
}

}  // namespace kavrino

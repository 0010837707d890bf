// RINEX meteorological file: the data records and the header.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "core/time.h"
#include "qdx/decode/sensor_blocks.h"
#include "qdx/decode/xdr_sentence.h"

namespace kavrino {

// Lines of the meteorological header, "END OF HEADER" included; the generator
// reserves them before the first record and writes the header over them last.
inline constexpr int kMetHeaderLines = 9;

// One data record: the epoch (whole seconds, GPS time) and pressure (written in
// mbar), dry temperature and relative humidity, each in seven columns, blank
// when not given. RINEX 2 codes write a two-digit year, the 3.04 layout a
// four-digit year.
void WriteMetRecord(FILE* out, int64_t epoch_ms, int version, const XdrValues& values);

struct MetHeader {
  CalendarTime created;
  const char* program = "";
  std::string_view marker_name;
  std::string_view sensor_model;
  std::string_view sensor_type;
  int version = 2;
  bool end_of_header = true;  // write the closing "END OF HEADER" line
  SensorPosition position;
};

// The header lines, each 80 columns: version and type, program and date, marker
// name, the observation types PR TD HR, one sensor line per type and the sensor
// position (then "END OF HEADER" when asked).
void WriteMetHeader(FILE* out, const MetHeader& header);

}  // namespace kavrino

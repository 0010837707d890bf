// RINEX meteorological file: the data records and the header.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/out_stream.h"
#include "core/rinex_version.h"
#include "core/time.h"
#include "qdx/decode/sensor_blocks.h"
#include "qdx/decode/xdr_sentence.h"

namespace kavrino {

// Lines of the meteorological header, "END OF HEADER" included; the generator
// reserves them before the first record and writes the header over them last.
inline constexpr int kMetHeaderLines = 9;

// An Earth-centred sensor position with its ellipsoidal height (m).
struct SensorPosition {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  double height = 0.0;
};

// Whether every value fits the header's position fields ("%14.4f"); a value
// that would not fit would push the header past its reserved lines.
bool FitsSensorPositionFields(const SensorPosition& position);

// One data record: the epoch (whole seconds, GPS time) and pressure (written in
// mbar), dry temperature and relative humidity, each in seven columns, blank
// when not given. RINEX 2 codes write a two-digit year, the 3.04 layout a
// four-digit year.
void WriteMetRecord(OutStream* out, int64_t epoch_ms, RinexVersion version,
                    const XdrValues& values);

struct MetHeader {
  CalendarTime created;
  const char* program = "";
  std::string_view marker_name;
  std::string_view sensor_model;
  std::string_view sensor_type;
  RinexVersion version = RinexVersion::k211;
  bool end_of_header = true;  // write the closing "END OF HEADER" line
  SensorPosition position;
};

// The header lines, each 80 columns: version and type, program and date, marker
// name, the observation types PR TD HR, one sensor line per type and the sensor
// position (then "END OF HEADER" when asked).
void WriteMetHeader(OutStream* out, const MetHeader& header);

}  // namespace kavrino

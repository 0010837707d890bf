#include "rinex/met/met_writer.h"

#include <cmath>
#include <cstring>
#include <string>

#include "core/rinex_version.h"
#include "rinex/format.h"
#include "rinex/header_lines.h"

namespace kavrino {
namespace {

constexpr int kValueWidth = 7;

// "%7.1f" of a given value times `scale`, else seven blanks. A value whose text
// would not fit the seven columns is left blank too, so that every field stays
// in its columns.
char* PutValue(char* p, float value, float scale) {
  char text[kFixedTextMax];
  size_t length = 0;
  const float scaled = value * scale;
  if (value > kMetPresentAbove && std::isfinite(scaled)) {
    length = FormatFixed(text, sizeof text, scaled, kValueWidth, 1);
  }
  if (length == 0 || length > static_cast<size_t>(kValueWidth)) {
    std::memset(p, ' ', kValueWidth);
  } else {
    std::memcpy(p, text, kValueWidth);
  }
  return p + kValueWidth;
}

const char* VersionText(RinexVersion version) {
  if (version == RinexVersion::k210) return "2.10";
  if (version == RinexVersion::k211) return "2.11";
  return "3.04";
}

}  // namespace

void WriteMetRecord(OutStream* out, int64_t epoch_ms, RinexVersion version,
                    const XdrValues& values) {
  const CalendarTime c = GpsSecondsToCalendar(static_cast<double>(epoch_ms / 1000));
  char line[80];
  int n;
  if (IsRinex2(version)) {
    n = std::snprintf(line, 32, " %02u%3u%3u%3u%3u%3.0f", c.year % 100, c.month, c.day, c.hour,
                      c.minute, c.second);
  } else {
    // RINEX 3.04 epoch: 1X,I4,5(1X,I2), the four-digit year.
    n = std::snprintf(line, 32, " %4u%3u%3u%3u%3u%3.0f", c.year, c.month, c.day, c.hour, c.minute,
                      c.second);
  }
  if (n < 0 || n >= 32) return;
  char* p = line + n;
  p = PutValue(p, values.pressure_bar, 1000.0f);  // mbar
  p = PutValue(p, values.temperature_c, 1.0f);
  p = PutValue(p, values.humidity_pct, 1.0f);
  *p++ = '\n';
  WriteText(out, line, static_cast<size_t>(p - line));
}

void WriteMetHeader(OutStream* out, const MetHeader& h) {
  WriteFormat(out, "%9s%11s%-20s%-20sRINEX VERSION / TYPE\n", VersionText(h.version), " ",
              "METEOROLOGICAL DATA", " ");
  WritePgmRunByDate(out, h.created, h.program, h.version);
  WriteHeaderLine(out, h.marker_name, "MARKER NAME");
  WriteHeaderLine(out, "     3    PR    TD    HR", "# / TYPES OF OBSERV");
  const std::string model(h.sensor_model.substr(0, kSensorNameWidth));
  const std::string type(h.sensor_type.substr(0, kSensorNameWidth));
  for (const char* observable : {"PR", "TD", "HR"}) {
    WriteFormat(out, "%-20.20s%-20.20s%-17.17s%-3s%-20s\n", model.c_str(), type.c_str(), "",
                observable, "SENSOR MOD/TYPE/ACC");
  }
  WriteFormat(out, "%14.4f%14.4f%14.4f%14.4f PR %-20s\n", h.position.x, h.position.y, h.position.z,
              h.position.height, "SENSOR POS XYZ/H");
  if (h.end_of_header) WriteEndOfHeader(out, 1);
}

bool FitsSensorPositionFields(const SensorPosition& position) {
  const double values[4] = {position.x, position.y, position.z, position.height};
  for (double value : values) {
    char text[kFixedTextMax];
    if (!std::isfinite(value) || FormatFixed(text, sizeof text, value, 14, 4) > 14) return false;
  }
  return true;
}

}  // namespace kavrino

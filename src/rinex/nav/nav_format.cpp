#include "rinex/nav/nav_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/rinex_version.h"
#include "core/time.h"
#include "rinex/format.h"
#include "rinex/obs/obs_epoch.h"

namespace kavrino {
namespace {

constexpr int kNavFieldWidth = 19;
constexpr int kNavFieldPrecision = 12;

// One line under construction; a record line never exceeds 4 fields + indent.
struct NavLine {
  char text[160];
  size_t length = 0;
};

void AddBlanks(NavLine* line, size_t count) {
  std::memset(line->text + line->length, ' ', count);
  line->length += count;
}

void AddField(NavLine* line, double value) {
  line->length +=
      AppendNavNumber(line->text + line->length, kNavFieldWidth, kNavFieldPrecision, value);
}

void AddUnsigned(NavLine* line, uint64_t value, int width, bool zero_pad) {
  line->length += FormatUnsigned(line->text + line->length, 16, value, width, zero_pad);
}

void StartOrbitLine(NavLine* line, RinexVersion version) {
  AddBlanks(line, IsRinex2(version) ? 3 : 4);
}

void Finish(OutStream* out, NavLine* line) {
  line->text[line->length++] = '\n';
  WriteText(out, line->text, line->length);
}

}  // namespace

size_t AppendNavNumber(char* out, int width, int precision, double value) {
  width = std::clamp(width, 0, kMaxNavWidth);
  precision = std::clamp(precision, 0, kMaxNavPrecision);
  if (!std::isfinite(value)) {
    std::memset(out, ' ', static_cast<size_t>(width));
    return static_cast<size_t>(width);
  }
  // Exact decimal conversion of the binary value, rounded as printf's %E rounds.
  char text[kNavNumberTextMax];
  const std::to_chars_result r =
      std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, precision);
  const size_t length = static_cast<size_t>(r.ptr - text);
  char* e = static_cast<char*>(std::memchr(text, 'e', length));
  if (e != nullptr) *e = 'E';
  size_t pad = length < static_cast<size_t>(width) ? static_cast<size_t>(width) - length : 0;
  std::memset(out, ' ', pad);
  std::memcpy(out + pad, text, length);
  return pad + length;
}

size_t WriteNavNumber(OutStream* out, int width, int precision, double value) {
  char text[kNavNumberTextMax];
  const size_t length = AppendNavNumber(text, width, precision, value);
  WriteText(out, text, length);
  return length;
}

void WriteNavRecordStart(OutStream* out, uint8_t sat_index, RinexVersion version,
                         double epoch_gps_seconds, double a, double b, double c) {
  const CalendarTime t = GpsSecondsToCalendar(epoch_gps_seconds);
  char id[4];
  RinexSatId(sat_index, id);
  NavLine line;
  if (IsRinex2(version)) {
    std::memcpy(line.text, id + 1, 2);
    line.length = 2;
    AddBlanks(&line, 1);
    AddUnsigned(&line, t.year % 100, 2, true);
    AddUnsigned(&line, t.month, 3, false);
    AddUnsigned(&line, t.day, 3, false);
    AddUnsigned(&line, t.hour, 3, false);
    AddUnsigned(&line, t.minute, 3, false);
    line.length += FormatFixed(line.text + line.length, 32, t.second, 5, 1);
  } else {
    std::memcpy(line.text, id, 3);
    line.length = 3;
    const uint32_t fields[] = {t.month, t.day, t.hour, t.minute, static_cast<uint32_t>(t.second)};
    AddBlanks(&line, 1);
    AddUnsigned(&line, t.year, 4, false);
    for (uint32_t field : fields) {
      AddBlanks(&line, 1);
      AddUnsigned(&line, field, 2, true);
    }
  }
  AddField(&line, a);
  AddField(&line, b);
  AddField(&line, c);
  Finish(out, &line);
}

void WriteOrbitFields(OutStream* out, RinexVersion version, std::initializer_list<double> values,
                      int gap_before) {
  NavLine line;
  StartOrbitLine(&line, version);
  int field = 0;
  for (double value : values) {
    if (field++ == gap_before) AddBlanks(&line, kNavFieldWidth);
    AddField(&line, value);
  }
  Finish(out, &line);
}

}  // namespace kavrino

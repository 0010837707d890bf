// Number text and line layout of the navigation records: every number of a
// navigation file goes through AppendNavNumber, every record is one start line
// and a few broadcast-orbit lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "core/out_stream.h"
#include "core/rinex_version.h"

namespace kavrino {

// Room for any text AppendNavNumber produces.
inline constexpr int kMaxNavWidth = 64;
inline constexpr int kMaxNavPrecision = 40;
inline constexpr size_t kNavNumberTextMax = 128;

// Writes "%<width>.<precision>E" of a finite value into out (at least
// kNavNumberTextMax bytes, no terminator) and returns its length: upper-case E,
// two exponent digits (three from 100 on), right-aligned in `width` columns.
// Width and precision are clamped to 0..kMaxNavWidth and 0..kMaxNavPrecision.
// A value that is not finite has no number text; it fills its `width` columns
// with blanks (the "unknown" field of the records), so the fields after it
// keep their columns.
size_t AppendNavNumber(char* out, int width, int precision, double value);

// The same text written to a stream; returns its length.
size_t WriteNavNumber(OutStream* out, int width, int precision, double value);

// First line of a record: satellite, epoch (calendar reading of GPS seconds,
// no leap seconds) and three values. RINEX 2 layout for version codes 2 and 4
// ("05 19  6 24 13 31 59.5"), RINEX 3 layout otherwise ("G05 2019 06 24 13 31
// 59", seconds cut off).
void WriteNavRecordStart(OutStream* out, uint8_t sat_index, RinexVersion version,
                         double epoch_gps_seconds, double a, double b, double c);

// Broadcast-orbit lines: indent (3 blanks in RINEX 2, 4 in RINEX 3), then the
// values in 19-column fields; an empty field stands before the value at
// position `gap_before` (none when it is past the values).
void WriteOrbitFields(OutStream* out, RinexVersion version, std::initializer_list<double> values,
                      int gap_before = 4);
inline void WriteOrbitLine(OutStream* out, RinexVersion version, double a) {
  WriteOrbitFields(out, version, {a});
}
inline void WriteOrbitLine(OutStream* out, RinexVersion version, double a, double b) {
  WriteOrbitFields(out, version, {a, b});
}
inline void WriteOrbitLine(OutStream* out, RinexVersion version, double a, double b, double c) {
  WriteOrbitFields(out, version, {a, b, c});
}
inline void WriteOrbitLine(OutStream* out, RinexVersion version, double a, double b, double c,
                           double d) {
  WriteOrbitFields(out, version, {a, b, c, d});
}
// a, b, an empty 19-column field, then c.
inline void WriteOrbitLineWithGap(OutStream* out, RinexVersion version, double a, double b,
                                  double c) {
  WriteOrbitFields(out, version, {a, b, c}, 2);
}

}  // namespace kavrino

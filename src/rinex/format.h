// Exact, allocation-free number formatting for the RINEX writers.
//
// Each routine produces exactly the text that the named printf conversion
// gives in the C locale, and behaves like snprintf towards the buffer: it
// returns the full length of the text and stores at most `capacity` of its
// leading characters (no terminator is written).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavrino {

// Longest text FormatFixed can produce for a precision of at most
// kMaxFixedPrecision and a width of at most kMaxFixedWidth.
inline constexpr int kMaxFixedPrecision = 60;
inline constexpr int kMaxFixedWidth = 64;
inline constexpr size_t kFixedTextMax = 1 + 309 + 1 + kMaxFixedPrecision;

// "%<width>.<precision>f". Width and precision are clamped to 0..kMaxFixedWidth
// and 0..kMaxFixedPrecision. Rounds the exact binary value, ties to even,
// writes "-" for every value with the sign bit set (also -0.0), and "inf",
// "-inf", "nan", "-nan" for the non-finite values.
size_t FormatFixed(char* out, size_t capacity, double value, int width, int precision);

// "%14.3f" of a finite value below 1e9 in magnitude, the observation field:
// stores its 14 or 15 characters at `out` (which must hold 15) and returns
// their number, touching no byte past them; returns 0 and stores nothing for
// any other value. The text is 15 characters only for values that round to
// -1000000000.000.
size_t FormatObsFixed(char* out, double value);

// "%<width>u" (zero_pad false) or "%0<width>u" (zero_pad true); width is
// clamped to 0..kMaxFixedWidth.
size_t FormatUnsigned(char* out, size_t capacity, uint64_t value, int width, bool zero_pad);

// "%<width>d" / "%0<width>d" of a signed value.
size_t FormatSigned(char* out, size_t capacity, int64_t value, int width, bool zero_pad);

// Writes the three-character RINEX satellite identifier ("G05", "R12", ...)
// and a terminator into `out`. Returns false, and writes "???", for an index
// without a RINEX identifier (GPS 33..37, 68, 69, L-band, unused ranges).
bool RinexSatId(uint8_t sat_index, char out[4]);

}  // namespace kavrino

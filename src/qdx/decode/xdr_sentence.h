// Weather values from NMEA "XDR" transducer sentences.
#pragma once

#include <cstddef>

namespace kavrino {

// Value of a weather quantity that a sentence did not give; a value counts as
// given when it is greater than kMetPresentAbove.
inline constexpr float kMetAbsent = -1000.0f;
inline constexpr float kMetPresentAbove = -500.0f;

// Longest sentence text examined; characters beyond are ignored.
inline constexpr size_t kXdrMaxText = 255;

struct XdrValues {
  float pressure_bar = kMetAbsent;
  float temperature_c = kMetAbsent;
  float humidity_pct = kMetAbsent;
};

// Reads the groups "type,value,unit,name" that follow "XDR," in the first
// `length` characters of `text` (at most kXdrMaxText; a zero byte ends the text
// earlier). Temperature is type C with unit C, pressure type P with unit B (bar)
// or P (pascal, converted to bar), humidity type H with unit P (percent); a later
// group replaces an earlier one of the same kind. The checksum "*hh" is part of
// the last name field and is not checked. Returns true when at least one value
// was found; `values` holds kMetAbsent for those not found.
bool ParseXdrSentence(const char* text, size_t length, XdrValues* values);

}  // namespace kavrino

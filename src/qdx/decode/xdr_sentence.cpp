#include "qdx/decode/xdr_sentence.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace kavrino {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the plain decimal number at the start of `field`, after optional
// blanks: [+-]digits[.digits][(e|E)[+-]digits]. Hexadecimal, "inf" and "nan"
// are not numbers here.
size_t DecimalPrefix(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) ++i;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) ++i;
  size_t digits = 0;
  while (i < field.size() && IsDigit(field[i])) ++i, ++digits;
  if (i < field.size() && field[i] == '.') {
    ++i;
    while (i < field.size() && IsDigit(field[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
    size_t j = i + 1;
    if (j < field.size() && (field[j] == '+' || field[j] == '-')) ++j;
    if (j < field.size() && IsDigit(field[j])) {
      while (j < field.size() && IsDigit(field[j])) ++j;
      i = j;
    }
  }
  return i;
}

// The value field read as a decimal number from its start; anything that is
// not a number (an empty field included) reads as 0.
float ReadValue(std::string_view field) {
  const size_t length = DecimalPrefix(field);
  if (length == 0) return 0.0f;
  char number[kXdrMaxText + 1];
  std::memcpy(number, field.data(), length);
  number[length] = '\0';
  return static_cast<float>(std::strtod(number, nullptr));
}

}  // namespace

bool ParseXdrSentence(const char* text, size_t length, XdrValues* values) {
  *values = XdrValues{};
  if (text == nullptr) return false;
  if (length > kXdrMaxText) length = kXdrMaxText;
  std::string_view sentence(text, length);
  sentence = sentence.substr(0, sentence.find('\0'));

  const size_t tag = sentence.find("XDR,");
  if (tag == std::string_view::npos) return false;

  bool found = false;
  size_t group = tag + 4;
  while (group < sentence.size()) {
    const size_t c1 = sentence.find(',', group);
    if (c1 == std::string_view::npos) break;
    const size_t c2 = sentence.find(',', c1 + 1);
    if (c2 == std::string_view::npos) break;
    const size_t c3 = sentence.find(',', c2 + 1);
    if (c3 == std::string_view::npos) break;

    if (c1 - group == 1) {
      const char type = sentence[group];
      const char unit = sentence[c3 - 1];  // last character of the unit field
      const std::string_view value = sentence.substr(c1 + 1, c2 - c1 - 1);
      if (type == 'C' && unit == 'C') {
        values->temperature_c = ReadValue(value);
        found = true;
      } else if (type == 'P' && unit == 'B') {
        values->pressure_bar = ReadValue(value);
        found = true;
      } else if (type == 'P' && unit == 'P') {
        values->pressure_bar = ReadValue(value) * 1e-5f;
        found = true;
      } else if (type == 'H' && unit == 'P') {
        values->humidity_pct = ReadValue(value);
        found = true;
      }
    }

    // The next group starts after the comma that ends the name field.
    const size_t name_end = sentence.find(',', c3 + 1);
    if (name_end == std::string_view::npos) break;
    group = name_end + 1;
  }
  return found;
}

}  // namespace kavrino

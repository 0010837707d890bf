#include "qdx/decode/comment_block.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "qdx/block.h"

namespace kavrino {
namespace {

// Splits `text` at ';': the positions of the separators, at most `max` of them.
int FindSeparators(std::string_view text, size_t* positions, int max) {
  int count = 0;
  for (size_t i = 0; i < text.size() && count < max; ++i) {
    if (text[i] == ';') positions[count++] = i;
  }
  return count;
}

// Decimal value of a field; text that is not a number gives 0.
double ParseDecimal(std::string_view field) {
  std::string copy(field);
  return std::strtod(copy.c_str(), nullptr);
}

}  // namespace

std::string_view CommentText(const uint8_t* block) {
  const size_t length = QdxBlockLength(block);
  if (length < 16) return {};
  const size_t declared = ReadU16(block + 14);
  return {reinterpret_cast<const char*>(block + 16), std::min(declared, length - 16)};
}

std::string_view CommandText(const uint8_t* block) {
  const std::string_view text = CommentText(block);
  return text.substr(0, std::min(text.size(), text.find('\0')));
}

bool IsCommand(std::string_view text, std::string_view word) {
  return text.starts_with(word);
}

std::string_view SiteCommandName(std::string_view text) {
  size_t sep[2];
  if (FindSeparators(text, sep, 2) < 2) return {};
  return text.substr(sep[0] + 1, sep[1] - sep[0] - 1);
}

AntennaCommand ParseAntennaCommand(std::string_view text) {
  AntennaCommand command;
  size_t sep[3];
  const int count = FindSeparators(text, sep, 3);
  if (count >= 2) {
    command.has_type = true;
    command.type = text.substr(sep[0] + 1, sep[1] - sep[0] - 1);
  }
  if (count >= 3) {
    command.has_offsets = true;
    command.l1_offset = ParseDecimal(text.substr(sep[1] + 1, sep[2] - sep[1] - 1));
    command.l2_offset = ParseDecimal(text.substr(sep[2] + 1));
  }
  return command;
}

bool ParseXyzCommand(std::string_view text, double xyz[3]) {
  size_t sep[3];
  if (FindSeparators(text, sep, 3) < 3) return false;
  xyz[0] = ParseDecimal(text.substr(sep[0] + 1, sep[1] - sep[0] - 1));
  xyz[1] = ParseDecimal(text.substr(sep[1] + 1, sep[2] - sep[1] - 1));
  xyz[2] = ParseDecimal(text.substr(sep[2] + 1));
  return true;
}

}  // namespace kavrino

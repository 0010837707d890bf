// Comment blocks: the receiver's free text, and the site commands some of
// them carry (BEGIN_POINT, END_POINT, CANCEL_POINT, ANTENNA, XYZ), fields
// separated by ';'.
#pragma once

#include <cstdint>
#include <string_view>

namespace kavrino {

// The text of a Comment block, cut at the block's end; empty when the block is
// too short to hold the length field. The view points into the block.
std::string_view CommentText(const uint8_t* block);
// The same text up to its first zero byte: what the commands are read from.
std::string_view CommandText(const uint8_t* block);
// True when the text begins with the command word.
bool IsCommand(std::string_view text, std::string_view word);

// The site name of a BEGIN_POINT or END_POINT command: its second field, empty
// when the text has fewer than two separators.
std::string_view SiteCommandName(std::string_view text);

// ANTENNA;type;L1 offset;L2 offset.
struct AntennaCommand {
  bool has_type = false;
  std::string_view type;
  bool has_offsets = false;
  double l1_offset = 0;  // metres; text that is not a number reads as 0
  double l2_offset = 0;
};
AntennaCommand ParseAntennaCommand(std::string_view text);

// XYZ;x;y;z in metres; false when the text has fewer than three separators.
bool ParseXyzCommand(std::string_view text, double xyz[3]);

}  // namespace kavrino

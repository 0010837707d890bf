// Event records of an observation file: event epoch lines, site occupations
// and the site commands carried in the receiver's comment texts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "qdx/block_numbers.h"
#include "qdx/decode/receiver_setup.h"
#include "rinex/obs/obs_summary.h"

namespace kavrino {

// RINEX event flags written by the generator.
inline constexpr unsigned kEventStartMoving = 2;
inline constexpr unsigned kEventNewSite = 3;
inline constexpr unsigned kEventHeaderInfo = 4;

// The text of a Comment block, cut at the block's end; empty when the block is
// too short to hold the length field. The view points into the block.
std::string_view CommentText(const uint8_t* block);
// The same text up to its first zero byte: what the commands are read from.
std::string_view CommandText(const uint8_t* block);

// True when the text begins with the command word.
bool IsCommand(std::string_view text, std::string_view word);

// Epoch line of an event (flag, number of records that follow) at GPS
// `seconds`, without the newline.
void WriteEventEpochLine(FILE* out, unsigned flag, unsigned count, int version, double seconds);

// A new-site-occupation event with its header records, from the summary's
// current site.
void WriteSiteOccupation(FILE* out, const ObsFileSummary& summary, int version, double seconds);

// Marker name and number from the second ';' field of a site command.
void ApplySiteName(ReceiverSetupRecord* setup, const uint8_t* comment_block);

// ANTENNA;type;L1 offset;L2 offset and XYZ;x;y;z.
void ApplyAntennaCommand(ObsFileSummary* summary, std::string_view text);
void ApplyXyzCommand(ObsFileSummary* summary, std::string_view text);

}  // namespace kavrino

// RINEX header lines: 60 columns of content, a 20-column label and a newline.
// Shared by the observation, navigation, SBAS broadcast and meteorological headers.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/out_stream.h"
#include "core/rinex_version.h"
#include "core/time.h"
#include "qdx/decode/receiver_setup.h"

namespace kavrino {

inline constexpr int kHeaderContentWidth = 60;

// "%-60.60s%-20s\n": content cut or padded to 60 columns, then the label.
void WriteHeaderLine(OutStream* out, std::string_view content, const char* label);
// "%60s%-20s\n" with an empty content: 60 blanks, then the label.
void WriteBlankHeaderLine(OutStream* out, const char* label);

// "PGM / RUN BY / DATE" with the program text, a blank RUN BY field and the run
// date; `version` is a RinexVersionCode (codes 2 and 4 use the RINEX 2 date form).
void WritePgmRunByDate(OutStream* out, const CalendarTime& run_date, const char* program,
                       RinexVersion version);

// Receiver type text from the setup record (receiver name, or a text derived from
// the product name from block revision 3 on). Writes at most capacity - 1
// characters and always terminates `out` (nothing is written when capacity is 0).
void MakeReceiverType(const ReceiverSetupRecord& setup, char* out, size_t capacity);

// line_count - 1 blank "COMMENT" lines and one "END OF HEADER" line; a count of
// 0 or 1 writes the "END OF HEADER" line alone.
void WriteEndOfHeader(OutStream* out, int line_count);

}  // namespace kavrino

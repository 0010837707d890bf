// Headers of the navigation files (GPS, GLONASS, Galileo, SBAS, BeiDou and
// mixed). A header is written after the records, over a header area the driver
// reserved at the start of the file: every line is 80 characters and a newline,
// and a writer never writes more lines than the area has minus its final
// "END OF HEADER" line (which it writes itself only when asked to).
//
// A correction record whose present mark is clear was not seen: its lines are
// left out. A line whose values do not fit their columns (a damaged block) is
// left out too, so the header never outgrows its area.
#pragma once

#include <cstdint>

#include "core/out_stream.h"
#include "core/rinex_version.h"
#include "core/time.h"
#include "qdx/decode/correction_blocks.h"

namespace kavrino {

// Most lines each writer writes without its "END OF HEADER" line (the driver
// reserves one more).
inline constexpr int kGpsNavHeaderMaxLines = 6;
inline constexpr int kGloNavHeaderMaxLines = 3;
inline constexpr int kGalNavHeaderMaxLines = 6;
inline constexpr int kSbasNavHeaderMaxLines = 2;
inline constexpr int kBdsNavHeaderMaxLines = 2;
inline constexpr int kMixedNavHeaderMaxLines = 9;

// What a navigation header says.
struct NavHeaderInfo {
  CalendarTime date;  // the creation time (UTC)
  const char* program = "";
  RinexVersion version = RinexVersion::k211;  // of the GPS, GLONASS and SBAS files
  int leap_count = kLeapCountUnknown;         // GLONASS and mixed files
  const NavCorrections* corrections = nullptr;
};

// The header lines without "END OF HEADER", which closes the reserved area.
void WriteGpsNavHeader(OutStream* out, const NavHeaderInfo& info);
void WriteGloNavHeader(OutStream* out, const NavHeaderInfo& info);
void WriteGalNavHeader(OutStream* out, const NavHeaderInfo& info);
void WriteSbasNavHeader(OutStream* out, const NavHeaderInfo& info);
void WriteBdsNavHeader(OutStream* out, const NavHeaderInfo& info);
void WriteMixedNavHeader(OutStream* out, const NavHeaderInfo& info);

}  // namespace kavrino

// Headers of the navigation files (GPS, GLONASS, Galileo, SBAS, BeiDou and
// mixed). A header is written after the records, over a header area the driver
// reserved at the start of the file: every line is 80 characters and a newline,
// and a writer never writes more lines than the area has minus its final
// "END OF HEADER" line (which it writes itself only when asked to).
//
// Correction slots are optional: a null slot, or one whose present mark is
// clear, means the block was not seen and its lines are left out. A line whose
// values do not fit their columns (a damaged block) is left out too, so the
// header never outgrows its area.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/time.h"
#include "rinex/nav/nav_slots.h"

namespace kavrino {

// Most lines each writer writes without its "END OF HEADER" line (the driver
// reserves one more).
inline constexpr int kGpsNavHeaderMaxLines = 6;
inline constexpr int kGloNavHeaderMaxLines = 3;
inline constexpr int kGalNavHeaderMaxLines = 6;
inline constexpr int kSbasNavHeaderMaxLines = 2;
inline constexpr int kBdsNavHeaderMaxLines = 2;
inline constexpr int kMixedNavHeaderMaxLines = 9;

// The correction slots a header writer reads; null members are absent.
struct NavHeaderSlots {
  const NavSlot* gps_utc = nullptr;
  const NavSlot* gps_iono = nullptr;
  const NavSlot* gal_utc = nullptr;
  const NavSlot* gal_iono = nullptr;
  const NavSlot* gal_gps_offset = nullptr;
};

// `version` is the RinexVersionCode (2 and 4: RINEX 2 forms); `date` the
// creation time (UTC); `program` the program name and version text.
void WriteGpsNavHeader(FILE* out, const CalendarTime& date, const char* program, int version,
                       const NavSlot* gps_utc, const NavSlot* gps_iono, bool end_of_header);
void WriteGloNavHeader(FILE* out, const CalendarTime& date, const char* program, int version,
                       int leap_count, bool end_of_header);
void WriteGalNavHeader(FILE* out, const CalendarTime& date, const char* program,
                       const NavSlot* gal_utc, const NavSlot* gal_iono,
                       const NavSlot* gal_gps_offset, bool end_of_header);
void WriteSbasNavHeader(FILE* out, const CalendarTime& date, const char* program, int version,
                        bool end_of_header);
void WriteBdsNavHeader(FILE* out, const CalendarTime& date, const char* program,
                       bool end_of_header);
void WriteMixedNavHeader(FILE* out, const CalendarTime& date, const char* program, int leap_count,
                         const NavHeaderSlots& slots, bool end_of_header);

}  // namespace kavrino

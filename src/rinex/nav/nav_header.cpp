#include "rinex/nav/nav_header.h"

#include <cstdarg>
#include <cstring>

#include "app/settings.h"
#include "qdx/block.h"
#include "rinex/header_lines.h"
#include "rinex/nav/nav_format.h"

namespace kavrino {
namespace {

// Block offsets of the fields the header lines read.
constexpr size_t kWeekOffset = 12;           // u16 week number of the block (WNc)
constexpr size_t kIonoFirstOffset = 16;      // f32 coefficients, 4 bytes apart
constexpr size_t kGpsIonoBetaOffset = 32;    // f32 beta 0..3
constexpr size_t kUtcA1Offset = 16;          // f32
constexpr size_t kUtcA0Offset = 20;          // f64
constexpr size_t kUtcRefTimeOffset = 28;     // u32 t_ot
constexpr size_t kUtcRefWeekOffset = 32;     // u8 WN_t (8 bits)
constexpr size_t kUtcLeapOffset = 33;        // i8 dtLS
constexpr size_t kUtcFutureWeekOffset = 34;  // u8 WN_LSF (8 bits)
constexpr size_t kUtcFutureDayOffset = 35;   // u8 DN
constexpr size_t kUtcFutureLeapOffset = 36;  // i8 dtLSF
constexpr size_t kGgtoA1Offset = 16;         // f32 A1G
constexpr size_t kGgtoA0Offset = 20;         // f32 A0G
constexpr size_t kGgtoRefTimeOffset = 24;    // u32 t_oG
constexpr size_t kGgtoRefWeekOffset = 28;    // u8 WN_oG (6 bits)

constexpr size_t kHeaderLineLength = 81;  // 80 columns and the newline
constexpr double kAbsentBelow = -1e10;

// One header line under construction. A line that does not come out exactly
// 80 columns wide (a value too large for its field) is not written.
struct HeaderLine {
  char text[512];
  size_t length = 0;
  bool overflow = false;
};

void AddFormat(HeaderLine* line, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AddFormat(HeaderLine* line, const char* format, ...) {
  const size_t room = sizeof line->text - line->length;
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line->text + line->length, room, format, args);
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= room) {
    line->overflow = true;
    return;
  }
  line->length += static_cast<size_t>(n);
}

void AddNumber(HeaderLine* line, int width, int precision, double value) {
  if (sizeof line->text - line->length < kNavNumberTextMax) {
    line->overflow = true;
    return;
  }
  line->length += AppendNavNumber(line->text + line->length, width, precision, value);
}

void Emit(FILE* out, const HeaderLine& line) {
  if (line.overflow || line.length != kHeaderLineLength) return;
  std::fwrite(line.text, 1, line.length, out);
}

const NavSlot* Present(const NavSlot* slot) {
  return slot != nullptr && slot->present ? slot : nullptr;
}

uint8_t SlotU8(const NavSlot& slot, size_t offset) {
  return *NavSlotField(slot, offset);
}
int SlotI8(const NavSlot& slot, size_t offset) {
  return ReadI8(NavSlotField(slot, offset));
}
uint16_t SlotU16(const NavSlot& slot, size_t offset) {
  return ReadU16(NavSlotField(slot, offset));
}
uint32_t SlotU32(const NavSlot& slot, size_t offset) {
  return ReadU32(NavSlotField(slot, offset));
}
double SlotF32(const NavSlot& slot, size_t offset) {
  return static_cast<double>(ReadF32(NavSlotField(slot, offset)));
}
double SlotF64(const NavSlot& slot, size_t offset) {
  return ReadF64(NavSlotField(slot, offset));
}

void WriteVersionLine(FILE* out, const char* version, const char* type, const char* system) {
  std::fprintf(out, "%9s%11s%-20s%-20sRINEX VERSION / TYPE\n", version, " ", type, system);
}

// "ION ALPHA"/"ION BETA" (RINEX 2) or "GPSA"/"GPSB" (RINEX 3) lines.
void WriteGpsIonoLines(FILE* out, const NavSlot& iono, bool rinex2) {
  for (int part = 0; part < 2; ++part) {
    const size_t first = part == 0 ? kIonoFirstOffset : kGpsIonoBetaOffset;
    HeaderLine line;
    AddFormat(&line, "%s", rinex2 ? "  " : (part == 0 ? "GPSA " : "GPSB "));
    for (size_t k = 0; k < 4; ++k) AddNumber(&line, 12, 4, SlotF32(iono, first + 4 * k));
    if (rinex2) {
      AddFormat(&line, "%10s%-20s\n", " ", part == 0 ? "ION ALPHA" : "ION BETA");
    } else {
      AddFormat(&line, "%7s%-20s\n", " ", "IONOSPHERIC CORR");
    }
    Emit(out, line);
  }
}

void WriteGalIonoLine(FILE* out, const NavSlot& iono) {
  HeaderLine line;
  AddFormat(&line, "GAL  ");
  for (size_t k = 0; k < 3; ++k) AddNumber(&line, 12, 4, SlotF32(iono, kIonoFirstOffset + 4 * k));
  AddNumber(&line, 12, 4, 0.0);
  AddFormat(&line, "%7s%-20s\n", " ", "IONOSPHERIC CORR");
  Emit(out, line);
}

// A RINEX 3 "TIME SYSTEM CORR" line.
void WriteTimeCorrLine(FILE* out, const char* system, double a0, double a1, uint32_t ref_time,
                       int week) {
  HeaderLine line;
  AddFormat(&line, "%s ", system);
  AddNumber(&line, 17, 10, a0);
  AddNumber(&line, 16, 9, a1);
  AddFormat(&line, "%7lu%5i%10s%-20s\n", static_cast<unsigned long>(ref_time), week, " ",
            "TIME SYSTEM CORR");
  Emit(out, line);
}

int UtcRefWeek(const NavSlot& utc) {
  return WidenWeek(SlotU8(utc, kUtcRefWeekOffset), SlotU16(utc, kWeekOffset), 8);
}

// GPS to UTC: "GPUT" in RINEX 3, "DELTA-UTC: A0,A1,T,W" in RINEX 2; only with a usable A0.
void WriteGpsUtcLine(FILE* out, const NavSlot& utc, bool rinex2) {
  const double a0 = SlotF64(utc, kUtcA0Offset);
  if (!(a0 > kAbsentBelow)) return;
  const double a1 = SlotF32(utc, kUtcA1Offset);
  const uint32_t ref_time = SlotU32(utc, kUtcRefTimeOffset);
  if (!rinex2) {
    WriteTimeCorrLine(out, "GPUT", a0, a1, ref_time, UtcRefWeek(utc));
    return;
  }
  HeaderLine line;
  AddFormat(&line, "   ");
  AddNumber(&line, 19, 12, a0);
  AddNumber(&line, 19, 12, a1);
  AddFormat(&line, "%9lu%9i %-20s\n", static_cast<unsigned long>(ref_time), UtcRefWeek(utc),
            "DELTA-UTC: A0,A1,T,W");
  Emit(out, line);
}

void WriteGalUtcLine(FILE* out, const NavSlot& utc) {
  WriteTimeCorrLine(out, "GAUT", SlotF64(utc, kUtcA0Offset), SlotF32(utc, kUtcA1Offset),
                    SlotU32(utc, kUtcRefTimeOffset), UtcRefWeek(utc));
}

void WriteGalGpsLine(FILE* out, const NavSlot& offset) {
  const int week = WidenWeek(SlotU8(offset, kGgtoRefWeekOffset), SlotU16(offset, kWeekOffset), 6);
  WriteTimeCorrLine(out, "GAGP", SlotF32(offset, kGgtoA0Offset), SlotF32(offset, kGgtoA1Offset),
                    SlotU32(offset, kGgtoRefTimeOffset), week);
}

void WriteLeapCountLine(FILE* out, int leap_count) {
  if (leap_count == kLeapCountUnknown) return;
  HeaderLine line;
  AddFormat(&line, "%6i%54s%-20s\n", leap_count, " ", "LEAP SECONDS");
  Emit(out, line);
}

// Leap seconds from a set of UTC parameters: with the announced change in the
// RINEX 3 form when one is announced, else the current count alone.
void WriteUtcLeapLine(FILE* out, const NavSlot& utc, bool rinex3) {
  const int current = SlotI8(utc, kUtcLeapOffset);
  const int future = SlotI8(utc, kUtcFutureLeapOffset);
  if (current == kLeapCountUnknown) return;
  if (!rinex3 || future == current || future == kLeapCountUnknown) {
    WriteLeapCountLine(out, current);
    return;
  }
  const int future_week =
      WidenWeek(SlotU8(utc, kUtcFutureWeekOffset), SlotU16(utc, kWeekOffset), 8);
  HeaderLine line;
  AddFormat(&line, "%6i%6i%6i%6i%36s%-20s\n", current, future, future_week,
            SlotU8(utc, kUtcFutureDayOffset), " ", "LEAP SECONDS");
  Emit(out, line);
}

void FinishHeader(FILE* out, bool end_of_header) {
  if (end_of_header) WriteEndOfHeader(out, 1);
}

}  // namespace

void WriteGpsNavHeader(FILE* out, const CalendarTime& date, const char* program, int version,
                       const NavSlot* gps_utc, const NavSlot* gps_iono, bool end_of_header) {
  const bool rinex2 = IsRinex2(version);
  if (rinex2) {
    WriteVersionLine(out, "2.10", "N: GPS NAV DATA", " ");
  } else {
    WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "G: GPS");
  }
  WritePgmRunByDate(out, date, program, version);
  if (const NavSlot* iono = Present(gps_iono)) WriteGpsIonoLines(out, *iono, rinex2);
  if (const NavSlot* utc = Present(gps_utc)) {
    WriteGpsUtcLine(out, *utc, rinex2);
    WriteUtcLeapLine(out, *utc, !rinex2);
  }
  FinishHeader(out, end_of_header);
}

void WriteGloNavHeader(FILE* out, const CalendarTime& date, const char* program, int version,
                       int leap_count, bool end_of_header) {
  if (IsRinex2(version)) {
    WriteVersionLine(out, "2.10", "G: GLO NAV DATA", " ");
  } else {
    WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "R: GLONASS");
  }
  WritePgmRunByDate(out, date, program, version);
  WriteLeapCountLine(out, leap_count);
  FinishHeader(out, end_of_header);
}

void WriteGalNavHeader(FILE* out, const CalendarTime& date, const char* program,
                       const NavSlot* gal_utc, const NavSlot* gal_iono,
                       const NavSlot* gal_gps_offset, bool end_of_header) {
  WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "E: GALILEO");
  WritePgmRunByDate(out, date, program, RINEX_304);
  if (const NavSlot* iono = Present(gal_iono)) WriteGalIonoLine(out, *iono);
  if (const NavSlot* offset = Present(gal_gps_offset)) WriteGalGpsLine(out, *offset);
  if (const NavSlot* utc = Present(gal_utc)) {
    WriteGalUtcLine(out, *utc);
    WriteUtcLeapLine(out, *utc, true);
  }
  FinishHeader(out, end_of_header);
}

void WriteSbasNavHeader(FILE* out, const CalendarTime& date, const char* program, int version,
                        bool end_of_header) {
  if (IsRinex2(version)) {
    WriteVersionLine(out, version == RINEX_210 ? "2.10" : "2.11", "H: SBAS NAV DATA", " ");
  } else {
    WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "S: SBAS");
  }
  WritePgmRunByDate(out, date, program, version);
  FinishHeader(out, end_of_header);
}

void WriteBdsNavHeader(FILE* out, const CalendarTime& date, const char* program,
                       bool end_of_header) {
  WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "C: BEIDOU");
  WritePgmRunByDate(out, date, program, RINEX_304);
  FinishHeader(out, end_of_header);
}

void WriteMixedNavHeader(FILE* out, const CalendarTime& date, const char* program, int leap_count,
                         const NavHeaderSlots& slots, bool end_of_header) {
  WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "M: MIXED");
  WritePgmRunByDate(out, date, program, RINEX_304);
  if (const NavSlot* iono = Present(slots.gps_iono)) WriteGpsIonoLines(out, *iono, false);
  if (const NavSlot* iono = Present(slots.gal_iono)) WriteGalIonoLine(out, *iono);
  const NavSlot* gps_utc = Present(slots.gps_utc);
  const NavSlot* gal_utc = Present(slots.gal_utc);
  const NavSlot* gal_gps = Present(slots.gal_gps_offset);
  if (gps_utc != nullptr) WriteGpsUtcLine(out, *gps_utc, false);
  if (gal_utc != nullptr) WriteGalUtcLine(out, *gal_utc);
  if (gal_gps != nullptr) WriteGalGpsLine(out, *gal_gps);
  if (gps_utc != nullptr) {
    WriteUtcLeapLine(out, *gps_utc, true);
  } else if (gal_utc != nullptr) {
    WriteUtcLeapLine(out, *gal_utc, true);
  } else {
    WriteLeapCountLine(out, leap_count);
  }
  FinishHeader(out, end_of_header);
}

}  // namespace kavrino

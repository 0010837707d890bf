#include "rinex/nav/nav_header.h"

#include <cstdarg>
#include <cstring>

#include "rinex/header_lines.h"
#include "rinex/nav/nav_format.h"

namespace kavrino {
namespace {

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

void Emit(OutStream* out, const HeaderLine& line) {
  if (line.overflow || line.length != kHeaderLineLength) return;
  WriteText(out, line.text, line.length);
}

void WriteVersionLine(OutStream* out, const char* version, const char* type, const char* system) {
  WriteFormat(out, "%9s%11s%-20s%-20sRINEX VERSION / TYPE\n", version, " ", type, system);
}

// "ION ALPHA"/"ION BETA" (RINEX 2) or "GPSA"/"GPSB" (RINEX 3) lines.
void WriteGpsIonoLines(OutStream* out, const IonoParams& iono, bool rinex2) {
  for (int part = 0; part < 2; ++part) {
    const float* values = part == 0 ? iono.alpha : iono.beta;
    HeaderLine line;
    AddFormat(&line, "%s", rinex2 ? "  " : (part == 0 ? "GPSA " : "GPSB "));
    for (size_t k = 0; k < 4; ++k) AddNumber(&line, 12, 4, values[k]);
    if (rinex2) {
      AddFormat(&line, "%10s%-20s\n", " ", part == 0 ? "ION ALPHA" : "ION BETA");
    } else {
      AddFormat(&line, "%7s%-20s\n", " ", "IONOSPHERIC CORR");
    }
    Emit(out, line);
  }
}

void WriteGalIonoLine(OutStream* out, const IonoParams& iono) {
  HeaderLine line;
  AddFormat(&line, "GAL  ");
  for (size_t k = 0; k < 3; ++k) AddNumber(&line, 12, 4, iono.alpha[k]);
  AddNumber(&line, 12, 4, 0.0);
  AddFormat(&line, "%7s%-20s\n", " ", "IONOSPHERIC CORR");
  Emit(out, line);
}

// A RINEX 3 "TIME SYSTEM CORR" line.
void WriteTimeCorrLine(OutStream* out, const char* system, double a0, double a1, uint32_t ref_time,
                       int64_t week) {
  HeaderLine line;
  AddFormat(&line, "%s ", system);
  AddNumber(&line, 17, 10, a0);
  AddNumber(&line, 16, 9, a1);
  AddFormat(&line, "%7lu%5i%10s%-20s\n", static_cast<unsigned long>(ref_time),
            static_cast<int>(week), " ", "TIME SYSTEM CORR");
  Emit(out, line);
}

// GPS to UTC: "GPUT" in RINEX 3, "DELTA-UTC: A0,A1,T,W" in RINEX 2; only with a usable A0.
void WriteGpsUtcLine(OutStream* out, const UtcParams& utc, bool rinex2) {
  const double a0 = utc.a0;
  if (!(a0 > kAbsentBelow)) return;
  const double a1 = utc.a1;
  const uint32_t ref_time = utc.t_ot;
  if (!rinex2) {
    WriteTimeCorrLine(out, "GPUT", a0, a1, ref_time, utc.ref_week);
    return;
  }
  HeaderLine line;
  AddFormat(&line, "   ");
  AddNumber(&line, 19, 12, a0);
  AddNumber(&line, 19, 12, a1);
  AddFormat(&line, "%9lu%9i %-20s\n", static_cast<unsigned long>(ref_time),
            static_cast<int>(utc.ref_week), "DELTA-UTC: A0,A1,T,W");
  Emit(out, line);
}

void WriteGalUtcLine(OutStream* out, const UtcParams& utc) {
  WriteTimeCorrLine(out, "GAUT", utc.a0, utc.a1, utc.t_ot, utc.ref_week);
}

void WriteGalGpsLine(OutStream* out, const GalGpsOffset& offset) {
  WriteTimeCorrLine(out, "GAGP", offset.a0g, offset.a1g, offset.t_og, offset.ref_week);
}

void WriteLeapCountLine(OutStream* out, int leap_count) {
  if (leap_count == kLeapCountUnknown) return;
  HeaderLine line;
  AddFormat(&line, "%6i%54s%-20s\n", leap_count, " ", "LEAP SECONDS");
  Emit(out, line);
}

// Leap seconds from a set of UTC parameters: with the announced change in the
// RINEX 3 form when one is announced, else the current count alone.
void WriteUtcLeapLine(OutStream* out, const UtcParams& utc, bool rinex3) {
  const int current = utc.dt_ls;
  const int future = utc.dt_lsf;
  if (current == kLeapCountUnknown) return;
  if (!rinex3 || future == current || future == kLeapCountUnknown) {
    WriteLeapCountLine(out, current);
    return;
  }
  HeaderLine line;
  AddFormat(&line, "%6i%6i%6i%6i%36s%-20s\n", current, future, static_cast<int>(utc.future_week),
            utc.dn, " ", "LEAP SECONDS");
  Emit(out, line);
}

}  // namespace

void WriteGpsNavHeader(OutStream* out, const NavHeaderInfo& info) {
  const bool rinex2 = IsRinex2(info.version);
  if (rinex2) {
    WriteVersionLine(out, "2.10", "N: GPS NAV DATA", " ");
  } else {
    WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "G: GPS");
  }
  WritePgmRunByDate(out, info.date, info.program, info.version);
  const NavCorrections& c = *info.corrections;
  if (c.gps_iono.present) WriteGpsIonoLines(out, c.gps_iono, rinex2);
  if (c.gps_utc.present) {
    WriteGpsUtcLine(out, c.gps_utc, rinex2);
    WriteUtcLeapLine(out, c.gps_utc, !rinex2);
  }
}

void WriteGloNavHeader(OutStream* out, const NavHeaderInfo& info) {
  if (IsRinex2(info.version)) {
    WriteVersionLine(out, "2.10", "G: GLO NAV DATA", " ");
  } else {
    WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "R: GLONASS");
  }
  WritePgmRunByDate(out, info.date, info.program, info.version);
  WriteLeapCountLine(out, info.leap_count);
}

void WriteGalNavHeader(OutStream* out, const NavHeaderInfo& info) {
  WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "E: GALILEO");
  WritePgmRunByDate(out, info.date, info.program, RinexVersion::k304);
  const NavCorrections& c = *info.corrections;
  if (c.gal_iono.present) WriteGalIonoLine(out, c.gal_iono);
  if (c.gal_gps.present) WriteGalGpsLine(out, c.gal_gps);
  if (c.gal_utc.present) {
    WriteGalUtcLine(out, c.gal_utc);
    WriteUtcLeapLine(out, c.gal_utc, true);
  }
}

void WriteSbasNavHeader(OutStream* out, const NavHeaderInfo& info) {
  if (IsRinex2(info.version)) {
    WriteVersionLine(out, info.version == RinexVersion::k210 ? "2.10" : "2.11", "H: SBAS NAV DATA",
                     " ");
  } else {
    WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "S: SBAS");
  }
  WritePgmRunByDate(out, info.date, info.program, info.version);
}

void WriteBdsNavHeader(OutStream* out, const NavHeaderInfo& info) {
  WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "C: BEIDOU");
  WritePgmRunByDate(out, info.date, info.program, RinexVersion::k304);
}

void WriteMixedNavHeader(OutStream* out, const NavHeaderInfo& info) {
  WriteVersionLine(out, "3.04", "N: GNSS NAV DATA", "M: MIXED");
  WritePgmRunByDate(out, info.date, info.program, RinexVersion::k304);
  const NavCorrections& c = *info.corrections;
  if (c.gps_iono.present) WriteGpsIonoLines(out, c.gps_iono, false);
  if (c.gal_iono.present) WriteGalIonoLine(out, c.gal_iono);
  if (c.gps_utc.present) WriteGpsUtcLine(out, c.gps_utc, false);
  if (c.gal_utc.present) WriteGalUtcLine(out, c.gal_utc);
  if (c.gal_gps.present) WriteGalGpsLine(out, c.gal_gps);
  if (c.gps_utc.present) {
    WriteUtcLeapLine(out, c.gps_utc, true);
  } else if (c.gal_utc.present) {
    WriteUtcLeapLine(out, c.gal_utc, true);
  } else {
    WriteLeapCountLine(out, info.leap_count);
  }
}

}  // namespace kavrino

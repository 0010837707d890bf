#include "rinex/obs/obs_header.h"

#include <cmath>
#include <cstring>
#include <string>

#include "core/signals.h"
#include "rinex/header_lines.h"

namespace kavrino {
namespace {

constexpr size_t kReceiverTypeCapacity = 101;  // 100 characters and a terminator

// A fixed-width text field of the setup, never read beyond its width.
std::string Text(const ReceiverSetupRecord& setup, SetupTextField field) {
  return std::string(SetupText(setup, field));
}

std::string_view TypeText(const ObsTypeLayout& layout, int c) {
  const char* t = layout.type_text[c];
  return std::string_view(t, strnlen(t, kObsTypeTextSize));
}

const char* VersionText(RinexVersion version) {
  if (version == RinexVersion::k210) return "2.10";
  if (version == RinexVersion::k211) return "2.11";
  return "3.04";
}

void WriteVersionLine(OutStream* out, RinexVersion version, char letter) {
  char letter_text[2] = {letter, '\0'};
  WriteFormat(out, "%9s%-11s%-20s%-20s%-20s\n", VersionText(version), " ", "OBSERVATION DATA",
              letter_text, "RINEX VERSION / TYPE");
}

void WriteComment(OutStream* out, std::string_view comment) {
  for (size_t pos = 0; pos < comment.size(); pos += 60) {
    WriteHeaderLine(out, comment.substr(pos, 60), "COMMENT");
  }
}

void WriteStationLines(OutStream* out, const ReceiverSetupRecord& setup, RinexVersion version,
                       const char* receiver_type_override, uint32_t antenna) {
  char receiver_type[kReceiverTypeCapacity];
  if (receiver_type_override != nullptr) {
    std::snprintf(receiver_type, sizeof receiver_type, "%s", receiver_type_override);
  } else {
    MakeReceiverType(setup, receiver_type, sizeof receiver_type);
  }

  std::string antenna_serial;
  std::string antenna_type;
  if (antenna == 2 || antenna == 3) {
    antenna_serial = antenna == 2 ? "Ant#2" : "Ant#3";
    antenna_type = "Unknown";
  } else {
    if (SetupIsRevision3OrLater(setup) &&
        Text(setup, kSetupProductName).starts_with("Mirla KPD4X")) {
      antenna_type = "KPDKPD-7R       NONE";
    } else {
      antenna_type = Text(setup, kSetupAntennaType);
    }
    antenna_serial = Text(setup, kSetupAntennaSerial);
  }

  WriteFormat(out, "%-60.60s%-20s\n", Text(setup, kSetupMarkerName).c_str(), "MARKER NAME");
  WriteFormat(out, "%-60.20s%-20s\n", Text(setup, kSetupMarkerNumber).c_str(), "MARKER NUMBER");
  std::string marker_type = Text(setup, kSetupMarkerType);
  if (!IsRinex2(version) && marker_type != "Unknown") {
    WriteFormat(out, "%-60.20s%-20s\n", marker_type.c_str(), "MARKER TYPE");
  }
  WriteFormat(out, "%-20.20s%-40.40s%-20s\n", Text(setup, kSetupObserver).c_str(),
              Text(setup, kSetupAgency).c_str(), "OBSERVER / AGENCY");
  WriteFormat(out, "%-20.20s%-20.20s%-20.20s%-20s\n", Text(setup, kSetupReceiverSerial).c_str(),
              receiver_type, Text(setup, kSetupReceiverVersion).c_str(), "REC # / TYPE / VERS");
  WriteFormat(out, "%-20.20s%-40.20s%-20s\n", antenna_serial.c_str(), antenna_type.c_str(),
              "ANT # / TYPE");
}

void WritePositionLines(OutStream* out, const ReceiverSetupRecord& setup, double x, double y,
                        double z) {
  WriteFormat(out, "%14.4f%14.4f%14.4f%18s%-20s\n", x, y, z, " ", "APPROX POSITION XYZ");
  double dh = SetupAntennaDeltaH(setup);
  double de = SetupAntennaDeltaE(setup);
  double dn = SetupAntennaDeltaN(setup);
  WriteFormat(out, "%14.4f%14.4f%14.4f%18s%-20s\n", dh, de, dn, " ", "ANTENNA: DELTA H/E/N");
}

// RINEX 2: wavelength factors, the type list with its continuations, L2 notes.
void WriteRinex2Types(OutStream* out, const ObsTypeLayout& layout) {
  WriteFormat(out, "%6d%6d%-48s%-20s\n", 1, 1, " ", "WAVELENGTH FACT L1/2");
  std::string_view types = TypeText(layout, 0);
  WriteHeaderLine(out, types, "# / TYPES OF OBSERV");
  for (size_t pos = 60; pos < types.size(); pos += 54) {
    std::string_view part = types.substr(pos, 54);
    WriteFormat(out, "%6s%-54.*s%-20s\n", "", static_cast<int>(part.size()), part.data(),
                "# / TYPES OF OBSERV");
  }
  if (layout.phase_col[2] >= 0) {
    WriteHeaderLine(out, "For GPS, L2 corresponds to the L2P carrier phase.", "COMMENT");
  } else if (layout.phase_col[3] >= 0) {
    WriteHeaderLine(out, "For GPS, L2 corresponds to the L2C carrier phase.", "COMMENT");
  }
  if (layout.phase_col[10] >= 0) {
    WriteHeaderLine(out, "For GLONASS, L2 corresponds to the L2P carrier phase.", "COMMENT");
  } else if (layout.phase_col[11] >= 0) {
    WriteHeaderLine(out, "For GLONASS, L2 corresponds to the L2CA carrier phase.", "COMMENT");
  }
}

// Carrier phases whose signal is the reference of its band need no shift value.
constexpr const char* kPhaseShiftReference[7] = {"1C2W5I",           "1B5I7I8I6B", "1C5I", "1C2C3I",
                                                 "1I2I6I7I1D5D7D8D", "1C2S5I6S",   "5A9A"};

bool IsReferencePhase(int constellation, char band, char attribute) {
  std::string_view pairs = kPhaseShiftReference[constellation];
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (pairs[i] == band && pairs[i + 1] == attribute) return true;
  }
  return false;
}

// RINEX 3: per-system type lists (13 types a line), the phase-shift lines.
void WriteRinex3Types(OutStream* out, const ObsTypeLayout& layout) {
  size_t min_length = layout.with_channel ? 10 : 6;
  for (int c = 0; c < 7; ++c) {
    std::string_view types = TypeText(layout, c);
    if (types.size() <= min_length) continue;
    WriteFormat(out, "%-58.*s  %-20s\n", static_cast<int>(types.size() < 58 ? types.size() : 58),
                types.data(), "SYS / # / OBS TYPES");
    // Continuation lines hold 13 types (52 columns) each, so that no type is cut.
    for (size_t pos = 58; pos < types.size(); pos += 52) {
      std::string_view part = types.substr(pos, 52);
      WriteFormat(out, "%6s%-54.*s%-20s\n", "", static_cast<int>(part.size()), part.data(),
                  "SYS / # / OBS TYPES");
    }
  }
  WriteHeaderLine(out, "NORVALIS RECEIVERS OUTPUT ALIGNED CARRIER PHASES.", "COMMENT");
  WriteHeaderLine(out, "NO FURTHER PHASE SHIFT APPLIED IN THE RINEX ENCODER.", "COMMENT");
  for (int c = 0; c < 7; ++c) {
    std::string_view types = TypeText(layout, c);
    if (types.size() < 8) continue;
    for (size_t i = 7; i + 2 < types.size(); i += 4) {
      if (types[i] != 'L') continue;
      char pair[3] = {types[i + 1], types[i + 2], '\0'};
      const char* shift = IsReferencePhase(c, pair[0], pair[1]) ? "" : "0.00000";
      WriteFormat(out, "%c L%-2.2s %8s%-46.46s%-20s\n", types[0], pair, shift, " ",
                  "SYS / PHASE SHIFT");
    }
  }
}

void WriteObsTime(OutStream* out, int64_t epoch_ms, const char* label) {
  CalendarTime t = GpsSecondsToCalendar(static_cast<double>(epoch_ms) / 1000.0);
  double ms = std::trunc(t.second * 1000.0 + 0.5);
  uint32_t m = (ms >= 0 && ms < 4294967296.0) ? static_cast<uint32_t>(ms) : 0;
  WriteFormat(out, "%6u%6u%6u%6u%6u%5u.%03u0000%5sGPS%9s%-20s\n", t.year, t.month, t.day, t.hour,
              t.minute, m / 1000, m % 1000, " ", " ", label);
}

void WriteSatelliteCount(OutStream* out, const uint8_t* sat_seen) {
  unsigned count = 0;
  for (int i = 1; i < 256; ++i) count += sat_seen[i] != 0;
  if (count != 0) WriteFormat(out, "%6u%-54s%-20s\n", count, " ", "# OF SATELLITES");
}

void WriteGlonassCodePhaseBias(OutStream* out, uint64_t mask) {
  static const struct {
    int bit;
    const char* code;
  } kPieces[4] = {{8, "C1C"}, {9, "C1P"}, {11, "C2C"}, {10, "C2P"}};
  std::string content;
  char piece[16];
  for (const auto& p : kPieces) {
    if (!(mask & (1ULL << p.bit))) continue;
    std::snprintf(piece, sizeof piece, " %s %8.3f", p.code, 0.0);
    content += piece;
  }
  if (!content.empty()) WriteHeaderLine(out, content, "GLONASS COD/PHS/BIS");
}

void WriteGlonassSlots(OutStream* out, uint64_t mask, const int8_t* glo_slot_freq) {
  if (!(mask & 0xF00)) return;
  int known = 0;
  for (int k = 0; k < 30; ++k) known += glo_slot_freq[k] != -128;
  if (known == 0) return;
  char piece[24];
  std::snprintf(piece, sizeof piece, "%3d ", known);
  std::string text = piece;
  for (int k = 0; k < 30; ++k) {
    if (glo_slot_freq[k] == -128) continue;
    std::snprintf(piece, sizeof piece, "R%02d %2d ", k + 1, glo_slot_freq[k]);
    text += piece;
  }
  std::string_view view = text;
  WriteHeaderLine(out, view, "GLONASS SLOT / FRQ #");
  for (size_t pos = 60; pos < view.size(); pos += 56) {
    std::string_view part = view.substr(pos, 56);
    WriteFormat(out, "%4s%-56.*s%-20s\n", "", static_cast<int>(part.size()), part.data(),
                "GLONASS SLOT / FRQ #");
  }
}

}  // namespace

char ObsSystemLetter(uint64_t signal_mask) {
  static const struct {
    uint64_t mask;
    char letter;
  } kSystems[7] = {{kGpsSignalMask, 'G'},  {kGlonassSignalMask, 'R'}, {kGalileoSignalMask, 'E'},
                   {kSbasSignalMask, 'S'}, {kBeidouSignalMask, 'C'},  {kQzssSignalMask, 'J'},
                   {kNavicSignalMask, 'I'}};
  char letter = '\0';
  for (const auto& s : kSystems) {
    if (signal_mask & s.mask) letter = letter == '\0' ? s.letter : 'M';
  }
  return letter;
}

void WriteObsHeader(OutStream* out, const ObsHeaderInfo& info) {
  const ObsTypeLayout& layout = *info.layout;
  const ReceiverSetupRecord& setup = *info.setup;
  const RinexVersion version = layout.version;
  const bool rinex2 = IsRinex2(version);
  WriteVersionLine(out, version, ObsSystemLetter(layout.signal_mask));
  WritePgmRunByDate(out, info.run_date, info.program, version);
  WriteComment(out, info.comment);
  WriteStationLines(out, setup, version, info.receiver_type, info.antenna);
  WritePositionLines(out, setup, info.approx_x, info.approx_y, info.approx_z);
  if (rinex2) {
    WriteRinex2Types(out, layout);
  } else {
    WriteRinex3Types(out, layout);
  }
  if (info.interval_ms != 0) {
    WriteFormat(out, "%10.3f%-50s%-20s\n", info.interval_ms / 1000.0, " ", "INTERVAL");
  }
  WriteObsTime(out, info.first_ms, "TIME OF FIRST OBS");
  if (info.last_ms > 0) WriteObsTime(out, info.last_ms, "TIME OF LAST OBS");
  if (info.sat_seen != nullptr) WriteSatelliteCount(out, info.sat_seen);
  if (!rinex2) {
    WriteGlonassCodePhaseBias(out, layout.signal_mask);
    if (layout.with_snr) WriteHeaderLine(out, "DBHZ", "SIGNAL STRENGTH UNIT");
    if (info.glo_slot_freq != nullptr) {
      WriteGlonassSlots(out, layout.signal_mask, info.glo_slot_freq);
    }
  }
  WriteBlankHeaderLine(out, "END OF HEADER");
}

}  // namespace kavrino

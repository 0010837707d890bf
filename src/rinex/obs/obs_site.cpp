#include "rinex/obs/obs_site.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "core/time.h"
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

// Stores text into a fixed-width field: with a terminator when it is shorter
// than the field, cut to the field width without one otherwise.
void StoreField(ReceiverSetupRecord* setup, SetupTextField field, std::string_view text) {
  uint8_t* dst = setup->bytes + field.offset;
  std::memset(dst, 0, field.width);
  // An empty view may carry no data pointer at all.
  if (!text.empty()) std::memcpy(dst, text.data(), std::min<size_t>(text.size(), field.width));
}

void WriteTextLine(FILE* out, const char* content, const char* label) {
  std::fprintf(out, "%-60.60s%-20s\n", content, label);
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

void WriteEventEpochLine(FILE* out, unsigned flag, unsigned count, int version, double seconds) {
  const CalendarTime cal = GpsSecondsToCalendar(seconds);
  const double sec = std::round(1000.0 * cal.second) / 1000.0;
  if (IsRinex2(version)) {
    std::fprintf(out, " %02u%3u%3u%3u%3u%11.7f%3u%3u", cal.year % 100, cal.month, cal.day, cal.hour,
                 cal.minute, sec, flag, count);
  } else {
    std::fprintf(out, "> %4u %02u %02u %02u %02u%11.7f%3u%3u", cal.year, cal.month, cal.day,
                 cal.hour, cal.minute, sec, flag, count);
  }
}

void WriteSiteOccupation(FILE* out, const ObsFileSummary& summary, int version, double seconds) {
  const bool with_offsets =
      std::fabs(summary.l1_phase_offset) < 100.0 && std::fabs(summary.l2_phase_offset) < 100.0;
  const bool with_position = std::fabs(summary.approx_x) > 1.0 ||
                             std::fabs(summary.approx_y) > 1.0 || std::fabs(summary.approx_z) > 1.0;
  WriteEventEpochLine(out, kEventNewSite, 5 + (with_position ? 1 : 0) + (with_offsets ? 1 : 0),
                      version, seconds);
  std::fputc('\n', out);
  const ReceiverSetupRecord& setup = summary.setup;
  const std::string name(SetupText(setup, kSetupMarkerName));
  const std::string number(SetupText(setup, kSetupMarkerNumber));
  std::fprintf(out, "%-60.60s%-20s\n", name.c_str(), "MARKER NAME");
  std::fprintf(out, "%-60.20s%-20s\n", number.c_str(), "MARKER NUMBER");
  if (with_position) {
    std::fprintf(out, "%14.4f%14.4f%14.4f%18s%-20s\n", summary.approx_x, summary.approx_y,
                 summary.approx_z, "", "APPROX POSITION XYZ");
  }
  const std::string serial(SetupText(setup, kSetupAntennaSerial));
  const std::string type(SetupText(setup, kSetupAntennaType));
  std::fprintf(out, "%-20.20s%-40.20s%-20s\n", serial.c_str(), type.c_str(), "ANT # / TYPE");
  std::fprintf(out, "%14.4f%14.4f%14.4f%18s%-20s\n", SetupAntennaDeltaH(setup),
               SetupAntennaDeltaE(setup), SetupAntennaDeltaN(setup), "", "ANTENNA: DELTA H/E/N");
  if (with_offsets) {
    std::fprintf(out, "L1PhaOff:%9.4f  L2PhaOff:%9.4f                      COMMENT\n",
                 summary.l1_phase_offset, summary.l2_phase_offset);
  }
  WriteTextLine(out, "  *** NEW SITE OCCUPATION FOLLOWS ! ***", "COMMENT");
}

void ApplySiteName(ReceiverSetupRecord* setup, const uint8_t* comment_block) {
  const std::string_view text = CommandText(comment_block);
  size_t sep[2];
  if (FindSeparators(text, sep, 2) < 2) {
    StoreField(setup, kSetupMarkerName, {});
    StoreField(setup, kSetupMarkerNumber, {});
    return;
  }
  const std::string_view name = text.substr(sep[0] + 1, sep[1] - sep[0] - 1);
  StoreField(setup, kSetupMarkerName, name);
  StoreField(setup, kSetupMarkerNumber, name);
}

void ApplyAntennaCommand(ObsFileSummary* summary, std::string_view text) {
  size_t sep[3];
  const int count = FindSeparators(text, sep, 3);
  if (count >= 2) {
    const std::string_view type = text.substr(sep[0] + 1, sep[1] - sep[0] - 1);
    StoreField(&summary->setup, kSetupAntennaType, type);
    StoreField(&summary->setup, kSetupAntennaSerial, {});
  }
  if (count >= 3) {
    summary->l1_phase_offset = ParseDecimal(text.substr(sep[1] + 1, sep[2] - sep[1] - 1));
    summary->l2_phase_offset = ParseDecimal(text.substr(sep[2] + 1));
  } else {
    summary->l1_phase_offset = MEAS_ABSENT;
    summary->l2_phase_offset = MEAS_ABSENT;
  }
}

void ApplyXyzCommand(ObsFileSummary* summary, std::string_view text) {
  size_t sep[3];
  if (FindSeparators(text, sep, 3) < 3) return;
  summary->approx_x = ParseDecimal(text.substr(sep[0] + 1, sep[1] - sep[0] - 1));
  summary->approx_y = ParseDecimal(text.substr(sep[1] + 1, sep[2] - sep[1] - 1));
  summary->approx_z = ParseDecimal(text.substr(sep[2] + 1));
}

}  // namespace kavrino

#include "rinex/obs/obs_events.h"

#include <cmath>
#include <cstring>
#include <string>

#include "core/time.h"

namespace kavrino {
namespace {

void WriteTextLine(OutStream* out, const char* content, const char* label) {
  WriteFormat(out, "%-60.60s%-20s\n", content, label);
}

}  // namespace

void WriteEventEpochLine(OutStream* out, unsigned flag, unsigned count, RinexVersion version,
                         double seconds) {
  const CalendarTime cal = GpsSecondsToCalendar(seconds);
  const double sec = std::round(1000.0 * cal.second) / 1000.0;
  if (IsRinex2(version)) {
    WriteFormat(out, " %02u%3u%3u%3u%3u%11.7f%3u%3u", cal.year % 100, cal.month, cal.day, cal.hour,
                cal.minute, sec, flag, count);
  } else {
    WriteFormat(out, "> %4u %02u %02u %02u %02u%11.7f%3u%3u", cal.year, cal.month, cal.day,
                cal.hour, cal.minute, sec, flag, count);
  }
}

void WriteSiteOccupation(OutStream* out, const ObsSite& summary, RinexVersion version,
                         double seconds) {
  const bool with_offsets =
      std::fabs(summary.l1_phase_offset) < 100.0 && std::fabs(summary.l2_phase_offset) < 100.0;
  const bool with_position = std::fabs(summary.approx_x) > 1.0 ||
                             std::fabs(summary.approx_y) > 1.0 || std::fabs(summary.approx_z) > 1.0;
  WriteEventEpochLine(out, kEventNewSite, 5 + (with_position ? 1 : 0) + (with_offsets ? 1 : 0),
                      version, seconds);
  WriteChar(out, '\n');
  const ReceiverSetupRecord& setup = summary.setup;
  const std::string name(SetupText(setup, kSetupMarkerName));
  const std::string number(SetupText(setup, kSetupMarkerNumber));
  WriteFormat(out, "%-60.60s%-20s\n", name.c_str(), "MARKER NAME");
  WriteFormat(out, "%-60.20s%-20s\n", number.c_str(), "MARKER NUMBER");
  if (with_position) {
    WriteFormat(out, "%14.4f%14.4f%14.4f%18s%-20s\n", summary.approx_x, summary.approx_y,
                summary.approx_z, "", "APPROX POSITION XYZ");
  }
  const std::string serial(SetupText(setup, kSetupAntennaSerial));
  const std::string type(SetupText(setup, kSetupAntennaType));
  WriteFormat(out, "%-20.20s%-40.20s%-20s\n", serial.c_str(), type.c_str(), "ANT # / TYPE");
  WriteFormat(out, "%14.4f%14.4f%14.4f%18s%-20s\n", SetupAntennaDeltaH(setup),
              SetupAntennaDeltaE(setup), SetupAntennaDeltaN(setup), "", "ANTENNA: DELTA H/E/N");
  if (with_offsets) {
    WriteFormat(out, "L1PhaOff:%9.4f  L2PhaOff:%9.4f                      COMMENT\n",
                summary.l1_phase_offset, summary.l2_phase_offset);
  }
  WriteTextLine(out, "  *** NEW SITE OCCUPATION FOLLOWS ! ***", "COMMENT");
}

void WriteCommentRecord(OutStream* out, std::string_view text, RinexVersion version,
                        double seconds) {
  const unsigned lines = static_cast<unsigned>((text.size() + 59) / 60);
  WriteEventEpochLine(out, kEventHeaderInfo, lines, version, seconds);
  WriteChar(out, '\n');
  const std::string copy(text);  // terminated: a zero byte ends a line's text
  for (unsigned i = 0; i < lines; ++i) {
    WriteFormat(out, "%-60.60s%-20s\n", copy.c_str() + 60 * i, "COMMENT");
  }
}

void WriteEndOfOccupation(OutStream* out, RinexVersion version, double seconds) {
  WriteEventEpochLine(out, kEventStartMoving, 1, version, seconds);
  WriteChar(out, '\n');
  WriteTextLine(out, "  *** END OF OCCUPATION ! ***", "COMMENT");
}

void WriteKinematicStart(OutStream* out, RinexVersion version, double seconds) {
  WriteEventEpochLine(out, kEventStartMoving, 1, version, seconds);
  WriteChar(out, '\n');
  WriteTextLine(out, "  Kinematic data", "COMMENT");
}

void WriteItemCollected(OutStream* out, uint64_t item, RinexVersion version, double seconds) {
  WriteEventEpochLine(out, kEventHeaderInfo, 1, version, seconds);
  WriteChar(out, '\n');
  WriteFormat(out, "  *** ITEM#%020llu COLLECTED ! ***             COMMENT\n",
              static_cast<unsigned long long>(item));
}

void WriteExternalEvent(OutStream* out, RinexVersion version, int source, double seconds_of_week) {
  WriteText(out, IsRinex2(version) ? "                            4  1\n"
                                   : ">                              4  1\n");
  WriteFormat(out, "External Event # %1d @ %16.9f                       COMMENT\n", source,
              seconds_of_week);
}

}  // namespace kavrino

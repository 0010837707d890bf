#include "rinex/nav/sbas_broadcast.h"

#include <cstring>

#include "core/time.h"
#include "rinex/format.h"
#include "rinex/header_lines.h"

namespace kavrino {
namespace {

constexpr int kMessageBytes = 32;
constexpr int kLine2Bytes = 18;
constexpr uint8_t kLastByteMask = 0xC0;  // the last 6 bits are not message bits

// L1 preambles of the seconds 0, 1 and 2 (mod 3) of the 6-second cycle.
constexpr uint8_t kL1Preamble[3] = {0x53, 0x9A, 0xC6};

constexpr char kHexDigits[] = "0123456789ABCDEF";

uint32_t MessageType(uint32_t first_word, int64_t start_seconds, bool l5) {
  if (l5) {
    int64_t k = ((start_seconds % 3) + 3) % 3;
    if ((first_word >> 24) != kL1Preamble[k]) return (first_word >> 22) & 63;
  }
  return (first_word >> 18) & 63;
}

// Appends " XX" for each byte of bytes[0 .. count).
char* PutHexBytes(char* p, const uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    *p++ = ' ';
    *p++ = kHexDigits[bytes[i] >> 4];
    *p++ = kHexDigits[bytes[i] & 15];
  }
  return p;
}

char* PutUnsigned(char* p, char* end, uint64_t value, int width, bool zero_pad) {
  return p + FormatUnsigned(p, static_cast<size_t>(end - p), value, width, zero_pad);
}

}  // namespace

void WriteSbasBroadcastRecord(OutStream* out, int64_t start_seconds, char band, uint32_t satellite,
                              const uint32_t words[kSbasMessageWords], bool l5) {
  uint8_t bytes[kMessageBytes];
  for (int i = 0; i < kSbasMessageWords; ++i) {
    bytes[4 * i] = static_cast<uint8_t>(words[i] >> 24);
    bytes[4 * i + 1] = static_cast<uint8_t>(words[i] >> 16);
    bytes[4 * i + 2] = static_cast<uint8_t>(words[i] >> 8);
    bytes[4 * i + 3] = static_cast<uint8_t>(words[i]);
  }
  bytes[kMessageBytes - 1] &= kLastByteMask;

  const CalendarTime c = GpsSecondsToCalendar(static_cast<double>(start_seconds));
  char line[256];
  char* const end = line + sizeof line;
  char* p = line;
  // "%3u %02u %02u %02u %02u %02u%5.1f  L%c    32     0   SBA"
  p = PutUnsigned(p, end, satellite, 3, false);
  const uint32_t fields[5] = {c.year % 100, c.month, c.day, c.hour, c.minute};
  for (uint32_t v : fields) {
    *p++ = ' ';
    p = PutUnsigned(p, end, v, 2, true);
  }
  p += FormatFixed(p, static_cast<size_t>(end - p), c.second + 0.1, 5, 1);
  static constexpr char kBandHead[] = "  L";
  static constexpr char kTail[] = "    32     0   SBA\n";
  std::memcpy(p, kBandHead, sizeof kBandHead - 1);
  p += sizeof kBandHead - 1;
  *p++ = band;
  std::memcpy(p, kTail, sizeof kTail - 1);
  p += sizeof kTail - 1;

  // "%3lu   " and bytes 1 to 18, then six blanks and bytes 19 to 32.
  p = PutUnsigned(p, end, MessageType(words[0], start_seconds, l5), 3, false);
  std::memcpy(p, "   ", 3);
  p = PutHexBytes(p + 3, bytes, kLine2Bytes);
  *p++ = '\n';
  std::memcpy(p, "      ", 6);
  p = PutHexBytes(p + 6, bytes + kLine2Bytes, kMessageBytes - kLine2Bytes);
  *p++ = '\n';
  WriteText(out, line, static_cast<size_t>(p - line));
}

void WriteSbasBroadcastHeader(OutStream* out, const ReceiverSetupRecord& setup,
                              const CalendarTime& date, const char* program) {
  WriteFormat(out, "%9s%11s%-20s%-20sRINEX VERSION / TYPE\n", "2.10", " ", "B: SBAS BROADCAST",
              " ");
  WritePgmRunByDate(out, date, program, RinexVersion::k210);
  char receiver_type[100];
  MakeReceiverType(setup, receiver_type, sizeof receiver_type);
  const std::string_view serial = SetupText(setup, kSetupReceiverSerial);
  const std::string_view version = SetupText(setup, kSetupReceiverVersion);
  // The setup texts are not terminated and never longer than their 20-byte fields.
  WriteFormat(out, "%-20.*s%-20.20s%-20.*s%-20s\n", static_cast<int>(serial.size()), serial.data(),
              receiver_type, static_cast<int>(version.size()), version.data(),
              "REC INDEX/TYPE/VERS");
  WriteEndOfHeader(out, 1);
}

}  // namespace kavrino

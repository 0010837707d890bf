#include "rinex/header_lines.h"

#include <cstring>

#include "core/rinex_version.h"

namespace kavrino {
namespace {

constexpr size_t kMaxReceiverTypeLength = 20;

// Copies at most capacity - 1 characters of text and terminates.
void CopyBounded(std::string_view text, char* out, size_t capacity) {
  size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Upper(text[i]) != Upper(word[i])) return false;
  }
  return true;
}

const char* MonthAbbreviation(uint32_t month) {
  static const char* const kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  return (month >= 1 && month <= 12) ? kMonths[month - 1] : "";
}

}  // namespace

void WriteHeaderLine(OutStream* out, std::string_view content, const char* label) {
  int n = static_cast<int>(content.size() < 60 ? content.size() : 60);
  WriteFormat(out, "%-60.*s%-20s\n", n, content.data(), label);
}

void WriteBlankHeaderLine(OutStream* out, const char* label) {
  WriteFormat(out, "%60s%-20s\n", "", label);
}

void WritePgmRunByDate(OutStream* out, const CalendarTime& run_date, const char* program,
                       RinexVersion version) {
  if (IsRinex2(version)) {
    WriteFormat(out, "%-20.20s%-20.20s%02u-%3s-%02u %02u:%02u     %-20s\n", program, " ",
                run_date.day, MonthAbbreviation(run_date.month), run_date.year % 100, run_date.hour,
                run_date.minute, "PGM / RUN BY / DATE");
  } else {
    double s = run_date.second;
    unsigned whole = (s >= 0 && s < 4294967296.0) ? static_cast<unsigned>(s) : 0;
    WriteFormat(out, "%-20.20s%-20.20s%04u%02u%02u %02u%02u%02u UTC %-20s\n", program, " ",
                run_date.year, run_date.month, run_date.day, run_date.hour, run_date.minute, whole,
                "PGM / RUN BY / DATE");
  }
}

void MakeReceiverType(const ReceiverSetupRecord& setup, char* out, size_t capacity) {
  if (capacity == 0) return;
  std::string_view receiver = SetupText(setup, kSetupReceiverName);
  std::string_view product = SetupText(setup, kSetupProductName);
  if (!SetupIsRevision3OrLater(setup) || product.empty()) {
    CopyBounded(receiver, out, capacity);
    return;
  }
  if (product == "Unknown") {
    std::snprintf(out, capacity, "NORV %.*s", static_cast<int>(receiver.size()), receiver.data());
    return;
  }
  if (product.starts_with("Velkro QT")) {
    CopyBounded("NORV VELKRO QT", out, capacity);
    return;
  }
  CopyBounded(product.starts_with("KPD") ? "MIRLA " : "NORV ", out, capacity);
  size_t len = std::strlen(out);
  bool keep_spaces = StartsWithNoCase(product, "MIRLA");
  for (char c : product) {
    if (c == '_' || (c == ' ' && !keep_spaces)) break;
    if (len >= kMaxReceiverTypeLength || len + 1 >= capacity) break;
    out[len++] = Upper(c);
  }
  out[len] = '\0';
}

void WriteEndOfHeader(OutStream* out, int line_count) {
  for (int i = 1; i < line_count; ++i) WriteBlankHeaderLine(out, "COMMENT");
  WriteBlankHeaderLine(out, "END OF HEADER");
}

}  // namespace kavrino

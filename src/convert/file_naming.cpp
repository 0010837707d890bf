#include "convert/file_naming.h"

#include <unistd.h>

#include <cstring>

#include "core/time.h"

namespace kavrino {
namespace {

constexpr char kTypeCharacters[] = "ONLGHxxIPBM";
constexpr const char* kLongDataTypes[11] = {"MO", "GN", "EN", "RN", "SN", "xx",
                                            "xx", "CN", "MN", "SB", "MM"};
constexpr char kSequenceCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int kMaxSequenceIndex = 35;
constexpr char kCompactObsType = 'D';
constexpr const char* kGzipSuffix = ".gz";

// Texts from the receiver go into file names: path separators and control
// characters would let them name another directory or break the name.
std::string SafeNamePart(std::string_view text) {
  std::string safe(text);
  for (char& c : safe) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) c = '_';
  }
  return safe;
}

// Text cut or padded with '_' to `width` characters.
std::string PadUnderscore(std::string_view text, size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, '_');
  return out;
}

std::string BaseName(std::string_view path) {
  size_t cut = path.find_last_of('\\');
  if (cut != std::string_view::npos) path.remove_prefix(cut + 1);
  cut = path.find_last_of('/');
  if (cut != std::string_view::npos) path.remove_prefix(cut + 1);
  return std::string(path);
}

std::string ShortName(const std::string& designator, uint32_t doy, int sequence, uint32_t year,
                      char type) {
  char name[64];
  std::snprintf(name, sizeof name, "%.4s%03u%c.%02u%c", designator.c_str(), doy,
                kSequenceCharacters[sequence], year % 100, type);
  return name;
}

// Whether a file of the kind holds the sequence index: the plain file or its
// compressed forms (gzip, and Compact RINEX for observation files).
bool SequenceTaken(const std::string& designator, uint32_t doy, int sequence, uint32_t year,
                   char type, const FileExistsFn& exists) {
  const char compact = type == 'O' ? kCompactObsType : type;
  for (char letter : {type, compact}) {
    const std::string name = ShortName(designator, doy, sequence, year, letter);
    if (exists(name) || exists(name + kGzipSuffix)) return true;
  }
  return false;
}

// Sequence index of a short name: kinds in the order O, P, N, G, L, I share the
// highest index used by a kind before them, unless their own or a later kind
// already uses it, in which case they take the next one. kMaxSequenceIndex + 1
// when none is left.
int SequenceIndex(const std::string& designator, uint32_t doy, uint32_t year, char type,
                  const FileExistsFn& exists) {
  static constexpr char kOrder[6] = {'O', 'P', 'N', 'G', 'L', 'I'};
  int position = -1;
  for (int k = 0; k < 6; ++k) {
    if (kOrder[k] == type) position = k;
  }
  if (position < 0) return 0;
  int last[6] = {-1, -1, -1, -1, -1, -1};
  for (int i = 0; i <= kMaxSequenceIndex; ++i) {
    for (int k = 0; k < 6; ++k) {
      if (SequenceTaken(designator, doy, i, year, kOrder[k], exists)) last[k] = i;
    }
  }
  int index = 0;
  for (int k = 0; k < 6; ++k) {
    int candidate = last[k] + (k >= position ? 1 : 0);
    if (candidate > index) index = candidate;
  }
  return index;
}

}  // namespace

char OutputTypeCharacter(int type_index) {
  return (type_index >= 0 && type_index <= 10) ? kTypeCharacters[type_index] : 'x';
}

std::string LongNamePeriod(uint32_t span_s) {
  char field[16];
  if (span_s == 0) return "01S";
  if (span_s < 60) {
    std::snprintf(field, sizeof field, "%02dS", static_cast<int>(span_s));
  } else if (span_s < 3600) {
    std::snprintf(field, sizeof field, "%02dM", static_cast<int>(span_s / 60));
  } else if (span_s < 86400) {
    std::snprintf(field, sizeof field, "%02dH", static_cast<int>(span_s / 3600));
  } else if (span_s < 8640000) {
    std::snprintf(field, sizeof field, "%02dD", static_cast<int>(span_s / 86400));
  } else {
    return "00U";
  }
  return field;
}

std::string LongNameFrequency(uint32_t interval_ms) {
  char field[16];
  if (interval_ms == 0) return "00U";
  if (interval_ms <= 999) {
    std::snprintf(field, sizeof field, "%02dH", static_cast<int>(1000 / interval_ms));
  } else if (interval_ms <= 99999) {
    std::snprintf(field, sizeof field, "%02dS", static_cast<int>(interval_ms / 1000));
  } else if (interval_ms <= 5999999) {
    std::snprintf(field, sizeof field, "%02dM", static_cast<int>(interval_ms / 60000));
  } else {
    return "00U";
  }
  return field;
}

bool BuildOutputFileName(const NameRequest& request, const FileExistsFn& exists, std::string* name,
                         std::string* message) {
  const NamingOptions& naming = *request.naming;
  const ReceiverSetupRecord& setup = *request.setup;
  const std::string_view output_name = naming.output_name;
  const int type_index = request.type_index;
  const bool compact = request.compact_rinex && type_index == FILE_OBS;
  const char type = compact ? kCompactObsType : OutputTypeCharacter(type_index);
  const char* suffix = request.gzip ? kGzipSuffix : "";
  CalendarTime date = GpsSecondsToCalendar(static_cast<double>(request.first_epoch_ms / 1000));
  const uint32_t doy = DayOfYear(date.year, date.month, date.day);

  if (output_name == "copy") {
    std::string base = BaseName(request.input_name);
    if (!base.empty()) {
      base.back() = type;
      *name = base + suffix;
      return true;
    }
  } else if (output_name == "copybase") {
    std::string base = BaseName(request.input_name);
    if (base.size() >= 3) {
      char tail[8];
      std::snprintf(tail, sizeof tail, "%02u%c", date.year % 100, type);
      *name = base.substr(0, base.size() - 3) + tail + suffix;
      return true;
    }
  } else if (!output_name.empty()) {
    *name = std::string(output_name);
    return true;
  }

  std::string station;
  std::string country = "___";
  int monument = 0;
  int receiver = 0;
  if (SetupIsRevision4OrLater(setup)) {
    station = SafeNamePart(SetupText(setup, kSetupStationCode));
    country = SafeNamePart(SetupText(setup, kSetupCountryCode));
    monument = SetupMonumentIndex(setup);
    receiver = SetupReceiverIndex(setup);
  }
  const std::string_view country_option = naming.country_code;
  if (!country_option.empty()) country = std::string(country_option.substr(0, 3));
  country = PadUnderscore(country, 3);
  if (station.empty()) {
    station = SafeNamePart(SetupText(setup, kSetupMarkerName));
  }
  const std::string designator = PadUnderscore(station, 4);

  char text[300];
  if (naming.long_names) {
    const char* data_type = kLongDataTypes[(type_index >= 0 && type_index <= 10) ? type_index : 5];
    std::string period = LongNamePeriod(request.span_s);
    if (type_index == FILE_OBS) {
      std::snprintf(text, sizeof text, "%.4s%1d%1d%.3s_R_%04u%03u%02u%02u_%3s_%3s_%2s.rnx",
                    designator.c_str(), monument, receiver, country.c_str(), date.year, doy,
                    date.hour, date.minute, period.c_str(),
                    LongNameFrequency(request.interval_ms).c_str(), data_type);
    } else {
      std::snprintf(text, sizeof text, "%.4s%1d%1d%.3s_R_%04u%03u%02u%02u_%3s_%2s.rnx",
                    designator.c_str(), monument, receiver, country.c_str(), date.year, doy,
                    date.hour, date.minute, period.c_str(), data_type);
    }
    *name = text;
    if (compact) name->replace(name->size() - 4, 4, ".crx");
    *name += suffix;
    return true;
  }
  int sequence = 0;
  if (naming.sequence) {
    // A Compact RINEX observation file takes its place in the sequence of
    // observation files.
    const char plain_type = OutputTypeCharacter(type_index);
    sequence = SequenceIndex(designator, doy, date.year, plain_type, exists);
  }
  if (sequence > kMaxSequenceIndex) {
    const std::string last = ShortName(designator, doy, kMaxSequenceIndex, date.year, type);
    *message = "Every sequence character of the output RINEX file \"" + last +
               "\" is taken (0-9, A-Z); no file is written over";
    return false;
  }
  *name = ShortName(designator, doy, sequence, date.year, type) + suffix;
  return true;
}

bool NameOutputFile(const NameRequest& request, std::string* name, std::string* message) {
  auto exists = [](const std::string& candidate) { return access(candidate.c_str(), F_OK) == 0; };
  return BuildOutputFileName(request, exists, name, message);
}

}  // namespace kavrino

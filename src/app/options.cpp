#include "app/options.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "core/time.h"

#ifndef KAVRINO_BUILDER
#define KAVRINO_BUILDER "kavrino release build"
#endif
#ifndef KAVRINO_SOURCE_REVISION
#define KAVRINO_SOURCE_REVISION "kavrino-13.4.3"
#endif

namespace kavrino {
namespace {

// Option letters; a letter followed by ':' takes a value.
constexpr const char* kOptionString = ":f:o:i:b:e:n:x:a:L:R:csXvlVDSO:M:m:z:C:23I:E:t:";

constexpr size_t kCountryCodeSize = 3;
constexpr size_t kFileTypesSize = 199;
constexpr size_t kCommentSize = 240;
constexpr size_t kReceiverTypeSize = 20;

// The usage text, in its four parts: synopsis with the first options, the
// remaining options, the note on L2 observables and the file naming rules.
constexpr const char* kUsageSynopsis = R"USAGE(
kavrino -f input_file [-o output_file][-l][-O CCC][-R3][-R210][-n type][-MET]
                      [-i interval][-b startepoch][-e endepoch][-s][-D][-X][-c]
                      [-C commentstr][-x systems][-I siglist][-E siglist]
                      [-a antenna][-ma][-mf][-noevent][-S][-v][-V]

  -f input_file   (mandatory) Name of the QDX file(s) to be converted. To convert
                  multiple files, use a whitespace as delimiter between the different
                  file names.  Each QDX file is converted into a different RINEX file.
  -o output_file  Name of the output RINEX file, bypassing the standard naming convention.
                  See file naming convention below.
                  Note: do not use a forced output file name when converting multiple files.
  -l              Use long file naming convention (introduced in RINEX v3.02).
                  Default is short file name.  See below.
  -O CCC          Force using the specified 3-letter country code in
                  the long file name.  This option is ignored if the -l
                  option is not used.
  -R[3|210]       By default, kavrino converts to RINEX v2.11.  Use -R3 to
                  convert to the last revision (currently v3.04), and -R210
                  to convert to v2.10.
  -n type         Type of files to be generated.  type is a combination of the
                  following characters:
                    O for an observation file (this is the default),
                    N for a GPS-only navigation file,
                    G for a GLONASS-only navigation file,
                    E for a Galileo-only navigation file (always RINEX v3.xx),
                    H for a SBAS-only navigation file,
                    I for a BeiDou-only navigation file (always RINEX v3.xx),
                    P for a mixed GNSS navigation file (always RINEX v3.xx),
                    B for a broadcast SBAS file (all L1 and L5 messages),
                    Bvalidonly for a broadcast SBAS file (valid CRC only),
                    M for a meteo file.
                  Note that QZSS navigation data is only available in mixed
                  files.
                  If multiple characters are combined, all the requested
                  RINEX files are generated at once. For example -nPOM generates obs,
                  mixed nav and meteo files.
  -MET            Generate a RINEX meteo file (same as -nM).
)USAGE";

constexpr const char* kUsageOptions =
    R"USAGE(  -i interval     Interval in the RINEX obs and meteo file, in seconds
                  (by default, the interval is the same as in the QDX file).
  -b startepoch   Time of first epoch to insert in the RINEX file.
                  Format: yyyy-mm-dd_hh:mm:ss or hh:mm:ss.
  -e endepoch     Last epoch to insert in the RINEX file
                  Format: yyyy-mm-dd_hh:mm:ss or hh:mm:ss.
  -s              Include the Sx obs types in the observation file.
  -D              Include the Dx obs types in the observation file.
  -X              Include the X1 obs types (channel number) in the observation file.
                  (option only available when generating RINEX v3.xx files).
  -c              Allow comments in the RINEX file (from the Comment QDX
                  block)
  -C commentstr   Add the specified comment string to the RINEX obs header.
                  The comment string must not be longer than 240 characters.
                  Enclose the string between quotes if it contains
                  whitespaces.
  -x systems      Exclude one or more satellite systems from the obs file or
                  from the mixed navigation file.
                  systems may be G (GPS), R (Glonass), E (Galileo), S (SBAS),
                  C (Compass/Beidou), J (QZSS), I (IRNSS) or any combination
                  thereof.  For instance, -xERSCJI produces a GPS-only file.
  -I siglist      Include only the observables from the specified signal types.
                  By default all observables in the QDX file are converted to RINEX.
                  siglist is a list of signal types separated by "+" and without
                  whitespaces.  The available signal types are:
                  GPSL1CA, GPSL1P, GPSL2P, GPSL2C, GPSL5, GPSL1C,
                  GLOL1CA, GLOL1P, GLOL2P, GLOL2CA, GLOL3,
                  GALE1, GALE5a, GALE5b, GALE5, GALE6,
                  BDSB1I, BDSB2I, BDSB3I, BDSB1C, BDSB2a
                  QZSL1CA, QZSL2C, QZSL5, QZSL1C, QZSL1S,
                  SBSL1, SBSL5,
                  IRNL5.
                  For example: -I GPSL1CA+GLOL1CA
  -E siglist      Exclude the observables from the specified signal types.
                  See the -I argument for a definition of siglist.
  -a antenna      Convert data from the specified antenna (antenna is 1, 2
                  or 3). The default is 1, corresponding to the main antenna.
  -ma             Insert a "start moving" event right after the header if
                  the RINEX file contains kinematic data.
  -mf             Force inserting a "start moving" event right after the
                  header.
  -noevent        Do not report external events in RINEX.  Default is to
                  report external events in comment strings.
  -S              Automatically increase the file sequence character in
                  the output file name when converting multiple files from
                  the same marker and the same day.   This option is ignored
                  if the -l or the -o option is also selected.
  -v              Run in verbose mode.
  -V              Display the kavrino version.
  --crx           Write Compact RINEX obs files (.crx, type letter D in short names).
  --gzip          Compress every output file with gzip (.gz appended).
  --threads N     Read a large file with N threads in the first pass of the
                  obs file (1 to 64; by default one per core, at most 8).


)USAGE";

constexpr const char* kUsageL2Note = R"USAGE(Note on the L2 observables in RINEX v2.11
----------------------------------------

 For GPS satellites, kavrino by default encodes L2P carrier phases as L2 observables.
 If the QDX file does not contain any L2P carrier phase, or if L2P is disabled
 with the -I or -E options, L2C carrier phases are encoded instead.

 For GLONASS satellites, kavrino by default encodes L2CA carrier phases as L2 observables.
 If the QDX file does not contain any L2CA carrier phase, or if L2CA is disabled
 with the -I or -E options, L2P carrier phases are encoded instead.

 Note that this is only applicable to RINEX v2.11.  RINEX v2.10 only contains L2P
 carrier phases, and RINEX v3 can contain both.


)USAGE";

constexpr const char* kUsageNaming = R"USAGE(RINEX file naming convention
----------------------------

 By default, the RINEX 2.x naming convention is applied and the output file name
 is of the form SSSSDDDF.YYT, where SSSS is the station designator taken from
 the StationCode field of the ReceiverSetup QDX block, DDD is the day of
 year, F is the file sequence character, YY is the year and T is the
 file type.  F is always 0 except when the -S option is used.  T can
 be one of the following:
    O: Observation file (default)
    N: GPS navigation file (option -nN)
    G: GLONASS navigation file (option -nG)
    L: Galileo navigation file (option -nE)
    H: SBAS navigation file (option -nH)
    I: Beidou navigation file (option -nI) (Note that this extension is
       non-standard)
    P: Mixed-constellation navigation file (option -nP)
    B: SBAS broadcast data file (option -nB)
    M: Meteorological data file (option -MET)
 
 With the "-o copy" option, the name of the RINEX file is a copy of the
 name of the QDX file, with only the last character being changed to the file
 type character as defined above.
 
 With the "-o copybase" option, the name of the RINEX file is a copy of
 the name of the QDX file, with the last 3 characters being set to "YYT".
 
 With the -l option, the file name conforms to the long file name convention
 introduced with RINEX v3.02.  The station designator and the country code
 are taken from the ReceiverSetup QDX block.  The country code can be
 overwritten with the -O argument.

 The RINEX files are put in the current directory.
)USAGE";

// -I/-E signal names with their signal numbers, in search order: a longer name
// comes before every shorter name it contains.
struct SignalName {
  const char* name;
  int bit;
};
constexpr SignalName kSignalNames[] = {
    {"GPSL1CA", 0}, {"GPSL1C", 5},  {"GPSL1P", 1},  {"GPSL2P", 2},   {"GPSL2C", 3},  {"GPSL5", 4},
    {"GLOL1CA", 8}, {"GLOL1P", 9},  {"GLOL2P", 10}, {"GLOL2CA", 11}, {"GLOL3", 12},  {"GALE1", 17},
    {"GALE5a", 20}, {"GALE5b", 21}, {"GALE5", 22},  {"GALE6", 19},   {"BDSB1I", 28}, {"BDSB2I", 29},
    {"BDSB3I", 30}, {"BDSB1C", 13}, {"BDSB2a", 14}, {"QZSL1CA", 6},  {"QZSL1C", 32}, {"QZSL1S", 33},
    {"QZSL2C", 7},  {"QZSL5", 26},  {"QZSL6", 27},  {"SBSL1", 24},   {"SBSL5", 25},  {"IRNL5", 15},
};

// Signals named in a "+"-joined list. Every name is searched anywhere in the
// list; each occurrence found is spoiled so that the shorter names searched
// later do not match inside it. Unknown names and separators are ignored.
uint64_t ParseSignalList(const char* value) {
  std::string text(value);
  uint64_t mask = 0;
  for (const SignalName& entry : kSignalNames) {
    size_t at = text.find(entry.name);
    if (at == std::string::npos) continue;
    mask |= uint64_t{1} << entry.bit;
    for (; at != std::string::npos; at = text.find(entry.name, at + 1)) text[at] = '*';
  }
  return mask;
}

// -x letters are the RINEX system letters.
uint32_t ExcludedSystems(const char* letters) {
  uint32_t systems = 0;
  for (const SatSystem& system : kSatSystems) {
    if (std::strchr(letters, system.letter) != nullptr) systems |= 1u << system.constellation;
  }
  return systems;
}

constexpr const char* kProductLetters = "BNGEHIPOM";

int CountProducts(const std::string& types) {
  int count = 0;
  for (const char* p = kProductLetters; *p != '\0'; ++p) {
    if (types.find(*p) != std::string::npos) ++count;
  }
  return count;
}

// Number readers over a cursor. Each returns false when no number can be read
// at the cursor (or it does not fit) and otherwise moves the cursor past it.
bool ReadUnsigned(const char** cursor, uint32_t* out) {
  const char* p = *cursor;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  if (*p == '+') ++p;
  if (*p < '0' || *p > '9') return false;
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > UINT32_MAX) return false;
  }
  *out = static_cast<uint32_t>(value);
  *cursor = p;
  return true;
}

bool ReadDouble(const char** cursor, double* out) {
  char* end = nullptr;
  const double value = std::strtod(*cursor, &end);
  if (end == *cursor || !std::isfinite(value)) return false;
  *out = value;
  *cursor = end;
  return true;
}

// Steps over exactly one separator character, whatever it is.
bool SkipSeparator(const char** cursor) {
  if (**cursor == '\0') return false;
  ++*cursor;
  return true;
}

// Largest magnitude of a millisecond count kept in a signed 64-bit value.
constexpr double kMsLimit = 9.0e18;

// The value parsers below return nullptr when the value is good, else what is
// wrong with it, worded to follow the option ("-i needs ..."). A number must
// end the value: nothing may follow it.

// -b/-e: "yyyy-mm-dd_hh:mm:ss[.s]" (any single separators) when the value holds
// a '-', else a time of day "hh:mm:ss[.s]". Every field is required.
const char* ParseEpoch(const char* value, int64_t* out_ms) {
  constexpr const char* kBadForm = "needs yyyy-mm-dd_hh:mm:ss or hh:mm:ss";
  const char* p = value;
  if (std::strchr(value, '-') != nullptr) {
    uint32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
    if (!ReadUnsigned(&p, &year) || !SkipSeparator(&p) || !ReadUnsigned(&p, &month) ||
        !SkipSeparator(&p) || !ReadUnsigned(&p, &day) || !SkipSeparator(&p) ||
        !ReadUnsigned(&p, &hour) || !SkipSeparator(&p) || !ReadUnsigned(&p, &minute) ||
        !SkipSeparator(&p) || !ReadDouble(&p, &second) || *p != '\0') {
      return kBadForm;
    }
    const CalendarTime calendar{year, day, month, hour, minute, second};
    const double ms = CalendarToGpsSeconds(calendar) * 1000.0 + 0.5;
    if (!(ms > -kMsLimit && ms < kMsLimit)) return "date out of range";
    *out_ms = static_cast<int64_t>(ms);
    return nullptr;
  }
  uint32_t hour = 0, minute = 0;
  double second = 0;
  if (!ReadUnsigned(&p, &hour) || !SkipSeparator(&p) || !ReadUnsigned(&p, &minute) ||
      !SkipSeparator(&p) || !ReadDouble(&p, &second) || *p != '\0') {
    return kBadForm;
  }
  const double ms = second * 1000.0 + hour * 3600000.0 + minute * 60000.0;
  // A time of day must lie within the day; anything else would be taken for an
  // absolute epoch in 1980.
  if (!(ms >= 0 && ms < static_cast<double>(kMsPerDay))) {
    return "needs a time of day before 24:00:00";
  }
  *out_ms = static_cast<int64_t>(ms);
  return nullptr;
}

// -i: seconds to whole milliseconds, rounded; at least 1 ms.
const char* ParseInterval(const char* value, uint32_t* out_ms) {
  double seconds = 0;
  if (!ReadDouble(&value, &seconds) || *value != '\0' || !(seconds > 0)) {
    return "needs a positive number of seconds";
  }
  const double ms = seconds * 1000.0 + 0.5;
  if (ms < 1.0) return "needs at least 0.0005 seconds";
  if (!(ms < 4294967296.0)) return "needs at most 4294967 seconds";
  *out_ms = static_cast<uint32_t>(ms);
  return nullptr;
}

// -a: an unsigned decimal number.
const char* ParseAntenna(const char* value, uint32_t* out) {
  uint32_t antenna = 0;
  if (!ReadUnsigned(&value, &antenna) || *value != '\0') {
    return "needs an antenna number: 1, 2 or 3";
  }
  *out = antenna;
  return nullptr;
}

// --threads: an unsigned decimal number from 1 to 64.
const char* ParseThreads(const char* value, int* out) {
  uint32_t threads = 0;
  if (!ReadUnsigned(&value, &threads) || *value != '\0' || threads < 1 || threads > 64) {
    return "needs a number of threads from 1 to 64";
  }
  *out = static_cast<int>(threads);
  return nullptr;
}

// -C: the comment becomes a header line, which a control character would break.
bool HasControlCharacter(const char* text) {
  for (; *text != '\0'; ++text) {
    const unsigned char c = static_cast<unsigned char>(*text);
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// The -z access word, put together at run time.
std::string BuildInfoAccessWord() {
  static constexpr unsigned char kScrambled[8] = {0x11, 0x2C, 0x6D, 0x79, 0x20, 0x2B, 0x68, 0x37};
  std::string word;
  for (unsigned char c : kScrambled) word.push_back(static_cast<char>(c ^ 0x5A));
  return word;
}

void PrintBuildInfo(FILE* out) {
  std::fprintf(out, "Builder: %s\n", KAVRINO_BUILDER);
  std::fprintf(out, "Build date: %s\n", __DATE__);
  std::fprintf(out, "Source revision: %s\n", KAVRINO_SOURCE_REVISION);
}

// A getopt-style scanner that never reorders the arguments.
struct OptionScanner {
  int index = 1;     // current argument
  int position = 1;  // character within it
};

// kWord: an argument that is no option (not even a lone "-"), found where an
// option should stand; kLong: an argument starting with "--", other than "--".
enum class ScanResult { kEnd, kOption, kUnknown, kMissingValue, kWord, kLong };

struct ScannedOption {
  ScanResult result = ScanResult::kEnd;
  char letter = 0;
  const char* value = nullptr;
  int arg_index = 0;   // argument the letter stood in
  int letter_pos = 0;  // its position there
};

void StepCharacter(OptionScanner* scanner, const char* arg) {
  ++scanner->position;
  if (arg[scanner->position] == '\0') {
    ++scanner->index;
    scanner->position = 1;
  }
}

ScannedOption NextOption(OptionScanner* scanner, int argc, char* const argv[]) {
  ScannedOption found;
  if (scanner->index >= argc) return found;
  const char* arg = argv[scanner->index];
  if (scanner->position == 1 && (arg[0] != '-' || arg[1] == '\0')) {
    found.result = ScanResult::kWord;
    found.value = arg;
    return found;
  }
  const char letter = arg[scanner->position];
  if (scanner->position == 1 && letter == '-') {
    // A lone "--" ends the options: the rest is not read.
    if (arg[2] != '\0') {
      found.result = ScanResult::kLong;
      found.value = arg;
    }
    ++scanner->index;
    return found;
  }
  found.letter = letter;
  found.arg_index = scanner->index;
  found.letter_pos = scanner->position;
  const char* entry = letter == ':' ? nullptr : std::strchr(kOptionString, letter);
  if (entry == nullptr) {
    found.result = ScanResult::kUnknown;
    StepCharacter(scanner, arg);
    return found;
  }
  if (entry[1] != ':') {
    found.result = ScanResult::kOption;
    StepCharacter(scanner, arg);
    return found;
  }
  if (arg[scanner->position + 1] != '\0') {
    found.value = arg + scanner->position + 1;
    ++scanner->index;
  } else if (scanner->index + 1 < argc) {
    found.value = argv[scanner->index + 1];
    scanner->index += 2;
  } else {
    ++scanner->index;
    scanner->position = 1;
    found.result = ScanResult::kMissingValue;
    return found;
  }
  scanner->position = 1;
  found.result = ScanResult::kOption;
  return found;
}

// One list of input files and where option scanning resumes after it.
struct FileList {
  int arg_index = 0;   // the argument holding the -f
  int next_index = 0;  // first argument after the list
  std::vector<std::string> files;
};

// The files after argument `first`, up to the first argument starting with '-'.
FileList FollowingFiles(int argc, char* const argv[], int first) {
  FileList list;
  list.arg_index = first;
  int i = first + 1;
  for (; i < argc && argv[i][0] != '-'; ++i) list.files.emplace_back(argv[i]);
  list.next_index = i;
  return list;
}

// Every "-f" argument anywhere on the command line, with its list.
std::vector<FileList> PreScanFileLists(int argc, char* const argv[]) {
  std::vector<FileList> lists;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-' || arg[1] != 'f') continue;
    if (arg[2] == '\0') {
      lists.push_back(FollowingFiles(argc, argv, i));
    } else {
      FileList list;
      list.arg_index = i;
      list.next_index = i + 1;
      list.files.emplace_back(arg + 2);
      lists.push_back(std::move(list));
    }
  }
  return lists;
}

// The long options, each a flag of the settings.
struct LongOption {
  const char* name;
  bool ConvertOptions::*flag;
};
constexpr LongOption kLongOptions[] = {
    {"--crx", &ConvertOptions::compact_rinex},
    {"--gzip", &ConvertOptions::gzip_output},
};

// A usage error: the line naming its cause, then the usage text.
int UsageError(FILE* err, const std::string& line) {
  std::fputs(line.c_str(), err);
  std::fputc('\n', err);
  PrintUsage(err);
  return 3;
}

// Applies one option other than -f. Returns kParseContinue, or the exit status.
int ApplyOption(char letter, const char* value, RunSettings* run, FILE* out, FILE* err) {
  ConvertOptions* s = &run->convert;
  const char* cause = nullptr;  // what is wrong with the value, said after "-<letter> "
  switch (letter) {
    case 'o':
      s->naming.output_name = value;
      break;
    case 'l':
      s->naming.long_names = true;
      break;
    case 'O':
      s->naming.country_code = std::string(value).substr(0, kCountryCodeSize);
      break;
    case 'R':
      if (std::strcmp(value, "3") == 0) {
        s->version = RinexVersion::k304;
      } else if (std::strcmp(value, "210") == 0) {
        s->version = RinexVersion::k210;
      } else {
        cause = "needs 3 or 210";
      }
      break;
    case 'n': {
      if (std::strcmp(value, "oevent") == 0) {
        s->events = false;
        break;
      }
      std::string types = std::string(value).substr(0, kFileTypesSize);
      if (CountProducts(types) == 0) {
        cause = "needs at least one of the file types O, N, G, E, H, I, P, B, M";
        break;
      }
      if (types.find("Bvalidonly") != std::string::npos) s->sbas_valid_only = true;
      run->file_types = std::move(types);
      break;
    }
    case 'M':
      if (std::strcmp(value, "ET") != 0) {
        cause = "is only valid as -MET";
        break;
      }
      run->meteo_requested = true;
      break;
    case 'i':
      cause = ParseInterval(value, &s->interval_ms);
      break;
    case 'b':
      cause = ParseEpoch(value, &s->window.start_ms);
      break;
    case 'e':
      cause = ParseEpoch(value, &s->window.end_ms);
      break;
    case 's':
      s->extras.snr = true;
      break;
    case 'D':
      s->extras.doppler = true;
      break;
    case 'X':
      s->extras.channel = true;
      break;
    case 'c':
      s->comments = true;
      break;
    case 'C':
      if (HasControlCharacter(value)) {
        cause = "text must not contain control characters";
        break;
      }
      s->comment = std::string(value).substr(0, kCommentSize);
      break;
    case 'x':
      s->excluded_systems |= ExcludedSystems(value);
      break;
    case 'I':
      s->signal_mask = ParseSignalList(value);
      break;
    case 'E':
      s->signal_mask &= ~ParseSignalList(value);
      break;
    case 'a':
      cause = ParseAntenna(value, &s->antenna);
      break;
    case 'm':
      // -mf wins over -ma, whatever their order.
      if (std::strchr(value, 'f') != nullptr) {
        s->moving = MovingEvent::kAlways;
      } else if (std::strchr(value, 'a') != nullptr && s->moving == MovingEvent::kNever) {
        s->moving = MovingEvent::kWhenMoving;
      }
      break;
    case 'S':
      s->naming.sequence = true;
      break;
    case 'v':
      run->verbose = true;
      break;
    case 'V':
      std::fprintf(out, "%s\n", kProgramVersion);
      return 0;
    case '2':
      s->families = MeasFamilies::kClassicOnly;
      break;
    case '3':
      // -2 wins over -3, whatever their order.
      if (s->families != MeasFamilies::kClassicOnly) s->families = MeasFamilies::kCompactOnly;
      break;
    case 'L':
      if (std::strcmp(value, "2C") != 0) cause = "is only valid as -L2C";
      break;
    case 't': {
      const char* type = std::strstr(value, "RecType=");
      if (type == nullptr) {
        cause = "needs RecType=name";
        break;
      }
      s->receiver_type = std::string(type + 8).substr(0, kReceiverTypeSize);
      s->has_receiver_type = s->receiver_type != "default";
      break;
    }
    case 'z':
      if (std::strncmp(value, BuildInfoAccessWord().c_str(), 8) == 0) PrintBuildInfo(out);
      return 0;
    default:
      // Every letter of the option string is handled above.
      cause = "is not available";
      break;
  }
  if (cause == nullptr) return kParseContinue;
  return UsageError(err, std::string("kavrino: -") + letter + " " + cause);
}

}  // namespace

void PrintUsage(FILE* err) {
  std::fputs(kUsageSynopsis, err);
  std::fputs(kUsageOptions, err);
  std::fputs(kUsageL2Note, err);
  std::fputs(kUsageNaming, err);
}

int ParseCommandLine(int argc, char* const argv[], RunSettings* settings, FILE* out, FILE* err) {
  *settings = RunSettings{};
  std::vector<FileList> lists = PreScanFileLists(argc, argv);

  OptionScanner scanner;
  for (;;) {
    const ScannedOption option = NextOption(&scanner, argc, argv);
    if (option.result == ScanResult::kEnd) break;
    if (option.result == ScanResult::kWord) {
      return UsageError(err, std::string("kavrino: unexpected argument \"") + option.value + "\"");
    }
    if (option.result == ScanResult::kLong && std::strncmp(option.value, "--threads", 9) == 0 &&
        (option.value[9] == '\0' || option.value[9] == '=')) {
      const char* value = option.value[9] == '=' ? option.value + 10 : nullptr;
      if (value == nullptr && scanner.index >= argc) {
        return UsageError(err, "Option --threads requires an argument.");
      }
      if (value == nullptr) value = argv[scanner.index++];
      if (const char* cause = ParseThreads(value, &settings->convert.threads)) {
        return UsageError(err, std::string("kavrino: --threads ") + cause);
      }
      continue;
    }
    if (option.result == ScanResult::kLong) {
      const LongOption* known =
          std::find_if(std::begin(kLongOptions), std::end(kLongOptions),
                       [&](const LongOption& o) { return std::strcmp(o.name, option.value) == 0; });
      if (known == std::end(kLongOptions)) {
        return UsageError(err, std::string("kavrino: unknown option ") + option.value);
      }
      settings->convert.*known->flag = true;
      continue;
    }
    char line[40];
    if (option.result == ScanResult::kMissingValue) {
      std::snprintf(line, sizeof line, "Option -%c requires an argument.", option.letter);
      return UsageError(err, line);
    }
    if (option.result == ScanResult::kUnknown) {
      const unsigned char code = static_cast<unsigned char>(option.letter);
      if (code >= 0x20 && code < 0x7F) {
        std::snprintf(line, sizeof line, "Unknown option -%c.", option.letter);
      } else {
        std::snprintf(line, sizeof line, "Unknown option character \\x%x.",
                      static_cast<unsigned>(code));
      }
      return UsageError(err, line);
    }
    if (option.letter == 'f') {
      if (option.letter_pos == 1) {
        // A "-f" or "-fname" argument: its files were taken by the pre-scan.
        for (const FileList& list : lists) {
          if (list.arg_index == option.arg_index) scanner.index = list.next_index;
        }
      } else {
        // An -f grouped behind other flags ("-sf a b", "-sfname") names its
        // files the same way.
        FileList list;
        if (argv[option.arg_index][option.letter_pos + 1] != '\0') {
          list.arg_index = option.arg_index;
          list.next_index = option.arg_index + 1;
          list.files.emplace_back(option.value);
        } else {
          list = FollowingFiles(argc, argv, option.arg_index);
        }
        scanner.index = list.next_index;
        lists.push_back(std::move(list));
      }
      scanner.position = 1;
      continue;
    }
    const int status = ApplyOption(option.letter, option.value, settings, out, err);
    if (status != kParseContinue) return status;
  }

  std::stable_sort(lists.begin(), lists.end(),
                   [](const FileList& a, const FileList& b) { return a.arg_index < b.arg_index; });
  for (const FileList& list : lists) {
    settings->input_files.insert(settings->input_files.end(), list.files.begin(), list.files.end());
  }
  if (settings->input_files.empty()) return UsageError(err, "kavrino: no input file given with -f");

  settings->product_count = CountProducts(settings->file_types);
  if (settings->meteo_requested && settings->file_types.find('M') == std::string::npos) {
    ++settings->product_count;
  }
  if (settings->verbose) std::fputc('\n', out);
  return kParseContinue;
}

}  // namespace kavrino

// Names and creates the RINEX output files: RINEX 2 short names, long names,
// names forced or derived from the input file with -o, and the -S sequence
// character.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "convert/options.h"
#include "qdx/decode/receiver_setup.h"

namespace kavrino {

// File type index of every output file.
enum OutputFileType : int {
  FILE_OBS = 0,
  FILE_GPS_NAV = 1,
  FILE_GAL_NAV = 2,
  FILE_GLO_NAV = 3,
  FILE_SBAS_NAV = 4,
  FILE_BDS_NAV = 7,
  FILE_MIXED_NAV = 8,
  FILE_SBAS_BROADCAST = 9,
  FILE_MET = 10,
};

// interval_ms and span_s take this value when the caller has none.
inline constexpr uint32_t kNotMeasured = 4294967295u;

// Short-name type character of a file type index ('x' for unused indices).
char OutputTypeCharacter(int type_index);

// Long-name period field of a data span in seconds ("01D", "59M", "00U", ...).
std::string LongNamePeriod(uint32_t span_s);
// Long-name data frequency field of an observation interval ("30S", "10H", ...);
// an interval of 0 gives "00U".
std::string LongNameFrequency(uint32_t interval_ms);

// Tells whether a file of the given name exists (used for the sequence character).
using FileExistsFn = std::function<bool(const std::string&)>;

// What an output file name is made from.
struct NameRequest {
  std::string_view input_name;  // "copy" and "copybase" derive the name from it
  const NamingOptions* naming = nullptr;
  int64_t first_epoch_ms = 0;
  uint32_t interval_ms = kNotMeasured;  // long observation names
  uint32_t span_s = kNotMeasured;       // long names
  int type_index = FILE_OBS;
  const ReceiverSetupRecord* setup = nullptr;
  bool compact_rinex = false;  // an observation file in Compact RINEX: type letter D, ".crx"
  bool gzip = false;           // ".gz" appended
};

// The output file name, without opening anything: a short or long name, a
// name derived from the input's with "copy" or "copybase", or the -o name as
// it is. `exists` is consulted only for the sequence character of short names
// (-S), for which a compressed file counts as its plain one. False, with the message to
// print, when every sequence character is taken: the existing files are
// somebody's data and are not written over.
bool BuildOutputFileName(const NameRequest& request, const FileExistsFn& exists, std::string* name,
                         std::string* message);

// The same with existence tested in the current directory.
bool NameOutputFile(const NameRequest& request, std::string* name, std::string* message);

}  // namespace kavrino

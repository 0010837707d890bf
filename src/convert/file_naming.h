// Names and creates the RINEX output files: RINEX 2 short names, long names,
// names forced or derived from the input file with -o, and the -S sequence
// character.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

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

// The output file name, without opening anything. `exists` is consulted only
// for the sequence character of short names (FLAG_SEQUENCE).
std::string BuildOutputFileName(std::string_view input_name, std::string_view output_name,
                                int64_t first_epoch_ms, std::string_view country_option,
                                uint32_t interval_ms, uint32_t span_s, int type_index,
                                const ReceiverSetupRecord& setup, uint32_t flags,
                                const FileExistsFn& exists);

// Names the file (existence tested in the current directory) and creates it for
// writing; ends the run with status 1 when it cannot be created.
FILE* CreateOutputFile(std::string_view input_name, std::string_view output_name,
                       int64_t first_epoch_ms, std::string_view country_option,
                       uint32_t interval_ms, uint32_t span_s, int type_index,
                       const ReceiverSetupRecord& setup, uint32_t flags);

}  // namespace kavrino

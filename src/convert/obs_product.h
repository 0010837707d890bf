// The observation file generator: two passes over one QDX file.
#pragma once

#include <cstdint>
#include <string>

#include "rinex/obs/obs_summary.h"

namespace kavrino {

// Makes the observation file of one input file. Returns 0 when the file was
// made, 2 when no epoch was selected (then no file is created). start_ms and
// end_ms are this file's own copies of the window. receiver_type_override is
// null when no -t was given.
int GenerateObsFile(const std::string& input_name, uint32_t interval_ms, int64_t start_ms,
                    int64_t end_ms, const std::string& output_name, const std::string& country_code,
                    const char* receiver_type_override, uint32_t flags, uint64_t signal_mask,
                    uint32_t antenna, int rinex_version, const std::string& comment,
                    int progress_from, int progress_to);

// The first pass: settles the window in place and fills the summary. Returns 0,
// or 2 when no epoch was counted.
int ScanObsFile(const std::string& input_name, uint32_t interval_ms, int64_t* start_ms,
                int64_t* end_ms, uint32_t flags, uint64_t signal_mask, uint32_t antenna,
                int rinex_version, int decode_mode, ObsFileSummary* summary, int progress_from,
                int progress_to);

// Signals of the systems excluded with -x.
uint64_t ExcludedSignalMask(uint32_t flags);

}  // namespace kavrino

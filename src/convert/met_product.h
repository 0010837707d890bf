// The meteorological file generator: one RINEX meteorological file per input
// file, from the weather sentences that a sensor sent to the receiver.
#pragma once

#include <cstdint>
#include <string>

namespace kavrino {

// Converts the SensorText blocks of the input file whose epochs (rounded to the
// second) lie in [start_ms, end_ms] on the interval_ms grid. The output file is
// created at the first usable sentence; the header is written last, over lines
// reserved at creation. Returns 0 when a file was written, 2 when the input had
// no usable sentence (and no file was created).
int GenerateMetFile(const std::string& input_name, uint32_t interval_ms, int64_t start_ms,
                    int64_t end_ms, const std::string& output_name, const std::string& country_code,
                    uint32_t flags, int rinex_version, int progress_from, int progress_to);

}  // namespace kavrino

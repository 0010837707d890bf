// One input file to convert, with everything its products are made with.
#pragma once

#include <string>

#include "convert/file_naming.h"
#include "convert/options.h"
#include "convert/output_file.h"
#include "convert/progress.h"

namespace kavrino {

struct ConvertJob {
  const ConvertOptions* options = nullptr;
  std::string input;       // the QDX file read
  std::string input_name;  // the name "copy" and "copybase" derive output names from
  OutputContext output;
};

// The measurement decoding mode of the options (kDecodeCompact, kDecodeClassic).
int MeasDecodeMode(const ConvertOptions& options);

// Signals of the systems excluded with -x.
uint64_t ExcludedSignalMask(const ConvertOptions& options);

// How the output files of the options are written: compressed with --gzip;
// `header_last` for a file whose header goes over lines reserved for it.
OutputFormat OutputFormatOf(const ConvertOptions& options, bool header_last);

// The name request of one of the job's output files, but for what the data
// decide (first epoch, interval, span, setup).
NameRequest NameRequestFor(const ConvertJob& job, int type_index);

// The message of a failure of the system while reading the input.
std::string ReadFailureMessage(const QdxReadFailure& failure);

}  // namespace kavrino

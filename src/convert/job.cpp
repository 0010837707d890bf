#include "convert/job.h"

#include "core/diag.h"
#include "core/signals.h"
#include "qdx/decode/meas_decode.h"

namespace kavrino {

int MeasDecodeMode(const ConvertOptions& options) {
  switch (options.families) {
    case MeasFamilies::kClassicOnly:
      return kDecodeClassic;
    case MeasFamilies::kCompactOnly:
      return kDecodeCompact;
    case MeasFamilies::kBoth:
      break;
  }
  return kDecodeClassic | kDecodeCompact;
}

uint64_t ExcludedSignalMask(const ConvertOptions& options) {
  uint64_t mask = 0;
  for (const SatSystem& system : kSatSystems) {
    if (IsSystemExcluded(options, system.constellation)) {
      mask |= ConstellationSignalMask(system.constellation);
    }
  }
  return mask;
}

OutputFormat OutputFormatOf(const ConvertOptions& options, bool header_last) {
  OutputFormat format;
  format.header_last = header_last;
  format.gzip = options.gzip_output;
  return format;
}

NameRequest NameRequestFor(const ConvertJob& job, int type_index) {
  NameRequest request;
  request.input_name = job.input_name;
  request.naming = &job.options->naming;
  request.type_index = type_index;
  request.compact_rinex = job.options->compact_rinex;
  request.gzip = job.options->gzip_output;
  return request;
}

std::string ReadFailureMessage(const QdxReadFailure& failure) {
  return FatalMessage(kQdxReaderModule, failure.site, failure.error);
}

}  // namespace kavrino

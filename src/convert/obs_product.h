// The observation file of one input file: a first pass gathers what the header
// needs, the second writes the epochs and the event records.
#pragma once

#include "convert/job.h"
#include "convert/obs_summary.h"
#include "convert/progress.h"
#include "convert/status.h"

namespace kavrino {

// Makes the observation file: written, or no data when no epoch was selected
// (then no file is made).
ProductStatus MakeObservationFile(const ConvertJob& job, ProgressTrack* progress);

// The first pass: settles the window in place and fills the summary. Returns
// false when no epoch was counted or the system failed (noted in `failure`).
// A file of at least two ranges of `min_range_bytes` is cut into ranges that
// are read in parallel (ConvertOptions::threads); the summary is the same for
// any number of threads.
struct ObsScan {
  const ConvertJob* job = nullptr;
  int decode_mode = 0;
  TimeWindow window;  // settled on the day of the data by the scan
  const ProgressSink* sink = nullptr;
  ProgressRange range;
  QdxReadFailure failure;
  int64_t min_range_bytes = int64_t{8} << 20;
  int ranges_read = 0;  // set by the scan: the ranges merged, or 1 for one walk over the file
};
bool ScanObsFile(ObsScan* scan, ObsFileSummary* summary);

}  // namespace kavrino

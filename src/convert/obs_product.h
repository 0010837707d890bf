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
struct ObsScan {
  const ConvertJob* job = nullptr;
  int decode_mode = 0;
  TimeWindow window;  // settled on the day of the data by the scan
  const ProgressSink* sink = nullptr;
  ProgressRange range;
  QdxReadFailure failure;
};
bool ScanObsFile(ObsScan* scan, ObsFileSummary* summary);

}  // namespace kavrino

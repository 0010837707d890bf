// The meteorological file of one input file, from the weather sentences that
// a sensor sent to the receiver.
#pragma once

#include "convert/job.h"
#include "convert/progress.h"
#include "convert/status.h"

namespace kavrino {

// Converts the SensorText blocks of the input whose epochs (rounded to the
// second) lie in the window on the interval grid. The output file is created
// at the first usable sentence; the header is written last, over lines
// reserved at creation. No data when the input had no usable sentence (then
// no file is made).
ProductStatus MakeMeteoFile(const ConvertJob& job, ProgressTrack* progress);

}  // namespace kavrino

// One navigation product of one input file (GPS, GLONASS, Galileo, SBAS,
// BeiDou, mixed navigation file or SBAS broadcast file): the pre-scans, the
// output file with its reserved header area, the walks and the header written
// last over the reserved area.
#pragma once

#include <cstdint>

#include "convert/products.h"

namespace kavrino {

// Makes the file. The window is settled on this input file's own day and first
// data epoch. With a navigation copy in `nav`, the walks read it once it is
// complete and complete it otherwise. The file is made even when no walk wrote
// a record (a header-only file).
ProductStatus MakeNavigationFile(const ProductSpec& product, const ConvertJob& job,
                                 ProgressTrack* progress, NavInputState* nav);

// The window of a navigation product: a time of day is tied to the day of the
// first data epoch, and an open start becomes four hours before that epoch
// (navigation messages received that long before the data are still taken).
// A first epoch of 0 (no data found) adds no margin.
void SettleNavWindow(int64_t first_epoch_ms, TimeWindow* window);

}  // namespace kavrino

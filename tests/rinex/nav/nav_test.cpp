// The navigation files: records, headers and SBAS broadcast records against
// hand-worked texts in data/, the value rules of their fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "convert/nav_walks.h"
#include "core/rinex_version.h"
#include "core/time.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/correction_blocks.h"
#include "qdx/decode/ephemeris_blocks.h"
#include "qdx/encode/qdx_writer.h"
#include "qdx/lookups.h"
#include "qdx/reader.h"
#include "rinex/case_table.h"
#include "rinex/header_lines.h"
#include "rinex/nav/cartesian_records.h"
#include "rinex/nav/kepler_records.h"
#include "rinex/nav/nav_format.h"
#include "rinex/nav/nav_header.h"
#include "rinex/nav/sbas_broadcast.h"
#include "rinex/nav/test_blocks.h"
#include "support/capture.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

// Navigation records worked out by hand from the record formats (in
// data/records.txt), the lines they are made of and the value rules behind them.

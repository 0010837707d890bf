// The observation files: headers, epochs and type lists against hand-worked
// texts in data/, the threaded writer, the Compact RINEX encoder and the
// number texts against printf.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/rinex_version.h"
#include "qdx/encode/qdx_writer.h"
#include "rinex/case_table.h"
#include "rinex/format.h"
#include "rinex/header_lines.h"
#include "rinex/nav/nav_format.h"
#include "rinex/obs/crx_decoder.h"
#include "rinex/obs/crx_encoder.h"
#include "rinex/obs/obs_epoch.h"
#include "rinex/obs/obs_events.h"
#include "rinex/obs/obs_header.h"
#include "rinex/obs/obs_types.h"
#include "rinex/obs/obs_writer.h"
#include "support/capture.h"

namespace kavrino {
namespace {

// Observation headers, whole, against data/headers.txt (the headers described
// in data/header_cases.txt); the lines they share with the other files.

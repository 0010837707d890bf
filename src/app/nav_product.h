// One navigation product of one input file (GPS, GLONASS, Galileo, SBAS,
// BeiDou, mixed navigation file or SBAS broadcast file): the pre-scans, the
// output file with its reserved header area, the generator runs and the header
// written last over the reserved area.
#pragma once

#include <cstdint>
#include <string>

#include "app/settings.h"

namespace kavrino {

struct QdxNavCopy;

// The generator runs that navigation products are made of.
enum class NavRun { kGps, kGlonass, kGalileo, kSbas, kBeidou, kQzss, kSbasBroadcast };

// One navigation product: its letter in -n, the header lines reserved for it,
// the file type index of its output name and its generator run (the mixed file
// has one run per constellation instead).
struct NavProduct {
  char letter;
  int header_lines;
  int type_index;
  NavRun run;
};

// The driver's progress position (a percentage of the whole run) and the
// shares of one product run and of one constellation run of the mixed file.
struct NavProgress {
  float* position;
  float product_share;
  float constellation_share;
};

// Makes the product's file for `input` and returns the number of generator runs
// that wrote data. The run settings are not changed: the window is settled on
// a copy, on this input file's own day and first data epoch. With a navigation
// copy of the input (shared by the products of one input file, or null), the
// walks read it once it is complete and complete it otherwise.
int MakeNavigationProduct(const RunSettings& settings, const std::string& input,
                          const NavProduct& product, const NavProgress& progress, QdxNavCopy* copy);

// The window of a navigation product: a time of day is tied to the day of the
// first data epoch, and an open start becomes four hours before that epoch
// (navigation messages received that long before the data are still taken).
// A first epoch of 0 (no data found) adds no margin.
void SettleNavWindow(int64_t first_epoch_ms, int64_t* start_ms, int64_t* end_ms);

}  // namespace kavrino

// One navigation product of one input file (GPS, GLONASS, Galileo, SBAS,
// BeiDou, mixed navigation file or SBAS broadcast file): the pre-scans, the
// output file with its reserved header area, the generator runs and the header
// written last over the reserved area.
#pragma once

#include <cstdint>
#include <string>

#include "app/settings.h"
#include "qdx/nav_copy.h"

namespace kavrino {

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

// What the navigation products of one input file share: the copy of the blocks
// their walks read (when `use_copy` is set) and the time span of the data that
// long names carry, measured once for the window of the products.
struct NavInputShare {
  QdxNavCopy copy;
  bool use_copy = false;
  bool span_measured = false;
  int64_t span_start_ms = 0;
  int64_t span_end_ms = 0;
  uint32_t span_s = 0;
};

// Makes the product's file for `input` and returns the number of generator runs
// that wrote data. The run settings are not changed: the window is settled on
// a copy, on this input file's own day and first data epoch. With a navigation
// copy in `share`, the walks read it once it is complete and complete it
// otherwise.
int MakeNavigationProduct(const RunSettings& settings, const std::string& input,
                          const NavProduct& product, const NavProgress& progress,
                          NavInputShare* share);

// Walks over the input that the product makes: one, or one per system not
// excluded by `flags` for the mixed file.
int NavProductWalks(const NavProduct& product, uint32_t flags);

// The window of a navigation product: a time of day is tied to the day of the
// first data epoch, and an open start becomes four hours before that epoch
// (navigation messages received that long before the data are still taken).
// A first epoch of 0 (no data found) adds no margin.
void SettleNavWindow(int64_t first_epoch_ms, int64_t* start_ms, int64_t* end_ms);

}  // namespace kavrino

// The products of one input file: the one table that says, for each letter of
// -n, what kind of file it is, its type index for the file name, the header
// lines reserved for it and the walks it is made of; and the entry point that
// makes any of them.
#pragma once

#include <iterator>

#include "convert/file_naming.h"
#include "convert/job.h"
#include "convert/nav_walks.h"
#include "convert/progress.h"
#include "convert/status.h"
#include "qdx/nav_copy.h"
#include "rinex/met/met_writer.h"
#include "rinex/nav/nav_header.h"
#include "rinex/nav/sbas_broadcast.h"

namespace kavrino {

enum class ProductKind { kObservation, kMeteo, kNavigation };

inline constexpr int kMaxProductRuns = 6;

struct ProductSpec {
  char letter;
  ProductKind kind;
  int type_index;
  int header_lines;  // reserved at the start of the file, "END OF HEADER" included
  NavRun runs[kMaxProductRuns];
  int run_count;  // a product of several walks leaves out those of excluded systems
};

inline constexpr ProductSpec kProducts[] = {
    {'O', ProductKind::kObservation, FILE_OBS, 0, {}, 0},
    {'M', ProductKind::kMeteo, FILE_MET, kMetHeaderLines, {}, 0},
    {'N', ProductKind::kNavigation, FILE_GPS_NAV, kGpsNavHeaderMaxLines + 1, {NavRun::kGps}, 1},
    {'G', ProductKind::kNavigation, FILE_GLO_NAV, kGloNavHeaderMaxLines + 1, {NavRun::kGlonass}, 1},
    {'E', ProductKind::kNavigation, FILE_GAL_NAV, kGalNavHeaderMaxLines + 1, {NavRun::kGalileo}, 1},
    {'H', ProductKind::kNavigation, FILE_SBAS_NAV, kSbasNavHeaderMaxLines + 1, {NavRun::kSbas}, 1},
    {'I', ProductKind::kNavigation, FILE_BDS_NAV, kBdsNavHeaderMaxLines + 1, {NavRun::kBeidou}, 1},
    {'P',
     ProductKind::kNavigation,
     FILE_MIXED_NAV,
     kMixedNavHeaderMaxLines + 1,
     {NavRun::kGps, NavRun::kGlonass, NavRun::kGalileo, NavRun::kSbas, NavRun::kBeidou,
      NavRun::kQzss},
     6},
    {'B',
     ProductKind::kNavigation,
     FILE_SBAS_BROADCAST,
     kSbasBroadcastHeaderLines,
     {NavRun::kSbasBroadcast},
     1},
};

// The product of a letter of -n; null for any other character.
const ProductSpec* FindProduct(char letter);

// What the navigation products of one input file share: the copy of the blocks
// their walks read (when `use_copy` is set) and the time span of the data that
// long names carry, measured once for the window of the products.
struct NavInputState {
  QdxNavCopy copy;
  bool use_copy = false;
  bool span_measured = false;
  TimeWindow span_window;
  uint32_t span_s = 0;
};

// Whether the product leaves out a walk: a product of several walks (the
// mixed file) leaves out those of the systems excluded with -x.
bool IsRunSkipped(const ProductSpec& product, const ConvertOptions& options, NavRun run);
// The walks over the input that the product makes.
int ProductWalks(const ProductSpec& product, const ConvertOptions& options);

// Makes the product's file for the job's input. `nav` is shared by the
// navigation products of one input file (null for the others).
ProductStatus MakeProduct(const ProductSpec& product, const ConvertJob& job,
                          ProgressTrack* progress, NavInputState* nav);

}  // namespace kavrino

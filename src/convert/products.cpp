#include "convert/products.h"

#include "convert/met_product.h"
#include "convert/nav_product.h"
#include "convert/obs_product.h"

namespace kavrino {
namespace {

// The system a walk covers.
uint8_t NavRunConstellation(NavRun run) {
  switch (run) {
    case NavRun::kGps:
      return CONST_GPS;
    case NavRun::kGlonass:
      return CONST_GLONASS;
    case NavRun::kGalileo:
      return CONST_GALILEO;
    case NavRun::kSbas:
    case NavRun::kSbasBroadcast:
      return CONST_SBAS;
    case NavRun::kBeidou:
      return CONST_BEIDOU;
    case NavRun::kQzss:
      return CONST_QZSS;
  }
  return CONST_OTHER;
}

}  // namespace

const ProductSpec* FindProduct(char letter) {
  for (const ProductSpec& product : kProducts) {
    if (product.letter == letter) return &product;
  }
  return nullptr;
}

bool IsRunSkipped(const ProductSpec& product, const ConvertOptions& options, NavRun run) {
  return product.run_count > 1 && IsSystemExcluded(options, NavRunConstellation(run));
}

int ProductWalks(const ProductSpec& product, const ConvertOptions& options) {
  int walks = 0;
  for (int i = 0; i < product.run_count; ++i) {
    if (!IsRunSkipped(product, options, product.runs[i])) ++walks;
  }
  return walks;
}

ProductStatus MakeProduct(const ProductSpec& product, const ConvertJob& job,
                          ProgressTrack* progress, NavInputState* nav) {
  switch (product.kind) {
    case ProductKind::kObservation:
      return MakeObservationFile(job, progress);
    case ProductKind::kMeteo:
      return MakeMeteoFile(job, progress);
    case ProductKind::kNavigation:
      return MakeNavigationFile(product, job, progress, nav);
  }
  return {};
}

}  // namespace kavrino

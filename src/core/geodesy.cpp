// WGS-84 geodetic <-> Earth-centred Earth-fixed conversions.
#include "core/geodesy.h"

#include <cmath>

namespace kavrino {
namespace {

constexpr double kSemiMajor = 6378137.0;
constexpr double kSemiMinor = 6356752.314245179;
constexpr double kEccSquared = 0.0066943799901413165;
constexpr double kOneMinusEccSquared = 0.9933056200098587;
constexpr double kSemiMajorTimesEccSquared = 42697.67270717997;
constexpr double kSemiMinorTimesSecondEccSquared = 42841.31151331357;

}  // namespace

void GeodeticToEcef(double latitude, double longitude, double height, double* x, double* y,
                    double* z) {
  const double sin_lat = std::sin(latitude);
  const double cos_lat = std::cos(latitude);
  const double w = std::sqrt(1.0 - kEccSquared * sin_lat * sin_lat);
  const double n = kSemiMajor / w;
  *x = (n + height) * cos_lat * std::cos(longitude);
  *y = (n + height) * cos_lat * std::sin(longitude);
  *z = (n * kOneMinusEccSquared + height) * sin_lat;
}

// Bowring's single step: one evaluation through the parametric latitude, no
// iteration; accurate to micrometres for terrestrial heights.
void EcefToGeodetic(double x, double y, double z, double* latitude, double* longitude,
                    double* height) {
  *longitude = std::atan2(y, x);
  const double r = std::sqrt(x * x + y * y + z * z);
  const double p = std::sqrt(x * x + y * y);
  const double u =
      std::atan2((z / kSemiMajor) * (kSemiMinorTimesSecondEccSquared + r), (p / kSemiMinor) * r);
  const double s = std::sin(u);
  const double c = std::cos(u);
  const double s3 = s * s * s;
  const double c3 = (1.0 - s * s) * c;
  const double lat =
      std::atan2(z + kSemiMinorTimesSecondEccSquared * s3, p - kSemiMajorTimesEccSquared * c3);
  const double sin_lat = std::sin(lat);
  *latitude = lat;
  *height = p * std::cos(lat) + z * sin_lat -
            kSemiMajor * std::sqrt(1.0 - kEccSquared * sin_lat * sin_lat);
}

}  // namespace kavrino

#include "core/geodesy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace kavrino {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kA = 6378137.0;
constexpr double kB = 6356752.314245179;

TEST(Geodesy, KnownPoints) {
  double x, y, z, lat, lon, h;
  GeodeticToEcef(0.0, kPi / 2, 100.0, &x, &y, &z);  // on the equator, 90 degrees east, 100 m up
  EXPECT_NEAR(x, 0.0, 1e-6);
  EXPECT_EQ(y, kA + 100.0);
  EXPECT_EQ(z, 0.0);
  GeodeticToEcef(kPi / 2, 0.0, 0.0, &x, &y, &z);
  EXPECT_NEAR(z, kB, 1e-8);
  EcefToGeodetic(0.0, 0.0, kB + 1234.5, &lat, &lon, &h);
  EXPECT_EQ(lat, kPi / 2);
  EXPECT_NEAR(h, 1234.5, 1e-6);
  // The formulas evaluated at the centre of the Earth: defined values, no NaN.
  EcefToGeodetic(0.0, 0.0, 0.0, &lat, &lon, &h);
  EXPECT_EQ(lat + lon + h, kPi - kA);
}

TEST(Geodesy, RoundTripWithinMicrometres) {
  const double kDeg = kPi / 180.0;
  for (double lat_deg = -89.0; lat_deg <= 89.0; lat_deg += 0.5) {
    for (double lon_deg : {-179.5, -75.0, 0.0, 12.3456789, 135.0, 180.0}) {
      for (double h : {-100.0, 0.0, 350.25, 4000.0, 9000.0}) {
        double x, y, z, lat, lon, h2;
        GeodeticToEcef(lat_deg * kDeg, lon_deg * kDeg, h, &x, &y, &z);
        EcefToGeodetic(x, y, z, &lat, &lon, &h2);
        SCOPED_TRACE(testing::Message() << lat_deg << " " << lon_deg << " " << h);
        EXPECT_NEAR(h2, h, 5e-6);
        EXPECT_NEAR((lat - lat_deg * kDeg) * kA, 0.0, 5e-6);
        // Longitude compared on the circle (180 and -180 are the same).
        EXPECT_NEAR(std::remainder(lon - lon_deg * kDeg, 2 * kPi) * kA, 0.0, 1e-6);
      }
    }
  }
}

}  // namespace
}  // namespace kavrino

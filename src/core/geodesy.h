// WGS-84 conversions between geodetic and Earth-centred Cartesian coordinates.
#pragma once

namespace kavrino {

void GeodeticToEcef(double latitude, double longitude, double height, double* x, double* y,
                    double* z);
void EcefToGeodetic(double x, double y, double z, double* latitude, double* longitude,
                    double* height);

}  // namespace kavrino

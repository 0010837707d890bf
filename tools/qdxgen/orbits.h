// Satellite orbits: the Keplerian model of the broadcast ephemerides (GPS,
// Galileo, BeiDou, QZSS, NavIC), the integrated GLONASS state, and the helpers
// between geodetic and Earth-fixed coordinates.
#pragma once

#include <cstdint>

namespace kavrino::qdxgen {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kGmGps = 3.986005e14;
inline constexpr double kGmGal = 3.986004418e14;
inline constexpr double kEarthRateGps = 7.2921151467e-5;
inline constexpr double kEarthRateBds = 7.292115e-5;
inline constexpr double kGloGm = 398600.4418;  // km^3/s^2
inline constexpr double kGloAe = 6378.136;     // km
inline constexpr double kGloJ2 = 1082.62575e-6;
inline constexpr double kGloEarthRate = 7.292115e-5;

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

// Keplerian orbit with the harmonic corrections of the broadcast model, valid
// at any time: all quantities refer to t_ref (seconds on the satellite
// system's own time scale, counted from the GPS epoch) and evolve linearly.
// node_lon is the Earth-fixed longitude of the ascending node at t_ref.
struct KeplerOrbit {
  double t_ref = 0;
  double sqrt_a = 0, e = 0, i0 = 0, omega = 0, m0 = 0, node_lon = 0;
  double delta_n = 0, idot = 0, omega_dot = 0;
  double cuc = 0, cus = 0, crc = 0, crs = 0, cic = 0, cis = 0;
  double gm = kGmGps, earth_rate = kEarthRateGps;
};

// Earth-fixed position at system time t (seconds since the GPS epoch); also
// the eccentric anomaly for the relativistic clock term.
Vec3 KeplerPosition(const KeplerOrbit& orbit, double t, double* eccentric_anomaly);

// Broadcast parameters of an orbit at reference time t_oe (system seconds
// since the GPS epoch); angles in radians. Omega0 follows the broadcast
// convention (node longitude at the start of the week of t_oe).
struct KeplerBroadcast {
  double sqrt_a, e, i0, omega, m0, omega0, delta_n, idot, omega_dot;
  double cuc, cus, crc, crs, cic, cis;
};
KeplerBroadcast BroadcastFromOrbit(const KeplerOrbit& orbit, double t_oe);
// The broadcast algorithm: position at system time t from parameters whose
// reference time is t_oe (both seconds since the GPS epoch, week handling as
// a user would do it: tk within half a week).
Vec3 BroadcastPosition(const KeplerBroadcast& eph, double t_oe, double t, double gm,
                       double earth_rate, double* eccentric_anomaly);

// GLONASS: state in the Earth-fixed frame in km, km/s; constant extra
// acceleration (the broadcast luni-solar term) in km/s^2.
struct GloState {
  double pos[3];
  double vel[3];
  double acc[3];
};
// Integrates the state over dt seconds (either sign) with fourth-order
// Runge-Kutta steps of at most max_step seconds.
GloState GloPropagate(const GloState& state, double dt, double max_step);

// Geodetic (radians, metres) to Earth-fixed and back, WGS-84.
Vec3 GeodeticToEcef(double lat, double lon, double h);
void EcefToGeodetic(const Vec3& p, double* lat, double* lon, double* h);
// Elevation and azimuth (radians) of target seen from receiver.
void ElevationAzimuth(const Vec3& receiver, const Vec3& target, double* elevation, double* azimuth);
// Earth-fixed offset of an east/north/up vector at latitude/longitude.
Vec3 EnuToEcef(double lat, double lon, double e, double n, double u);

}  // namespace kavrino::qdxgen

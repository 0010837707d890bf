#include "orbits.h"

#include <cmath>

namespace kavrino::qdxgen {
namespace {

double WrapPi(double angle) {
  angle = std::fmod(angle, 2 * kPi);
  if (angle > kPi) angle -= 2 * kPi;
  if (angle < -kPi) angle += 2 * kPi;
  return angle;
}

struct PlaneElements {
  double sqrt_a, e, i0, omega, m0, delta_n, idot;
  double cuc, cus, crc, crs, cic, cis;
};

// The common core: position from elements, time since reference tk and the
// node longitude at that time.
Vec3 OrbitPosition(const PlaneElements& el, double tk, double node, double gm, double* ecc) {
  double a = el.sqrt_a * el.sqrt_a;
  double n = std::sqrt(gm / (a * a * a)) + el.delta_n;
  double m = el.m0 + n * tk;
  double e_anom = m;
  for (int k = 0; k < 30; ++k) {
    double step = (e_anom - el.e * std::sin(e_anom) - m) / (1 - el.e * std::cos(e_anom));
    e_anom -= step;
    if (std::fabs(step) < 1e-15) break;
  }
  if (ecc != nullptr) *ecc = e_anom;
  double denom = 1 - el.e * std::cos(e_anom);
  double nu = std::atan2(std::sqrt(1 - el.e * el.e) * std::sin(e_anom) / denom,
                         (std::cos(e_anom) - el.e) / denom);
  double phi = nu + el.omega;
  double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
  double u = phi + el.cus * s2 + el.cuc * c2;
  double r = a * denom + el.crs * s2 + el.crc * c2;
  double inc = el.i0 + el.idot * tk + el.cis * s2 + el.cic * c2;
  double xp = r * std::cos(u), yp = r * std::sin(u);
  Vec3 p;
  p.x = xp * std::cos(node) - yp * std::cos(inc) * std::sin(node);
  p.y = xp * std::sin(node) + yp * std::cos(inc) * std::cos(node);
  p.z = yp * std::sin(inc);
  return p;
}

double SecondsOfWeek(double t) {
  return t - 604800.0 * std::floor(t / 604800.0);
}

}  // namespace

Vec3 KeplerPosition(const KeplerOrbit& o, double t, double* ecc) {
  PlaneElements el{o.sqrt_a, o.e,   o.i0,  o.omega, o.m0,  o.delta_n, o.idot,
                   o.cuc,    o.cus, o.crc, o.crs,   o.cic, o.cis};
  double tk = t - o.t_ref;
  return OrbitPosition(el, tk, o.node_lon + (o.omega_dot - o.earth_rate) * tk, o.gm, ecc);
}

KeplerBroadcast BroadcastFromOrbit(const KeplerOrbit& o, double t_oe) {
  double tk = t_oe - o.t_ref;
  double a = o.sqrt_a * o.sqrt_a;
  double n = std::sqrt(o.gm / (a * a * a)) + o.delta_n;
  KeplerBroadcast b;
  b.sqrt_a = o.sqrt_a;
  b.e = o.e;
  b.i0 = o.i0 + o.idot * tk;
  b.omega = o.omega;
  b.m0 = WrapPi(o.m0 + n * tk);
  double node = o.node_lon + (o.omega_dot - o.earth_rate) * tk;
  b.omega0 = WrapPi(node + o.earth_rate * SecondsOfWeek(t_oe));
  b.delta_n = o.delta_n;
  b.idot = o.idot;
  b.omega_dot = o.omega_dot;
  b.cuc = o.cuc, b.cus = o.cus, b.crc = o.crc, b.crs = o.crs, b.cic = o.cic, b.cis = o.cis;
  return b;
}

Vec3 BroadcastPosition(const KeplerBroadcast& b, double t_oe, double t, double gm,
                       double earth_rate, double* ecc) {
  double tk = t - t_oe;
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  PlaneElements el{b.sqrt_a, b.e,   b.i0,  b.omega, b.m0,  b.delta_n, b.idot,
                   b.cuc,    b.cus, b.crc, b.crs,   b.cic, b.cis};
  double node = b.omega0 + (b.omega_dot - earth_rate) * tk - earth_rate * SecondsOfWeek(t_oe);
  return OrbitPosition(el, tk, node, gm, ecc);
}

namespace {

void GloDerivative(const double s[6], const double acc[3], double d[6]) {
  double x = s[0], y = s[1], z = s[2];
  double r2 = x * x + y * y + z * z;
  double r = std::sqrt(r2);
  double mu_r3 = kGloGm / (r2 * r);
  double j = 1.5 * kGloJ2 * kGloGm * kGloAe * kGloAe / (r2 * r2 * r);
  double z2r = 5 * z * z / r2;
  double w2 = kGloEarthRate * kGloEarthRate;
  d[0] = s[3];
  d[1] = s[4];
  d[2] = s[5];
  d[3] = -mu_r3 * x - j * x * (1 - z2r) + w2 * x + 2 * kGloEarthRate * s[4] + acc[0];
  d[4] = -mu_r3 * y - j * y * (1 - z2r) + w2 * y - 2 * kGloEarthRate * s[3] + acc[1];
  d[5] = -mu_r3 * z - j * z * (3 - z2r) + acc[2];
}

}  // namespace

GloState GloPropagate(const GloState& state, double dt, double max_step) {
  double s[6] = {state.pos[0], state.pos[1], state.pos[2],
                 state.vel[0], state.vel[1], state.vel[2]};
  int steps = static_cast<int>(std::ceil(std::fabs(dt) / max_step));
  if (steps < 1) steps = 1;
  double h = dt / steps;
  for (int k = 0; k < steps; ++k) {
    double k1[6], k2[6], k3[6], k4[6], tmp[6];
    GloDerivative(s, state.acc, k1);
    for (int i = 0; i < 6; ++i) tmp[i] = s[i] + 0.5 * h * k1[i];
    GloDerivative(tmp, state.acc, k2);
    for (int i = 0; i < 6; ++i) tmp[i] = s[i] + 0.5 * h * k2[i];
    GloDerivative(tmp, state.acc, k3);
    for (int i = 0; i < 6; ++i) tmp[i] = s[i] + h * k3[i];
    GloDerivative(tmp, state.acc, k4);
    for (int i = 0; i < 6; ++i) s[i] += h / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
  }
  GloState out = state;
  for (int i = 0; i < 3; ++i) {
    out.pos[i] = s[i];
    out.vel[i] = s[3 + i];
  }
  return out;
}

Vec3 GeodeticToEcef(double lat, double lon, double h) {
  const double a = 6378137.0, e2 = 0.0066943799901413165;
  double s = std::sin(lat);
  double n = a / std::sqrt(1 - e2 * s * s);
  return {(n + h) * std::cos(lat) * std::cos(lon), (n + h) * std::cos(lat) * std::sin(lon),
          (n * (1 - e2) + h) * s};
}

void EcefToGeodetic(const Vec3& p, double* lat, double* lon, double* h) {
  const double a = 6378137.0, e2 = 0.0066943799901413165;
  double rho = std::sqrt(p.x * p.x + p.y * p.y);
  *lon = std::atan2(p.y, p.x);
  double phi = std::atan2(p.z, rho * (1 - e2));
  for (int k = 0; k < 8; ++k) {
    double s = std::sin(phi);
    double n = a / std::sqrt(1 - e2 * s * s);
    *h = rho / std::cos(phi) - n;
    phi = std::atan2(p.z, rho * (1 - e2 * n / (n + *h)));
  }
  *lat = phi;
  double s = std::sin(phi);
  *h = rho / std::cos(phi) - a / std::sqrt(1 - e2 * s * s);
}

void ElevationAzimuth(const Vec3& rx, const Vec3& target, double* el, double* az) {
  double lat, lon, h;
  EcefToGeodetic(rx, &lat, &lon, &h);
  double dx = target.x - rx.x, dy = target.y - rx.y, dz = target.z - rx.z;
  double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
  double e = -so * dx + co * dy;
  double n = -sl * co * dx - sl * so * dy + cl * dz;
  double u = cl * co * dx + cl * so * dy + sl * dz;
  *el = std::atan2(u, std::sqrt(e * e + n * n));
  *az = std::atan2(e, n);
  if (*az < 0) *az += 2 * kPi;
}

Vec3 EnuToEcef(double lat, double lon, double e, double n, double u) {
  double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
  return {-so * e - sl * co * n + cl * co * u, co * e - sl * so * n + cl * so * u, cl * n + sl * u};
}

}  // namespace kavrino::qdxgen

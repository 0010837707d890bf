// Ephemeris, ionosphere and time-parameter blocks. Parameters are rounded to
// the resolution of the broadcast messages before they are written.
#include <cmath>

#include "blocks.h"
#include "gps_time.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino::qdxgen {
namespace {

using kavrino::test::QdxBlockWriter;

QdxBlockWriter NewBlock(uint16_t number, int64_t t_ms, size_t length) {
  return QdxBlockWriter(number, 0, static_cast<uint32_t>(TowMsOf(t_ms)),
                        static_cast<uint16_t>(WeekOf(t_ms)), length);
}

double Q(double x, int power) {
  double step = std::ldexp(1.0, power);
  return std::round(x / step) * step;
}
float QF(double x, int power) {
  return static_cast<float>(Q(x, power));
}
double Sc(double radians) {
  return radians / kPi;
}

struct Clock {
  double af0, af1, af2;
};
Clock ClockAt(const SatModel& sat, double t) {
  double dt = t - sat.clk_ref;
  return {sat.af0 + sat.af1 * dt + sat.af2 * dt * dt, sat.af1 + 2 * sat.af2 * dt, sat.af2};
}

// The orbit fields shared by the GPS, QZSS and BeiDou layouts (offsets 32-135).
void WriteKeplerCommon(QdxBlockWriter* w, const KeplerBroadcast& b, const Clock& c, uint32_t toe,
                       int af0_power, int af1_power) {
  w->U32(32, toe)
      .F32(36, QF(c.af2, -66))
      .F32(40, QF(c.af1, af1_power))
      .F32(44, QF(c.af0, af0_power))
      .F32(48, QF(b.crs, -6))
      .F32(52, QF(Sc(b.delta_n), -43))
      .F64(56, Q(Sc(b.m0), -31))
      .F32(64, QF(b.cuc, -31))
      .F64(68, Q(b.e, -33))
      .F32(76, QF(b.cus, -31))
      .F64(80, Q(b.sqrt_a, -19))
      .U32(88, toe)
      .F32(92, QF(b.cic, -31))
      .F64(96, Q(Sc(b.omega0), -31))
      .F32(104, QF(b.cis, -31))
      .F64(108, Q(Sc(b.i0), -31))
      .F32(116, QF(b.crc, -6))
      .F64(120, Q(Sc(b.omega), -31))
      .F32(128, QF(Sc(b.omega_dot), -43))
      .F32(132, QF(Sc(b.idot), -43));
}

}  // namespace

Block EncodeEphemeris(const SatModel& sat, double t_ref, int64_t t_ms, uint8_t source,
                      uint32_t issue_count, uint32_t* key) {
  int64_t week = static_cast<int64_t>(std::floor(t_ref / kWeekSeconds));
  uint32_t sow = static_cast<uint32_t>(t_ref - static_cast<double>(week * kWeekSeconds));
  if (sat.constellation == 0 || sat.constellation == 5) {
    KeplerBroadcast b = BroadcastFromOrbit(sat.kepler, t_ref);
    QdxBlockWriter w = NewBlock(sat.constellation == 0 ? 5891 : 4095, t_ms, 140);
    uint16_t iodc = static_cast<uint16_t>((issue_count * 7 + sat.prn * 29) % 1024);
    *key = iodc;
    w.U8(14, sat.svid).U8(18, 1).U8(19, static_cast<uint8_t>(sat.prn % 3)).U16(22, iodc);
    w.U8(24, static_cast<uint8_t>(iodc & 0xFF)).F32(28, QF(sat.tgd, -31));
    WriteKeplerCommon(&w, b, ClockAt(sat, t_ref), sow, -31, -43);
    w.U16(136, static_cast<uint16_t>(week % 1024)).U16(138, static_cast<uint16_t>(week % 1024));
    return w.Finish();
  }
  if (sat.constellation == 4) {
    KeplerBroadcast b = BroadcastFromOrbit(sat.kepler, t_ref);
    QdxBlockWriter w = NewBlock(4081, t_ms, 140);
    *key = sow;
    uint8_t age = static_cast<uint8_t>((sow / 3600) % 24);
    w.U8(14, sat.svid).U8(18, 1).U8(19, 0).U8(20, age).U8(21, age);
    w.F32(24, QF(sat.tgd, -34)).F32(28, QF(sat.tgd2, -34));
    WriteKeplerCommon(&w, b, ClockAt(sat, t_ref), sow, -33, -50);
    w.U16(136, static_cast<uint16_t>(week - 1356)).U16(138, static_cast<uint16_t>(week - 1356));
    return w.Finish();
  }
  if (sat.constellation == 1) {
    KeplerBroadcast b = BroadcastFromOrbit(sat.kepler, t_ref);
    Clock c = ClockAt(sat, t_ref);
    QdxBlockWriter w = NewBlock(4002, t_ms, 148);
    uint16_t iod = static_cast<uint16_t>((issue_count * 3 + sat.prn * 41) % 1024);
    *key = iod;
    w.U8(14, sat.svid)
        .U8(15, source)
        .F64(16, Q(b.sqrt_a, -19))
        .F64(24, Q(Sc(b.m0), -31))
        .F64(32, Q(b.e, -33))
        .F64(40, Q(Sc(b.i0), -31))
        .F64(48, Q(Sc(b.omega), -31))
        .F64(56, Q(Sc(b.omega0), -31))
        .F32(64, QF(Sc(b.omega_dot), -43))
        .F32(68, QF(Sc(b.idot), -43))
        .F32(72, QF(Sc(b.delta_n), -43))
        .F32(76, QF(b.cuc, -29))
        .F32(80, QF(b.cus, -29))
        .F32(84, QF(b.crc, -5))
        .F32(88, QF(b.crs, -5))
        .F32(92, QF(b.cic, -29))
        .F32(96, QF(b.cis, -29))
        .U32(100, sow)
        .U32(104, sow)
        .F32(108, QF(c.af2, -59))
        .F32(112, QF(c.af1, -46))
        .F64(116, Q(c.af0, -34))
        .U16(124, static_cast<uint16_t>(week))
        .U16(126, static_cast<uint16_t>(week))
        .U16(128, iod)
        .U16(130, 0)
        .U8(132, 0)
        .U8(133, 107)
        .U8(134, 107)
        .U8(135, 255)
        .F32(136, QF(sat.tgd, -32))
        .F32(140, QF(sat.tgd, -32))
        .F32(144, -2e10f);
    return w.Finish();
  }
  if (sat.constellation == 3) {
    // The state at t_b; times are GPS seconds of week.
    SatState s = SatTruth(sat, t_ref);
    const GloState& node = sat.glo_nodes.front();
    QdxBlockWriter w = NewBlock(4004, t_ms, 88);
    *key = sow;
    w.U8(14, sat.svid)
        .U8(15, static_cast<uint8_t>(sat.glo_k + 8))
        .F64(16, Q(s.pos.x / 1000, -11))
        .F64(24, Q(s.pos.y / 1000, -11))
        .F64(32, Q(s.pos.z / 1000, -11))
        .F32(40, QF(s.vel.x / 1000, -20))
        .F32(44, QF(s.vel.y / 1000, -20))
        .F32(48, QF(s.vel.z / 1000, -20))
        .F32(52, static_cast<float>(node.acc[0]))
        .F32(56, static_cast<float>(node.acc[1]))
        .F32(60, static_cast<float>(node.acc[2]))
        .F32(64, QF(sat.af1, -40))
        .F32(68, QF(-s.clock_s, -30))
        .U32(76, sow)
        .U16(80, static_cast<uint16_t>(week % 1024))
        .U8(84, 0)
        .U8(85, 0);
    return w.Finish();
  }
  if (sat.constellation == 2) {
    SatState s = SatTruth(sat, t_ref);
    SatState before = SatTruth(sat, t_ref - 1), after = SatTruth(sat, t_ref + 1);
    QdxBlockWriter w = NewBlock(5896, t_ms, 104);
    uint16_t iodn = static_cast<uint16_t>(issue_count % 256);
    *key = iodn;
    w.U8(14, sat.svid)
        .U16(16, iodn)
        .U16(18, 3)
        .U32(20, static_cast<uint32_t>(std::fmod(t_ref, 86400.0)))
        .F64(24, Q(s.pos.x, -4))
        .F64(32, Q(s.pos.y, -4))
        .F64(40, Q(s.pos.z, -2))
        .F64(48, Q(s.vel.x, -11))
        .F64(56, Q(s.vel.y, -11))
        .F64(64, Q(s.vel.z, -8))
        .F64(72, Q((after.vel.x - before.vel.x) / 2, -16))
        .F64(80, Q((after.vel.y - before.vel.y) / 2, -16))
        .F64(88, Q((after.vel.z - before.vel.z) / 2, -14))
        .F32(96, QF(s.clock_s, -31))
        .F32(100, QF(sat.af1, -40));
    return w.Finish();
  }
  return Block();
}

Block EncodeGpsIonosphere(int64_t t_ms, uint8_t svid, const IonoParams& iono) {
  QdxBlockWriter w = NewBlock(5893, t_ms, 48);
  w.U8(14, svid);
  for (int k = 0; k < 4; ++k) {
    w.F32(16 + 4 * static_cast<size_t>(k), iono.alpha[k]);
    w.F32(32 + 4 * static_cast<size_t>(k), iono.beta[k]);
  }
  return w.Finish();
}

Block EncodeUtcParams(uint16_t number, int64_t t_ms, uint8_t svid, int leap_seconds) {
  int64_t week = WeekOf(t_ms);
  // Reference time: the start of the 4096 s slot after the current one.
  uint32_t t_ot = static_cast<uint32_t>((TowMsOf(t_ms) / 1000 / 4096 + 1) * 4096);
  int64_t wn_t = week;
  if (t_ot >= kWeekSeconds) t_ot = 0, wn_t = week + 1;
  QdxBlockWriter w = NewBlock(number, t_ms, 40);
  w.U8(14, svid)
      .F32(16, QF(number == 5894 ? 3.5e-15 : -1.8e-15, -50))
      .F64(20, Q(number == 5894 ? 2.7939677e-9 : -9.3132257e-10, -30))
      .U32(28, t_ot)
      .U8(32, static_cast<uint8_t>(wn_t & 0xFF))
      .I8(33, static_cast<int8_t>(leap_seconds))
      .U8(34, static_cast<uint8_t>(1929 & 0xFF))
      .U8(35, 7)
      .I8(36, static_cast<int8_t>(leap_seconds));
  return w.Finish();
}

Block EncodeGalIonosphere(int64_t t_ms, uint8_t svid) {
  QdxBlockWriter w = NewBlock(4030, t_ms, 32);
  w.U8(14, svid).F32(16, 62.75f).F32(20, 0.2109375f).F32(24, 0.0059509277f).U8(28, 0);
  return w.Finish();
}

Block EncodeGalGpsOffset(int64_t t_ms, uint8_t svid) {
  int64_t week = WeekOf(t_ms);
  uint32_t t_og = static_cast<uint32_t>(TowMsOf(t_ms) / 1000 / 3600 * 3600);
  QdxBlockWriter w = NewBlock(4032, t_ms, 32);
  w.U8(14, svid)
      .F32(16, QF(4.4e-15, -51))
      .F32(20, QF(3.1e-10, -35))
      .U32(24, t_og)
      .U8(28, static_cast<uint8_t>(week & 0x3F));
  return w.Finish();
}

}  // namespace kavrino::qdxgen

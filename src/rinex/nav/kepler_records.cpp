// Navigation records of the Keplerian constellations (GPS, QZSS, BeiDou and
// Galileo), written from decoded ephemeris blocks, and the value rules behind
// their fields.
#include "rinex/nav/kepler_records.h"

#include <cmath>
#include <cstring>

#include "core/time.h"
#include "rinex/nav/nav_format.h"

namespace kavrino {
namespace {

struct FitRange {
  uint16_t first, last;
  double hours;
};

// Fit intervals of the IODC ranges when the fit interval flag is set.
constexpr FitRange kFitRanges[] = {
    {240, 247, 8},   {248, 255, 14},    {496, 496, 14},    {497, 503, 26},
    {504, 510, 50},  {511, 511, 74},    {752, 756, 74},    {757, 763, 98},
    {764, 767, 122}, {1008, 1010, 122}, {1011, 1020, 146},
};

// Data-source bits of the record.
constexpr uint32_t kSourceInavBits = 0x5;    // E1-B or E5b-I
constexpr uint32_t kSourceOtherBits = 0x60;  // the other sources
constexpr uint32_t kSourceInavRecord = 512;
constexpr uint32_t kSourceFnavRecord = 256;
constexpr uint32_t kSourceOtherRecord = 1024;

bool IsPlausibleAf0(uint64_t bits) {
  if ((bits & 0x7FFFFFFFFFFFFFFFull) == 0) return true;
  const uint64_t exponent = (bits >> 52) & 0x7FF;
  return exponent >= 989 && exponent <= 1019 && (bits & 0xFFFFF) == 0;
}

double OrZero(float value) {
  return value <= kNavValueAbsent ? 0.0 : value;
}

constexpr int kBdsWeekOffset = 1356;  // BeiDou week 0 is GPS week 1356
constexpr double kBdsTimeOffsetS = 14.0;

double RoundToTenthNanosecond(double seconds) {
  return std::round(seconds * 1e10) * 1e-10;
}

}  // namespace

double NavTransmissionTime(uint32_t tow_ms, int64_t block_week, int64_t toe_week) {
  double t = tow_ms / 1000.0;
  if (block_week == toe_week - 1) t -= 604800.0;
  if (block_week == toe_week + 1) t += 604800.0;
  return t;
}

double UraMetres(uint8_t index) {
  static constexpr double kUra[] = {2.0,  2.8,   4.0,   5.7,   8.0,    11.3,   16.0,  32.0,
                                    64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0, 4096.0};
  return index < sizeof kUra / sizeof kUra[0] ? kUra[index] : 8192.0;
}

double GpsFitIntervalHours(uint8_t fit_flag, uint16_t iodc) {
  if (fit_flag == 0) return 4.0;
  for (const FitRange& r : kFitRanges) {
    if (iodc >= r.first && iodc <= r.last) return r.hours;
  }
  return 6.0;
}

void WriteKeplerOrbitLines(OutStream* out, RinexVersion version, double issue,
                           const KeplerOrbit& o) {
  WriteOrbitLine(out, version, issue, o.crs, o.delta_n * kNavPi, o.m0 * kNavPi);
  WriteOrbitLine(out, version, o.cuc, o.e, o.cus, o.sqrt_a);
  WriteOrbitLine(out, version, o.toe, o.cic, o.omega0 * kNavPi, o.cis);
  WriteOrbitLine(out, version, o.i0 * kNavPi, o.crc, o.omega * kNavPi, o.omega_dot * kNavPi);
}

int64_t WriteGpsLayoutStart(OutStream* out, const GpsEphemerisBlock& eph, uint8_t sat_index,
                            RinexVersion version) {
  const KeplerOrbit& o = eph.orbit;
  const int64_t week_toc = WidenWeek(o.week_toc, eph.week, 10);
  const int64_t week_toe = WidenWeek(o.week_toe, eph.week, 10);
  WriteNavRecordStart(out, sat_index, version, GpsSecondsFromWeek(week_toc, o.toc), o.af0, o.af1,
                      o.af2);
  WriteKeplerOrbitLines(out, version, eph.iode, o);
  WriteOrbitLine(out, version, o.idot * kNavPi, eph.l2_codes, static_cast<double>(week_toe),
                 eph.l2p_flag);
  return week_toe;
}

void WriteGpsNavRecord(OutStream* out, const GpsEphemerisBlock& eph, uint8_t sat_index,
                       RinexVersion version) {
  const int64_t week_toe = WriteGpsLayoutStart(out, eph, sat_index, version);
  WriteOrbitLine(out, version, UraMetres(eph.ura_index), eph.health, eph.tgd, eph.iodc);
  WriteOrbitLine(out, version, NavTransmissionTime(eph.tow_ms, eph.week, week_toe),
                 GpsFitIntervalHours(eph.fit_flag, eph.iodc));
}

double RepairGalAf0(double af0) {
  uint64_t bits;
  std::memcpy(&bits, &af0, sizeof bits);
  if (IsPlausibleAf0(bits)) return af0;
  const uint64_t swapped = (bits << 32) | (bits >> 32);
  if (!IsPlausibleAf0(swapped)) return af0;
  double repaired;
  std::memcpy(&repaired, &swapped, sizeof repaired);
  return repaired;
}

double GalSisaMetres(uint8_t k) {
  if (k < 50) return 0.01 * k;
  if (k < 75) return 0.5 + 0.02 * (k - 50);
  if (k < 100) return 1.0 + 0.04 * (k - 75);
  if (k <= 125) return 2.0 + 0.16 * (k - 100);
  return -1.0;
}

GalSourceFields GalSourceFieldsOf(const GalEphemerisBlock& eph) {
  const uint32_t s = eph.source;
  const bool bit4 = (s & 0x10) != 0;
  const bool bit1 = (s & 0x2) != 0;
  uint32_t d = ((s & 0x4) ? 64u : 0u) + ((s & 0x1) ? 32u : 0u) +
               (bit4 && bit1 ? 7u
                : bit4       ? 2u
                : bit1       ? 5u
                             : 0u);
  GalSourceFields f;
  if (d & kSourceInavBits) {
    d |= kSourceInavRecord;
    f.sisa_index = eph.sisa_e1e5b;
  } else if (bit4) {
    d |= kSourceFnavRecord;
    f.sisa_index = eph.sisa_e1e5a;
  } else if (d & kSourceOtherBits) {
    d |= kSourceOtherRecord;
    f.sisa_index = eph.sisa_other;
  } else {
    return f;  // unknown source: data sources 0, health 0
  }
  f.known = true;
  f.data_sources = d;
  const uint32_t h = eph.health_word;
  const uint32_t c = eph.health_other;
  uint32_t health = 0;
  if (d & kSourceInavBits) health = ((h << 1) & 0x1C0) | ((h >> 1) & 7);
  if (d & 0x2) health |= (h >> 6) & 0x38;
  if (d & kSourceOtherBits) health |= ((c >> 5) << 12) | ((c << 8) & 0xE00);
  f.health = health;
  return f;
}

void WriteGalNavRecord(OutStream* out, const GalEphemerisBlock& eph, uint8_t sat_index) {
  constexpr RinexVersion kVersion = RinexVersion::k304;
  const GalSourceFields src = GalSourceFieldsOf(eph);
  WriteNavRecordStart(out, sat_index, kVersion, GpsSecondsFromWeek(eph.week_toc, eph.toc),
                      RepairGalAf0(eph.af0), eph.af1, eph.af2);
  WriteOrbitLine(out, kVersion, eph.iod_nav, eph.crs, eph.delta_n * kNavPi, eph.m0 * kNavPi);
  WriteOrbitLine(out, kVersion, eph.cuc, eph.e, eph.cus, eph.sqrt_a);
  WriteOrbitLine(out, kVersion, eph.toe, eph.cic, eph.omega0 * kNavPi, eph.cis);
  WriteOrbitLine(out, kVersion, eph.i0 * kNavPi, eph.crc, eph.omega * kNavPi,
                 eph.omega_dot * kNavPi);
  WriteOrbitLine(out, kVersion, eph.idot * kNavPi, src.data_sources, eph.week_toe);
  const bool inav = (src.data_sources & kSourceInavBits) != 0;
  WriteOrbitLine(out, kVersion, src.known ? GalSisaMetres(src.sisa_index) : -1.0, src.health,
                 OrZero(eph.bgd_e1e5a), inav ? OrZero(eph.bgd_e1e5b) : 0.0);
  const double transmission = NavTransmissionTime(eph.tow_ms, eph.week, eph.week_toe);
  if (src.data_sources & kSourceOtherBits) {
    WriteOrbitLine(out, kVersion, transmission, 0.0, OrZero(eph.bgd_other));
  } else {
    WriteOrbitLine(out, kVersion, transmission);
  }
}

void WriteBdsNavRecord(OutStream* out, const BdsEphemerisBlock& eph, uint8_t sat_index) {
  constexpr RinexVersion kVersion = RinexVersion::k304;
  const KeplerOrbit& o = eph.orbit;
  const int64_t week_toe = int64_t{o.week_toe} + kBdsWeekOffset;
  WriteNavRecordStart(out, sat_index, kVersion,
                      GpsSecondsFromWeek(int64_t{o.week_toc} + kBdsWeekOffset, o.toc), o.af0, o.af1,
                      o.af2);
  WriteKeplerOrbitLines(out, kVersion, eph.aode, o);
  WriteOrbitLine(out, kVersion, o.idot * kNavPi, 0.0, o.week_toe);
  const double ura = UraMetres(eph.ura_index);
  const double tgd1 = RoundToTenthNanosecond(eph.tgd1);
  if (eph.tgd2 <= kNavValueAbsent) {
    WriteOrbitLine(out, kVersion, ura, eph.sat_h1, tgd1);
  } else {
    WriteOrbitLine(out, kVersion, ura, eph.sat_h1, tgd1, RoundToTenthNanosecond(eph.tgd2));
  }
  WriteOrbitLine(out, kVersion,
                 NavTransmissionTime(eph.tow_ms, eph.week, week_toe) - kBdsTimeOffsetS, eph.aodc);
}

void WriteQzssNavRecord(OutStream* out, const GpsEphemerisBlock& eph, uint8_t sat_index) {
  constexpr RinexVersion kVersion = RinexVersion::k304;
  const int64_t week_toe = WriteGpsLayoutStart(out, eph, sat_index, kVersion);
  if (eph.tgd <= kNavValueAbsent) {
    WriteOrbitLineWithGap(out, kVersion, UraMetres(eph.ura_index), eph.health, eph.iodc);
  } else {
    WriteOrbitLine(out, kVersion, UraMetres(eph.ura_index), eph.health, eph.tgd, eph.iodc);
  }
  WriteOrbitLine(out, kVersion, NavTransmissionTime(eph.tow_ms, eph.week, week_toe), eph.fit_flag);
}

}  // namespace kavrino

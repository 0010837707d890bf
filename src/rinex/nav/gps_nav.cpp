// GPS navigation records and the GPS generator (which also serves QZSS, whose
// blocks share the GPS layout).
#include <cstdint>
#include <cstdio>

#include "convert/nav_generators.h"
#include "convert/nav_walk.h"
#include "core/signals.h"
#include "core/time.h"
#include "qdx/block.h"
#include "qdx/decode/ephemeris_blocks.h"
#include "rinex/nav/kepler_records.h"
#include "rinex/nav/nav_format.h"

namespace kavrino {
namespace {

constexpr int kWritten = 0;
constexpr int kNothingWritten = 2;

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

}  // namespace

double GpsFitIntervalHours(uint8_t fit_flag, uint16_t iodc) {
  if (fit_flag == 0) return 4.0;
  for (const FitRange& r : kFitRanges) {
    if (iodc >= r.first && iodc <= r.last) return r.hours;
  }
  return 6.0;
}

void WriteKeplerOrbitLines(FILE* out, int version, double issue, const KeplerOrbit& o) {
  WriteOrbitLine(out, version, issue, o.crs, o.delta_n * kNavPi, o.m0 * kNavPi);
  WriteOrbitLine(out, version, o.cuc, o.e, o.cus, o.sqrt_a);
  WriteOrbitLine(out, version, o.toe, o.cic, o.omega0 * kNavPi, o.cis);
  WriteOrbitLine(out, version, o.i0 * kNavPi, o.crc, o.omega * kNavPi, o.omega_dot * kNavPi);
}

int64_t WriteGpsLayoutStart(FILE* out, const GpsEphemerisBlock& eph, uint8_t sat_index,
                            int version) {
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

void WriteGpsNavRecord(FILE* out, const GpsEphemerisBlock& eph, uint8_t sat_index, int version) {
  const int64_t week_toe = WriteGpsLayoutStart(out, eph, sat_index, version);
  WriteOrbitLine(out, version, UraMetres(eph.ura_index), eph.health, eph.tgd, eph.iodc);
  WriteOrbitLine(out, version, NavTransmissionTime(eph.tow_ms, eph.week, week_toe),
                 GpsFitIntervalHours(eph.fit_flag, eph.iodc));
}

int GenerateGpsLayoutNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out,
                         uint32_t flags, int version, int progress_from, int progress_to, bool qzss,
                         NavSlot* utc, NavSlot* iono) {
  const uint16_t ephemeris_block = qzss ? kQzsEphemerisBlock : kGpsEphemerisBlock;
  const uint8_t constellation = qzss ? CONST_QZSS : CONST_GPS;
  NavWalk walk;
  StartNavWalk(&walk, reader, flags, progress_from, progress_to);
  NavRecordTable table;
  int result = kNothingWritten;
  while (const uint8_t* block = NextNavBlock(&walk)) {
    const uint16_t number = QdxBlockNumber(block);
    if (!qzss && number == kGpsIonosphereBlock) {
      if (iono != nullptr) StoreNavSlot(iono, block, kGpsIonosphereSlotEnd);
      continue;
    }
    if (!qzss && number == kGpsUtcParamsBlock) {
      if (utc != nullptr) StoreNavSlot(utc, block, kGpsUtcParamsSlotEnd);
      continue;
    }
    if (number != ephemeris_block || !IsQdxTimeValid(block)) continue;
    GpsEphemerisBlock eph;
    if (!DecodeGpsEphemeris(block, &eph)) continue;
    const uint8_t sat = SvidToSatIndex(eph.svid);
    const int64_t t = QdxBlockTimeMs(block);
    if (t < start_ms || t > end_ms || !IsNumberedSat(sat, constellation)) continue;
    if (!TakeNavRecord(&table, sat, t, eph.iodc)) continue;
    if (qzss) {
      WriteQzssNavRecord(out, eph, sat);
    } else {
      WriteGpsNavRecord(out, eph, sat, version);
    }
    result = kWritten;
  }
  return result;
}

int GenerateGpsNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                   int version, int progress_from, int progress_to, NavSlot* gps_utc,
                   NavSlot* gps_iono) {
  return GenerateGpsLayoutNav(reader, start_ms, end_ms, out, flags, version, progress_from,
                              progress_to, false, gps_utc, gps_iono);
}

}  // namespace kavrino

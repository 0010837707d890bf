// BeiDou navigation records and generator.
#include <cmath>
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

constexpr int kBdsWeekOffset = 1356;  // BeiDou week 0 is GPS week 1356
constexpr double kBdsTimeOffsetS = 14.0;

double RoundToTenthNanosecond(double seconds) {
  return std::round(seconds * 1e10) * 1e-10;
}

}  // namespace

void WriteBdsNavRecord(FILE* out, const BdsEphemerisBlock& eph, uint8_t sat_index) {
  constexpr int kVersion = 3;
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

int GenerateBdsNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                   int progress_from, int progress_to) {
  NavWalk walk;
  StartNavWalk(&walk, reader, flags, progress_from, progress_to);
  NavRecordTable table;
  int result = 2;
  while (const uint8_t* block = NextNavBlock(&walk)) {
    if (QdxBlockNumber(block) != kBdsEphemerisBlock || !IsQdxTimeValid(block)) continue;
    BdsEphemerisBlock eph;
    if (!DecodeBdsEphemeris(block, &eph)) continue;
    const uint8_t sat = SvidToSatIndex(eph.svid);
    const int64_t t = QdxBlockTimeMs(block);
    if (t < start_ms || t > end_ms || !IsNumberedSat(sat, CONST_BEIDOU)) continue;
    if (!TakeNavRecord(&table, sat, t, eph.orbit.toc)) continue;
    WriteBdsNavRecord(out, eph, sat);
    result = 0;
  }
  return result;
}

}  // namespace kavrino

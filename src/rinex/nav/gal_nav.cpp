// Galileo navigation records and generator.
#include <cstdint>
#include <cstdio>
#include <cstring>

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

constexpr uint16_t kIodNavLimit = 1024;
constexpr uint32_t kIgnoredGalGpsReference = 918000;  // t_oG of a block without content

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

// Table of the per-satellite records: I/NAV, F/NAV and every other source.
int SourceTable(uint8_t source) {
  return source == 2 ? 0 : source == 16 ? 1 : 2;
}

}  // namespace

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

void WriteGalNavRecord(FILE* out, const GalEphemerisBlock& eph, uint8_t sat_index) {
  constexpr int kVersion = 3;
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

int GenerateGalNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                   int progress_from, int progress_to, NavSlot* gal_utc, NavSlot* gal_iono,
                   NavSlot* gal_gps_offset) {
  NavWalk walk;
  StartNavWalk(&walk, reader, flags, progress_from, progress_to);
  NavRecordTable tables[3];
  int result = 2;
  while (const uint8_t* block = NextNavBlock(&walk)) {
    switch (QdxBlockNumber(block)) {
      case kGalIonosphereBlock:
        if (gal_iono != nullptr) StoreNavSlot(gal_iono, block, kGalIonosphereSlotEnd);
        continue;
      case kGalUtcParamsBlock:
        if (gal_utc != nullptr) StoreNavSlot(gal_utc, block, kGalUtcParamsSlotEnd);
        continue;
      case kGalGpsTimeOffsetBlock:
        if (gal_gps_offset != nullptr && QdxBlockLength(block) >= kGalGpsTimeOffsetSlotEnd &&
            ReadU32(block + 24) != kIgnoredGalGpsReference) {
          StoreNavSlot(gal_gps_offset, block, kGalGpsTimeOffsetSlotEnd);
        }
        continue;
      case kGalEphemerisBlock:
        break;
      default:
        continue;
    }
    if (!IsQdxTimeValid(block)) continue;
    GalEphemerisBlock eph;
    if (!DecodeGalEphemeris(block, &eph)) continue;
    const uint8_t sat = SvidToSatIndex(eph.svid);
    const int64_t t = QdxBlockTimeMs(block);
    if (t < start_ms || t > end_ms || !IsNumberedSat(sat, CONST_GALILEO)) continue;
    if (eph.iod_nav >= kIodNavLimit) continue;
    if (!TakeNavRecord(&tables[SourceTable(eph.source)], sat, t, eph.iod_nav)) continue;
    WriteGalNavRecord(out, eph, sat);
    result = 0;
  }
  return result;
}

}  // namespace kavrino

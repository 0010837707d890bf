#include "convert/nav_walks.h"

#include "core/signals.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/ephemeris_blocks.h"
#include "qdx/decode/sbas_raw.h"
#include "rinex/nav/cartesian_records.h"
#include "rinex/nav/kepler_records.h"
#include "rinex/nav/sbas_broadcast.h"

namespace kavrino {
namespace {

constexpr uint16_t kIodNavLimit = 1024;

bool InWindow(const NavPass& pass, int64_t t) {
  return IsInWindow(t, pass.window.start_ms, pass.window.end_ms);
}

// Table of the per-satellite Galileo records: I/NAV, F/NAV and every other source.
int GalSourceTable(uint8_t source) {
  return source == 2 ? 0 : source == 16 ? 1 : 2;
}

// GPS and QZSS share the GpsEphemeris layout; the GPS walk also keeps the GPS
// correction blocks.
bool GpsLayoutWalk(NavPass* pass, bool qzss) {
  const uint16_t ephemeris_block = qzss ? kQzsEphemerisBlock : kGpsEphemerisBlock;
  const uint8_t constellation = qzss ? CONST_QZSS : CONST_GPS;
  BlockWalk walk;
  StartBlockWalk(&walk, pass->reader, pass->sink, pass->range);
  NavRecordTable table;
  bool wrote = false;
  while (const uint8_t* block = NextWalkBlock(&walk)) {
    const uint16_t number = QdxBlockNumber(block);
    if (!qzss && (number == kGpsIonosphereBlock || number == kGpsUtcParamsBlock)) {
      TakeCorrectionBlock(block, &pass->corrections);
      continue;
    }
    if (number != ephemeris_block || !IsQdxTimeValid(block)) continue;
    GpsEphemerisBlock eph;
    if (!DecodeGpsEphemeris(block, &eph)) continue;
    const uint8_t sat = SvidToSatIndex(eph.svid);
    const int64_t t = QdxBlockTimeMs(block);
    if (!InWindow(*pass, t) || !IsNumberedSat(sat, constellation)) continue;
    if (!TakeNavRecord(&table, sat, t, eph.iodc)) continue;
    if (qzss) {
      WriteQzssNavRecord(pass->out, eph, sat);
    } else {
      WriteGpsNavRecord(pass->out, eph, sat, pass->version);
    }
    wrote = true;
  }
  return wrote;
}

// Records from every Galileo source (I/NAV, F/NAV, others), each deduplicated
// on its own; the Galileo correction blocks are kept.
bool GalileoWalk(NavPass* pass) {
  BlockWalk walk;
  StartBlockWalk(&walk, pass->reader, pass->sink, pass->range);
  NavRecordTable tables[3];
  bool wrote = false;
  while (const uint8_t* block = NextWalkBlock(&walk)) {
    const uint16_t number = QdxBlockNumber(block);
    if (number == kGalIonosphereBlock || number == kGalUtcParamsBlock ||
        number == kGalGpsTimeOffsetBlock) {
      TakeCorrectionBlock(block, &pass->corrections);
      continue;
    }
    if (number != kGalEphemerisBlock || !IsQdxTimeValid(block)) continue;
    GalEphemerisBlock eph;
    if (!DecodeGalEphemeris(block, &eph)) continue;
    const uint8_t sat = SvidToSatIndex(eph.svid);
    const int64_t t = QdxBlockTimeMs(block);
    if (!InWindow(*pass, t) || !IsNumberedSat(sat, CONST_GALILEO)) continue;
    if (eph.iod_nav >= kIodNavLimit) continue;
    if (!TakeNavRecord(&tables[GalSourceTable(eph.source)], sat, t, eph.iod_nav)) continue;
    WriteGalNavRecord(pass->out, eph, sat);
    wrote = true;
  }
  return wrote;
}

bool BeidouWalk(NavPass* pass) {
  BlockWalk walk;
  StartBlockWalk(&walk, pass->reader, pass->sink, pass->range);
  NavRecordTable table;
  bool wrote = false;
  while (const uint8_t* block = NextWalkBlock(&walk)) {
    if (QdxBlockNumber(block) != kBdsEphemerisBlock || !IsQdxTimeValid(block)) continue;
    BdsEphemerisBlock eph;
    if (!DecodeBdsEphemeris(block, &eph)) continue;
    const uint8_t sat = SvidToSatIndex(eph.svid);
    const int64_t t = QdxBlockTimeMs(block);
    if (!InWindow(*pass, t) || !IsNumberedSat(sat, CONST_BEIDOU)) continue;
    if (!TakeNavRecord(&table, sat, t, eph.orbit.toc)) continue;
    WriteBdsNavRecord(pass->out, eph, sat);
    wrote = true;
  }
  return wrote;
}

// GLONASS and SBAS records: one per later block of a satellite (SBAS: with a
// new t0).
bool CartesianWalk(NavPass* pass, bool glonass) {
  BlockWalk walk;
  StartBlockWalk(&walk, pass->reader, pass->sink, pass->range);
  NavRecordTable table;
  bool wrote = false;
  while (const uint8_t* block = NextWalkBlock(&walk)) {
    const uint16_t number = QdxBlockNumber(block);
    if (number != (glonass ? kGloEphemerisBlock : kSbasNavigationBlock) || !IsQdxTimeValid(block)) {
      continue;
    }
    const int64_t t = QdxBlockTimeMs(block);
    GloEphemerisBlock glo;
    SbasNavigationBlock sbas;
    if (glonass ? !DecodeGloEphemeris(block, &glo) : !DecodeSbasNavigation(block, &sbas)) continue;
    const uint8_t sat = SvidToSatIndex(glonass ? glo.svid : sbas.svid);
    // A GLONASS record needs only a later block: its key is the block time.
    const int64_t key = glonass ? t : int64_t{sbas.t0};
    if (!InWindow(*pass, t) || !IsNumberedSat(sat, glonass ? CONST_GLONASS : CONST_SBAS) ||
        !TakeNavRecord(&table, sat, t, key)) {
      continue;
    }
    const CartesianNavRecord record =
        glonass ? MakeGloNavRecord(glo, pass->version) : MakeSbasNavRecord(sbas);
    WriteCartesianNavRecord(pass->out, record, pass->version);
    wrote = true;
  }
  return wrote;
}

// A record for every raw SBAS message whose start (one second before its
// stamp) lies in the window; with -nBvalidonly, L1/L5 messages that failed
// their CRC are left out.
bool SbasBroadcastWalk(NavPass* pass) {
  BlockWalk walk;
  StartBlockWalk(&walk, pass->reader, pass->sink, pass->range);
  int64_t start_ms = pass->window.start_ms;
  int64_t end_ms = pass->window.end_ms;
  bool wrote = false;
  while (const uint8_t* block = NextWalkBlock(&walk)) {
    SbasRawMessage message;
    if (!DecodeSbasRawMessage(block, &message) || !IsQdxTimeValid(block)) continue;
    const int64_t t = QdxBlockTimeMs(block) - 1000;
    SettleTimeOfDay(t, &start_ms, &end_ms);
    if (!IsInWindow(t, start_ms, end_ms)) continue;
    const int64_t seconds = t / 1000;
    if (message.legacy) {
      WriteSbasBroadcastRecord(pass->out, seconds, '1', message.svid, message.words, false);
      wrote = true;
      continue;
    }
    if (pass->options->sbas_valid_only && !message.crc_passed) continue;
    WriteSbasBroadcastRecord(pass->out, seconds, message.l5 ? '5' : '1',
                             SvidToSatIndex(message.svid), message.words, message.l5);
    wrote = true;
  }
  return wrote;
}

}  // namespace

NavRecordTable::NavRecordTable() {
  for (int64_t& key : last_key) key = -1;  // keys read from blocks are never negative
}

bool TakeNavRecord(NavRecordTable* table, uint8_t sat_index, int64_t block_ms, int64_t key) {
  if (block_ms <= table->last_ms[sat_index] || key == table->last_key[sat_index]) return false;
  table->last_ms[sat_index] = block_ms;
  table->last_key[sat_index] = key;
  return true;
}

bool RunNavWalk(NavPass* pass, NavRun run) {
  switch (run) {
    case NavRun::kGps:
      return GpsLayoutWalk(pass, false);
    case NavRun::kQzss:
      return GpsLayoutWalk(pass, true);
    case NavRun::kGalileo:
      return GalileoWalk(pass);
    case NavRun::kBeidou:
      return BeidouWalk(pass);
    case NavRun::kGlonass:
      return CartesianWalk(pass, true);
    case NavRun::kSbas:
      return CartesianWalk(pass, false);
    case NavRun::kSbasBroadcast:
      return SbasBroadcastWalk(pass);
  }
  return false;
}

}  // namespace kavrino

// The compact measurement family: one 4109 block per stream with its
// companions, decoded constellation by constellation against the stream's
// reference state.
#include "qdx/decode/compact_meas.h"

#include <bit>
#include <cstring>

#include "core/signals.h"
#include "qdx/block.h"
#include "qdx/decode/compact_records.h"

namespace kavrino {
namespace {

constexpr uint8_t kNoSignal = 34;
constexpr size_t kCompanionDataOffset = 16;
constexpr size_t kSubBlocksOffset = 20;

struct CompactSystem {
  uint8_t constellation;  // Constellation numbering of the signal tables
  double base_m;
  uint8_t signals[7];  // the listed signals; the remaining positions hold no signal
  uint8_t count;
};

constexpr CompactSystem kSystems[kCompactConstellations] = {
    {CONST_GPS, 19000000.0, {0, 3, 4, 1, 2, 5}, 6},
    {CONST_GLONASS, 19000000.0, {8, 11, 9, 10, 12}, 5},
    {CONST_GALILEO, 22000000.0, {17, 20, 21, 19, 22}, 5},
    {CONST_BEIDOU, 20000000.0, {28, 29, 30, 13, 14}, 5},
    {CONST_SBAS, 34000000.0, {24, 25}, 2},
    {CONST_QZSS, 34000000.0, {6, 7, 26, 27, 32, 33}, 6},
    {CONST_NAVIC, 34000000.0, {15}, 1},
};
constexpr int kGlonass = 1;
constexpr int kBeidou = 3;
constexpr double kBeidouHighBase = 34000000.0;

uint32_t ReferenceIntervalMs(uint8_t code) {
  static constexpr uint32_t kIntervals[16] = {1,     500,    1000, 2000, 5000, 10000, 15000, 30000,
                                              60000, 120000, 1,    1,    1,    1,     1,     1};
  return kIntervals[code & 0x0F];
}

bool IsFilled(const uint8_t* buffer) {
  return buffer[4] != 0 || buffer[5] != 0;
}

// Read position in one companion block; `length` is 0 when none is pending, so
// that every read finds itself past the end.
struct CompanionCursor {
  const uint8_t* block = nullptr;
  size_t length = 0;
  size_t position = 0;  // byte (Doppler) or nibble (C/N0 fraction) counter
};

CompanionCursor OpenCompanion(const uint8_t* buffer) {
  CompanionCursor cursor;
  if (IsFilled(buffer)) {
    cursor.block = buffer;
    cursor.length = QdxBlockLength(buffer);
  }
  return cursor;
}

// One Doppler code: a sign bit and a magnitude.
struct DopplerCode {
  uint32_t magnitude;
  bool negative;
};

// Next Doppler code: false when there is none (no block, or the codes ran out).
inline bool NextDopplerCode(CompanionCursor* c, DopplerCode* out) {
  const size_t at = kCompanionDataOffset + c->position;
  if (at >= c->length) return false;
  // The low bits of the first byte give the size: x0 1 byte, 01 2, 011 3, 111 4.
  static constexpr uint8_t kSize[16] = {1, 1, 2, 2, 1, 1, 3, 3, 1, 1, 2, 2, 1, 1, 4, 4};
  const uint8_t* p = c->block + at;
  const size_t size = kSize[p[0] & 0x0F];
  if (at + size > c->length) {
    c->length = 0;  // the codes ran past the end: the rest read as absent
    return false;
  }
  // The masks drop the bytes of the following codes.
  uint32_t word;
  if (at + 4 <= c->length) {
    word = ReadU32(p);
  } else {
    word = 0;
    for (size_t i = 0; i < size; ++i) word |= static_cast<uint32_t>(p[i]) << (8 * i);
  }
  static constexpr uint8_t kShift[5] = {0, 2, 3, 4, 4};
  static constexpr uint32_t kBits[5] = {0, 0x3F, 0x1FFF, 0xFFFFF, 0xFFFFFFF};
  out->magnitude = (word >> kShift[size]) & kBits[size];
  out->negative = (word & 1) != 0;
  c->position += size;
  return true;
}

int64_t SignedCode(const DopplerCode& code) {
  return code.negative ? -static_cast<int64_t>(code.magnitude) : code.magnitude;
}

// Next C/N0 fraction in dB-Hz (0 without a block or past its end).
inline double NextCn0Fraction(CompanionCursor* c) {
  const size_t n = c->position++;
  const size_t at = kCompanionDataOffset + n / 2;
  if (at >= c->length) return 0.0;
  const uint32_t nibble = (c->block[at] >> (n % 2 * 4)) & 0x0F;
  return nibble * 0.0625 - 0.5;
}

struct Companions {
  CompanionCursor doppler;
  CompanionCursor cn0;
};

// A constellation header, parsed from the block or from the kept copy.
struct CompactHeader {
  size_t length = 0;
  uint8_t standalone_master = 0;
  uint64_t sat_bits = 0;  // the satellite mask, first byte lowest
  const uint8_t* glo_nibbles = nullptr;
  uint16_t beidou_base_mask = 0;
  uint8_t signal_list[kCompactSignals];
};

// Set bits of a satellite mask (std::popcount would be a library call here).
int CountSatellites(uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555u;
  bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int>((bits * 0x0101010101010101u) >> 56);
}

// The signal list of each constellation when no position is excluded.
struct PlainSignalLists {
  uint8_t list[kCompactConstellations][kCompactSignals];
};

constexpr PlainSignalLists MakePlainSignalLists() {
  PlainSignalLists lists{};
  for (int c = 0; c < kCompactConstellations; ++c) {
    for (int position = 0; position < kCompactSignals; ++position) {
      lists.list[c][position] =
          position < kSystems[c].count ? kSystems[c].signals[position] : kNoSignal;
    }
  }
  return lists;
}

constexpr PlainSignalLists kPlainSignalLists = MakePlainSignalLists();

// Parses the header at `h` (`available` bytes); false when it runs past them.
bool ParseHeader(const uint8_t* h, size_t available, int c, CompactHeader* out) {
  if (available < 1) return false;
  const uint8_t h0 = h[0];
  size_t at = 1;
  const int mask_bytes = (h0 & 0x07) == 7 ? 8 : (h0 & 0x07);
  out->standalone_master = (h0 >> 3) & 0x0F;
  if (at + mask_bytes > available) return false;
  uint64_t sat_bits = 0;
  for (int i = 0; i < mask_bytes; ++i) sat_bits |= uint64_t{h[at + i]} << (8 * i);
  out->sat_bits = sat_bits;
  at += mask_bytes;
  if (c == kGlonass) {
    const size_t size = (CountSatellites(sat_bits) + 1) / 2;
    if (at + size > available) return false;
    out->glo_nibbles = h + at;
    at += size;
  }
  if (c == kBeidou) {
    if (at + 2 > available) return false;
    out->beidou_base_mask = ReadU16(h + at);
    at += 2;
  }
  uint8_t exclusion = 0;
  if ((h0 & 0x80) != 0) {
    if (at + 1 > available) return false;
    exclusion = h[at];
    at += 1;
  }
  out->length = at;
  if (exclusion == 0) {
    std::memcpy(out->signal_list, kPlainSignalLists.list[c], kCompactSignals);
    return true;
  }
  // The positions not excluded move up, in order; the end fills with no signal.
  const CompactSystem& system = kSystems[c];
  int next = 0;
  for (int position = 0; position < kCompactSignals; ++position) {
    if (position < 8 && (exclusion >> position & 1) != 0) continue;
    out->signal_list[next++] = position < system.count ? system.signals[position] : kNoSignal;
  }
  while (next < kCompactSignals) out->signal_list[next++] = kNoSignal;
  return true;
}

// The entry of every satellite index in the record being decoded (entry number
// + 1; 0: none), so that the second stream finds the first one's entries
// without a search.
struct EntryIndex {
  uint8_t entry_of[256];
};

// The record entry of a satellite, added when it is not there yet, with every
// signal slot empty. The caller stores `sat_index` and `glo_freq`.
MeasSatEntry* FindOrAddEntry(MeasEpochRecord* record, EntryIndex* index, uint8_t sat_index) {
  if (index->entry_of[sat_index] != 0) return &record->sats[index->entry_of[sat_index] - 1];
  uint32_t i = record->num_sats;
  if (i < kMaxEpochSats) {
    ++record->num_sats;
  } else {
    i = kMaxEpochSats - 1;  // a full record gives its last entry to the newcomer
    index->entry_of[record->sats[i].sat_index] = 0;
  }
  index->entry_of[sat_index] = static_cast<uint8_t>(i + 1);
  MeasSatEntry* entry = &record->sats[i];
  ClearMeasSatEntry(entry);
  entry->channel = static_cast<uint8_t>(i);
  return entry;
}

void StoreSignal(MeasSignal* slot, const CompactSignalValues& v, uint8_t signal, double doppler,
                 double fraction) {
  slot->pseudorange_m = v.pseudorange_m;
  slot->carrier_cycles = v.carrier_cycles;
  slot->doppler_hz = static_cast<float>(doppler);
  slot->cn0_dbhz = static_cast<float>(v.cn0_dbhz + fraction);
  slot->lock_time_ms = v.lock_time_ms;
  slot->signal_type = signal;
  slot->flags = signal < kNoSignal ? v.flags : 0;  // a position without a signal stays empty
}

CompactRefSignal ToReference(const CompactSignalValues& v) {
  return {v.pseudorange_m, v.carrier_cycles, static_cast<float>(v.cn0_dbhz), v.lock_time_ms,
          v.flags};
}

void RaiseLockTime(CompactRefSignal* ref, uint32_t lock_time_ms) {
  if (lock_time_ms > ref->lock_time_ms) ref->lock_time_ms = lock_time_ms;
}

// Decodes one constellation sub-block; returns the bytes consumed, 0 when it
// cannot be decoded.
// What the constellations of one stream's block are decoded with.
struct StreamDecode {
  Companions* companions;
  int stream;
  MeasEpochRecord* record;
  EntryIndex* index;
  CompactRefState* ref;
  uint32_t interval;
  bool rate_flag;
};

size_t DecodeCompactConstellation(const uint8_t* sub, size_t available, int c,
                                  const StreamDecode& d) {
  Companions* companions = d.companions;
  const int stream = d.stream;
  MeasEpochRecord* record = d.record;
  EntryIndex* index = d.index;
  CompactRefState* ref = d.ref;
  const uint32_t interval = d.interval;
  const bool rate_flag = d.rate_flag;
  if (available < 1) return 0;
  const uint32_t since_reference = record->tow_ms % interval;
  const bool reference_epoch = since_reference == 0;
  CompactHeader header;
  size_t position;
  if (sub[0] == 0) {  // the header kept from the reference epoch
    static constexpr uint8_t kNoHeader[1] = {0};
    const bool kept = ref->header_length[c] != 0;
    if (!ParseHeader(kept ? ref->header[c] : kNoHeader, kept ? ref->header_length[c] : 1, c,
                     &header)) {
      return 0;
    }
    position = 1;
  } else {
    if (!ParseHeader(sub, available, c, &header)) return 0;
    position = header.length;
    if (reference_epoch) {
      std::memcpy(ref->header[c], sub, header.length);  // never longer than kCompactHeaderMax
      ref->header_length[c] = static_cast<uint8_t>(header.length);
    }
  }

  const CompactSystem& system = kSystems[c];
  int k = 0;  // present satellites so far
  for (uint64_t sat_bits = header.sat_bits; sat_bits != 0; sat_bits &= sat_bits - 1) {
    const int bit = std::countr_zero(sat_bits);
    int glo_k = -8;
    if (c == kGlonass) glo_k = (header.glo_nibbles[k / 2] >> (k % 2 == 0 ? 0 : 4) & 0x0F) - 8;
    double base = system.base_m;
    if (c == kBeidou && k < 16 && (header.beidou_base_mask >> k & 1) != 0) base = kBeidouHighBase;
    ++k;

    // A bit beyond the constellation's satellite numbers is decoded (to keep
    // the positions in step) but not stored under another system's index.
    const int sat_index = SatSystemOf(system.constellation).first + bit;
    MeasSatEntry scratch;
    MeasSatEntry* entry = &scratch;
    if (sat_index <= 255 &&
        SatIndexConstellation(static_cast<uint8_t>(sat_index)) == system.constellation) {
      entry = FindOrAddEntry(record, index, static_cast<uint8_t>(sat_index));
    }
    entry->sat_index = static_cast<uint8_t>(sat_index);
    entry->glo_freq = c == kGlonass ? static_cast<uint8_t>(glo_k + 8) : 0;

    ref->used_bits[c] |= uint64_t{1} << bit;
    CompactRefSat* ref_sat = &ref->sats[c][bit];
    CompactRefSignal* ref_sig = ref->sig[c][bit];
    const CompactMasterContext context = {
        rate_flag, header.standalone_master, base,    header.signal_list,
        glo_k,     since_reference,          ref_sat, ref_sig};
    CompactMasterResult master;
    const size_t used = DecodeCompactMaster(sub + position, available - position, context, &master);
    if (used == 0) return 0;
    position += used;
    const uint8_t m = master.master;
    ref_sat->sig_used |= static_cast<uint16_t>((1u << m) | master.slave_mask);
    int64_t range_rate = ref_sat->range_rate;
    if (reference_epoch) {
      ref_sat->master = m;
      ref_sat->slave_mask = master.slave_mask;
      ref_sat->range_rate = master.range_rate;
      range_rate = master.range_rate;
      ref_sig[m] = ToReference(master.values);
    }
    RaiseLockTime(&ref_sig[m], master.values.lock_time_ms);

    double master_doppler = MEAS_ABSENT;
    DopplerCode code;
    if (NextDopplerCode(&companions->doppler, &code) &&
        !(code.negative && code.magnitude == 0xFFFFFFFu)) {
      master_doppler = -(64.0 * range_rate + SignedCode(code)) * 0.001 / master.wavelength_m;
    }
    const double master_fraction = NextCn0Fraction(&companions->cn0);

    int n = 0;                             // slaves so far
    static_assert(kCompactSignals <= 16);  // the slave mask has a bit per signal index
    for (uint32_t slave_bits = master.slave_mask & 0xFFFEu; slave_bits != 0;
         slave_bits &= slave_bits - 1) {
      const int j = std::countr_zero(slave_bits);
      const uint8_t signal = header.signal_list[j];
      const CompactSlaveContext slave_context = {&master, signal, SignalWavelength(signal, glo_k),
                                                 &ref_sig[ref_sat->master],
                                                 &ref_sig[ref_sat->slaves[n]]};
      CompactSignalValues slave;
      const size_t slave_used =
          DecodeCompactSlave(sub + position, available - position, slave_context, &slave);
      if (slave_used == 0) return 0;
      position += slave_used;
      double slave_doppler = MEAS_ABSENT;
      if (NextDopplerCode(&companions->doppler, &code) &&
          !(code.negative && code.magnitude == 0xFFFFFu) && IsMeasPresent(master_doppler)) {
        slave_doppler = (1000.0 * master.wavelength_m * master_doppler - SignedCode(code)) * 0.001 /
                        slave_context.wavelength_m;
      }
      if (reference_epoch) {
        ref_sig[j] = ToReference(slave);
        ref_sat->slaves[n] = static_cast<uint8_t>(j);
        ref_sat->num_slaves = static_cast<uint8_t>(n + 1);
      }
      RaiseLockTime(&ref_sig[j], slave.lock_time_ms);
      const double fraction = NextCn0Fraction(&companions->cn0);
      if (j < kSignalSlots)
        StoreSignal(&entry->sig[stream][j], slave, signal, slave_doppler, fraction);
      ++n;
    }
    if (m < kSignalSlots) {
      StoreSignal(&entry->sig[stream][m], master.values, header.signal_list[m], master_doppler,
                  master_fraction);
    }
  }
  return position;
}

// Readers look at the entries below num_sats and at the one after them; the
// entries are cleared as they are added, and the one after them here.
void ClearSpareEntry(MeasEpochRecord* record) {
  if (record->num_sats < kMaxEpochSats) {
    ClearMeasSatEntry(&record->sats[record->num_sats]);
  }
}

// Hands the epoch out without satellites (its time stamp stays).
void DropSatellites(MeasEpochRecord* record) {
  record->num_sats = 0;
  ClearSpareEntry(record);
}

// Empties a reference state as if all its bytes were zero, touching only the
// satellites decoded since it was last emptied.
void ClearReference(CompactRefState* ref) {
  std::memset(ref->header_length, 0, sizeof ref->header_length);
  std::memset(ref->header, 0, sizeof ref->header);
  for (int c = 0; c < kCompactConstellations; ++c) {
    for (uint64_t bits = ref->used_bits[c]; bits != 0; bits &= bits - 1) {
      const int bit = std::countr_zero(bits);
      CompactRefSat* sat = &ref->sats[c][bit];
      for (uint32_t used = sat->sig_used; used != 0; used &= used - 1) {
        std::memset(static_cast<void*>(&ref->sig[c][bit][std::countr_zero(used)]), 0,
                    sizeof(CompactRefSignal));
      }
      std::memset(static_cast<void*>(sat), 0, sizeof *sat);
    }
    ref->used_bits[c] = 0;
  }
}

}  // namespace

bool IsCompactReferenceEpoch(const uint8_t* block) {
  return QdxBlockLength(block) >= 19 &&
         QdxBlockTow(block) % ReferenceIntervalMs(block[18] >> 4) == 0;
}

void DecodeCompactEpoch(MeasDecodeState* state, MeasEpochRecord* record) {
  record->tow_ms = 0;
  record->week = 0;
  record->num_sats = 0;
  EntryIndex index;
  std::memset(index.entry_of, 0, sizeof index.entry_of);
  MeasGatherState& g = state->gather;
  for (int stream = 0; stream < 2; ++stream) {
    const uint8_t* block = g.compact_meas[stream];
    if (!IsFilled(block)) continue;
    const size_t length = QdxBlockLength(block);
    record->tow_ms = QdxBlockTow(block);
    record->week = QdxBlockWeek(block);
    if (length < kSubBlocksOffset || block[19] > 31) {
      DropSatellites(record);
      return;
    }
    const uint32_t interval = ReferenceIntervalMs(block[18] >> 4);
    const bool rate_flag = (block[18] & 0x08) != 0;
    CompactRefState* ref = &state->compact[stream];
    const uint32_t since_reference = record->tow_ms % interval;
    if (since_reference == 0) {
      ClearReference(ref);
      ref->reference_tow = record->tow_ms;
    } else if (ref->reference_tow != record->tow_ms - since_reference) {
      if (ref->reference_tow == 0xFFFFFFFFu) ++state->deltas_without_reference;
      continue;  // the reference epoch of this stream was not received
    }
    Companions companions = {OpenCompanion(g.compact_doppler[stream]),
                             OpenCompanion(g.compact_cn0[stream])};
    // CompactSignalInfo and CompactCorrections carry nothing the record keeps.
    const uint16_t constellations = ReadU16(block + 16);
    size_t position = kSubBlocksOffset;
    const StreamDecode decode{&companions, stream, record, &index, ref, interval, rate_flag};
    for (int c = 0; c < kCompactConstellations; ++c) {
      if ((constellations >> c & 1) == 0) continue;
      const size_t used =
          DecodeCompactConstellation(block + position, length - position, c, decode);
      if (used == 0) {
        DropSatellites(record);
        return;
      }
      position += used;
    }
  }
  ClearSpareEntry(record);
}

}  // namespace kavrino

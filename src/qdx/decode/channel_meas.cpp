// ChannelMeasurements (4027) and ChannelMeasurementsVariant (5944): one main
// sub-block per satellite, each followed by the extra sub-blocks of the
// satellite's further signals.
#include <climits>
#include <cstring>

#include "core/signals.h"
#include "qdx/block.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/decode/meas_fields.h"

namespace kavrino {
namespace {

constexpr size_t kFirstSubBlock = 20;
// Every field the decoder reads lies in the first 20 bytes of a main sub-block
// and the first 12 bytes of an extra sub-block.
constexpr uint32_t kMainFieldsSize = 20;
constexpr uint32_t kExtraFieldsSize = 12;

constexpr double kPseudorangeHighUnitM = 4294967.296;

// The values of the main signal that the extra sub-blocks are coded against.
struct MainSignal {
  double pseudorange_m;
  double doppler_hz;  // full precision, before it is stored in single precision
  double wavelength_m;
  int glo_k;  // GLONASS frequency number (meaningless for other systems)
};

constexpr float kAbsentCn0 = static_cast<float>(MEAS_ABSENT);

float Cn0FromQuarters(uint8_t raw, int signal) {
  if (raw == 255) return static_cast<float>(MEAS_ABSENT);
  double cn0 = raw * 0.25;
  if (signal != 1 && signal != 2) cn0 += 10.0;  // the GPS P-code signals carry no offset
  return static_cast<float>(cn0);
}

// A filled signal slot of the values.
MeasSignal FilledSignal(int signal, double pseudorange, double carrier, double doppler, float cn0,
                        uint32_t lock_time_ms, bool no_phase) {
  return MeasSignal{pseudorange,
                    carrier,
                    static_cast<float>(doppler),
                    cn0,
                    lock_time_ms,
                    static_cast<uint8_t>(signal),
                    static_cast<uint8_t>(SIG_FLAG_FILLED | (no_phase ? SIG_FLAG_NO_PHASE : 0))};
}

// A signal carrying its pseudorange alone.
MeasSignal RangeOnlySignal(int signal, double pseudorange) {
  return FilledSignal(signal, pseudorange, MEAS_ABSENT, MEAS_ABSENT, kAbsentCn0, 0, false);
}

void StoreSignal(MeasSatEntry* sat, int antenna, const MeasSignal& values, bool* stored) {
  const int slot = StorableSlot(values.signal_type, antenna);
  if (slot < 0) return;
  sat->sig[antenna][slot] = values;
  *stored = true;
}

void DecodeExtraSignal(const uint8_t* x, const MainSignal& main, bool honour_no_phase,
                       bool ranges_only, MeasSatEntry* sat, bool* stored) {
  const uint8_t info = x[5];
  const int signal = ClassicSignalNumber(x[0], info);
  const int antenna = x[0] >> 5;

  int code_high = x[3] & 0x07;  // signed 3-bit
  if (code_high >= 4) code_high -= 8;
  const uint16_t code_low = ReadU16(x + 6);
  double pseudorange = MEAS_ABSENT;
  if (IsMeasPresent(main.pseudorange_m) && !(code_high == -4 && code_low == 0)) {
    pseudorange = main.pseudorange_m + (code_high * 65536 + code_low) * 0.001;
  }
  if (ranges_only) {
    StoreSignal(sat, antenna, RangeOnlySignal(signal, pseudorange), stored);
    return;
  }

  const double wavelength = SignalWavelength(static_cast<uint32_t>(signal), main.glo_k);
  int doppler_high = x[3] >> 3;  // signed 5-bit
  if (doppler_high >= 16) doppler_high -= 32;
  const int carrier_high = ReadI8(x + 4);
  const uint16_t carrier_low = ReadU16(x + 8);
  const uint16_t doppler_low = ReadU16(x + 10);
  double carrier = MEAS_ABSENT;
  if (IsMeasPresent(pseudorange) && !(carrier_high == -128 && carrier_low == 0)) {
    carrier = (carrier_high * 65536 + carrier_low) * 0.001 + pseudorange / wavelength;
  }
  double doppler = MEAS_ABSENT;
  if (IsMeasPresent(main.doppler_hz) && !(doppler_high == -16 && doppler_low == 0)) {
    doppler = main.doppler_hz * main.wavelength_m / wavelength +
              (doppler_high * 65536 + doppler_low) * 0.0001;
  }
  StoreSignal(sat, antenna,
              FilledSignal(signal, pseudorange, carrier, doppler, Cn0FromQuarters(x[2], signal),
                           ClassicLockTimeMs(x[1], 255), honour_no_phase && (info & 0x04) != 0),
              stored);
}

// Decodes one main sub-block at `offset` and its extra sub-blocks (those that
// lie inside the block) into `sat`. Returns true when a signal was stored.
// The sub-block layout of one block and how it is decoded.
struct ChannelLayout {
  size_t length;  // of the block
  uint32_t main_size;
  uint32_t extra_size;
  bool variant;  // ChannelMeasurementsVariant
  bool ranges_only;
};

bool DecodeSatellite(const uint8_t* block, const ChannelLayout& layout, size_t offset,
                     uint32_t entry, MeasSatEntry* sat) {
  const size_t length = layout.length;
  const uint32_t main_size = layout.main_size;
  const uint32_t extra_size = layout.extra_size;
  const bool variant = layout.variant;
  const bool ranges_only = layout.ranges_only;
  const uint8_t* m = block + offset;
  const uint8_t svid = m[2];
  const uint8_t sat_index = SvidToSatIndex(svid);
  sat->sat_index = sat_index;
  sat->glo_freq = 0;
  if (sat_index == 0) return false;
  const uint8_t info = m[18];
  if (SatIndexConstellation(sat_index) == CONST_GLONASS) {
    const uint8_t freq = info >> 3;
    if (freq < 1 || freq > 14) return false;
    sat->glo_freq = freq;
  }
  const uint8_t channel = m[0];
  sat->channel = static_cast<uint8_t>((channel == 0 || channel == 255) ? entry : channel - 1u);

  int signal = ClassicSignalNumber(m[1], info);
  if (variant && svid >= 120 && svid <= 140) signal = 24;  // SBAS L1 whatever the type byte says
  const int antenna = m[1] >> 5;
  MainSignal main{};
  const uint32_t range_high = m[3] & 0x0F;
  const uint32_t range_low = ReadU32(m + 4);
  main.pseudorange_m = (range_high == 0 && range_low == 0)
                           ? MEAS_ABSENT
                           : range_high * kPseudorangeHighUnitM + range_low * 0.001;
  bool stored = false;
  const bool honour_no_phase = !variant;
  if (ranges_only) {
    StoreSignal(sat, antenna, RangeOnlySignal(signal, main.pseudorange_m), &stored);
  } else {
    main.glo_k = (info >> 3) - 8;
    main.wavelength_m = SignalWavelength(static_cast<uint32_t>(signal), main.glo_k);
    const int32_t doppler_raw = ReadI32(m + 8);
    main.doppler_hz = doppler_raw == INT32_MIN ? MEAS_ABSENT : doppler_raw * 0.0001;
    const uint16_t carrier_low = ReadU16(m + 12);
    const int carrier_high = ReadI8(m + 14);
    double carrier = MEAS_ABSENT;
    if (IsMeasPresent(main.pseudorange_m) && !(carrier_high == -128 && carrier_low == 0)) {
      carrier =
          (carrier_high * 65536 + carrier_low) / 1000.0 + main.pseudorange_m / main.wavelength_m;
    }
    StoreSignal(
        sat, antenna,
        FilledSignal(signal, main.pseudorange_m, carrier, main.doppler_hz,
                     Cn0FromQuarters(m[15], signal), ClassicLockTimeMs(ReadU16(m + 16), 65535),
                     honour_no_phase && (info & 0x04) != 0),
        &stored);
  }

  if (extra_size >= kExtraFieldsSize) {
    const uint32_t extras = m[19];
    size_t x = offset + main_size;
    for (uint32_t j = 0; j < extras && x + extra_size <= length; ++j, x += extra_size) {
      DecodeExtraSignal(block + x, main, honour_no_phase, ranges_only, sat, &stored);
    }
  }
  return stored;
}

}  // namespace

void DecodeChannelMeasurements(const uint8_t* block, MeasEpochRecord* record, bool ranges_only) {
  // Readers look at the entries below num_sats and at the one after them;
  // only those are cleared (the whole record is 36 KB, the entries of an epoch
  // a fraction of it). A satellite tried and not kept stores no signal, so its
  // entry needs no second clearing.
  record->tow_ms = QdxBlockTow(block);
  record->week = QdxBlockWeek(block);
  record->num_sats = 0;
  ClearMeasSatEntry(&record->sats[0]);
  const size_t length = QdxBlockLength(block);
  if (length < kFirstSubBlock) return;
  const uint32_t mains = block[14];
  const uint32_t main_size = block[15];
  const uint32_t extra_size = block[16];
  // A main sub-block too short for its fields cannot be read; nor can the
  // position of the next one be trusted.
  if (main_size < kMainFieldsSize) return;

  const bool variant = QdxBlockNumber(block) == kChannelMeasVariantBlock;
  const ChannelLayout layout{length, main_size, extra_size, variant, ranges_only};
  uint32_t n = 0;
  uint32_t cleared = 1;  // entries [0, cleared) are clean or hold this epoch's data
  size_t offset = kFirstSubBlock;
  for (uint32_t i = 0; i < mains && n < kMaxEpochSats; ++i) {
    if (offset + main_size > length) break;
    const uint32_t extras = block[offset + 19];
    if (n == cleared) {
      ClearMeasSatEntry(&record->sats[n]);
      ++cleared;
    }
    if (DecodeSatellite(block, layout, offset, n, &record->sats[n])) {
      ++n;
    }
    offset += main_size + static_cast<size_t>(extras) * extra_size;
  }
  record->num_sats = n;
  if (n < kMaxEpochSats) {  // an entry tried and not kept leaves nothing behind
    if (n == cleared) ClearMeasSatEntry(&record->sats[n]);
    MeasSatEntry& spare = record->sats[n];
    spare.channel = 0;
    spare.sat_index = 0;
    spare.glo_freq = 0;
  }
}

}  // namespace kavrino

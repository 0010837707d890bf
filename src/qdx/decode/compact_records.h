// The satellite records of a compact constellation sub-block: one master
// record per satellite, then one slave record per slave signal. Pure decoding
// of bytes into values; the reference state is only read here. The full master
// and the slave records are inline, for the per-signal loop of the decoder;
// the standalone and delta master records are in compact_records.cpp.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "core/signals.h"
#include "qdx/block.h"
#include "qdx/decode/compact_state.h"
#include "qdx/decode/meas_epoch.h"

namespace kavrino {

// Lock times (ms) of the long lock-index table; the short table is its first
// eight entries.
inline constexpr uint32_t kCompactLockTimes[16] = {
    0, 60000, 30000, 15000, 10000, 5000, 2000, 1000, 500, 200, 100, 50, 40, 20, 10, 0};

// One decoded signal (C/N0 without the fraction of the companion block).
struct CompactSignalValues {
  double pseudorange_m;
  double carrier_cycles;
  double cn0_dbhz;
  uint32_t lock_time_ms;
  uint8_t flags;
};

// What a master record needs besides its bytes.
struct CompactMasterContext {
  bool rate_flag;
  uint8_t standalone_master;            // MI of the constellation header
  double base_m;                        // pseudorange base of standalone records
  const uint8_t* signal_list;           // effective list: compact index -> signal number (34: none)
  int glo_k;                            // GLONASS frequency number, -8 elsewhere
  uint32_t since_reference_ms;          // tow_ms mod interval
  const CompactRefSat* ref_sat;         // stored shape of this satellite
  const CompactRefSignal* ref_signals;  // its 16 reference signal records
};

struct CompactMasterResult {
  uint8_t master;  // compact signal index m
  double wavelength_m;
  CompactSignalValues values;
  uint16_t slave_mask;
  int16_t range_rate;  // as the record gives it (0 for delta records)
  bool is_delta;       // short or long delta record
};

// Bit fields and flags shared by the master and slave records.
namespace compact_bits {

inline uint32_t Bits(uint32_t word, int low, int high) {
  return (word >> low) & ((1u << (high - low + 1)) - 1u);
}

// Standalone and full records: filled, and without phase when the lock index is 0.
inline uint8_t FlagsForLockIndex(uint32_t lock_index) {
  return static_cast<uint8_t>(SIG_FLAG_FILLED | (lock_index == 0 ? SIG_FLAG_NO_PHASE : 0));
}

// The GPS P-code signals carry their C/N0 without the 10 dB-Hz offset.
inline bool IsPCode(uint8_t signal) {
  return signal == 1 || signal == 2;
}

}  // namespace compact_bits

// Full master record (the common one at reference epochs).
inline size_t DecodeFullMaster(const uint8_t* p, size_t available, const CompactMasterContext& ctx,
                               CompactMasterResult* out) {
  using namespace compact_bits;
  if (available < 10) return 0;
  const uint32_t w = ReadU32(p);
  const uint16_t tail = ReadU16(p + 8);
  uint32_t mask = Bits(tail, 6, 14);
  size_t size = 10;
  if ((tail & 0x8000u) != 0) {
    if (available < 11) return 0;
    mask |= static_cast<uint32_t>(p[10] & 0x7F) << 9;
    size = 11;
  }
  int16_t rate = 0;
  if (ctx.rate_flag) {
    if (available < size + 2) return 0;
    rate = ReadI16(p + size);
    size += 2;
  }
  if (mask == 0) return 0;
  const uint32_t carrier = Bits(w, 6, 27);
  const uint32_t lock_index = Bits(w, 28, 31);
  out->master = static_cast<uint8_t>(std::countr_zero(mask));
  const uint8_t signal = ctx.signal_list[out->master];
  out->wavelength_m = SignalWavelength(signal, ctx.glo_k);
  CompactSignalValues& v = out->values;
  v.pseudorange_m = (Bits(w, 2, 5) * 4294967296.0 + static_cast<double>(ReadU32(p + 4))) * 0.001;
  v.carrier_cycles =
      carrier != 0 ? v.pseudorange_m / out->wavelength_m - 2097.152 + carrier * 0.001 : MEAS_ABSENT;
  v.cn0_dbhz = Bits(tail, 0, 5) + (IsPCode(signal) ? 0.0 : 10.0);
  v.lock_time_ms = kCompactLockTimes[lock_index];
  v.flags = FlagsForLockIndex(lock_index);
  out->slave_mask = static_cast<uint16_t>(mask & ~(1u << out->master));
  out->range_rate = rate;
  out->is_delta = false;
  return size;
}

// Standalone and delta master records.
size_t DecodeOtherMaster(const uint8_t* p, size_t available, const CompactMasterContext& ctx,
                         CompactMasterResult* out);

// Decodes the master record at `p` with `available` bytes left in the block.
// Returns the bytes consumed, 0 when the record runs past the end or is a full
// record with an empty signal mask.
inline size_t DecodeCompactMaster(const uint8_t* p, size_t available,
                                  const CompactMasterContext& ctx, CompactMasterResult* out) {
  if (available < 1) return 0;
  if ((p[0] & 0x03) == 0) return DecodeFullMaster(p, available, ctx, out);
  return DecodeOtherMaster(p, available, ctx, out);
}

// What a slave record needs: the master just decoded and the references.
struct CompactSlaveContext {
  const CompactMasterResult* master;
  uint8_t signal;  // signal number of the slave
  double wavelength_m;
  const CompactRefSignal* ref_master;  // reference record of the stored master index
  const CompactRefSignal* ref_slave;   // reference record of the n-th stored slave
};

// Decodes the slave record at `p`; returns the bytes consumed or 0. Inline: it
// runs once per slave signal, in the loop that also stores the signal.
inline size_t DecodeCompactSlave(const uint8_t* p, size_t available, const CompactSlaveContext& ctx,
                                 CompactSignalValues* out) {
  using namespace compact_bits;
  if (available < 1) return 0;
  const CompactMasterResult& master = *ctx.master;
  const double pm = master.values.pseudorange_m;
  const double lm = master.values.carrier_cycles;
  const double lambda_m = master.wavelength_m;
  const double lambda_s = ctx.wavelength_m;
  if ((p[0] & 0x01) != 0) {  // standalone, 5 bytes
    if (available < 5) return 0;
    const uint32_t w = ReadU32(p);
    const uint32_t carrier = Bits(w, 1, 16);
    const uint32_t code = Bits(w, 17, 31);
    const uint32_t lock_index = p[4] & 0x07u;
    const uint32_t cn0 = p[4] >> 3;
    out->pseudorange_m = lambda_s > lambda_m ? pm + code * 0.001 - 10.0 : pm - code * 0.001 + 10.0;
    out->carrier_cycles = carrier != 0 ? out->pseudorange_m / lambda_s +
                                             (lm - pm / lambda_m) * lambda_s / lambda_m - 32.768 +
                                             carrier * 0.001
                                       : MEAS_ABSENT;
    out->cn0_dbhz = IsPCode(ctx.signal) ? master.values.cn0_dbhz - 3.0 - cn0 : cn0 + 24.0;
    out->lock_time_ms = kCompactLockTimes[lock_index];
    out->flags = FlagsForLockIndex(lock_index);
    return 5;
  }
  if ((p[0] & 0x03) == 0x02) {  // delta, 3 bytes
    if (available < 3) return 0;
    const uint16_t w = ReadU16(p);
    const uint32_t code = Bits(w, 2, 13);
    const uint32_t cn0_delta = Bits(w, 14, 15);
    const CompactRefSignal& rm = *ctx.ref_master;
    const CompactRefSignal& rs = *ctx.ref_slave;
    // The slave follows the master's carrier change since the reference
    // epoch; without that change neither of its values can be formed.
    if (IsMeasPresent(lm) && IsMeasPresent(rm.carrier_cycles)) {
      out->carrier_cycles =
          p[2] * 0.001 + lambda_m * (lm - rm.carrier_cycles) / lambda_s + rs.carrier_cycles - 0.128;
      out->pseudorange_m = lambda_s * (out->carrier_cycles - rs.carrier_cycles) + rs.pseudorange_m -
                           2.048 + code * 0.001;
    } else {
      out->carrier_cycles = MEAS_ABSENT;
      out->pseudorange_m = MEAS_ABSENT;
    }
    out->cn0_dbhz = rs.cn0_dbhz - 2.0 + cn0_delta;
    out->lock_time_ms = rs.lock_time_ms;
    out->flags = static_cast<uint8_t>(rs.flags & (SIG_FLAG_FILLED | SIG_FLAG_NO_PHASE));
    return 3;
  }
  // full, 7 bytes
  if (available < 7) return 0;
  const uint32_t w = ReadU32(p);
  const uint32_t carrier = Bits(w, 2, 23);
  const uint32_t lock_index = Bits(w, 24, 27);
  const uint32_t code = (Bits(w, 28, 30) << 16) | ReadU16(p + 4);
  out->pseudorange_m = pm + code * 0.001 - 262.144;
  out->carrier_cycles =
      carrier != 0 ? out->pseudorange_m / lambda_s - 2097.152 + carrier * 0.001 : MEAS_ABSENT;
  out->cn0_dbhz = (p[6] & 0x3Fu) + (IsPCode(ctx.signal) ? 0.0 : 10.0);
  out->lock_time_ms = kCompactLockTimes[lock_index];
  out->flags = FlagsForLockIndex(lock_index);
  return 7;
}

}  // namespace kavrino

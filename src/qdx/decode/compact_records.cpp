// Standalone and delta master records of the compact measurement family; the
// full master and the slave records are inline in compact_records.h.
#include "qdx/decode/compact_records.h"

#include "core/signals.h"
#include "qdx/block.h"
#include "qdx/decode/meas_epoch.h"

namespace kavrino {
namespace {

using compact_bits::Bits;
using compact_bits::FlagsForLockIndex;

size_t DecodeStandaloneMaster(const uint8_t* p, size_t available, const CompactMasterContext& ctx,
                              CompactMasterResult* out) {
  const size_t size = ctx.rate_flag ? 10 : 8;
  if (available < size) return 0;
  const uint32_t w = ReadU32(p);
  const uint32_t carrier = Bits(w, 1, 18);
  const uint32_t lock_index = Bits(w, 20, 22);
  out->master = ctx.standalone_master;
  const uint8_t signal = ctx.signal_list[out->master];
  out->wavelength_m = SignalWavelength(signal, ctx.glo_k);
  CompactSignalValues& v = out->values;
  v.pseudorange_m =
      ctx.base_m + (Bits(w, 19, 19) * 4294967296.0 + static_cast<double>(ReadU32(p + 4))) * 0.001;
  v.carrier_cycles =
      carrier != 0 ? v.pseudorange_m / out->wavelength_m - 131.072 + carrier * 0.001 : MEAS_ABSENT;
  v.cn0_dbhz = Bits(w, 23, 27) + 24.0;
  v.lock_time_ms = kCompactLockTimes[lock_index];
  v.flags = FlagsForLockIndex(lock_index);
  out->slave_mask = static_cast<uint16_t>((Bits(w, 28, 31) << (out->master + 1)) & 0xFFFFu);
  out->range_rate = ctx.rate_flag ? ReadI16(p + 8) : 0;
  out->is_delta = false;
  return size;
}

// Short (4 bytes) and long (5 bytes) delta records, against the reference epoch.
size_t DecodeDeltaMaster(const uint8_t* p, size_t available, const CompactMasterContext& ctx,
                         bool is_long, CompactMasterResult* out) {
  const size_t size = is_long ? 5 : 4;
  if (available < size) return 0;
  uint32_t code, carrier, cn0_delta;
  if (is_long) {
    const uint32_t w = ReadU32(p + 1);
    code = (static_cast<uint32_t>(p[0] >> 4) << 13) | Bits(w, 0, 12);
    cn0_delta = Bits(w, 13, 15);
    carrier = Bits(w, 16, 31);
  } else {
    const uint32_t w = ReadU32(p);
    cn0_delta = Bits(w, 2, 3);
    code = Bits(w, 4, 17);
    carrier = Bits(w, 18, 31);
  }
  out->master = ctx.ref_sat->master;
  const CompactRefSignal& rm = ctx.ref_signals[out->master];
  out->wavelength_m = SignalWavelength(ctx.signal_list[out->master], ctx.glo_k);
  const int64_t rate = ctx.ref_sat->range_rate;
  const double prediction =
      static_cast<double>(64 * rate * static_cast<int64_t>(ctx.since_reference_ms) / 1000) * 0.001;
  CompactSignalValues& v = out->values;
  if (is_long) {
    v.pseudorange_m = rm.pseudorange_m + prediction + code * 0.001 - 65.536;
    v.carrier_cycles = carrier != 0 ? carrier * 0.001 +
                                          (v.pseudorange_m - rm.pseudorange_m) / out->wavelength_m +
                                          rm.carrier_cycles - 32.768
                                    : MEAS_ABSENT;
    v.cn0_dbhz = rm.cn0_dbhz - 4.0 + cn0_delta;
  } else {
    v.pseudorange_m = rm.pseudorange_m + prediction + code * 0.001 - 8.192;
    v.carrier_cycles = carrier != 0 ? (v.pseudorange_m - rm.pseudorange_m) / out->wavelength_m +
                                          rm.carrier_cycles - 8.192 + carrier * 0.001
                                    : MEAS_ABSENT;
    v.cn0_dbhz = rm.cn0_dbhz - 1.0 + cn0_delta;
  }
  v.lock_time_ms = rm.lock_time_ms;
  v.flags = static_cast<uint8_t>(rm.flags & (SIG_FLAG_FILLED | SIG_FLAG_NO_PHASE));
  out->slave_mask = ctx.ref_sat->slave_mask;
  out->range_rate = ctx.ref_sat->range_rate;
  out->is_delta = true;
  return size;
}

}  // namespace

size_t DecodeOtherMaster(const uint8_t* p, size_t available, const CompactMasterContext& ctx,
                         CompactMasterResult* out) {
  if ((p[0] & 0x01) != 0) return DecodeStandaloneMaster(p, available, ctx, out);
  return DecodeDeltaMaster(p, available, ctx, (p[0] & 0x0F) == 0x0E, out);
}

}  // namespace kavrino

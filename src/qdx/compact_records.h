// The satellite records of a compact constellation sub-block: one master
// record per satellite, then one slave record per slave signal. Pure decoding
// of bytes into values; the reference state is only read here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qdx/compact_state.h"

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

// Decodes the master record at `p` with `available` bytes left in the block.
// Returns the bytes consumed, 0 when the record runs past the end or is a full
// record with an empty signal mask.
size_t DecodeCompactMaster(const uint8_t* p, size_t available, const CompactMasterContext& ctx,
                           CompactMasterResult* out);

// What a slave record needs: the master just decoded and the references.
struct CompactSlaveContext {
  const CompactMasterResult* master;
  uint8_t signal;  // signal number of the slave
  double wavelength_m;
  const CompactRefSignal* ref_master;  // reference record of the stored master index
  const CompactRefSignal* ref_slave;   // reference record of the n-th stored slave
};

// Decodes the slave record at `p`; returns the bytes consumed or 0.
size_t DecodeCompactSlave(const uint8_t* p, size_t available, const CompactSlaveContext& ctx,
                          CompactSignalValues* out);

}  // namespace kavrino

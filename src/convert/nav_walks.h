// The walks of the navigation products: each goes over the whole input from
// the reader's position and writes one record per new ephemeris of a
// satellite (or per raw SBAS message) inside the window.
#pragma once

#include <cstdint>

#include "convert/options.h"
#include "convert/progress.h"
#include "core/out_stream.h"
#include "qdx/decode/correction_blocks.h"
#include "qdx/reader.h"

namespace kavrino {

// The walks navigation products are made of; the mixed file makes one per
// system, the others one each.
enum class NavRun { kGps, kGlonass, kGalileo, kSbas, kBeidou, kQzss, kSbasBroadcast };

// Everything the walks of one product share.
struct NavPass {
  const ConvertOptions* options = nullptr;
  QdxReader* reader = nullptr;
  OutStream* out = nullptr;
  TimeWindow window;                          // settled on the data
  RinexVersion version = RinexVersion::k211;  // of the records; 3.04 inside the mixed file
  NavCorrections corrections;  // the GPS and Galileo walks keep their correction blocks here
  const ProgressSink* sink = nullptr;
  ProgressRange range;  // of the walk about to run
};

// Runs one walk; true when it wrote a record.
bool RunNavWalk(NavPass* pass, NavRun run);

// Block time of the last record of every satellite index and the change key of
// that record (none at first).
struct NavRecordTable {
  int64_t last_ms[256] = {};
  int64_t last_key[256];
  NavRecordTable();
};

// True, remembering time and key, when a block at `block_ms` with change key
// `key` makes a new record for the satellite: it is later than the satellite's
// last record and carries a different key.
bool TakeNavRecord(NavRecordTable* table, uint8_t sat_index, int64_t block_ms, int64_t key);

}  // namespace kavrino

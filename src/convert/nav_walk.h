// Pieces shared by the navigation generators: the block walk with its progress
// bar, the per-satellite record table and the week and time helpers.
#pragma once

#include <cstdint>
#include <memory>

namespace kavrino {

struct QdxReader;

// One walk over the blocks of a reader, from its current position. The block
// buffer is allocated once per walk.
struct NavWalk {
  QdxReader* reader = nullptr;
  std::unique_ptr<uint8_t[]> buffer;
  bool progress = false;
  int progress_from = 0;
  int progress_to = 0;
  int64_t file_size = 0;
  bool started = false;
};

void StartNavWalk(NavWalk* walk, QdxReader* reader, uint32_t flags, int progress_from,
                  int progress_to);
// The next block of any number, or nullptr at the end of the file. Moves the
// progress bar (with FLAG_VERBOSE) past the block returned before.
const uint8_t* NextNavBlock(NavWalk* walk);

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

// Seconds of week of the block time, one week more or less when the block's
// week is one before or after the ephemeris week.
double NavTransmissionTime(uint32_t tow_ms, int64_t block_week, int64_t toe_week);

// User range accuracy in metres of a URA index (GPS, QZSS, BeiDou).
double UraMetres(uint8_t index);

}  // namespace kavrino

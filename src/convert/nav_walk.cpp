#include "convert/nav_walk.h"

#include <cstdio>

#include "app/file_io.h"
#include "app/settings.h"
#include "qdx/block.h"
#include "qdx/reader.h"

namespace kavrino {

void StartNavWalk(NavWalk* walk, QdxReader* reader, uint32_t flags, int progress_from,
                  int progress_to) {
  walk->reader = reader;
  walk->buffer = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  walk->progress = (flags & FLAG_VERBOSE) != 0;
  walk->progress_from = progress_from;
  walk->progress_to = progress_to;
  // The file size is taken once per walk, not once per block.
  walk->file_size = walk->progress ? QdxFileSize(reader) : 0;
  walk->started = false;
}

const uint8_t* NextNavBlock(NavWalk* walk) {
  if (walk->started && walk->progress) {
    UpdateProgressAt(stdout, walk->progress_from, walk->progress_to, QdxTell(walk->reader),
                     walk->file_size);
  }
  walk->started = true;
  if (GetNextQdxBlock(walk->reader, walk->buffer.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) !=
      0) {
    return nullptr;
  }
  return walk->buffer.get();
}

NavRecordTable::NavRecordTable() {
  for (int64_t& key : last_key) key = -1;  // keys read from blocks are never negative
}

bool TakeNavRecord(NavRecordTable* table, uint8_t sat_index, int64_t block_ms, int64_t key) {
  if (block_ms <= table->last_ms[sat_index] || key == table->last_key[sat_index]) return false;
  table->last_ms[sat_index] = block_ms;
  table->last_key[sat_index] = key;
  return true;
}

double NavTransmissionTime(uint32_t tow_ms, int64_t block_week, int64_t toe_week) {
  double t = tow_ms / 1000.0;
  if (block_week == toe_week - 1) t -= 604800.0;
  if (block_week == toe_week + 1) t += 604800.0;
  return t;
}

double UraMetres(uint8_t index) {
  static constexpr double kUra[] = {2.0,  2.8,   4.0,   5.7,   8.0,    11.3,   16.0,  32.0,
                                    64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0, 4096.0};
  return index < sizeof kUra / sizeof kUra[0] ? kUra[index] : 8192.0;
}

}  // namespace kavrino

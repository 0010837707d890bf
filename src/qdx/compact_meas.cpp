#include "qdx/compact_meas.h"

#include <cstring>

#include "qdx/block.h"

namespace kavrino {

void DecodeCompactEpoch(QdxReader* reader, MeasEpochRecord* record) {
  std::memset(record, 0, sizeof *record);
  const uint8_t* block = reader->gather.compact_meas[0];
  record->tow_ms = QdxBlockTow(block);
  record->week = QdxBlockWeek(block);
  // The compact decoder fills the satellites; until then the epoch is handed out empty.
}

}  // namespace kavrino

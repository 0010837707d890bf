// GLONASS navigation records from GloEphemeris blocks, and the record writer
// shared with the SBAS records.
#include <array>
#include <vector>

#include "app/file_io.h"
#include "app/settings.h"
#include "core/signals.h"
#include "core/time.h"
#include "qdx/block.h"
#include "qdx/reader.h"
#include "rinex/nav/glo_sbas_nav.h"
#include "rinex/nav/nav_format.h"

namespace kavrino {
namespace {

// GLONASS reference times fall on quarter hours of UTC.
constexpr uint32_t kQuarterHour = 900;
constexpr int64_t kFrameTimeStep = 30;

}  // namespace

bool DecodeGloEphemeris(const uint8_t* block, int version, CartesianNavRecord* record) {
  if (QdxBlockLength(block) < kGloEphemerisMinLength) return false;
  const uint32_t t_oe = ReadU32(block + 76);
  const int64_t week = WidenWeek(ReadU16(block + 80), QdxBlockWeek(block), 10);
  // The GPS-UTC offset: what t_oe lies past its quarter hour of UTC.
  const uint32_t r = t_oe % kQuarterHour;
  const int64_t period = IsRinex2(version) ? kSecondsPerDay : kSecondsPerWeek;
  const int64_t frame_s = QdxBlockTow(block) / 1000;
  int64_t tk = (frame_s + period - r) % period;
  tk -= tk % kFrameTimeStep;

  record->sat_index = SvidToSatIndex(block[14]);
  record->epoch = GpsSecondsFromWeek(week, t_oe) - r;
  record->start[0] = -static_cast<double>(ReadF32(block + 68));
  record->start[1] = ReadF32(block + 64);
  record->start[2] = static_cast<double>(tk);
  const double health = block[85];
  const double frequency = static_cast<int>(block[15]) - 8;
  const double age = block[84];
  const double last[3] = {health, frequency, age};
  for (int axis = 0; axis < 3; ++axis) {
    record->orbit[axis][0] = ReadF64(block + 16 + 8 * axis);
    record->orbit[axis][1] = ReadF32(block + 40 + 4 * axis);
    record->orbit[axis][2] = ReadF32(block + 52 + 4 * axis);
    record->orbit[axis][3] = last[axis];
  }
  return true;
}

void WriteCartesianNavRecord(FILE* out, const CartesianNavRecord& record, int version) {
  WriteNavRecordStart(out, record.sat_index, version, record.epoch, record.start[0],
                      record.start[1], record.start[2]);
  for (const auto& line : record.orbit) {
    WriteOrbitLine(out, version, line[0], line[1], line[2], line[3]);
  }
}

void ConvertGloEphemeris(FILE* out, const uint8_t* block, int version) {
  CartesianNavRecord record;
  if (DecodeGloEphemeris(block, version, &record)) WriteCartesianNavRecord(out, record, version);
}

int GenerateGloNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                   int version, int progress_from, int progress_to) {
  std::vector<uint8_t> buffer(kQdxMaxBlockSize);
  uint8_t* block = buffer.data();
  // Block time of the last record of each satellite (0: none yet).
  std::array<int64_t, 256> last_ms{};
  bool wrote = false;
  while (GetNextQdxBlock(reader, block, kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) == 0) {
    if (QdxBlockNumber(block) == kGloEphemerisBlock && IsQdxTimeValid(block) &&
        QdxBlockLength(block) >= kGloEphemerisMinLength) {
      const int64_t t = QdxBlockTimeMs(block);
      const uint8_t sat = SvidToSatIndex(block[14]);
      if (IsInWindow(t, start_ms, end_ms) && IsNumberedSat(sat, CONST_GLONASS) &&
          t > last_ms[sat]) {
        ConvertGloEphemeris(out, block, version);
        last_ms[sat] = t;
        wrote = true;
      }
    }
    if (flags & FLAG_VERBOSE) UpdateProgress(reader, progress_from, progress_to);
  }
  return wrote ? 0 : 2;
}

}  // namespace kavrino

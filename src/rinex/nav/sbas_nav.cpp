// SBAS navigation records from SbasNavigation blocks.
#include <array>
#include <iterator>
#include <vector>

#include "app/file_io.h"
#include "app/settings.h"
#include "core/signals.h"
#include "core/time.h"
#include "qdx/block.h"
#include "qdx/reader.h"
#include "rinex/nav/glo_sbas_nav.h"

namespace kavrino {
namespace {

constexpr uint16_t kUraUnusable = 15;

// URA index 0..14 in metres.
constexpr double kUraMetres[] = {2.0,  2.8,   4.0,   5.7,   8.0,    11.3,   16.0,  32.0,
                                 64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0, 4096.0};

int64_t FloorMod(int64_t value, int64_t period) {
  const int64_t m = value % period;
  return m < 0 ? m + period : m;
}

}  // namespace

double SbasUraMetres(uint16_t index) {
  return index < std::size(kUraMetres) ? kUraMetres[index] : 32767.0;
}

int64_t PlaceSbasTimeOfDay(int64_t reception_s, uint32_t t0) {
  const int64_t d =
      static_cast<int64_t>(t0 % kSecondsPerDay) - FloorMod(reception_s, kSecondsPerDay);
  int64_t epoch = reception_s + d;
  if (d > kSecondsPerDay / 2) epoch -= kSecondsPerDay;
  if (d < -kSecondsPerDay / 2) epoch += kSecondsPerDay;
  return epoch;
}

bool DecodeSbasNavigation(const uint8_t* block, CartesianNavRecord* record) {
  if (QdxBlockLength(block) < kSbasNavigationMinLength) return false;
  const uint16_t ura = ReadU16(block + 18);
  const int64_t reception_s =
      static_cast<int64_t>(QdxBlockWeek(block)) * kSecondsPerWeek + QdxBlockTow(block) / 1000;
  const int64_t epoch = PlaceSbasTimeOfDay(reception_s, ReadU32(block + 20));
  // The second before the reception, counted from the start of the epoch's week.
  const int64_t transmission = reception_s - 1 - (epoch - FloorMod(epoch, kSecondsPerWeek));

  record->sat_index = SvidToSatIndex(block[14]);
  record->epoch = static_cast<double>(epoch);
  record->start[0] = ReadF32(block + 96);
  record->start[1] = ReadF32(block + 100);
  record->start[2] = static_cast<double>(transmission);
  const double last[3] = {ura == kUraUnusable ? 63.0 : 31.0, SbasUraMetres(ura),
                          static_cast<double>(ReadU16(block + 16))};
  for (int axis = 0; axis < 3; ++axis) {
    record->orbit[axis][0] = ReadF64(block + 24 + 8 * axis) / 1000.0;
    record->orbit[axis][1] = ReadF64(block + 48 + 8 * axis) / 1000.0;
    record->orbit[axis][2] = ReadF64(block + 72 + 8 * axis) / 1000.0;
    record->orbit[axis][3] = last[axis];
  }
  return true;
}

void ConvertSbasNavigation(FILE* out, const uint8_t* block, int version) {
  CartesianNavRecord record;
  if (DecodeSbasNavigation(block, &record)) WriteCartesianNavRecord(out, record, version);
}

int GenerateSbasNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                    int version, int progress_from, int progress_to) {
  std::vector<uint8_t> buffer(kQdxMaxBlockSize);
  uint8_t* block = buffer.data();
  // Block time (0: none yet) and t0 (-1: none yet) of the last record of each satellite.
  std::array<int64_t, 256> last_ms{};
  std::array<int64_t, 256> last_t0;
  last_t0.fill(-1);
  bool wrote = false;
  while (GetNextQdxBlock(reader, block, kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) == 0) {
    if (QdxBlockNumber(block) == kSbasNavigationBlock && IsQdxTimeValid(block) &&
        QdxBlockLength(block) >= kSbasNavigationMinLength) {
      const int64_t t = QdxBlockTimeMs(block);
      const uint8_t sat = SvidToSatIndex(block[14]);
      const int64_t t0 = ReadU32(block + 20);
      if (IsInWindow(t, start_ms, end_ms) && IsNumberedSat(sat, CONST_SBAS) && t > last_ms[sat] &&
          t0 != last_t0[sat]) {
        ConvertSbasNavigation(out, block, version);
        last_ms[sat] = t;
        last_t0[sat] = t0;
        wrote = true;
      }
    }
    if (flags & FLAG_VERBOSE) UpdateProgress(reader, progress_from, progress_to);
  }
  return wrote ? 0 : 2;
}

}  // namespace kavrino

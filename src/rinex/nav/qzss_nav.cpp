// The QZSS generator: QzsEphemeris blocks share the GPS layout and loop; QZSS
// records exist only in the mixed file.
#include "rinex/nav/kepler_records.h"
#include "rinex/nav/nav_format.h"
#include "convert/nav_generators.h"
#include "convert/nav_walk.h"

namespace kavrino {

void WriteQzssNavRecord(FILE* out, const GpsEphemerisBlock& eph, uint8_t sat_index) {
  constexpr int kVersion = 3;
  const int64_t week_toe = WriteGpsLayoutStart(out, eph, sat_index, kVersion);
  if (eph.tgd <= kNavValueAbsent) {
    WriteOrbitLineWithGap(out, kVersion, UraMetres(eph.ura_index), eph.health, eph.iodc);
  } else {
    WriteOrbitLine(out, kVersion, UraMetres(eph.ura_index), eph.health, eph.tgd, eph.iodc);
  }
  WriteOrbitLine(out, kVersion, NavTransmissionTime(eph.tow_ms, eph.week, week_toe), eph.fit_flag);
}

int GenerateQzssNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                    int progress_from, int progress_to) {
  return GenerateGpsLayoutNav(reader, start_ms, end_ms, out, flags, 3, progress_from, progress_to,
                              true, nullptr, nullptr);
}

}  // namespace kavrino

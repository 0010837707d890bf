#include "rinex/nav/cartesian_records.h"

#include <iterator>

#include "core/signals.h"
#include "core/time.h"
#include "rinex/nav/nav_format.h"

namespace kavrino {
namespace {

// GLONASS reference times fall on quarter hours of UTC.
constexpr uint32_t kQuarterHour = 900;
constexpr int64_t kFrameTimeStep = 30;
constexpr uint16_t kUraUnusable = 15;

// URA index 0..14 in metres.
constexpr double kUraMetres[] = {2.0,  2.8,   4.0,   5.7,   8.0,    11.3,   16.0,  32.0,
                                 64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0, 4096.0};

int64_t FloorMod(int64_t value, int64_t period) {
  const int64_t m = value % period;
  return m < 0 ? m + period : m;
}

}  // namespace

CartesianNavRecord MakeGloNavRecord(const GloEphemerisBlock& eph, RinexVersion version) {
  const int64_t week = WidenWeek(eph.week_toe, eph.week, 10);
  // The GPS-UTC offset: what t_oe lies past its quarter hour of UTC.
  const uint32_t r = eph.t_oe % kQuarterHour;
  const int64_t period = IsRinex2(version) ? kSecondsPerDay : kSecondsPerWeek;
  const int64_t frame_s = eph.tow_ms / 1000;
  int64_t tk = (frame_s + period - r) % period;
  tk -= tk % kFrameTimeStep;

  CartesianNavRecord record;
  record.sat_index = SvidToSatIndex(eph.svid);
  record.epoch = GpsSecondsFromWeek(week, eph.t_oe) - r;
  record.start[0] = -static_cast<double>(eph.tau);
  record.start[1] = eph.gamma;
  record.start[2] = static_cast<double>(tk);
  const double last[3] = {static_cast<double>(eph.health),
                          static_cast<double>(static_cast<int>(eph.freq_nr) - 8),
                          static_cast<double>(eph.age)};
  for (int axis = 0; axis < 3; ++axis) {
    record.orbit[axis][0] = eph.position[axis];
    record.orbit[axis][1] = eph.velocity[axis];
    record.orbit[axis][2] = eph.acceleration[axis];
    record.orbit[axis][3] = last[axis];
  }
  return record;
}

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

CartesianNavRecord MakeSbasNavRecord(const SbasNavigationBlock& eph) {
  const int64_t reception_s = static_cast<int64_t>(eph.week) * kSecondsPerWeek + eph.tow_ms / 1000;
  const int64_t epoch = PlaceSbasTimeOfDay(reception_s, eph.t0);
  // The second before the reception, counted from the start of the epoch's week.
  const int64_t transmission = reception_s - 1 - (epoch - FloorMod(epoch, kSecondsPerWeek));

  CartesianNavRecord record;
  record.sat_index = SvidToSatIndex(eph.svid);
  record.epoch = static_cast<double>(epoch);
  record.start[0] = eph.agf0;
  record.start[1] = eph.agf1;
  record.start[2] = static_cast<double>(transmission);
  const double last[3] = {eph.ura == kUraUnusable ? 63.0 : 31.0, SbasUraMetres(eph.ura),
                          static_cast<double>(eph.iodn)};
  for (int axis = 0; axis < 3; ++axis) {
    record.orbit[axis][0] = eph.position[axis] / 1000.0;
    record.orbit[axis][1] = eph.velocity[axis] / 1000.0;
    record.orbit[axis][2] = eph.acceleration[axis] / 1000.0;
    record.orbit[axis][3] = last[axis];
  }
  return record;
}

void WriteCartesianNavRecord(OutStream* out, const CartesianNavRecord& record,
                             RinexVersion version) {
  WriteNavRecordStart(out, record.sat_index, version, record.epoch, record.start[0],
                      record.start[1], record.start[2]);
  for (const auto& line : record.orbit) {
    WriteOrbitLine(out, version, line[0], line[1], line[2], line[3]);
  }
}

}  // namespace kavrino

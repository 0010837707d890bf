// Writes many synthetic observation epochs to /dev/null and reports the rate.
#include "rinex/obs/obs_epoch.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "core/rinex_version.h"
#include "qdx/decode/meas_epoch.h"
#include "rinex/obs/obs_types.h"

using namespace kavrino;

namespace {

void FillEpoch(MeasEpochRecord* rec, uint32_t tow_ms) {
  std::memset(rec, 0, sizeof *rec);
  rec->tow_ms = tow_ms;
  rec->week = 2300;
  const uint8_t sats[] = {1, 3, 5, 8, 12, 17, 22, 28, 40, 45, 50, 55, 72, 80, 90, 101};
  for (uint8_t index : sats) {
    MeasSatEntry& e = rec->sats[rec->num_sats++];
    e.sat_index = index;
    const bool glonass = index >= 38 && index <= 67;
    const bool galileo = index >= 71;
    const uint8_t types[3] = {static_cast<uint8_t>(glonass   ? 8
                                                   : galileo ? 17
                                                             : 0),
                              static_cast<uint8_t>(glonass   ? 10
                                                   : galileo ? 20
                                                             : 2),
                              static_cast<uint8_t>(glonass   ? 11
                                                   : galileo ? 21
                                                             : 4)};
    for (int s = 0; s < 3; ++s) {
      MeasSignal& sig = e.sig[0][s];
      sig.signal_type = types[s];
      sig.flags = SIG_FLAG_FILLED;
      sig.pseudorange_m = 2.1e7 + index * 1234.5678 + tow_ms * 0.0007 + s;
      sig.carrier_cycles = sig.pseudorange_m / 0.19 + s * 0.25;
      sig.doppler_hz = static_cast<float>(-1500.125 + index + s);
      sig.cn0_dbhz = 35.5f + s;
      sig.lock_time_ms = tow_ms;
    }
  }
}

}  // namespace

bool Discard(void*, const char*, size_t) {
  return true;
}

int main() {
  OutStream out;
  OpenOutStream(&out, ByteSink{nullptr, Discard});
  static MeasEpochRecord rec;
  static LockHistory history;
  for (RinexVersion version : {RinexVersion::k211, RinexVersion::k304}) {
    ObsTypeLayout layout;
    BuildObsTypeLayout(&layout, ~0ULL, true, true, false, version);
    const ObsRecordContext context{&layout, 1, &history};
    const int epochs = 100000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < epochs; ++i) {
      FillEpoch(&rec, static_cast<uint32_t>(i) * 1000);
      WriteObsEpoch(&out, context, rec, i == 0);
    }
    FlushOutStream(&out);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("RINEX %s: %d epochs of %u satellites in %.3f s (%.1f us/epoch)\n",
                IsRinex2(version) ? "2.11" : "3.04", epochs, rec.num_sats, took.count(),
                took.count() * 1e6 / epochs);
  }
  return 0;
}

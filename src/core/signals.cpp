// Satellite and signal numbering tables. Every lookup is a table index: these
// run per satellite and per signal of every epoch.
#include "core/signals.h"

#include <array>

#include "core/diag.h"

namespace kavrino {

using namespace signal_data;

namespace {

constexpr std::array<uint64_t, 8> kConstellationMask = {
    kGpsSignalMask,    kGalileoSignalMask, kSbasSignalMask,  kGlonassSignalMask,
    kBeidouSignalMask, kQzssSignalMask,    kNavicSignalMask, 0,
};

// The per-constellation masks must agree with the table.
constexpr bool MasksMatchTable() {
  for (int c = 0; c < 8; ++c) {
    uint64_t mask = 0;
    for (int s = 0; s < kSignalCount; ++s) {
      if (c != CONST_OTHER && kSignalTable[s].constellation == c) mask |= uint64_t{1} << s;
    }
    if (mask != kConstellationMask[c]) return false;
  }
  return true;
}
static_assert(MasksMatchTable());

}  // namespace

void signal_data::SignalNumberOutOfRange() {
  AssertFailed("gnssdef", "sigtypes", "GetSignalIndexInConstellation", 322);
}

const char* GetSignalRinex3Code(uint8_t signal) {
  return signal < kSignalCount ? kSignalTable[signal].code : "??";
}

const char* GetSignalName(uint8_t signal) {
  return signal < kSignalCount ? kSignalTable[signal].name : nullptr;
}

uint64_t ConstellationSignalMask(uint8_t constellation) {
  return constellation < kConstellationMask.size() ? kConstellationMask[constellation] : 0;
}

double signal_data::FdmaWavelength(uint32_t signal, int k) {
  const SignalRow& row = kSignalTable[signal];
  // The channel offset is a whole number of hertz in a signed 32-bit value; the
  // product is formed in 64 bits and wrapped so that an out-of-range frequency
  // number read from a damaged file cannot overflow.
  int64_t offset64 = static_cast<int64_t>(k) * row.glonass_step_hz;
  int32_t offset_hz = static_cast<int32_t>(static_cast<uint32_t>(offset64));
  return kSpeedOfLight / (row.carrier_hz + static_cast<double>(offset_hz));
}

}  // namespace kavrino

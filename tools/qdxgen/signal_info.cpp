#include "signal_info.h"

#include <cstring>

#include "core/signals.h"

namespace kavrino::qdxgen {
namespace {

constexpr double kL1 = 1575.42e6, kL2 = 1227.60e6, kL5 = 1176.45e6;

// Constellation numbers: 0 GPS, 1 Galileo, 2 SBAS, 3 GLONASS, 4 BeiDou, 5 QZSS,
// 6 NavIC, 7 other.
const SignalInfo kSignals[kNumSignals] = {
    {"GPSL1CA", 0, kL1, 0, 0, false},         {"GPSL1P", 0, kL1, 0, 1, true},
    {"GPSL2P", 0, kL2, 0, 2, true},           {"GPSL2C", 0, kL2, 0, 3, false},
    {"GPSL5", 0, kL5, 0, 4, false},           {"GPSL1C", 0, kL1, 0, 5, false},
    {"QZSL1CA", 5, kL1, 0, 0, false},         {"QZSL2C", 5, kL2, 0, 1, false},
    {"GLOL1CA", 3, 1602e6, 562500, 0, false}, {"GLOL1P", 3, 1602e6, 562500, 1, false},
    {"GLOL2P", 3, 1246e6, 437500, 2, false},  {"GLOL2CA", 3, 1246e6, 437500, 3, false},
    {"GLOL3", 3, 1202.025e6, 0, 4, false},    {"BDSB1C", 4, kL1, 0, 3, false},
    {"BDSB2a", 4, kL5, 0, 4, false},          {"IRNL5", 6, kL5, 0, 0, false},
    {nullptr, 1, kL1, 0, 0, false},           {"GALE1", 1, kL1, 0, 1, false},
    {nullptr, 1, 1278.75e6, 0, 2, false},     {"GALE6", 1, 1278.75e6, 0, 3, false},
    {"GALE5a", 1, kL5, 0, 4, false},          {"GALE5b", 1, 1207.14e6, 0, 5, false},
    {"GALE5", 1, 1191.795e6, 0, 6, false},    {nullptr, 7, kL1, 0, 0, false},
    {"SBSL1", 2, kL1, 0, 0, false},           {"SBSL5", 2, kL5, 0, 1, false},
    {"QZSL5", 5, kL5, 0, 2, false},           {"QZSL6", 5, 1278.75e6, 0, 3, false},
    {"BDSB1I", 4, 1561.098e6, 0, 0, false},   {"BDSB2I", 4, 1207.14e6, 0, 1, false},
    {"BDSB3I", 4, 1268.52e6, 0, 2, false},    {nullptr, 7, kL1, 0, 0, false},
    {"QZSL1C", 5, kL1, 0, 4, false},          {"QZSL1S", 5, kL1, 0, 5, false},
};

uint64_t Bit(int s) {
  return 1ULL << s;
}

}  // namespace

const SignalInfo& GetSignal(int signal) {
  return kSignals[signal >= 0 && signal < kNumSignals ? signal : 0];
}

double SignalHz(int signal, int k) {
  const SignalInfo& info = GetSignal(signal);
  return info.base_hz + static_cast<double>(static_cast<int32_t>(k * info.glo_step_hz));
}

double SignalLambda(int signal, int k) {
  // The converter's own rule, so that carriers decode to the very values written.
  return kavrino::SignalWavelength(static_cast<uint32_t>(signal), k);
}

int FindSignal(const char* name) {
  for (int s = 0; s < kNumSignals; ++s) {
    if (kSignals[s].name != nullptr && std::strcmp(kSignals[s].name, name) == 0) return s;
  }
  return -1;
}

uint64_t DefaultSignals(uint8_t constellation) {
  switch (constellation) {
    case 0:
      return Bit(0) | Bit(2) | Bit(3) | Bit(4);
    case 1:
      return Bit(17) | Bit(20) | Bit(21);
    case 2:
      return Bit(24) | Bit(25);
    case 3:
      return Bit(8) | Bit(11);
    case 4:
      return Bit(28) | Bit(29) | Bit(30);
    case 5:
      return Bit(6) | Bit(7) | Bit(26);
    case 6:
      return Bit(15);
    default:
      return 0;
  }
}

uint64_t SystemSignals(uint8_t constellation) {
  uint64_t mask = 0;
  for (int s = 0; s < kNumSignals; ++s) {
    if (kSignals[s].name != nullptr && kSignals[s].constellation == constellation && s != 27) {
      mask |= Bit(s);
    }
  }
  return mask;
}

}  // namespace kavrino::qdxgen

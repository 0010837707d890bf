// The receiver's signal numbers as the generator uses them: names, systems,
// carrier frequencies and slots.
#pragma once

#include <cstdint>

namespace kavrino::qdxgen {

inline constexpr int kNumSignals = 34;
inline constexpr double kLight = 299792458.0;

struct SignalInfo {
  const char* name;       // option name; nullptr when the signal has none
  uint8_t constellation;  // kavrino::Constellation number
  double base_hz;         // carrier (GLONASS: at frequency number 0)
  double glo_step_hz;     // GLONASS FDMA step per frequency number
  uint8_t slot;
  bool is_pcode;  // GPS P-code signals: C/N0 carried without the 10 dB offset
};

const SignalInfo& GetSignal(int signal);
// Carrier frequency of a signal, GLONASS frequency number k.
double SignalHz(int signal, int k);
double SignalLambda(int signal, int k);
// Signal number of a name ("GPSL1CA"), or -1.
int FindSignal(const char* name);
// Default signals of a constellation.
uint64_t DefaultSignals(uint8_t constellation);
// All signals of a constellation.
uint64_t SystemSignals(uint8_t constellation);

}  // namespace kavrino::qdxgen

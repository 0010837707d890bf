// Satellite and signal numbering: receiver SVIDs to satellite indexes, and the
// signal table (constellation, slot, carrier, RINEX 3 code).
#pragma once

#include <array>
#include <cstdint>

#include "core/satellites.h"

namespace kavrino {

inline constexpr int kSignalCount = 34;          // signal numbers 0..33
inline constexpr uint32_t kNoSignalNumber = 34;  // wavelength callers without a signal

inline constexpr double kSpeedOfLight = 299792458.0;

// Signal masks of each constellation (bit n = signal number n).
inline constexpr uint64_t kGpsSignalMask = 0x3F;
inline constexpr uint64_t kGlonassSignalMask = 0x1F00;
inline constexpr uint64_t kGalileoSignalMask = 0x7F0000;
inline constexpr uint64_t kSbasSignalMask = 0x3000000;
inline constexpr uint64_t kBeidouSignalMask = 0x70006000;
inline constexpr uint64_t kQzssSignalMask = 0x30C0000C0ULL;
inline constexpr uint64_t kNavicSignalMask = 0x8000;

// The signal table and the receiver numbering, kept here so that the lookups
// made for every satellite and signal of every epoch are inlined.
namespace signal_data {

struct SignalRow {
  const char* name;  // -I/-E name, nullptr when the signal cannot be chosen by name
  uint8_t constellation;
  uint8_t slot;
  char code[3];             // RINEX 3 observation code, "??" when none
  double carrier_hz;        // carrier frequency (GLONASS: for frequency number 0)
  int32_t glonass_step_hz;  // GLONASS FDMA channel spacing, 0 for the fixed bands
};

inline constexpr double kL1 = 1575420000.0;
inline constexpr double kL2 = 1227600000.0;
inline constexpr double kL5 = 1176450000.0;
inline constexpr double kE6 = 1278750000.0;
inline constexpr double kE5b = 1207140000.0;
inline constexpr double kE5 = 1191795000.0;
inline constexpr double kB1I = 1561098000.0;
inline constexpr double kB3I = 1268520000.0;
inline constexpr double kGloL1 = 1602000000.0;
inline constexpr double kGloL2 = 1246000000.0;
inline constexpr double kGloL3 = 1202025000.0;

// Indexed by signal number.
inline constexpr std::array<SignalRow, kSignalCount> kSignalTable = {{
    {"GPSL1CA", CONST_GPS, 0, "1C", kL1, 0},
    {"GPSL1P", CONST_GPS, 1, "1W", kL1, 0},
    {"GPSL2P", CONST_GPS, 2, "2W", kL2, 0},
    {"GPSL2C", CONST_GPS, 3, "2L", kL2, 0},
    {"GPSL5", CONST_GPS, 4, "5Q", kL5, 0},
    {"GPSL1C", CONST_GPS, 5, "1L", kL1, 0},
    {"QZSL1CA", CONST_QZSS, 0, "1C", kL1, 0},
    {"QZSL2C", CONST_QZSS, 1, "2L", kL2, 0},
    {"GLOL1CA", CONST_GLONASS, 0, "1C", kGloL1, 562500},
    {"GLOL1P", CONST_GLONASS, 1, "1P", kGloL1, 562500},
    {"GLOL2P", CONST_GLONASS, 2, "2P", kGloL2, 437500},
    {"GLOL2CA", CONST_GLONASS, 3, "2C", kGloL2, 437500},
    {"GLOL3", CONST_GLONASS, 4, "3Q", kGloL3, 0},
    {"BDSB1C", CONST_BEIDOU, 3, "1P", kL1, 0},
    {"BDSB2a", CONST_BEIDOU, 4, "5P", kL5, 0},
    {"IRNL5", CONST_NAVIC, 0, "5A", kL5, 0},
    {nullptr, CONST_GALILEO, 0, "1A", kL1, 0},
    {"GALE1", CONST_GALILEO, 1, "1C", kL1, 0},
    {nullptr, CONST_GALILEO, 2, "6A", kE6, 0},
    {"GALE6", CONST_GALILEO, 3, "6C", kE6, 0},
    {"GALE5a", CONST_GALILEO, 4, "5Q", kL5, 0},
    {"GALE5b", CONST_GALILEO, 5, "7Q", kE5b, 0},
    {"GALE5", CONST_GALILEO, 6, "8Q", kE5, 0},
    {nullptr, CONST_OTHER, 0, "??", kL1, 0},
    {"SBSL1", CONST_SBAS, 0, "1C", kL1, 0},
    {"SBSL5", CONST_SBAS, 1, "5I", kL5, 0},
    {"QZSL5", CONST_QZSS, 2, "5Q", kL5, 0},
    {"QZSL6", CONST_QZSS, 3, "??", kE6, 0},
    {"BDSB1I", CONST_BEIDOU, 0, "2I", kB1I, 0},
    {"BDSB2I", CONST_BEIDOU, 1, "7I", kE5b, 0},
    {"BDSB3I", CONST_BEIDOU, 2, "6I", kB3I, 0},
    {nullptr, CONST_OTHER, 0, "??", kL1, 0},
    {"QZSL1C", CONST_QZSS, 4, "1L", kL1, 0},
    {"QZSL1S", CONST_QZSS, 5, "1Z", kL1, 0},
}};

// Wavelengths of the fixed bands, c / f, computed once at compile time (the
// division is correctly rounded either way).
constexpr std::array<double, kSignalCount> MakeFixedWavelengths() {
  std::array<double, kSignalCount> result{};
  for (int i = 0; i < kSignalCount; ++i) result[i] = kSpeedOfLight / kSignalTable[i].carrier_hz;
  return result;
}
inline constexpr std::array<double, kSignalCount> kFixedWavelength = MakeFixedWavelengths();
inline constexpr double kL1Wavelength = kSpeedOfLight / kL1;

constexpr uint8_t MapSvid(unsigned svid) {
  if (svid >= 1 && svid <= 61) return static_cast<uint8_t>(svid);
  if (svid == 62) return 68;
  if (svid >= 63 && svid <= 70) return static_cast<uint8_t>(svid - 1);
  if (svid >= 71 && svid <= 140) return static_cast<uint8_t>(svid);
  if (svid >= 141 && svid <= 177) return static_cast<uint8_t>(svid + 20);
  if (svid >= 181 && svid <= 187) return static_cast<uint8_t>(svid + 20);
  if (svid >= 191 && svid <= 197) return static_cast<uint8_t>(svid + 20);
  if (svid >= 198 && svid <= 215) return static_cast<uint8_t>(svid - 57);
  if (svid >= 216 && svid <= 222) return static_cast<uint8_t>(svid + 2);
  return 0;
}

constexpr std::array<uint8_t, 256> MakeSvidTable() {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) table[i] = MapSvid(i);
  return table;
}
inline constexpr std::array<uint8_t, 256> kSvidToSatIndex = MakeSvidTable();

constexpr bool SlotsFitAnEpoch() {
  for (const SignalRow& row : kSignalTable) {
    if (row.slot > 6) return false;
  }
  return true;
}
static_assert(SlotsFitAnEpoch());

// The assertion failure of GetSignalIndexInConstellation.
[[noreturn]] void SignalNumberOutOfRange();
// SignalWavelength of a signal with a GLONASS channel spacing.
double FdmaWavelength(uint32_t signal, int k);

}  // namespace signal_data

inline uint8_t SvidToSatIndex(uint8_t svid) {
  return signal_data::kSvidToSatIndex[svid];
}
// Constellation (0..7) of signal 0..33 (CONST_OTHER beyond).
inline uint8_t GetSignalConstellation(uint8_t signal) {
  return signal < kSignalCount ? signal_data::kSignalTable[signal].constellation
                               : static_cast<uint8_t>(CONST_OTHER);
}
// Slot (0..6) of the signal among its constellation's seven; asserts on >33.
inline int GetSignalIndexInConstellation(int signal) {
  if (signal < 0 || signal >= kSignalCount) signal_data::SignalNumberOutOfRange();
  return signal_data::kSignalTable[signal].slot;
}
// Two-character RINEX 3 code ("1C", ...; "??" for none) of signal 0..33.
const char* GetSignalRinex3Code(uint8_t signal);
// Name accepted by -I/-E, or nullptr for signals without one.
const char* GetSignalName(uint8_t signal);
// Signal mask of a constellation number (0 for CONST_OTHER).
uint64_t ConstellationSignalMask(uint8_t constellation);
// Carrier wavelength in metres; k is the GLONASS frequency number.
inline double SignalWavelength(uint32_t signal, int k) {
  if (signal >= static_cast<uint32_t>(kSignalCount)) return signal_data::kL1Wavelength;
  if (signal_data::kSignalTable[signal].glonass_step_hz == 0) {
    return signal_data::kFixedWavelength[signal];
  }
  return signal_data::FdmaWavelength(signal, k);
}

}  // namespace kavrino

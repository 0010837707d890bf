// Satellite and signal numbering: receiver SVIDs to satellite indexes, and the
// signal table (constellation, slot, carrier, RINEX 3 code).
#pragma once

#include <cstdint>

namespace kavrino {

// Constellation numbers; also the order of the RINEX 3 observation-type lines.
enum Constellation : uint8_t {
  CONST_GPS = 0,
  CONST_GALILEO = 1,
  CONST_SBAS = 2,
  CONST_GLONASS = 3,
  CONST_BEIDOU = 4,
  CONST_QZSS = 5,
  CONST_NAVIC = 6,
  CONST_OTHER = 7,
};

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

uint8_t SvidToSatIndex(uint8_t svid);
// Constellation of a satellite index by its fixed range: GPS 1..37, GLONASS
// 38..68 (68: slot unknown), Galileo 71..106, SBAS 120..158, BeiDou 161..197,
// QZSS 201..207, NavIC 211..224; CONST_OTHER for 0, 69, the L-band satellites
// 107..119 and every unused value.
uint8_t SatIndexConstellation(uint8_t sat_index);
// Constellation (0..7) of signal 0..33 (CONST_OTHER beyond).
uint8_t GetSignalConstellation(uint8_t signal);
// Slot (0..6) of the signal among its constellation's seven; asserts on >33.
int GetSignalIndexInConstellation(int signal);
// Two-character RINEX 3 code ("1C", ...; "??" for none) of signal 0..33.
const char* GetSignalRinex3Code(uint8_t signal);
// Name accepted by -I/-E, or nullptr for signals without one.
const char* GetSignalName(uint8_t signal);
// Signal mask of a constellation number (0 for CONST_OTHER).
uint64_t ConstellationSignalMask(uint8_t constellation);
// Carrier wavelength in metres; k is the GLONASS frequency number.
double SignalWavelength(uint32_t signal, int k);

}  // namespace kavrino

// Satellite indexes: the one-byte internal satellite number, in fixed ranges
// per system, and the RINEX satellite identifiers made from them.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>

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

// The satellite-index range of a system. Indexes first..last carry a RINEX
// satellite number (index - number_offset); GPS indexes up to 37 and GLONASS
// index 68 (slot unknown) belong to their system without one.
struct SatSystem {
  uint8_t constellation;
  char letter;  // RINEX system letter
  uint8_t first;
  uint8_t last;
  uint8_t last_of_system;
  uint8_t number_offset;
};

inline constexpr SatSystem kSatSystems[] = {
    {CONST_GPS, 'G', 1, 32, 37, 0},          {CONST_GLONASS, 'R', 38, 67, 68, 37},
    {CONST_GALILEO, 'E', 71, 106, 106, 70},  {CONST_SBAS, 'S', 120, 158, 158, 100},
    {CONST_BEIDOU, 'C', 161, 197, 197, 160}, {CONST_QZSS, 'J', 201, 207, 207, 200},
    {CONST_NAVIC, 'I', 211, 224, 224, 210},
};

// The GLONASS satellite whose slot is not known.
inline constexpr uint8_t kGloUnknownSlotIndex = 68;

namespace sat_data {

inline constexpr uint8_t kNone = 0xFF;

// Per satellite index: its row of kSatSystems, for indexes with a RINEX number
// (numbered) or for every index of the system (member); kNone otherwise.
constexpr std::array<uint8_t, 256> MakeSystemTable(bool numbered) {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < table.size(); ++i) {
    table[i] = kNone;
    for (unsigned s = 0; s < std::size(kSatSystems); ++s) {
      const unsigned last = numbered ? kSatSystems[s].last : kSatSystems[s].last_of_system;
      if (i >= kSatSystems[s].first && i <= last) table[i] = static_cast<uint8_t>(s);
    }
  }
  return table;
}
inline constexpr std::array<uint8_t, 256> kNumberedSystem = MakeSystemTable(true);
inline constexpr std::array<uint8_t, 256> kMemberSystem = MakeSystemTable(false);

}  // namespace sat_data

// The system of an index that has a RINEX satellite number; null for the
// others (0, GPS 33..37, 68, 69, the L-band satellites 107..119, unused values).
inline const SatSystem* FindSatSystem(uint8_t sat_index) {
  const uint8_t s = sat_data::kNumberedSystem[sat_index];
  return s != sat_data::kNone ? &kSatSystems[s] : nullptr;
}

// Constellation of a satellite index by its system's whole range; CONST_OTHER
// for indexes of no system.
inline uint8_t SatIndexConstellation(uint8_t sat_index) {
  const uint8_t s = sat_data::kMemberSystem[sat_index];
  return s != sat_data::kNone ? kSatSystems[s].constellation : static_cast<uint8_t>(CONST_OTHER);
}

// The row of a constellation (CONST_OTHER has none: GPS's row is returned).
inline const SatSystem& SatSystemOf(uint8_t constellation) {
  for (const SatSystem& system : kSatSystems) {
    if (system.constellation == constellation) return system;
  }
  return kSatSystems[0];
}

// Whether the index has a RINEX satellite number of the constellation.
inline bool IsNumberedSat(uint8_t sat_index, uint8_t constellation) {
  const SatSystem* system = FindSatSystem(sat_index);
  return system != nullptr && system->constellation == constellation;
}

}  // namespace kavrino

// Satellite and signal numbering tables. Every lookup is a table index: these
// run per satellite and per signal of every epoch.
#include "gnss/signals.h"

#include <array>

#include "diag/diag.h"

namespace kavrino {
namespace {

struct SignalRow {
  const char* name;  // -I/-E name, nullptr when the signal cannot be chosen by name
  uint8_t constellation;
  uint8_t slot;
  char code[3];             // RINEX 3 observation code, "??" when none
  double carrier_hz;        // carrier frequency (GLONASS: for frequency number 0)
  int32_t glonass_step_hz;  // GLONASS FDMA channel spacing, 0 for the fixed bands
};

constexpr double kL1 = 1575420000.0;
constexpr double kL2 = 1227600000.0;
constexpr double kL5 = 1176450000.0;
constexpr double kE6 = 1278750000.0;
constexpr double kE5b = 1207140000.0;
constexpr double kE5 = 1191795000.0;
constexpr double kB1I = 1561098000.0;
constexpr double kB3I = 1268520000.0;
constexpr double kGloL1 = 1602000000.0;
constexpr double kGloL2 = 1246000000.0;
constexpr double kGloL3 = 1202025000.0;

// Indexed by signal number.
constexpr std::array<SignalRow, kSignalCount> kSignalTable = {{
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
constexpr std::array<double, kSignalCount> kFixedWavelength = MakeFixedWavelengths();
constexpr double kL1Wavelength = kSpeedOfLight / kL1;

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

constexpr uint8_t MapSatIndexConstellation(unsigned index) {
  if (index >= 1 && index <= 37) return CONST_GPS;
  if (index >= 38 && index <= 68) return CONST_GLONASS;
  if (index >= 71 && index <= 106) return CONST_GALILEO;
  if (index >= 120 && index <= 158) return CONST_SBAS;
  if (index >= 161 && index <= 197) return CONST_BEIDOU;
  if (index >= 201 && index <= 207) return CONST_QZSS;
  if (index >= 211 && index <= 224) return CONST_NAVIC;
  return CONST_OTHER;
}

template <uint8_t (*Map)(unsigned)>
constexpr std::array<uint8_t, 256> MakeByteTable() {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) table[i] = Map(i);
  return table;
}

constexpr std::array<uint8_t, 256> kSvidToSatIndex = MakeByteTable<MapSvid>();
constexpr std::array<uint8_t, 256> kSatIndexConstellation =
    MakeByteTable<MapSatIndexConstellation>();

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

constexpr bool SlotsFitAnEpoch() {
  for (const SignalRow& row : kSignalTable) {
    if (row.slot > 6) return false;
  }
  return true;
}
static_assert(SlotsFitAnEpoch());

}  // namespace

uint8_t SvidToSatIndex(uint8_t svid) {
  return kSvidToSatIndex[svid];
}

uint8_t SatIndexConstellation(uint8_t sat_index) {
  return kSatIndexConstellation[sat_index];
}

uint8_t GetSignalConstellation(uint8_t signal) {
  return signal < kSignalCount ? kSignalTable[signal].constellation
                               : static_cast<uint8_t>(CONST_OTHER);
}

int GetSignalIndexInConstellation(int signal) {
  if (signal < 0 || signal >= kSignalCount) {
    AssertFailed("gnssdef", "sigtypes", "GetSignalIndexInConstellation", 322);
  }
  int slot = kSignalTable[signal].slot;
  if (slot > 6) AssertFailed("gnssdef", "sigtypes", "GetSignalIndexInConstellation", 326);
  return slot;
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

double SignalWavelength(uint32_t signal, int k) {
  if (signal >= static_cast<uint32_t>(kSignalCount)) return kL1Wavelength;
  const SignalRow& row = kSignalTable[signal];
  if (row.glonass_step_hz == 0) return kFixedWavelength[signal];
  // The channel offset is a whole number of hertz in a signed 32-bit value; the
  // product is formed in 64 bits and wrapped so that an out-of-range frequency
  // number read from a damaged file cannot overflow.
  int64_t offset64 = static_cast<int64_t>(k) * row.glonass_step_hz;
  int32_t offset_hz = static_cast<int32_t>(static_cast<uint32_t>(offset64));
  return kSpeedOfLight / (row.carrier_hz + static_cast<double>(offset_hz));
}

}  // namespace kavrino

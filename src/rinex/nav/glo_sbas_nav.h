// GLONASS and SBAS navigation records: ephemeris blocks with Cartesian orbits
// (GloEphemeris 4004, SbasNavigation 5896) turned into RINEX navigation records.
#pragma once

#include <cstdint>
#include <cstdio>

#include "qdx/block_numbers.h"

namespace kavrino {

struct QdxReader;

// Bytes a block must have for all of its fields (header included).
inline constexpr uint16_t kGloEphemerisMinLength = 86;
inline constexpr uint16_t kSbasNavigationMinLength = 104;

// One record with a Cartesian orbit: the start line and three orbit lines of
// four values each.
struct CartesianNavRecord {
  uint8_t sat_index = 0;
  double epoch = 0;  // GPS seconds, already shifted to the record's time scale
  double start[3] = {};
  double orbit[3][4] = {};
};

// The record of a GloEphemeris block for the layout of `version`: epoch and
// frame time in UTC, tk in seconds of the UTC day (RINEX 2) or week (RINEX 3).
// False when the block is too short to hold its fields.
bool DecodeGloEphemeris(const uint8_t* block, int version, CartesianNavRecord* record);
// The record of a SbasNavigation block (the same for both layouts). False when
// the block is too short to hold its fields.
bool DecodeSbasNavigation(const uint8_t* block, CartesianNavRecord* record);

// The SBAS time of day t0 placed on the day nearest to the reception time
// (GPS seconds); the result is in GPS seconds.
int64_t PlaceSbasTimeOfDay(int64_t reception_s, uint32_t t0);
// URA index to metres for SBAS records (32767.0 beyond index 14).
double SbasUraMetres(uint16_t index);

// Writes a record: the start line and the three orbit lines.
void WriteCartesianNavRecord(FILE* out, const CartesianNavRecord& record, int version);

// Converters: one record from one block (nothing for a block too short).
void ConvertGloEphemeris(FILE* out, const uint8_t* block, int version);
void ConvertSbasNavigation(FILE* out, const uint8_t* block, int version);

// Generators: one pass from the reader's current position; every selected
// block becomes a record. Return 0 when a record was written, else 2.
int GenerateGloNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                   int version, int progress_from, int progress_to);
int GenerateSbasNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                    int version, int progress_from, int progress_to);

}  // namespace kavrino

// Navigation record generators of the Keplerian constellations. Each walks the
// reader from its current position to the end of the file, writes one record
// per new ephemeris of a satellite inside [start_ms, end_ms], and returns 0
// when it wrote a record, 2 otherwise. With FLAG_VERBOSE the progress bar moves
// between progress_from and progress_to. The GPS and Galileo generators also
// keep the last correction blocks in the slots given.
#pragma once

#include <cstdint>
#include <cstdio>

#include "rinex/nav/nav_slots.h"

namespace kavrino {

struct QdxReader;

// Records in the RINEX 2 or 3 layout of `version`.
int GenerateGpsNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                   int version, int progress_from, int progress_to, NavSlot* gps_utc,
                   NavSlot* gps_iono);
// Records from every Galileo source (I/NAV, F/NAV, others), each deduplicated
// on its own.
int GenerateGalNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                   int progress_from, int progress_to, NavSlot* gal_utc, NavSlot* gal_iono,
                   NavSlot* gal_gps_offset);
int GenerateBdsNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                   int progress_from, int progress_to);
// QZSS records exist only in the mixed file (RINEX 3 layout).
int GenerateQzssNav(QdxReader* reader, int64_t start_ms, int64_t end_ms, FILE* out, uint32_t flags,
                    int progress_from, int progress_to);

}  // namespace kavrino

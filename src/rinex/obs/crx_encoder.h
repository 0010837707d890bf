// Compact RINEX encoder: turns the RINEX observation text the observation
// writer produces (header first, then records; RINEX 2.10, 2.11 or 3.04) into
// Compact RINEX, version 1.0 for RINEX 2 text and 3.0 for RINEX 3 text. The
// format is the one of Hatanaka, Y. (2008), "A Compression Format and Tools
// for GNSS Observation Data", Bulletin of the Geospatial Information
// Authority of Japan 55, 21-30.
//
// The text arrives through a ByteSink in pieces of any size; the compact text
// goes onto the next OutStream (a file or a compressor). Memory is fixed once
// started, apart from the buffer of one record, whose size the format bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/out_stream.h"

namespace kavrino {

// What the CRINEX PROG / DATE line names: the program (up to 40 characters)
// and the time of the conversion.
struct CrxStamp {
  const char* program;
  int year, month, day, hour, minute;
};

// Observation types a system can declare (the I3 count of a RINEX 3 header;
// larger RINEX 2 counts are taken as this many).
inline constexpr int kCrxMaxTypes = 999;
// Types of a satellite whose differences are kept from epoch to epoch (as many
// as the format's reference programs handle); values of later types are
// written as new arcs at every epoch, which costs room but no exactness.
inline constexpr int kCrxKeptTypes = 100;
// Satellites an epoch line can announce (I3).
inline constexpr int kCrxMaxSats = 999;
// Longest input line looked at; the rest of a longer line is dropped.
inline constexpr size_t kCrxMaxLine = 16 + 16 * kCrxMaxTypes;
// Longest compact epoch line: the RINEX 3 epoch fields and every satellite.
inline constexpr size_t kCrxMaxEpochText = 41 + 3 * kCrxMaxSats;
// Satellite identifiers with state: a letter A-Z or blank, and two digits.
inline constexpr int kCrxSatKeys = 27 * 100;

// The differencing state of one observation type of one satellite: the last
// values of the arc, newest first.
struct CrxArc {
  int64_t y[3];
};

// When a satellite identifier was last met.
struct CrxSatMark {
  uint64_t seen;      // serial of the last data record that held the satellite
  uint64_t repeated;  // serial of the last data record that listed it twice
};

// Each part is set before it is read: the encoder reads no state of a
// satellite new to an arc, so the table's memory is only used for the
// satellites that occur.
struct CrxSatState {
  uint8_t order[kCrxKeptTypes];   // values in the arc so far (0 = no arc, at most 3)
  char flags[2 * kCrxKeptTypes];  // LLI and signal-strength characters last written
  CrxArc arcs[kCrxKeptTypes];
};

enum class CrxPhase : uint8_t { kHeader, kEpoch, kSatList, kData, kEvent };

struct CrxEncoder {
  OutStream* out = nullptr;
  char program[41] = {};
  char date[21] = {};
  bool started = false;  // the first line has been seen
  bool rinex3 = false;
  CrxPhase phase = CrxPhase::kHeader;
  int types_v2 = 0;       // RINEX 2: types of every satellite
  int types_v3[26] = {};  // RINEX 3: types per system letter

  // The data record being read.
  uint64_t serial = 2;                // of the record being read; bumped past after events
  char epoch[kCrxMaxEpochText] = {};  // the compact epoch line being built
  int declared = 0;                   // satellites the epoch line announces
  int listed = 0;                     // identifiers in `epoch` so far
  int done = 0;                       // RINEX 2: satellites whose lines are all read
  int sat_line = 0;                   // RINEX 2: lines of the current satellite read
  int lines_per_sat = 0;
  int event_lines = 0;  // lines of an event record still to copy
  bool clock_present = false;
  int64_t clock = 0;

  // What the next record is written against.
  bool have_prev = false;
  size_t prev_len = 0;
  char prev[kCrxMaxEpochText] = {};
  uint64_t clock_seen = 0;  // serial of the last record with a clock offset
  uint8_t clock_order = 0;
  CrxArc clock_arc = {};

  std::unique_ptr<CrxSatMark[]> marks;  // kCrxSatKeys entries
  std::unique_ptr<CrxSatState[]> sats;  // kCrxSatKeys entries
  CrxSatState spare = {};               // satellites without a kept state
  std::unique_ptr<char[]> fields;       // one satellite's fields, 16 * kCrxMaxTypes
  std::unique_ptr<char[]> record;       // the compact data lines of the record
  size_t record_used = 0;
  size_t record_capacity = 0;
  std::unique_ptr<char[]> carry;  // the start of a line cut by the chunking
  size_t carry_len = 0;
  bool carry_cut = false;  // that line is longer than kCrxMaxLine

  // Input the format could not carry exactly: dropped lines and characters,
  // malformed numbers (see crx_encoder.cpp). Not a failure of the output.
  uint64_t lossy = 0;
};

// Readies `encoder` to write onto `out`; nothing is written before the first
// line of text arrives.
void StartCrxEncoder(CrxEncoder* encoder, OutStream* out, const CrxStamp& stamp);
// The sink to feed the RINEX observation text to, in any chunking. It fails
// (errno set) once `out` has failed.
ByteSink CrxEncoderSink(CrxEncoder* encoder);
// Ends the text: encodes a last line without newline and a record cut short.
// Flushes nothing; false when `out` has failed.
bool FinishCrxEncoder(CrxEncoder* encoder);

}  // namespace kavrino

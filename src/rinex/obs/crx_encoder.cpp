// Compact RINEX, as written here (Hatanaka 2008, see crx_encoder.h):
//
// - Two lines, CRINEX VERS / TYPE and CRINEX PROG / DATE, then the RINEX
//   header line by line without trailing blanks.
// - Per data record (epoch flag 0 or 1): the compact epoch line, the clock
//   offset line, and one line per satellite.
//   The compact epoch line is the epoch fields (RINEX 2: columns 1-32; RINEX 3:
//   columns 1-41, up to the reserved ones) followed by every satellite
//   identifier. It is written as its text difference against the previous one:
//   an unchanged character becomes a blank, a character turned blank becomes
//   '&', trailing blanks go. The first one, and the first one after an event,
//   is written whole, RINEX 2 ones with '&' in column 1; such a line also
//   starts every arc anew.
//   The clock offset line holds the offset as an integer (10^-9 s in RINEX 2,
//   10^-12 s in RINEX 3), differenced like an observation, or is empty.
//   A satellite line holds one field per declared observation type, joined by
//   blanks: empty for a blank value, "3&<value>" where an arc starts (value in
//   thousandths), else the arc's difference of order 1, 2, then 3. An arc
//   starts where the satellite or the value was missing in the previous
//   record, and again where a difference leaves the range the format's
//   readers hold. After the fields, a blank and the text difference of the
//   LLI and signal-strength characters of all fields, unless it is empty.
//   A satellite new to an arc compares them with a line of non-blanks in
//   Compact RINEX 3 (every blank is written as '&') and with blanks in 1.0,
//   where the characters of a blank value are always blank and not written.
// - An event record (epoch flag 2 to 6) is copied: its epoch line whole, as
//   above, and the number of lines it announces; header lines among them
//   update the observation types. The next data record starts afresh.
//
// Input that is not what the observation writer writes never stops the
// encoder and never makes it read outside the text; what the format cannot
// carry is counted in `lossy`:
// - a line where an epoch line is due but that is none is dropped;
// - a record cut short by the next epoch line (or the end of the text) is
//   written with the satellites read, its count corrected; RINEX 2 satellites
//   listed without their lines get blank values;
// - characters beyond the declared fields, and beyond kCrxMaxLine, are
//   dropped; a value that is not a fixed-point number of the field's decimals
//   is taken as blank, and so are '&' characters where the format reads them
//   as marks; a zero written with a minus ("-0.000") loses its minus;
// - in RINEX 2 text, loss-of-lock and signal-strength characters of a blank
//   value are dropped (Compact RINEX 1.0 keeps none);
// - a satellite identifier without a kept state (not a letter or blank and
//   two digits, or listed twice in one record) and the record after one listed
//   twice are written as new arcs with every flag character spelt out, which
//   reads right whether or not a reader matches it with the previous record.
#include "rinex/obs/crx_encoder.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace kavrino {
namespace {

constexpr int kFieldWidth = 16;          // F14.3, loss-of-lock and signal-strength characters
constexpr size_t kRinex2LineWidth = 80;  // five fields
constexpr int kRinex2SatsPerLine = 12;
constexpr size_t kLabelColumn = 60;  // of a header line
constexpr size_t kPrefixV2 = 32;
constexpr size_t kPrefixV3 = 41;
constexpr int kArcOrder = 3;
// Readers of the format hold a value in two parts, its last five digits and
// the rest (the value / 10^5, truncated), and difference each part apart. An
// arc restarts where a difference of the upper parts exceeds kUpperLimit in
// magnitude (clock offsets excepted). It differs from the difference of the
// values / 10^5 by less than 2^3, so a difference up to kSureInRange in
// magnitude never restarts.
constexpr int64_t kUpperLimit = 100000;
constexpr int64_t kSureInRange = (kUpperLimit - 8) * 100000;
// Room kept for a compact satellite line: per field a blank, "3&", the 24
// characters the number conversion is given, two flag characters; a blank and
// the newline.
constexpr size_t kSatLineMax = 29 * kCrxMaxTypes + 2;

// kMinusZero: a zero written with a minus, which a difference cannot keep.
enum class Field { kBlank, kValue, kMinusZero, kBad };

size_t Trimmed(const char* s, size_t n) {
  while (n > 0 && s[n - 1] == ' ') --n;
  return n;
}

void PutLine(OutStream* out, const char* s, size_t n) {
  WriteText(out, s, Trimmed(s, n));
  WriteChar(out, '\n');
}

bool HasLabel(const char* s, size_t n, const char* label) {
  const size_t len = std::strlen(label);
  return n >= kLabelColumn + len && std::memcmp(s + kLabelColumn, label, len) == 0;
}

// An integer right-aligned in s[at, at + width): blanks, then digits.
bool ParseCount(const char* s, size_t n, size_t at, int width, int* value) {
  if (at + static_cast<size_t>(width) > n) return false;
  int i = 0;
  while (i < width && s[at + i] == ' ') ++i;
  if (i == width) return false;
  int v = 0;
  for (; i < width; ++i) {
    const unsigned d = static_cast<unsigned>(s[at + i] - '0');
    if (d > 9) return false;
    v = v * 10 + static_cast<int>(d);
  }
  *value = v;
  return true;
}

// A fixed-point field (Fortran F<kWidth>.<kDecimals>) as an integer count of
// its last decimal: blanks, an optional minus, digits, the point in its place
// and all decimals. At most 14 digits, so every difference fits an int64.
template <int kWidth, int kDecimals>
Field ParseFixed(const char* p, int64_t* out) {
  constexpr int kPoint = kWidth - kDecimals - 1;
  int i = 0;
  while (i < kWidth && p[i] == ' ') ++i;
  if (i == kWidth) return Field::kBlank;
  if (i > kPoint || p[kPoint] != '.') return Field::kBad;
  const bool negative = p[i] == '-';
  if (negative) ++i;
  int64_t v = 0;
  for (; i < kPoint; ++i) {
    const unsigned d = static_cast<unsigned>(p[i] - '0');
    if (d > 9) return Field::kBad;
    v = v * 10 + d;
  }
  for (i = kPoint + 1; i < kWidth; ++i) {
    const unsigned d = static_cast<unsigned>(p[i] - '0');
    if (d > 9) return Field::kBad;
    v = v * 10 + d;
  }
  *out = negative ? -v : v;
  return negative && v == 0 ? Field::kMinusZero : Field::kValue;
}

// The difference of order `order` (1 to 3) of v and the arc's last values.
int64_t Difference(int order, int64_t v, const int64_t* y) {
  if (order == 1) return v - y[0];
  if (order == 2) return v - 2 * y[0] + y[1];
  return v - 3 * y[0] + 3 * y[1] - y[2];
}

// Appends the text of value `v` of an arc holding `*order` values: the
// difference of the arc's order, or "3&<v>" where the arc (re)starts.
char* PutArcValue(char* p, CrxArc* arc, uint8_t* order, int64_t v, bool limited) {
  if (*order > 0) {
    const int64_t diff = Difference(*order, v, arc->y);
    bool in_range = !limited || (diff <= kSureInRange && diff >= -kSureInRange);
    if (!in_range) {
      const int64_t upper[3] = {arc->y[0] / 100000, arc->y[1] / 100000, arc->y[2] / 100000};
      const int64_t d = Difference(*order, v / 100000, upper);
      in_range = d <= kUpperLimit && d >= -kUpperLimit;
    }
    if (in_range) {
      arc->y[2] = arc->y[1];
      arc->y[1] = arc->y[0];
      arc->y[0] = v;
      if (*order < kArcOrder) ++*order;
      return std::to_chars(p, p + 24, diff).ptr;
    }
  }
  arc->y[0] = v;
  *order = 1;
  p[0] = static_cast<char>('0' + kArcOrder);
  p[1] = '&';
  return std::to_chars(p + 2, p + 26, v).ptr;
}

char FlagDiff(char now, char before) {
  if (now == before) return ' ';
  return now == ' ' ? '&' : now;
}

// Copies text that the format compares character by character; '&' would read
// as a mark and is taken as blank.
void CopyMarkFree(CrxEncoder* e, char* to, const char* from, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    to[i] = from[i];
    if (from[i] == '&') {
      to[i] = ' ';
      ++e->lossy;
    }
  }
}

// s[at, at + n) of a line of length len, blank beyond the line.
void CopyPadded(CrxEncoder* e, char* to, const char* s, size_t len, size_t at, size_t n) {
  const size_t have = at < len ? std::min(n, len - at) : 0;
  CopyMarkFree(e, to, s + at, have);
  std::memset(to + have, ' ', n - have);
}

// Copies s[0, n) into the satellite fields at `at`, `room` characters padded
// with blanks; non-blank characters beyond are dropped.
void FillFields(CrxEncoder* e, const char* s, size_t n, size_t at, size_t room) {
  const size_t take = std::min(n, room);
  std::memcpy(e->fields.get() + at, s, take);
  std::memset(e->fields.get() + at + take, ' ', room - take);
  if (Trimmed(s, n) > room) ++e->lossy;
}

int SatKey(const char* id) {
  const int letter = id[0] == ' ' ? 26 : (id[0] >= 'A' && id[0] <= 'Z') ? id[0] - 'A' : -1;
  const unsigned tens = static_cast<unsigned>(id[1] - '0');
  const unsigned units = static_cast<unsigned>(id[2] - '0');
  if (letter < 0 || tens > 9 || units > 9) return -1;
  return letter * 100 + static_cast<int>(tens * 10 + units);
}

int TypesOf(const CrxEncoder& e, char letter) {
  if (!e.rinex3) return e.types_v2;
  return letter >= 'A' && letter <= 'Z' ? e.types_v3[letter - 'A'] : 0;
}

void ReadTypes(CrxEncoder* e, const char* s, size_t n) {
  int count = 0;
  if (HasLabel(s, n, "# / TYPES OF OBSERV")) {
    if (ParseCount(s, n, 0, 6, &count)) e->types_v2 = std::min(count, kCrxMaxTypes);
  } else if (HasLabel(s, n, "SYS / # / OBS TYPES") && s[0] >= 'A' && s[0] <= 'Z') {
    if (ParseCount(s, n, 3, 3, &count)) e->types_v3[s[0] - 'A'] = count;
  }
}

// The flag and the count of an epoch line; false for a line that is none.
// A RINEX 2 line also needs its date (blank only in events), which no
// observation line can imitate: their points are elsewhere.
bool ParseEpochLine(const CrxEncoder& e, const char* s, size_t n, int* flag, int* count) {
  size_t at = 28;
  if (e.rinex3) {
    if (n < 35 || s[0] != '>') return false;
    at = 31;
  } else {
    if (n < 32 || s[0] != ' ' || s[26] != ' ' || s[27] != ' ') return false;
    bool blank = true;
    for (size_t i = 1; i < 26; ++i) {
      if (s[i] == ' ') continue;
      blank = false;
      if (i != 18 && (s[i] < '0' || s[i] > '9')) return false;
    }
    if (!blank && s[18] != '.') return false;
    if (blank && s[28] < '2') return false;
  }
  if (s[at] < '0' || s[at] > '6') return false;
  *flag = s[at] - '0';
  return ParseCount(s, n, at + 1, 3, count);
}

void EnsureRecordRoom(CrxEncoder* e) {
  if (e->record_capacity - e->record_used >= kSatLineMax) return;
  const size_t capacity = std::max(2 * e->record_capacity, e->record_used + kSatLineMax);
  auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
  if (e->record_used > 0) std::memcpy(bigger.get(), e->record.get(), e->record_used);
  e->record = std::move(bigger);
  e->record_capacity = capacity;
}

// Encodes the satellite `id` from the fields buffer (16 characters per type)
// onto the record's lines.
void EncodeSat(CrxEncoder* e, const char* id, int types) {
  // The satellite's own state, or the spare one for an identifier without a
  // kept state and for a repeat within the record.
  CrxSatState* st = &e->spare;
  bool fresh = true;  // every arc starts
  bool spelt = true;  // flags compared with non-blanks
  const int key = SatKey(id);
  CrxSatMark* mark = key >= 0 ? &e->marks[key] : nullptr;
  if (mark != nullptr && mark->seen == e->serial) {
    mark->repeated = e->serial;
  } else if (mark != nullptr) {
    st = &e->sats[key];
    const bool after_repeat = mark->repeated + 1 == e->serial;
    fresh = mark->seen + 1 != e->serial || after_repeat;
    spelt = e->rinex3 || after_repeat;
    mark->seen = e->serial;
  }
  const int kept_types = std::min(types, kCrxKeptTypes);
  if (fresh) {
    std::memset(st->order, 0, static_cast<size_t>(kept_types));
    std::memset(st->flags, spelt ? '\0' : ' ', 2 * static_cast<size_t>(kept_types));
  }

  EnsureRecordRoom(e);
  char* const start = e->record.get() + e->record_used;
  char* p = start;
  char diff[2 * kCrxMaxTypes];
  size_t diff_len = 0;
  CrxArc spare_arc{};
  for (int i = 0; i < types; ++i) {
    const char* f = e->fields.get() + static_cast<size_t>(i) * kFieldWidth;
    if (i > 0) *p++ = ' ';
    int64_t value = 0;
    Field kind = ParseFixed<14, 3>(f, &value);
    if (kind == Field::kMinusZero) {
      ++e->lossy;
      kind = Field::kValue;
    }
    const bool has_state = i < kept_types;
    if (kind == Field::kValue) {
      uint8_t order = 0;
      p = PutArcValue(p, has_state ? &st->arcs[i] : &spare_arc, has_state ? &st->order[i] : &order,
                      value, true);
    } else {
      if (kind == Field::kBad) ++e->lossy;
      if (has_state) st->order[i] = 0;
    }
    for (int k = 0; k < 2; ++k) {
      char c = f[14 + k];
      if (c == '&' || (kind != Field::kValue && !e->rinex3 && c != ' ')) {
        c = ' ';
        ++e->lossy;
      }
      char* before = has_state ? &st->flags[2 * i + k] : nullptr;
      char d = ' ';
      if (kind == Field::kValue || e->rinex3) d = FlagDiff(c, before != nullptr ? *before : '\0');
      if (before != nullptr) *before = c;
      diff[2 * i + k] = d;
      if (d != ' ') diff_len = static_cast<size_t>(2 * i + k + 1);
    }
  }
  if (diff_len > 0) {
    *p++ = ' ';
    std::memcpy(p, diff, diff_len);
    p += diff_len;
  } else {
    while (p > start && p[-1] == ' ') --p;
  }
  *p++ = '\n';
  e->record_used += static_cast<size_t>(p - start);
}

void WriteEpochCount(CrxEncoder* e, int count) {
  char* at = e->epoch + (e->rinex3 ? 32 : 29);
  at[0] = count >= 100 ? static_cast<char>('0' + count / 100) : ' ';
  at[1] = count >= 10 ? static_cast<char>('0' + count / 10 % 10) : ' ';
  at[2] = static_cast<char>('0' + count % 10);
}

// Writes the data record read: epoch line, clock offset line, satellite lines.
void EmitRecord(CrxEncoder* e) {
  OutStream* out = e->out;
  const size_t len = (e->rinex3 ? kPrefixV3 : kPrefixV2) + 3 * static_cast<size_t>(e->listed);
  if (!e->have_prev) {
    if (!e->rinex3) WriteChar(out, '&');
    const size_t skip = e->rinex3 ? 0 : 1;
    PutLine(out, e->epoch + skip, len - skip);
  } else {
    char diff[kCrxMaxEpochText];
    const size_t n = std::max(len, e->prev_len);
    for (size_t i = 0; i < n; ++i) {
      diff[i] = FlagDiff(i < len ? e->epoch[i] : ' ', i < e->prev_len ? e->prev[i] : ' ');
    }
    PutLine(out, diff, n);
  }
  std::memcpy(e->prev, e->epoch, len);
  e->prev_len = len;
  e->have_prev = true;

  if (e->clock_present) {
    if (e->clock_seen + 1 != e->serial) e->clock_order = 0;
    char text[32];
    const char* end = PutArcValue(text, &e->clock_arc, &e->clock_order, e->clock, false);
    WriteText(out, text, static_cast<size_t>(end - text));
    e->clock_seen = e->serial;
  }
  WriteChar(out, '\n');
  if (e->record_used > 0) WriteText(out, e->record.get(), e->record_used);
  e->record_used = 0;
  ++e->serial;
  e->phase = CrxPhase::kEpoch;
}

void AddRinex2Sats(CrxEncoder* e, const char* s, size_t n) {
  for (int k = 0; k < kRinex2SatsPerLine && e->listed < e->declared; ++k) {
    CopyPadded(e, e->epoch + kPrefixV2 + 3 * static_cast<size_t>(e->listed), s, n,
               kPrefixV2 + 3 * static_cast<size_t>(k), 3);
    ++e->listed;
  }
}

// Encodes the RINEX 2 satellites from the one being read on, the lines not
// read taken as blank, and writes the record.
void EndRinex2Record(CrxEncoder* e) {
  const size_t total = static_cast<size_t>(e->types_v2) * kFieldWidth;
  for (; e->done < e->declared; ++e->done) {
    const size_t from = std::min(total, kRinex2LineWidth * static_cast<size_t>(e->sat_line));
    std::memset(e->fields.get() + from, ' ', total - from);
    EncodeSat(e, e->epoch + kPrefixV2 + 3 * static_cast<size_t>(e->done), e->types_v2);
    e->sat_line = 0;
  }
  EmitRecord(e);
}

// A record cut short: written with what was read, its count corrected.
void CutRecord(CrxEncoder* e) {
  ++e->lossy;
  if (e->phase == CrxPhase::kSatList || e->rinex3) {
    e->declared = e->listed;
    WriteEpochCount(e, e->listed);
  }
  if (e->rinex3) {
    EmitRecord(e);
  } else {
    EndRinex2Record(e);
  }
}

void StartRecord(CrxEncoder* e, const char* s, size_t n) {
  int flag = 0;
  int count = 0;
  if (!ParseEpochLine(*e, s, n, &flag, &count)) {
    ++e->lossy;
    return;
  }
  if (flag >= 2) {
    if (!e->rinex3) WriteChar(e->out, '&');
    const size_t skip = e->rinex3 ? 0 : 1;
    PutLine(e->out, s + skip, n - skip);
    e->event_lines = count;
    e->phase = count > 0 ? CrxPhase::kEvent : CrxPhase::kEpoch;
    e->have_prev = false;
    ++e->serial;  // no satellite or clock offset continues its arcs
    return;
  }
  const size_t prefix = e->rinex3 ? kPrefixV3 : kPrefixV2;
  CopyPadded(e, e->epoch, s, n, 0, prefix);
  e->declared = count;
  e->listed = 0;
  e->done = 0;
  e->sat_line = 0;
  e->record_used = 0;

  const size_t clock_at = e->rinex3 ? 41 : 68;
  const size_t clock_width = e->rinex3 ? 15 : 12;
  char clock[15];
  CopyPadded(e, clock, s, n, clock_at, clock_width);
  const Field kind =
      e->rinex3 ? ParseFixed<15, 12>(clock, &e->clock) : ParseFixed<12, 9>(clock, &e->clock);
  if (kind == Field::kBad || kind == Field::kMinusZero) ++e->lossy;
  e->clock_present = kind == Field::kValue || kind == Field::kMinusZero;

  if (e->rinex3) {
    e->phase = CrxPhase::kData;
    if (count == 0) EmitRecord(e);
    return;
  }
  e->lines_per_sat = (e->types_v2 + 4) / 5;
  AddRinex2Sats(e, s, n);
  e->phase = CrxPhase::kSatList;
  if (e->listed == e->declared) {
    e->phase = CrxPhase::kData;
    if (e->lines_per_sat == 0 || count == 0) EndRinex2Record(e);
  }
}

void DataLine(CrxEncoder* e, const char* s, size_t n) {
  if (e->rinex3) {
    char* id = e->epoch + kPrefixV3 + 3 * static_cast<size_t>(e->listed);
    CopyPadded(e, id, s, n, 0, 3);
    const int types = TypesOf(*e, id[0]);
    const size_t skip = std::min<size_t>(n, 3);
    FillFields(e, s + skip, n - skip, 0, static_cast<size_t>(types) * kFieldWidth);
    EncodeSat(e, id, types);
    if (++e->listed == e->declared) EmitRecord(e);
    return;
  }
  const size_t at = kRinex2LineWidth * static_cast<size_t>(e->sat_line);
  const size_t total = static_cast<size_t>(e->types_v2) * kFieldWidth;
  FillFields(e, s, n, at, std::min(kRinex2LineWidth, total - at));
  if (++e->sat_line < e->lines_per_sat) return;
  EncodeSat(e, e->epoch + kPrefixV2 + 3 * static_cast<size_t>(e->done), e->types_v2);
  e->sat_line = 0;
  if (++e->done == e->declared) EmitRecord(e);
}

// Writes the two CRINEX lines for the RINEX version of the first line.
void Begin(CrxEncoder* e, const char* s, size_t n) {
  e->started = true;
  size_t i = 0;
  while (i < n && i < 9 && s[i] == ' ') ++i;
  e->rinex3 = i < n && i < 9 && s[i] >= '3' && s[i] <= '9';
  WriteFormat(e->out, "%-20s%-40s%s\n", e->rinex3 ? "3.0" : "1.0", "COMPACT RINEX FORMAT",
              "CRINEX VERS   / TYPE");
  WriteFormat(e->out, "%-40.40s%-20.20sCRINEX PROG / DATE\n", e->program, e->date);
}

void ProcessLine(CrxEncoder* e, const char* s, size_t n, bool cut) {
  if (n > kCrxMaxLine) {
    n = kCrxMaxLine;
    cut = true;
  }
  if (cut) ++e->lossy;
  if (n > 0 && s[n - 1] == '\r') --n;
  if (!e->started) Begin(e, s, n);
  switch (e->phase) {
    case CrxPhase::kHeader:
      PutLine(e->out, s, n);
      ReadTypes(e, s, n);
      if (HasLabel(s, n, "END OF HEADER")) e->phase = CrxPhase::kEpoch;
      return;
    case CrxPhase::kEvent:
      PutLine(e->out, s, n);
      ReadTypes(e, s, n);
      if (--e->event_lines == 0) e->phase = CrxPhase::kEpoch;
      return;
    case CrxPhase::kSatList:
    case CrxPhase::kData: {
      int flag = 0;
      int count = 0;
      const bool epoch = e->rinex3 ? n > 0 && s[0] == '>' : ParseEpochLine(*e, s, n, &flag, &count);
      if (!epoch) {
        if (e->phase == CrxPhase::kData) {
          DataLine(e, s, n);
        } else {
          AddRinex2Sats(e, s, n);
          if (e->listed == e->declared) {
            e->phase = CrxPhase::kData;
            if (e->lines_per_sat == 0) EndRinex2Record(e);
          }
        }
        return;
      }
      CutRecord(e);
      StartRecord(e, s, n);
      return;
    }
    case CrxPhase::kEpoch:
      StartRecord(e, s, n);
      return;
  }
}

bool WriteCrx(void* context, const char* data, size_t size) {
  auto* e = static_cast<CrxEncoder*>(context);
  while (size > 0) {
    const char* nl = static_cast<const char*>(std::memchr(data, '\n', size));
    const size_t take = nl != nullptr ? static_cast<size_t>(nl - data) : size;
    if (e->carry_len > 0 || e->carry_cut || nl == nullptr) {
      const size_t room = kCrxMaxLine - e->carry_len;
      std::memcpy(e->carry.get() + e->carry_len, data, std::min(take, room));
      e->carry_len += std::min(take, room);
      e->carry_cut = e->carry_cut || take > room;
      if (nl == nullptr) break;
      ProcessLine(e, e->carry.get(), e->carry_len, e->carry_cut);
      e->carry_len = 0;
      e->carry_cut = false;
    } else {
      ProcessLine(e, data, take, false);
    }
    data += take + 1;
    size -= take + 1;
  }
  if (e->out->failed) {
    errno = e->out->error;
    return false;
  }
  return true;
}

}  // namespace

void StartCrxEncoder(CrxEncoder* encoder, OutStream* out, const CrxStamp& stamp) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  *encoder = CrxEncoder{};
  CrxEncoder* e = encoder;
  e->marks = std::make_unique<CrxSatMark[]>(kCrxSatKeys);  // zeroed: none seen
  e->sats = std::make_unique_for_overwrite<CrxSatState[]>(kCrxSatKeys);
  e->fields = std::make_unique_for_overwrite<char[]>(kFieldWidth * kCrxMaxTypes);
  e->carry = std::make_unique_for_overwrite<char[]>(kCrxMaxLine);
  e->out = out;
  std::snprintf(e->program, sizeof e->program, "%s", stamp.program != nullptr ? stamp.program : "");
  const bool month_ok = stamp.month >= 1 && stamp.month <= 12;
  std::snprintf(e->date, sizeof e->date, "%02d-%s-%02d %02d:%02d", std::clamp(stamp.day, 0, 99),
                month_ok ? kMonths[stamp.month - 1] : "???", ((stamp.year % 100) + 100) % 100,
                std::clamp(stamp.hour, 0, 99), std::clamp(stamp.minute, 0, 99));
}

ByteSink CrxEncoderSink(CrxEncoder* encoder) {
  return ByteSink{encoder, WriteCrx};
}

bool FinishCrxEncoder(CrxEncoder* encoder) {
  CrxEncoder* e = encoder;
  if (e->carry_len > 0 || e->carry_cut) {
    ProcessLine(e, e->carry.get(), e->carry_len, e->carry_cut);
    e->carry_len = 0;
    e->carry_cut = false;
  }
  if (e->phase == CrxPhase::kSatList || e->phase == CrxPhase::kData) CutRecord(e);
  return !e->out->failed;
}

}  // namespace kavrino

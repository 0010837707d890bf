#include "rinex/obs/obs_epoch.h"

#include <array>
#include <cmath>
#include <cstring>
#include <iterator>

#include "core/rinex_version.h"
#include "core/signals.h"
#include "core/time.h"
#include "rinex/format.h"

namespace kavrino {
namespace {

constexpr int kFieldWidth = 16;
constexpr int kLineCapacity = 600;
constexpr int kRinex2PieceWidth = 80;
constexpr int kRinex2SatsPerLine = 12;
constexpr uint32_t kMaxLockTimeMs = 254000;
constexpr double kObsModulus = 1e9;
constexpr int kMaxRecordedRanges = kSignalSlots;

// fmod(value, kObsModulus): the value itself below the modulus, which is
// nearly always, without the library call.
double ObsModulo(double value) {
  return std::fabs(value) < kObsModulus ? value : std::fmod(value, kObsModulus);
}

// A measured value counts when it is above the absence threshold and finite.
bool Usable(double value) {
  return IsMeasPresent(value) && std::isfinite(value);
}

// The seven slots of the selected antenna, or null for an antenna number other
// than 1 and 2.
const MeasSignal* AntennaSlots(const MeasSatEntry& sat, uint32_t antenna) {
  if (antenna < 1 || antenna > static_cast<uint32_t>(kMaxAntennas)) return nullptr;
  return sat.sig[antenna - 1];
}

// A slot whose fields are written: filled, a known signal of the satellite's
// own system with a code column, and a usable pseudorange.
bool SlotWritable(const MeasSignal& sig, uint8_t constellation, const ObsTypeLayout& layout) {
  if (sig.flags == 0 || sig.signal_type >= kSignalCount) return false;
  if (layout.code_col[sig.signal_type] < 0) return false;
  if (GetSignalConstellation(sig.signal_type) != constellation) return false;
  return Usable(sig.pseudorange_m);
}

uint32_t EpochSatCount(const MeasEpochRecord& epoch) {
  return epoch.num_sats < static_cast<uint32_t>(kMaxEpochSats)
             ? epoch.num_sats
             : static_cast<uint32_t>(kMaxEpochSats);
}

// Whether a satellite entry gets an observation line.
bool SatelliteKept(const MeasSatEntry& sat, const ObsTypeLayout& layout, uint32_t antenna) {
  const SatSystem* system = FindSatSystem(sat.sat_index);
  if (system == nullptr) return false;
  const MeasSignal* slots = AntennaSlots(sat, antenna);
  if (slots == nullptr) return false;
  for (int s = 0; s < kSignalSlots; ++s) {
    if (SlotWritable(slots[s], system->constellation, layout)) return true;
  }
  return false;
}

int StrengthDigit(float cn0) {
  if (!Usable(cn0)) return 0;
  float q = cn0 / 6.0f;
  if (!(q >= 1.0f)) return 1;
  if (q >= 9.0f) return 9;
  return static_cast<int>(q);
}

// Signals whose pseudoranges are kept at least 1 mm apart within a satellite.
bool SeparatedSignal(uint8_t signal) {
  return signal <= 3 || (signal >= 8 && signal <= 11);
}

// Loss-of-lock indicator of a phase that is written or examined, updating the
// lock history.
int LossOfLock(LockHistory* history, uint8_t sat_index, const MeasSignal& sig, uint32_t tow_ms,
               bool first_epoch) {
  if (sig.lock_time_ms == 0) return 0;
  uint32_t lock = sig.lock_time_ms < kMaxLockTimeMs ? sig.lock_time_ms : kMaxLockTimeMs;
  LockTimeEntry& entry =
      history->entries[sat_index][GetSignalIndexInConstellation(sig.signal_type)];
  bool kept = lock >= entry.lock_time_ms && tow_ms <= entry.tow_ms + lock;
  entry = {tow_ms, lock};
  return (kept || first_epoch) ? 0 : 1;
}

// One satellite's observation line. Only text[0, end) is ever read: the
// fields placed so far and the blanks between them.
struct SatLine {
  char text[kLineCapacity + 1];  // one more for the newline
  int end;
  char id[4];
};

// Blanks the gap between the line end and `column`, moving the end there, so
// that the line never holds unset bytes before its end.
void BlankUpTo(SatLine* line, int column) {
  if (column <= line->end) return;
  std::memset(line->text + line->end, ' ', static_cast<size_t>(column - line->end));
  line->end = column;
}

// Copies a field into the line at `column`, moving the line end. Fields that
// would leave the line buffer are dropped.
void PutField(SatLine* line, int column, const char* field, int len) {
  if (column < 0 || column + len > kLineCapacity) return;
  BlankUpTo(line, column);
  std::memcpy(line->text + column, field, static_cast<size_t>(len));
  if (column + len > line->end) line->end = column + len;
}

// "%14.3f" of a value followed by `suffix`, cut to one 16-character field.
// Returns the field length.
int NumberField(char (&field)[kFieldWidth], double value, const char* suffix) {
  size_t len = FormatObsFixed(field, value);
  if (len == 0) len = FormatFixed(field, kFieldWidth, value, 14, 3);
  for (const char* p = suffix; *p != '\0'; ++p, ++len) {
    if (len < static_cast<size_t>(kFieldWidth)) field[len] = *p;
  }
  return len < static_cast<size_t>(kFieldWidth) ? static_cast<int>(len) : kFieldWidth;
}

// PutField of NumberField(value, "<s0><s1>"). Nearly every field is formatted
// straight into the line; values FormatObsFixed declines take the copy.
void PutNumberField(SatLine* line, int column, double value, char s0, char s1) {
  if (column >= 0 && column + kFieldWidth <= kLineCapacity) {
    BlankUpTo(line, column);
    char* at = line->text + column;
    const size_t len = FormatObsFixed(at, value);
    if (len != 0) {
      at[len] = s0;  // len is 14 or 15: the field keeps 16 characters
      if (len == 14) at[15] = s1;
      if (column + kFieldWidth > line->end) line->end = column + kFieldWidth;
      return;
    }
  }
  char field[kFieldWidth];
  const char suffix[3] = {s0, s1, '\0'};
  PutField(line, column, field, NumberField(field, value, suffix));
}

void PutUnsigned(OutStream* out, uint64_t value, int width, bool zero_pad) {
  char text[32];
  WriteText(out, text, FormatUnsigned(text, sizeof text, value, width, zero_pad));
}

// Fills the line of one kept satellite.
void BuildSatLine(SatLine* line, const MeasSatEntry& sat, const ObsRecordContext& context,
                  uint32_t tow_ms, bool first_epoch) {
  const ObsTypeLayout& layout = *context.layout;
  const bool rinex3 = !IsRinex2(layout.version);
  RinexSatId(sat.sat_index, line->id);
  line->end = 0;
  if (rinex3) {
    std::memcpy(line->text, line->id, 3);
    line->end = 3;
    if (layout.with_channel) {
      PutNumberField(line, 3, static_cast<double>(sat.channel) + 1.0, ' ', ' ');
    }
  }
  const SatSystem* system = FindSatSystem(sat.sat_index);
  const MeasSignal* slots = AntennaSlots(sat, context.antenna);
  int64_t recorded[kMaxRecordedRanges];
  int recorded_count = 0;
  for (int s = 0; s < kSignalSlots; ++s) {
    const MeasSignal& sig = slots[s];
    if (!SlotWritable(sig, system->constellation, layout)) continue;
    const uint8_t type = sig.signal_type;
    const char strength = static_cast<char>('0' + StrengthDigit(sig.cn0_dbhz));

    double range = sig.pseudorange_m;
    // Millimetres rounded half up; values too large for exact millimetres keep
    // their value and take no part in the separation.
    double scaled = std::floor(range * 1000.0 + 0.5);
    if (SeparatedSignal(type) && std::fabs(scaled) < 9.0e15) {
      int64_t mm = static_cast<int64_t>(scaled);
      for (bool clash = true; clash;) {
        clash = false;
        for (int i = 0; i < recorded_count; ++i) {
          if (recorded[i] == mm) {
            ++mm;
            clash = true;
          }
        }
      }
      if (recorded_count < kMaxRecordedRanges) recorded[recorded_count++] = mm;
      range = static_cast<double>(mm) / 1000.0;
    }

    PutNumberField(line, layout.code_col[type], ObsModulo(range), ' ', strength);

    if ((sig.flags & SIG_FLAG_NO_PHASE) == 0 && Usable(sig.carrier_cycles)) {
      int lli = LossOfLock(context.history, sat.sat_index, sig, tow_ms, first_epoch);
      if (layout.phase_col[type] >= 0) {
        PutNumberField(line, layout.phase_col[type], ObsModulo(sig.carrier_cycles),
                       static_cast<char>('0' + lli), strength);
      }
    }
    if (Usable(sig.doppler_hz) && layout.doppler_col[type] >= 0) {
      // The float modulus is 1e9 exactly.
      PutNumberField(line, layout.doppler_col[type], ObsModulo(sig.doppler_hz), ' ', strength);
    }
    if (Usable(sig.cn0_dbhz) && layout.snr_col[type] >= 0) {
      char field[kFieldWidth];
      size_t n = FormatObsFixed(field, sig.cn0_dbhz);
      if (n == 0) n = FormatFixed(field, 14, sig.cn0_dbhz, 14, 3);
      PutField(line, layout.snr_col[type], field, n < 14 ? static_cast<int>(n) : 14);
    }
  }
}

void WriteEpochLine(OutStream* out, const MeasEpochRecord& epoch, int count, bool rinex3) {
  // Whole seconds through the calendar, milliseconds from the time of week, so
  // that the written milliseconds are exactly those of the epoch.
  double whole_seconds = static_cast<double>(epoch.week) * static_cast<double>(kSecondsPerWeek) +
                         static_cast<double>(epoch.tow_ms / 1000);
  CalendarTime cal = GpsSecondsToCalendar(whole_seconds);
  double second = cal.second >= 0.0 && cal.second < 100.0 ? cal.second : 0.0;
  uint32_t ms = static_cast<uint32_t>(second * 1000.0 + 0.5) + epoch.tow_ms % 1000;
  if (rinex3) {
    WriteText(out, "> ", 2);
    PutUnsigned(out, cal.year, 4, false);
    WriteChar(out, ' ');
    PutUnsigned(out, cal.month, 2, true);
    WriteChar(out, ' ');
    PutUnsigned(out, cal.day, 2, true);
    WriteChar(out, ' ');
    PutUnsigned(out, cal.hour, 2, true);
    WriteChar(out, ' ');
    PutUnsigned(out, cal.minute, 2, true);
  } else {
    WriteChar(out, ' ');
    PutUnsigned(out, cal.year % 100, 2, true);
    PutUnsigned(out, cal.month, 3, false);
    PutUnsigned(out, cal.day, 3, false);
    PutUnsigned(out, cal.hour, 3, false);
    PutUnsigned(out, cal.minute, 3, false);
  }
  PutUnsigned(out, ms / 1000, 3, false);
  WriteChar(out, '.');
  PutUnsigned(out, ms % 1000, 3, true);
  WriteText(out, "0000", 4);
  PutUnsigned(out, 0, 3, false);
  PutUnsigned(out, static_cast<uint64_t>(count), 3, false);
}

}  // namespace

int CountEpochSatellites(const MeasEpochRecord& epoch, const ObsTypeLayout& layout,
                         uint32_t antenna, uint8_t* sat_indices, uint8_t* glo_freqs) {
  int count = 0;
  const uint32_t n = EpochSatCount(epoch);
  for (uint32_t i = 0; i < n; ++i) {
    const MeasSatEntry& sat = epoch.sats[i];
    if (!SatelliteKept(sat, layout, antenna)) continue;
    sat_indices[count] = sat.sat_index;
    if (glo_freqs != nullptr) glo_freqs[count] = sat.glo_freq;
    ++count;
  }
  return count;
}

uint64_t GetEpochSignalMask(const MeasEpochRecord& epoch, const ObsTypeLayout& layout,
                            uint32_t antenna) {
  uint64_t mask = 0;
  const uint32_t n = EpochSatCount(epoch);
  for (uint32_t i = 0; i < n; ++i) {
    const MeasSatEntry& sat = epoch.sats[i];
    if (sat.sat_index == kGloUnknownSlotIndex) continue;
    const MeasSignal* slots = AntennaSlots(sat, antenna);
    if (slots == nullptr) continue;
    const uint8_t constellation = SatIndexConstellation(sat.sat_index);
    for (int s = 0; s < kSignalSlots; ++s) {
      if (SlotWritable(slots[s], constellation, layout)) mask |= 1ULL << slots[s].signal_type;
    }
  }
  return mask;
}

void WriteObsEpoch(OutStream* out, const ObsRecordContext& context, const MeasEpochRecord& epoch,
                   bool first_epoch) {
  if (first_epoch) std::memset(context.history->entries, 0, sizeof context.history->entries);
  const ObsTypeLayout& layout = *context.layout;
  const uint32_t antenna = context.antenna;
  const bool rinex3 = !IsRinex2(layout.version);

  SatLine lines[kMaxEpochSats];
  int count = 0;
  const uint32_t n = EpochSatCount(epoch);
  for (uint32_t i = 0; i < n; ++i) {
    const MeasSatEntry& sat = epoch.sats[i];
    if (!SatelliteKept(sat, layout, antenna)) continue;
    BuildSatLine(&lines[count], sat, context, epoch.tow_ms, first_epoch);
    ++count;
  }
  if (count == 0) return;

  WriteEpochLine(out, epoch, count, rinex3);
  if (rinex3) {
    WriteChar(out, '\n');
    // Stable order by satellite identifier.
    int order[kMaxEpochSats];
    for (int i = 0; i < count; ++i) {
      int j = i;
      while (j > 0 && std::memcmp(lines[order[j - 1]].id, lines[i].id, 3) > 0) {
        order[j] = order[j - 1];
        --j;
      }
      order[j] = i;
    }
    for (int i = 0; i < count; ++i) {
      SatLine& line = lines[order[i]];
      line.text[line.end] = '\n';
      WriteText(out, line.text, static_cast<size_t>(line.end) + 1);
    }
  } else {
    for (int i = 0; i < count; ++i) {
      if (i > 0 && i % kRinex2SatsPerLine == 0)
        WriteText(out, "\n                                ", 33);
      WriteText(out, lines[i].id, 3);
    }
    WriteChar(out, '\n');
    const int line_len = layout.line_len > 0 ? layout.line_len : 0;
    const int pieces = (line_len + kRinex2PieceWidth - 1) / kRinex2PieceWidth;
    for (int i = 0; i < count; ++i) {
      const SatLine& line = lines[i];
      for (int p = 0; p < pieces; ++p) {
        int start = p * kRinex2PieceWidth;
        int stop = start + kRinex2PieceWidth < line.end ? start + kRinex2PieceWidth : line.end;
        // Trailing blanks go, eight at a time while there are so many.
        while (stop - start >= 8 && std::memcmp(line.text + stop - 8, "        ", 8) == 0)
          stop -= 8;
        while (stop > start && line.text[stop - 1] == ' ') --stop;
        if (stop > start) WriteText(out, line.text + start, static_cast<size_t>(stop - start));
        WriteChar(out, '\n');
      }
    }
  }
}

}  // namespace kavrino

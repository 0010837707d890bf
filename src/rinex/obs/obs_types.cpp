#include "rinex/obs/obs_types.h"

#include <cstdio>
#include <cstring>

#include "core/rinex_version.h"

namespace kavrino {
namespace {

constexpr uint64_t kAllowedRinex210 = 0x1000707ULL;
constexpr uint64_t kAllowedRinex211 = 0x37A0F1FULL;
constexpr uint64_t kAllowedRinex304 = 0x3777FFFFFULL;

constexpr int kFieldWidth = 16;
constexpr int kNoSignal = -1;

bool Has(uint64_t mask, int signal) {
  return ((mask >> signal) & 1) != 0;
}

// Which column table of a signal a type fills.
enum ColumnKind { kCode, kPhase, kDoppler, kSnr };

int16_t* ColumnTable(ObsTypeLayout* layout, ColumnKind kind) {
  switch (kind) {
    case kCode:
      return layout->code_col;
    case kPhase:
      return layout->phase_col;
    case kDoppler:
      return layout->doppler_col;
    case kSnr:
      return layout->snr_col;
  }
  return layout->code_col;
}

// One candidate type of a RINEX 2 file. A type is written when the mask has
// any signal of `group`. Its column then goes to every signal of `group` that
// is present, except for the "first present of" pairs, which give the column
// only to the first present signal of each pair.
struct Rinex2Type {
  const char* name;
  ColumnKind kind;
  int group[4];      // kNoSignal-terminated
  int choice[2][2];  // pairs of alternatives; {kNoSignal, kNoSignal} when unused
  bool by_choice;
};

constexpr int N = kNoSignal;
constexpr Rinex2Type kRinex2Base[] = {
    {"C1", kCode, {0, 8, 17, 24}, {{N, N}, {N, N}}, false},
    {"L1", kPhase, {0, 8, 17, 24}, {{N, N}, {N, N}}, false},
    {"L2", kPhase, {2, 3, 10, 11}, {{2, 3}, {11, 10}}, true},
    {"P2", kCode, {2, 10, N, N}, {{N, N}, {N, N}}, false},
    {"P1", kCode, {1, 9, N, N}, {{N, N}, {N, N}}, false},
    {"C2", kCode, {3, 11, N, N}, {{N, N}, {N, N}}, false},
    {"C5", kCode, {4, 20, 25, N}, {{N, N}, {N, N}}, false},
    {"L5", kPhase, {4, 20, 25, N}, {{N, N}, {N, N}}, false},
    {"C6", kCode, {19, N, N, N}, {{N, N}, {N, N}}, false},
    {"L6", kPhase, {19, N, N, N}, {{N, N}, {N, N}}, false},
    {"C7", kCode, {21, N, N, N}, {{N, N}, {N, N}}, false},
    {"L7", kPhase, {21, N, N, N}, {{N, N}, {N, N}}, false},
    {"C8", kCode, {22, N, N, N}, {{N, N}, {N, N}}, false},
    {"L8", kPhase, {22, N, N, N}, {{N, N}, {N, N}}, false},
};

// The band groups of the Doppler and signal-strength types, in the order
// D1/S1, D2/S2, D5/S5, D6/S6, D7/S7, D8/S8. The second band keeps signal 2
// and the first present of 11 and 10 (signal 3 never gets one).
struct Rinex2Band {
  char band;
  int group[4];
  int choice[2][2];
  bool by_choice;
};
constexpr Rinex2Band kRinex2Bands[] = {
    {'1', {0, 8, 17, 24}, {{N, N}, {N, N}}, false}, {'2', {2, 10, 11, N}, {{2, N}, {11, 10}}, true},
    {'5', {4, 20, 25, N}, {{N, N}, {N, N}}, false}, {'6', {19, N, N, N}, {{N, N}, {N, N}}, false},
    {'7', {21, N, N, N}, {{N, N}, {N, N}}, false},  {'8', {22, N, N, N}, {{N, N}, {N, N}}, false},
};

struct Rinex2Builder {
  ObsTypeLayout* layout;
  uint64_t mask;
  int count = 0;
  size_t text_len = 0;
  char types[27 * 6 + 1] = {};

  // Adds one type when the mask has any signal of its group.
  void Add(const char* name, ColumnKind kind, const int (&group)[4], const int (&choice)[2][2],
           bool by_choice) {
    bool any = false;
    for (int s : group) {
      if (s != kNoSignal && Has(mask, s)) any = true;
    }
    if (!any) return;
    int16_t column = static_cast<int16_t>(kFieldWidth * count);
    int16_t* table = ColumnTable(layout, kind);
    if (by_choice) {
      for (const auto& pair : choice) {
        for (int s : pair) {
          if (s != kNoSignal && Has(mask, s)) {
            table[s] = column;
            break;
          }
        }
      }
    } else {
      for (int s : group) {
        if (s != kNoSignal && Has(mask, s)) table[s] = column;
      }
    }
    std::memcpy(types + text_len, "    ", 4);
    types[text_len + 4] = name[0];
    types[text_len + 5] = name[1];
    text_len += 6;
    types[text_len] = '\0';
    ++count;
  }
};

void BuildRinex2(ObsTypeLayout* layout, uint64_t mask) {
  Rinex2Builder b{layout, mask};
  for (const Rinex2Type& t : kRinex2Base) b.Add(t.name, t.kind, t.group, t.choice, t.by_choice);
  const struct {
    bool wanted;
    char letter;
    ColumnKind kind;
  } extras[] = {{layout->with_doppler != 0, 'D', kDoppler}, {layout->with_snr != 0, 'S', kSnr}};
  for (const auto& extra : extras) {
    if (!extra.wanted) continue;
    for (const Rinex2Band& band : kRinex2Bands) {
      const char name[3] = {extra.letter, band.band, '\0'};
      b.Add(name, extra.kind, band.group, band.choice, band.by_choice);
    }
  }
  std::snprintf(layout->type_text[0], kObsTypeTextSize, "%6d%s", b.count, b.types);
  layout->line_len = static_cast<int16_t>(kFieldWidth * b.count);
}

void BuildRinex3(ObsTypeLayout* layout, uint64_t mask) {
  constexpr int kSystems = 7;
  constexpr char kLetters[kSystems] = {'G', 'E', 'S', 'R', 'C', 'J', 'I'};
  // Galileo has the most signals: 7 of 4 types plus X1, 29 entries of 4.
  constexpr size_t kListSize = 4 * (4 * 7 + 1) + 1;
  char lists[kSystems][kListSize];
  size_t list_len[kSystems];
  int counter[kSystems];
  const bool channel = layout->with_channel != 0;
  for (int c = 0; c < kSystems; ++c) {
    std::strcpy(lists[c], channel ? " X1 " : "");
    list_len[c] = channel ? 4 : 0;
    counter[c] = channel ? 19 : 3;
  }
  auto append = [&](int c, char kind, const char* code, int16_t* table, int signal) {
    if (list_len[c] + 4 >= kListSize) return;
    char* p = lists[c] + list_len[c];
    p[0] = ' ';
    p[1] = kind;
    p[2] = code[0];
    p[3] = code[1];
    p[4] = '\0';
    list_len[c] += 4;
    table[signal] = static_cast<int16_t>(counter[c]);
    counter[c] += kFieldWidth;
  };
  for (int s = 0; s < kSignalCount; ++s) {
    if (!Has(mask, s)) continue;
    const char* code = GetSignalRinex3Code(static_cast<uint8_t>(s));
    int c = GetSignalConstellation(static_cast<uint8_t>(s));
    if (code == nullptr || std::strcmp(code, "??") == 0 || c >= kSystems) continue;
    append(c, 'C', code, layout->code_col, s);
    if (s != 1) {
      append(c, 'L', code, layout->phase_col, s);
      if (layout->with_doppler) append(c, 'D', code, layout->doppler_col, s);
    }
    if (layout->with_snr) append(c, 'S', code, layout->snr_col, s);
  }
  int longest = 0;
  for (int c = 0; c < kSystems; ++c) {
    char* text = layout->type_text[c];
    int head =
        std::snprintf(text, kObsTypeTextSize, "%c  %3d", kLetters[c], counter[c] / kFieldWidth);
    size_t room = kObsTypeTextSize - 1 - static_cast<size_t>(head);
    size_t n = list_len[c] < room ? list_len[c] : room;
    std::memcpy(text + head, lists[c], n);
    text[head + n] = '\0';
    if (counter[c] > longest) longest = counter[c];
  }
  layout->line_len = static_cast<int16_t>(longest);
}

}  // namespace

uint64_t AllowedSignalMask(RinexVersion version) {
  if (version == RinexVersion::k210) return kAllowedRinex210;
  if (version == RinexVersion::k211) return kAllowedRinex211;
  return kAllowedRinex304;
}

void BuildObsTypeLayout(ObsTypeLayout* layout, uint64_t signal_mask, bool with_doppler,
                        bool with_snr, bool with_channel, RinexVersion version) {
  std::memset(layout, 0, sizeof *layout);
  for (int s = 0; s < kSignalCount; ++s) {
    layout->code_col[s] = -1;
    layout->phase_col[s] = -1;
    layout->doppler_col[s] = -1;
    layout->snr_col[s] = -1;
  }
  layout->version = version;
  layout->with_doppler = with_doppler ? 1 : 0;
  layout->with_snr = with_snr ? 1 : 0;
  layout->with_channel = with_channel ? 1 : 0;
  layout->signal_mask = signal_mask & AllowedSignalMask(version);
  if (IsRinex2(version)) {
    BuildRinex2(layout, layout->signal_mask);
  } else {
    BuildRinex3(layout, layout->signal_mask);
  }
}

}  // namespace kavrino

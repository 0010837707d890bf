// The terminal progress bar of -v, and the readability check of the input
// files with its message.
#pragma once

#include <cstdint>
#include <cstdio>

#include "convert/progress.h"

namespace kavrino {

// The bar of one run. It is redrawn only when the value exceeds `next_redraw`,
// so at most about once per whole percent; the value only grows during a run.
struct ProgressBar {
  FILE* out = stdout;
  float next_redraw = 0.0f;
};

// A sink that moves `bar` (which must outlive it).
ProgressSink ProgressBarSink(ProgressBar* bar);

// The progress value of a run that owns [from_pct, to_pct) at byte `position`
// of a file of `file_size` bytes (an empty or unknown size counts as the start
// of the run).
float ProgressValue(int from_pct, int to_pct, int64_t position, int64_t file_size);
void UpdateProgressBar(ProgressBar* bar, int from_pct, int to_pct, int64_t position,
                       int64_t file_size);
void DrawProgressBarOn(FILE* out, const char* label, float value);
void ClearProgressLineOn(FILE* out);

// Whether the file opens for reading (a directory does not); prints "The
// <kind> file "<path>" could not be opened for reading: <reason>" on stderr
// otherwise.
bool CanOpenFile(const char* path);
bool CheckReadable(const char* path, const char* kind);

}  // namespace kavrino

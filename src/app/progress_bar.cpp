#include "app/progress_bar.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/diag.h"

namespace kavrino {
namespace {

constexpr const char* kProgressLabel = "Creating RINEX file:";
constexpr int kLineWidth = 80;

void Report(void* context, int from_pct, int to_pct, int64_t position, int64_t size) {
  UpdateProgressBar(static_cast<ProgressBar*>(context), from_pct, to_pct, position, size);
}

}  // namespace

ProgressSink ProgressBarSink(ProgressBar* bar) {
  return ProgressSink{bar, Report};
}

float ProgressValue(int from_pct, int to_pct, int64_t position, int64_t file_size) {
  if (from_pct == 100) return 100.0f;
  float value = static_cast<float>(from_pct);
  if (file_size > 0) {
    if (position < 0) position = 0;
    if (position > file_size) position = file_size;
    const int64_t scaled = static_cast<int64_t>(to_pct - from_pct) * position;
    value =
        static_cast<float>(from_pct) + static_cast<float>(scaled) / static_cast<float>(file_size);
  }
  return value > 100.0f ? 100.0f : value;
}

void UpdateProgressBar(ProgressBar* bar, int from_pct, int to_pct, int64_t position,
                       int64_t file_size) {
  const float value = ProgressValue(from_pct, to_pct, position, file_size);
  if (value > bar->next_redraw) {
    bar->next_redraw = std::floor(value + 1.0f);
    DrawProgressBarOn(bar->out, kProgressLabel, value);
  }
}

void DrawProgressBarOn(FILE* out, const char* label, float value) {
  if (!(value >= 0.0f && value < 100.0f)) {  // also catches NaN
    ClearProgressLineOn(out);
    return;
  }
  const int label_length = static_cast<int>(std::strlen(label));
  int width = 74;
  const char* separator = "";
  if (label_length > 0) {
    width = 73 - label_length;
    separator = " ";
  }
  if (width < 0) width = 0;
  const float exact = static_cast<float>(width) * value / 100.0f;
  const int filled = static_cast<int>(exact);
  char bar[80];
  int length = 0;
  while (length < filled && length < width) bar[length++] = '=';
  if (exact - static_cast<float>(filled) >= 0.5f && filled < width) bar[length++] = '-';
  bar[length] = '\0';
  std::fprintf(out, "\r%s%s|%s%*s| %2d%%", label, separator, bar, width - length, "",
               static_cast<int>(value));
  std::fflush(out);
}

void ClearProgressLineOn(FILE* out) {
  std::fprintf(out, "\r%*s\r", kLineWidth, "");
  std::fflush(out);
}

bool CanOpenFile(const char* path) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  // A directory opens for reading but holds no data; report it as such.
  struct stat info;
  const bool is_directory = fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
  std::fclose(file);
  if (is_directory) {
    errno = EISDIR;
    return false;
  }
  return true;
}

bool CheckReadable(const char* path, const char* kind) {
  if (CanOpenFile(path)) return true;
  const std::string message = OpenFailureMessage(kind, path, "reading", errno);
  std::fprintf(stderr, "%s\n", message.c_str());
  return false;
}

}  // namespace kavrino

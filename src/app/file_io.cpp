#include "app/file_io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/diag.h"
#include "qdx/reader.h"

namespace kavrino {
namespace {

constexpr const char* kProgressLabel = "Creating RINEX file:";
constexpr int kLineWidth = 80;

// The bar is redrawn only when the value exceeds this threshold, so at most
// about once per whole percent. The value only grows during a run.
float g_progress_next_redraw = 0.0f;

// Prints "The <kind> file "<path>" could not be opened for <action>: <reason>"
// on stderr; the message before the reason is cut to 254 characters.
void ReportOpenFailure(const char* kind, const char* path, const char* action) {
  const int saved_errno = errno;
  char message[255];
  std::snprintf(message, sizeof message, "The %s file \"%s\" could not be opened for %s", kind,
                path, action);
  errno = saved_errno;
  std::perror(message);
}

bool ModeWrites(const char* mode) {
  return std::strchr(mode, 'w') != nullptr || std::strchr(mode, 'a') != nullptr;
}

}  // namespace

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

void UpdateProgressAt(FILE* out, int from_pct, int to_pct, int64_t position, int64_t file_size) {
  const float value = ProgressValue(from_pct, to_pct, position, file_size);
  if (value > g_progress_next_redraw) {
    g_progress_next_redraw = std::floor(value + 1.0f);
    DrawProgressBarOn(out, kProgressLabel, value);
  }
}

void UpdateProgress(QdxReader* reader, int from_pct, int to_pct) {
  // Each pass is measured against its own file, so the bar of a batch of files
  // of different sizes moves evenly through every file's share. The size is
  // taken once per pass: this runs after every block.
  int64_t& size = reader->input.progress_size;
  if (size < 0) size = QdxFileSize(reader);
  UpdateProgressAt(stdout, from_pct, to_pct, QdxTell(reader), size);
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

void DrawProgressBar(const char* label, float value) {
  DrawProgressBarOn(stdout, label, value);
}

void ClearProgressLineOn(FILE* out) {
  std::fprintf(out, "\r%*s\r", kLineWidth, "");
  std::fflush(out);
}

void ClearProgressLine() {
  ClearProgressLineOn(stdout);
}

void ResetProgressDisplay() {
  g_progress_next_redraw = 0.0f;
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
  ReportOpenFailure(kind, path, "reading");
  return false;
}

FILE* OpenFile(const char* path, const char* mode, const char* kind) {
  FILE* file = std::fopen(path, mode);
  if (file == nullptr) ReportOpenFailure(kind, path, ModeWrites(mode) ? "writing" : "reading");
  return file;
}

FILE* OpenFileOrExit(const char* path, const char* mode, const char* kind, int status) {
  FILE* file = OpenFile(path, mode, kind);
  if (file == nullptr) std::exit(status);
  return file;
}

std::unique_ptr<char[]> UseLargeOutputBuffer(FILE* file) {
  auto buffer = std::make_unique_for_overwrite<char[]>(kOutputBufferSize);
  if (std::setvbuf(file, buffer.get(), _IOFBF, kOutputBufferSize) != 0) return nullptr;
  return buffer;
}

void CloseOutputFile(FILE** slot) {
  if (slot == nullptr || *slot == nullptr) return;
  const int result = std::fclose(*slot);
  *slot = nullptr;
  if (result != 0) FatalStop("mkringen", 389);
}

}  // namespace kavrino

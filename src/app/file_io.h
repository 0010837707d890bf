// Progress bar and opening/closing of files with the program's messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace kavrino {

struct QdxReader;

// Moves the bar of the generator run that owns [from_pct, to_pct) to the
// reader's position in its own file; redraws at most once per whole percent.
void UpdateProgress(QdxReader* reader, int from_pct, int to_pct);
void DrawProgressBar(const char* label, float value);
void ClearProgressLine();

bool CanOpenFile(const char* path);
bool CheckReadable(const char* path, const char* kind);
FILE* OpenFile(const char* path, const char* mode, const char* kind);
FILE* OpenFileOrExit(const char* path, const char* mode, const char* kind, int status);
void CloseOutputFile(FILE** slot);

// Gives a newly opened output stream a large buffer, so that the many short
// writes of a RINEX writer reach the system in few large ones. The buffer
// returned must outlive the stream (close the stream first).
inline constexpr size_t kOutputBufferSize = size_t{1} << 20;
std::unique_ptr<char[]> UseLargeOutputBuffer(FILE* file);

// The pieces behind the calls above, with the stream and the file position made
// explicit. The progress value of a run at byte `position` of a file of
// `file_size` bytes (an empty or unknown size counts as the start of the run).
float ProgressValue(int from_pct, int to_pct, int64_t position, int64_t file_size);
void UpdateProgressAt(FILE* out, int from_pct, int to_pct, int64_t position, int64_t file_size);
void DrawProgressBarOn(FILE* out, const char* label, float value);
void ClearProgressLineOn(FILE* out);
// Forgets the redraw threshold, for a new run in the same process.
void ResetProgressDisplay();

}  // namespace kavrino

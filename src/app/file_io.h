// Progress bar and opening/closing of files with the program's messages.
#pragma once

#include <cstdio>

namespace kavrino {

struct QdxReader;

void UpdateProgress(QdxReader* reader, int from_pct, int to_pct);
void DrawProgressBar(const char* label, float value);
void ClearProgressLine();

bool CanOpenFile(const char* path);
bool CheckReadable(const char* path, const char* kind);
FILE* OpenFile(const char* path, const char* mode, const char* kind);
FILE* OpenFileOrExit(const char* path, const char* mode, const char* kind, int status);
void CloseOutputFile(FILE** slot);

}  // namespace kavrino

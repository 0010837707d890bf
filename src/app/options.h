// Command-line parsing into RunSettings.
#pragma once

#include <cstdio>

#include "app/settings.h"

namespace kavrino {

// ParseCommandLine result when the conversion should run.
inline constexpr int kParseContinue = -1;

// Parses argv into settings. Returns kParseContinue when the conversion should
// start, otherwise the exit status of the run (0 after -V/-z, 3 on a usage
// error, with a line naming its cause and the usage text printed on err). -V
// and -z print on out.
int ParseCommandLine(int argc, char* const argv[], RunSettings* settings, FILE* out, FILE* err);

// The usage text, written on err.
void PrintUsage(FILE* err);

}  // namespace kavrino

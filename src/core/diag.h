// Abnormal termination: the fatal stop for operating-system failures and the
// assertion failure for internal inconsistencies.
#pragma once

namespace kavrino {

// Prints "Abnormal program termination (<module>,<site>)" followed by ": ", the
// system's description of errno and a newline on stderr, and exits with status 1.
[[noreturn]] void FatalStop(const char* module, int site);

// Ends the process at once with abort(); prints nothing.
[[noreturn]] void AssertFailed(const char* module, const char* file, const char* function,
                               int site);

}  // namespace kavrino

// Diagnostics: the texts of the messages for failures of the operating system,
// and the assertion failure for internal inconsistencies.
#pragma once

#include <string>

namespace kavrino {

// "Abnormal program termination (<module>,<site>)" (cut to 254 characters),
// then ": " and the system's description of `error`: the message of a failure
// of the operating system that ends the run.
std::string FatalMessage(const char* module, int site, int error);

// "The <kind> file "<path>" could not be opened for <action>" (cut to 254
// characters), then ": " and the system's description of `error`.
std::string OpenFailureMessage(const char* kind, const std::string& path, const char* action,
                               int error);

// Ends the process at once with abort(); prints nothing.
[[noreturn]] void AssertFailed(const char* module, const char* file, const char* function,
                               int site);

}  // namespace kavrino

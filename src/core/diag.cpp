#include "core/diag.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace kavrino {

void FatalStop(const char* module, int site) {
  const int reason = errno;  // formatting must not replace the reason being reported
  char message[255];         // longer messages are cut to 254 characters
  std::snprintf(message, sizeof message, "Abnormal program termination (%s,%i)",
                module != nullptr ? module : "", site);
  errno = reason;
  std::perror(message);
  std::exit(1);
}

void AssertFailed(const char* module, const char* file, const char* function, int site) {
  (void)module;
  (void)file;
  (void)function;
  (void)site;
  std::abort();
}

}  // namespace kavrino

#include "core/diag.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavrino {
namespace {

// The lead text is cut to 254 characters, as a 255-byte message buffer holds.
std::string WithReason(const char* lead, int error) {
  std::string message(lead);
  if (message.size() > 254) message.resize(254);
  message += ": ";
  message += std::strerror(error);
  return message;
}

}  // namespace

std::string FatalMessage(const char* module, int site, int error) {
  char lead[512];
  std::snprintf(lead, sizeof lead, "Abnormal program termination (%s,%i)",
                module != nullptr ? module : "", site);
  return WithReason(lead, error);
}

std::string OpenFailureMessage(const char* kind, const std::string& path, const char* action,
                               int error) {
  const std::string lead =
      std::string("The ") + kind + " file \"" + path + "\" could not be opened for " + action;
  return WithReason(lead.c_str(), error);
}

void AssertFailed(const char* module, const char* file, const char* function, int site) {
  (void)module;
  (void)file;
  (void)function;
  (void)site;
  std::abort();
}

}  // namespace kavrino

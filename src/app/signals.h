// Interruptions: SIGINT, SIGTERM and SIGHUP end the run after removing its
// temporary files, with status 128 + the signal's number.
#pragma once

#include <csignal>

#include "convert/temp_files.h"
#include "core/thread.h"

namespace kavrino {

struct SignalWatch {
  sigset_t signals;
  TempFiles* temp_files = nullptr;
  Thread thread;
};

// Blocks the three signals in this thread and every thread it starts later,
// and waits for them on a thread of its own. When no thread can be started,
// the signals are left as they were (they end the run at once).
void StartSignalWatch(SignalWatch* watch, TempFiles* temp_files);

}  // namespace kavrino

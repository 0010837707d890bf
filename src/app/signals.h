// Interruptions: SIGINT, SIGTERM and SIGHUP end the run after removing its
// temporary files, with status 128 + the signal's number.
#pragma once

#include <atomic>
#include <csignal>

#include "convert/temp_files.h"
#include "core/thread.h"

namespace kavrino {

// Stops watching when it goes: the signals are then left blocked, to the end
// of the process.
struct SignalWatch {
  sigset_t signals;
  TempFiles* temp_files = nullptr;
  Thread thread;
  std::atomic<bool> stopping{false};
  ~SignalWatch();
};

// Blocks the three signals in this thread and every thread it starts later,
// and waits for them on a thread of its own. When no thread can be started,
// the signals are left as they were (they end the run at once).
void StartSignalWatch(SignalWatch* watch, TempFiles* temp_files);

}  // namespace kavrino

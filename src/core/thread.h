// Threads: the one way the program starts and joins them. Starting returns a
// status instead of throwing, so that callers can fall back to doing the work
// themselves.
#pragma once

#include <pthread.h>

namespace kavrino {

struct Thread {
  pthread_t handle{};
  bool running = false;
};

// Runs body(arg) on a new thread; false when none could be started.
bool StartThread(Thread* thread, void (*body)(void*), void* arg);
// Waits for the thread's end; nothing when it was not started.
void JoinThread(Thread* thread);
// The processors this process may run on (its affinity mask), at least 1.
int UsableProcessors();

}  // namespace kavrino

#include "core/thread.h"

#include <sched.h>
#include <unistd.h>

namespace kavrino {
namespace {

struct Start {
  void (*body)(void*);
  void* arg;
};

void* Run(void* start) {
  const Start s = *static_cast<Start*>(start);
  delete static_cast<Start*>(start);
  s.body(s.arg);
  return nullptr;
}

}  // namespace

bool StartThread(Thread* thread, void (*body)(void*), void* arg) {
  Start* start = new Start{body, arg};
  thread->running = pthread_create(&thread->handle, nullptr, Run, start) == 0;
  if (!thread->running) delete start;
  return thread->running;
}

void JoinThread(Thread* thread) {
  if (!thread->running) return;
  pthread_join(thread->handle, nullptr);
  thread->running = false;
}

int UsableProcessors() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

}  // namespace kavrino

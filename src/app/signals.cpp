#include "app/signals.h"

#include <pthread.h>
#include <unistd.h>

namespace kavrino {
namespace {

void Watch(void* arg) {
  SignalWatch* watch = static_cast<SignalWatch*>(arg);
  int signal = 0;
  if (sigwait(&watch->signals, &signal) != 0 || watch->stopping) return;
  // Nothing is renamed into place any more; the files already complete stay.
  RemoveTempFiles(watch->temp_files, true);
  _exit(128 + signal);
}

// One of the watched signals, to wake the watcher when it is to stop.
int WatchedSignal(const sigset_t& signals) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    if (sigismember(&signals, signal) == 1) return signal;
  }
  return 0;
}

}  // namespace

SignalWatch::~SignalWatch() {
  if (!thread.running) return;
  stopping = true;
  pthread_kill(thread.handle, WatchedSignal(signals));
  JoinThread(&thread);
}

void StartSignalWatch(SignalWatch* watch, TempFiles* temp_files) {
  watch->temp_files = temp_files;
  sigemptyset(&watch->signals);
  int watched = 0;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the run was started to ignore (nohup, a background job) stays ignored.
    struct sigaction current;
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&watch->signals, signal);
    ++watched;
  }
  if (watched == 0) return;
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &watch->signals, &previous);
  if (!StartThread(&watch->thread, Watch, watch)) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
}

}  // namespace kavrino

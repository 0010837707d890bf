// Runs a command and reports its wall time, CPU time and the peak resident
// memory of the child, for machines without a resource-reporting `time` program.
//
//   bench_peak_rss [-o REPORT] COMMAND [ARGS...]
//
// The report is one line, "peak_rss_kb=N seconds=S cpu_seconds=C status=X"
// (C is the user plus system time of the command), written to
// REPORT (or to the standard error stream). The command's own standard
// streams are left alone. The exit status is the command's (128 + signal when
// it was killed, 127 when it could not be started).
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

void PrintUsage() {
  std::fputs("usage: bench_peak_rss [-o REPORT] COMMAND [ARGS...]\n", stderr);
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  const char* report_path = nullptr;
  if (argc > 2 && std::strcmp(argv[1], "-o") == 0) {
    report_path = argv[2];
    first = 3;
  }
  if (first >= argc) {
    PrintUsage();
    return 2;
  }

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("bench_peak_rss: fork");
    return 127;
  }
  if (child == 0) {
    execvp(argv[first], argv + first);
    std::fprintf(stderr, "bench_peak_rss: %s: %s\n", argv[first], std::strerror(errno));
    _exit(127);
  }

  int wait_status = 0;
  rusage usage{};
  pid_t waited;
  do {
    waited = wait4(child, &wait_status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (waited < 0) {
    std::perror("bench_peak_rss: wait4");
    return 127;
  }

  int status = 127;
  if (WIFEXITED(wait_status)) {
    status = WEXITSTATUS(wait_status);
  } else if (WIFSIGNALED(wait_status)) {
    status = 128 + WTERMSIG(wait_status);
  }

  FILE* report = stderr;
  if (report_path != nullptr) {
    report = std::fopen(report_path, "w");
    if (report == nullptr) {
      std::perror(report_path);
      return 127;
    }
  }
  // On Linux ru_maxrss is in kilobytes.
  const double cpu_seconds =
      static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::fprintf(report, "peak_rss_kb=%ld seconds=%.3f cpu_seconds=%.3f status=%d\n", usage.ru_maxrss,
               seconds, cpu_seconds, status);
  if (report != stderr) std::fclose(report);
  return status;
}

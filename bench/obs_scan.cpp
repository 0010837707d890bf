// Times the first observation pass (what the header needs) over a QDX file
// and prints what it learned, so that runs with different thread counts can be
// compared by eye as well as by the clock.
//
//   bench_obs_scan FILE [THREADS [PASSES]]   THREADS 0: the default (the cores, at most 8)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "convert/job.h"
#include "convert/obs_product.h"
#include "convert/obs_summary.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: %s FILE [THREADS [PASSES]]\n", argv[0]);
    return 2;
  }
  kavrino::ConvertOptions options;
  options.threads = argc > 2 ? std::atoi(argv[2]) : 0;
  const int passes = argc > 3 ? std::atoi(argv[3]) : 3;
  kavrino::ConvertJob job;
  job.options = &options;
  job.input = job.input_name = argv[1];
  auto summary = std::make_unique<kavrino::ObsFileSummary>();
  double best = 1e30;
  int ranges = 0;
  for (int pass = 0; pass < passes; ++pass) {
    kavrino::ObsScan scan;
    scan.job = &job;
    scan.decode_mode = kavrino::MeasDecodeMode(options);
    scan.window = options.window;
    const auto start = std::chrono::steady_clock::now();
    const bool found = kavrino::ScanObsFile(&scan, summary.get());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!found) {
      std::fprintf(stderr, "%s: no observation data\n", argv[1]);
      return 1;
    }
    if (seconds < best) best = seconds;
    ranges = scan.ranges_read;
  }
  const kavrino::ObsFileSummary& s = *summary;
  int sats = 0;
  for (const uint8_t seen : s.sat_seen) sats += seen;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("first pass: %.3f s (best of %d) in %d range(s), %ld KB peak\n", best, passes, ranges,
              usage.ru_maxrss);
  std::printf("epochs %lld..%lld, interval %u ms, %d satellites, signals %016llx, moving %d\n",
              static_cast<long long>(s.first_epoch_ms), static_cast<long long>(s.last_epoch_ms),
              s.data_interval_ms, sats, static_cast<unsigned long long>(s.seen_signal_mask),
              s.moving);
  std::printf("position %.4f %.4f %.4f, marker \"%.20s\"\n", s.site.approx_x, s.site.approx_y,
              s.site.approx_z, reinterpret_cast<const char*>(s.site.setup.bytes + 16));
  return 0;
}

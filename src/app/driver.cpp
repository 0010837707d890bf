#include "app/driver.h"

#include <pthread.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/file_io.h"
#include "convert/nav_product.h"
#include "app/options.h"
#include "app/settings.h"
#include "convert/met_product.h"
#include "convert/obs_product.h"

namespace kavrino {
namespace {

constexpr NavProduct kNavProducts[] = {
    {'N', 7, 1, NavRun::kGps},           {'G', 4, 3, NavRun::kGlonass},
    {'E', 7, 2, NavRun::kGalileo},       {'H', 3, 4, NavRun::kSbas},
    {'I', 3, 7, NavRun::kBeidou},        {'P', 10, 8, NavRun::kGps},
    {'B', 4, 9, NavRun::kSbasBroadcast},
};

// The whole state of one run: the settings, the number of product runs of the
// whole batch (input files times product kinds), the progress position (a
// percentage of the whole run, single precision) and the number of generator
// runs that wrote data.
struct DriverRun {
  RunSettings settings;
  float product_runs = 1.0f;
  float progress = 0.0f;
  int written = 0;
};

// Progress share of one product run, and of one constellation run of the mixed
// navigation file (six of them make one product run).
float ProductShare(const DriverRun& run) {
  return 100.0f / run.product_runs;
}
float ConstellationShare(const DriverRun& run) {
  return 16.666666f / run.product_runs;
}

// The integer progress range [from, to) of the next generator run, which
// advances the progress position by `share`.
struct ProgressRange {
  int from;
  int to;
};

ProgressRange TakeShare(DriverRun* run, float share) {
  ProgressRange range;
  range.from = static_cast<int>(run->progress);
  run->progress += share;
  range.to = static_cast<int>(run->progress);
  return range;
}

void CountResult(DriverRun* run, int status) {
  if (status == 0) ++run->written;
}

// The observation file of one input file.
int RunObservationProduct(DriverRun* run, const std::string& input) {
  const ProgressRange range = TakeShare(run, ProductShare(*run));
  const RunSettings& s = run->settings;
  const char* type_override =
      s.receiver_type_override == "default" ? nullptr : s.receiver_type_override.c_str();
  return GenerateObsFile(input, s.interval_ms, s.start_ms, s.end_ms, s.output_name, s.country_code,
                         type_override, s.flags, s.signal_mask, s.antenna, s.rinex_version,
                         s.comment, range.from, range.to);
}

// The meteorological file of one input file.
int RunMeteoProduct(DriverRun* run, const std::string& input) {
  const ProgressRange range = TakeShare(run, ProductShare(*run));
  const RunSettings& s = run->settings;
  return GenerateMetFile(input, s.interval_ms, s.start_ms, s.end_ms, s.output_name, s.country_code,
                         s.flags, s.rinex_version, range.from, range.to);
}

// One navigation product of one input file, each of its generator runs that
// wrote data counted.
void RunNavigationProduct(DriverRun* run, const std::string& input, const NavProduct& product,
                          NavInputShare* share) {
  const NavProgress progress{&run->progress, ProductShare(*run), ConstellationShare(*run)};
  run->written += MakeNavigationProduct(run->settings, input, product, progress, share);
}

const NavProduct* FindNavProduct(char letter) {
  for (const NavProduct& product : kNavProducts) {
    if (product.letter == letter) return &product;
  }
  return nullptr;
}

// Walks over an input file that its navigation products make.
int CountNavWalks(const RunSettings& settings) {
  int walks = 0;
  for (char letter : settings.file_types) {
    if (const NavProduct* product = FindNavProduct(letter)) {
      walks += NavProductWalks(*product, settings.flags);
    }
  }
  return walks;
}

bool WantsProduct(const RunSettings& settings, char letter) {
  return settings.file_types.find(letter) != std::string::npos;
}

// The meteorological and navigation products of one input file, in that order,
// the navigation products in the order of their letters.
void ConvertOtherProducts(DriverRun* run, const std::string& input) {
  const RunSettings& settings = run->settings;
  if (settings.meteo_requested || WantsProduct(settings, 'M')) {
    CountResult(run, RunMeteoProduct(run, input));
  }
  // With more than one navigation walk ahead, the first one copies the blocks
  // they read and the others read that copy, a small part of the file. Not
  // with -v, whose bar follows each walk through the file itself.
  NavInputShare share;
  share.use_copy = CountNavWalks(settings) > 1 && (settings.flags & FLAG_VERBOSE) == 0;
  for (char letter : settings.file_types) {
    if (const NavProduct* product = FindNavProduct(letter)) {
      RunNavigationProduct(run, input, *product, &share);
    }
  }
  CloseNavCopy(&share.copy);
}

// Whether the other products can be made while the observation file is: they
// have files of their own (no -o naming them all alike, no -S numbering them
// after the files already made) and no progress bar to share.
bool OthersRunAlongside(const RunSettings& settings) {
  return settings.product_count > 1 && settings.output_name.empty() &&
         (settings.flags & (FLAG_SEQUENCE | FLAG_VERBOSE)) == 0;
}

struct OtherProductsJob {
  DriverRun run;  // a copy: its own progress position and count
  const std::string* input;
};

void* RunOtherProducts(void* arg) {
  OtherProductsJob* job = static_cast<OtherProductsJob*>(arg);
  ConvertOtherProducts(&job->run, *job->input);
  return nullptr;
}

// Every requested product of one input file: the observation file first, then
// the others; the others on a second thread meanwhile when they can be, with
// the same files as a result.
// Returns false when the input file cannot be read.
bool ConvertInputFile(DriverRun* run, const std::string& input) {
  // The name is used whole: a long path names the file the user meant or none.
  if (!CheckReadable(input.c_str(), "input QDX")) return false;
  if (!WantsProduct(run->settings, 'O')) {
    ConvertOtherProducts(run, input);
    return true;
  }
  if (OthersRunAlongside(run->settings)) {
    auto job = std::make_unique<OtherProductsJob>(OtherProductsJob{*run, &input});
    job->run.written = 0;
    job->run.progress += ProductShare(*run);  // past the observation file's share
    pthread_t thread;
    if (pthread_create(&thread, nullptr, RunOtherProducts, job.get()) == 0) {
      CountResult(run, RunObservationProduct(run, input));
      pthread_join(thread, nullptr);
      run->written += job->run.written;
      run->progress = job->run.progress;
      return true;
    }
  }
  CountResult(run, RunObservationProduct(run, input));
  ConvertOtherProducts(run, input);
  return true;
}

}  // namespace

int RunKavrino(int argc, char* argv[]) {
  DriverRun run;
  const int parsed = ParseCommandLine(argc, argv, &run.settings, stdout, stderr);
  if (parsed != kParseContinue) return parsed;

  ResetProgressDisplay();
  const size_t files = run.settings.input_files.size();
  if (files > 0 && run.settings.product_count > 0) {
    run.product_runs = static_cast<float>(files * static_cast<size_t>(run.settings.product_count));
  }

  for (const std::string& name : run.settings.input_files) {
    if (!ConvertInputFile(&run, name)) return 3;
  }

  ClearProgressLine();
  std::fputs("Creating RINEX file: done\n", stdout);
  if (run.written == 0) {
    std::fputs("No relevant data available in the QDX file\n", stderr);
    return 2;
  }
  return 0;
}

}  // namespace kavrino

#include "app/driver.h"

#include <cstdio>
#include <string>

#include "app/file_io.h"
#include "app/options.h"
#include "app/settings.h"
#include "rinex/met/met_file.h"
#include "rinex/obs/obs_generator.h"

namespace kavrino {
namespace {

// The generator runs that navigation products are made of.
enum class NavRun { kGps, kGlonass, kGalileo, kSbas, kBeidou, kQzss, kSbasBroadcast };

// One navigation product: its letter in -n, the header lines reserved for it,
// the file type index of its output name and its generator run (the mixed file
// has one run per constellation instead).
struct NavProduct {
  char letter;
  int header_lines;
  int type_index;
  NavRun run;
};

constexpr NavProduct kNavProducts[] = {
    {'N', 7, 1, NavRun::kGps},           {'G', 4, 3, NavRun::kGlonass},
    {'E', 7, 2, NavRun::kGalileo},       {'H', 3, 4, NavRun::kSbas},
    {'I', 3, 7, NavRun::kBeidou},        {'P', 10, 8, NavRun::kGps},
    {'B', 4, 9, NavRun::kSbasBroadcast},
};

// The constellation runs of the mixed navigation file, in order, each skipped
// when its exclusion flag is set.
struct MixedRun {
  NavRun run;
  uint32_t exclusion;
};
constexpr MixedRun kMixedRuns[] = {
    {NavRun::kGps, FLAG_EXCL_GPS},         {NavRun::kGlonass, FLAG_EXCL_GLONASS},
    {NavRun::kGalileo, FLAG_EXCL_GALILEO}, {NavRun::kSbas, FLAG_EXCL_SBAS},
    {NavRun::kBeidou, FLAG_EXCL_BEIDOU},   {NavRun::kQzss, FLAG_EXCL_QZSS},
};

// Status of a generator run that wrote nothing.
constexpr int kNothingWritten = 2;

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
  return GenerateMetFile(input, s.interval_ms, s.start_ms, s.end_ms, s.output_name,
                         s.country_code, s.flags, s.rinex_version, range.from, range.to);
}

// One generator run inside a navigation product.
int RunNavGenerator(DriverRun* run, const std::string& input, NavRun which, float share) {
  const ProgressRange range = TakeShare(run, share);
  (void)input;
  (void)which;
  (void)range;
  return kNothingWritten;  // no navigation generators in this build yet
}

// One navigation product of one input file: its generator runs, each with its
// share of the progress, each counted when it wrote data. The product's own
// passes (the pre-scans, the output file with its reserved header, the header
// written last) wrap these runs.
void RunNavigationProduct(DriverRun* run, const std::string& input, const NavProduct& product) {
  if (product.letter != 'P') {
    CountResult(run, RunNavGenerator(run, input, product.run, ProductShare(*run)));
    return;
  }
  for (const MixedRun& mixed : kMixedRuns) {
    if (run->settings.flags & mixed.exclusion) continue;
    CountResult(run, RunNavGenerator(run, input, mixed.run, ConstellationShare(*run)));
  }
}

const NavProduct* FindNavProduct(char letter) {
  for (const NavProduct& product : kNavProducts) {
    if (product.letter == letter) return &product;
  }
  return nullptr;
}

bool WantsProduct(const RunSettings& settings, char letter) {
  return settings.file_types.find(letter) != std::string::npos;
}

// Every requested product of one input file, in the fixed order: observation,
// meteorological, then the navigation products in the order of their letters.
// Returns false when the input file cannot be read.
bool ConvertInputFile(DriverRun* run, const std::string& input) {
  // The name is used whole: a long path names the file the user meant or none.
  if (!CheckReadable(input.c_str(), "input QDX")) return false;
  const RunSettings& settings = run->settings;
  if (WantsProduct(settings, 'O')) CountResult(run, RunObservationProduct(run, input));
  if (settings.meteo_requested || WantsProduct(settings, 'M')) {
    CountResult(run, RunMeteoProduct(run, input));
  }
  for (char letter : settings.file_types) {
    if (const NavProduct* product = FindNavProduct(letter)) {
      RunNavigationProduct(run, input, *product);
    }
  }
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

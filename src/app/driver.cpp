#include "app/driver.h"

#include <cstdio>
#include <string>

#include "app/file_io.h"
#include "app/options.h"
#include "app/settings.h"

namespace kavrino {
namespace {

constexpr size_t kMaxPathLength = 255;

// One navigation product: its letter in -n, the header lines reserved for it
// and the file type index of its output name.
struct NavProduct {
  char letter;
  int header_lines;
  int type_index;
};

constexpr NavProduct kNavProducts[] = {
    {'N', 7, 1},   // GPS
    {'G', 4, 3},   // GLONASS
    {'E', 7, 2},   // Galileo
    {'H', 3, 4},   // SBAS
    {'I', 3, 7},   // BeiDou
    {'P', 10, 8},  // mixed, one generator run per constellation
    {'B', 4, 9},   // SBAS broadcast
};

// The constellation runs of the mixed navigation file, in order, each skipped
// when its exclusion flag is set.
enum class NavRun { kGps, kGlonass, kGalileo, kSbas, kBeidou, kQzss, kSbasBroadcast };
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
  (void)input;
  (void)range;
  return kNothingWritten;  // no observation generator in this build yet
}

// The meteorological file of one input file.
int RunMeteoProduct(DriverRun* run, const std::string& input) {
  const ProgressRange range = TakeShare(run, ProductShare(*run));
  (void)input;
  (void)range;
  return kNothingWritten;  // no meteorological generator in this build yet
}

// One generator run inside a navigation product.
int RunNavGenerator(DriverRun* run, const std::string& input, NavRun which, float share) {
  const ProgressRange range = TakeShare(run, share);
  (void)input;
  (void)which;
  (void)range;
  return kNothingWritten;  // no navigation generators in this build yet
}

NavRun SingleNavRun(char letter) {
  switch (letter) {
    case 'N':
      return NavRun::kGps;
    case 'G':
      return NavRun::kGlonass;
    case 'E':
      return NavRun::kGalileo;
    case 'H':
      return NavRun::kSbas;
    case 'I':
      return NavRun::kBeidou;
    default:
      return NavRun::kSbasBroadcast;
  }
}

// One navigation product of one input file: its generator runs, each with its
// share of the progress, each counted when it wrote data.
void RunNavigationProduct(DriverRun* run, const std::string& input, const NavProduct& product) {
  if (product.letter != 'P') {
    CountResult(run, RunNavGenerator(run, input, SingleNavRun(product.letter), ProductShare(*run)));
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
bool ConvertInputFile(DriverRun* run, const std::string& name) {
  const std::string input = name.substr(0, kMaxPathLength);
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

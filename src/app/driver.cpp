#include "app/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/progress_bar.h"
#include "app/settings.h"
#include "app/signals.h"
#include "convert/compressed_input.h"
#include "convert/products.h"
#include "core/thread.h"

namespace kavrino {
namespace {

// The state of one run: the settings, the progress of the batch, the number
// of product walks that wrote data and the messages of failed products.
struct DriverRun {
  const RunSettings* settings = nullptr;
  ProgressTrack progress;
  int written = 0;
  std::vector<std::string> failures;
};

bool WantsProduct(const RunSettings& settings, char letter) {
  return settings.file_types.find(letter) != std::string::npos;
}

// Counts what a product came to; false when it failed.
bool Note(DriverRun* run, const ProductStatus& status) {
  if (status.result == ProductResult::kFailed) {
    run->failures.push_back(status.message);
    return false;
  }
  run->written += status.written_runs;
  return true;
}

// The navigation products of the letters of -n, in their order.
template <typename Fn>
void ForEachNavProduct(const RunSettings& settings, Fn fn) {
  for (char letter : settings.file_types) {
    const ProductSpec* product = FindProduct(letter);
    if (product != nullptr && product->kind == ProductKind::kNavigation && !fn(*product)) return;
  }
}

// The meteorological and navigation products of one input file, in that order,
// the navigation products in the order of their letters; the first failure
// ends them.
void ConvertOtherProducts(DriverRun* run, const ConvertJob& job) {
  const RunSettings& settings = *run->settings;
  if (settings.meteo_requested || WantsProduct(settings, 'M')) {
    if (!Note(run, MakeProduct(*FindProduct('M'), job, &run->progress, nullptr))) return;
  }
  // With more than one navigation walk ahead, the first one copies the blocks
  // they read and the others read that copy, a small part of the file. Not
  // with -v, whose bar follows each walk through the file itself.
  int walks = 0;
  ForEachNavProduct(settings, [&](const ProductSpec& product) {
    walks += ProductWalks(product, settings.convert);
    return true;
  });
  NavInputState nav;
  nav.use_copy = walks > 1 && !settings.verbose;
  ForEachNavProduct(settings, [&](const ProductSpec& product) {
    return Note(run, MakeProduct(product, job, &run->progress, &nav));
  });
  CloseNavCopy(&nav.copy);
}

// Whether the other products can be made while the observation file is: they
// have files of their own (no -o naming them all alike, no -S numbering them
// after the files already made) and no progress bar to share.
bool OthersRunAlongside(const RunSettings& settings) {
  const NamingOptions& naming = settings.convert.naming;
  return settings.product_count > 1 && naming.output_name.empty() && !naming.sequence &&
         !settings.verbose;
}

struct OtherProductsJob {
  DriverRun run;  // a copy: its own progress position, count and failures
  const ConvertJob* job;
};

void RunOtherProducts(void* arg) {
  OtherProductsJob* other = static_cast<OtherProductsJob*>(arg);
  ConvertOtherProducts(&other->run, *other->job);
}

// Every requested product of one input file: the observation file first, then
// the others; the others on a second thread meanwhile when they can be, with
// the same files as a result.
void ConvertInputFile(DriverRun* run, const ConvertJob& job) {
  const RunSettings& settings = *run->settings;
  const ProductSpec& observation = *FindProduct('O');
  if (!WantsProduct(settings, 'O')) {
    ConvertOtherProducts(run, job);
    return;
  }
  if (OthersRunAlongside(settings)) {
    auto other = std::make_unique<OtherProductsJob>(OtherProductsJob{*run, &job});
    other->run.written = 0;
    other->run.progress.position += ProductShare(run->progress);  // past the observation file
    Thread thread;
    if (StartThread(&thread, RunOtherProducts, other.get())) {
      Note(run, MakeProduct(observation, job, &run->progress, nullptr));
      JoinThread(&thread);
      run->written += other->run.written;
      run->progress.position = other->run.progress.position;
      for (std::string& message : other->run.failures) run->failures.push_back(message);
      return;
    }
  }
  if (Note(run, MakeProduct(observation, job, &run->progress, nullptr))) {
    ConvertOtherProducts(run, job);
  }
}

// The name output names derive from: a compressed log's name without the
// suffix of its compression.
std::string PlainName(const std::string& name) {
  for (const char* suffix : {".gz", ".zst", ".bz2"}) {
    if (name.size() > std::strlen(suffix) && name.ends_with(suffix)) {
      return name.substr(0, name.size() - std::strlen(suffix));
    }
  }
  return name;
}

// Converts one input file; a compressed one from its decompressed copy. False
// when the copy could not be made (the message is printed; the other files go on).
bool ConvertOneInput(DriverRun* run, const std::string& name, const OutputContext& output) {
  DecompressOptions decompress;
  decompress.temp_files = output.temp_files;
  DecompressedInput copy = DecompressInput(name.c_str(), decompress);
  if (!copy.ok) {
    std::fprintf(stderr, "%s\n", copy.error.c_str());
    return false;
  }
  if (!copy.warning.empty()) std::fprintf(stderr, "%s\n", copy.warning.c_str());
  ConvertJob job;
  job.options = &run->settings->convert;
  job.input = copy.temp_path.empty() ? name : copy.temp_path;
  job.input_name = copy.temp_path.empty() ? name : PlainName(name);
  job.output = output;
  ConvertInputFile(run, job);
  if (!RemoveDecompressedInput(&copy)) {
    std::fprintf(stderr, "The temporary copy \"%s\" of \"%s\" could not be removed: %s\n",
                 copy.temp_path.c_str(), name.c_str(), std::strerror(errno));
  }
  return true;
}

}  // namespace

int RunKavrino(int argc, char* argv[]) {
  RunSettings settings;
  const int parsed = ParseCommandLine(argc, argv, &settings, stdout, stderr);
  if (parsed != kParseContinue) return parsed;

  TempFiles temp_files;
  SignalWatch watch;
  StartSignalWatch(&watch, &temp_files);
  // No output may be written over an input of the run, whatever name it has.
  std::vector<InputFileId> inputs;
  for (const std::string& name : settings.input_files) {
    InputFileId input{name, {}};
    if (GetFileIdentity(name, &input.identity)) inputs.push_back(input);
  }

  ProgressBar bar;
  DriverRun run;
  run.settings = &settings;
  if (settings.verbose) run.progress.sink = ProgressBarSink(&bar);
  const size_t files = settings.input_files.size();
  if (files > 0 && settings.product_count > 0) {
    run.progress.product_runs =
        static_cast<float>(files * static_cast<size_t>(settings.product_count));
  }

  bool all_read = true;
  for (const std::string& name : settings.input_files) {
    // The name is used whole: a long path names the file the user meant or none.
    if (!CheckReadable(name.c_str(), "input QDX")) return 3;
    if (!ConvertOneInput(&run, name, OutputContext{&inputs, &temp_files})) all_read = false;
    if (!run.failures.empty()) {
      for (const std::string& message : run.failures) std::fprintf(stderr, "%s\n", message.c_str());
      return 1;
    }
  }

  ClearProgressLineOn(stdout);
  std::fputs("Creating RINEX file: done\n", stdout);
  if (!all_read) return 1;
  if (run.written == 0) {
    std::fputs("No relevant data available in the QDX file\n", stderr);
    return 2;
  }
  return 0;
}

}  // namespace kavrino

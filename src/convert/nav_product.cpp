#include "convert/nav_product.h"

#include <memory>

#include "convert/file_naming.h"
#include "convert/prescan.h"
#include "core/time.h"
#include "qdx/lookups.h"
#include "qdx/nav_copy.h"
#include "qdx/reader.h"
#include "rinex/header_lines.h"
#include "rinex/nav/nav_header.h"
#include "rinex/nav/sbas_broadcast.h"

namespace kavrino {
namespace {

constexpr int64_t kNavMarginMs = 14400000;  // four hours
// The share of the progress of one walk of the mixed file.
constexpr float kMixedWalkShare = 100.0f / 6;

// Puts the reader back to the start of the input, or onto the navigation copy
// once the walk that ended has completed it.
void RewindReader(QdxReader* reader) {
  if (reader->copy != nullptr && OpenQdxReaderOnNavCopy(*reader->copy, reader)) {
    reader->copy = nullptr;
    return;
  }
  QdxRewind(reader);
}

void WriteProductHeader(const ProductSpec& product, const NavHeaderInfo& info,
                        const ReceiverSetupRecord& setup, OutStream* out) {
  switch (product.type_index) {
    case FILE_GPS_NAV:
      WriteGpsNavHeader(out, info);
      break;
    case FILE_GLO_NAV:
      WriteGloNavHeader(out, info);
      break;
    case FILE_GAL_NAV:
      WriteGalNavHeader(out, info);
      break;
    case FILE_SBAS_NAV:
      WriteSbasNavHeader(out, info);
      break;
    case FILE_BDS_NAV:
      WriteBdsNavHeader(out, info);
      break;
    case FILE_MIXED_NAV:
      WriteMixedNavHeader(out, info);
      break;
    case FILE_SBAS_BROADCAST:
      WriteSbasBroadcastHeader(out, setup, info.date, info.program);
      break;
    default:
      break;
  }
}

// The span long names carry, measured once per window of an input file.
uint32_t DataSpan(const ConvertJob& job, const TimeWindow& window, NavInputState* nav,
                  QdxReadFailure* failure) {
  if (!job.options->naming.long_names) return kNotMeasured;
  if (!nav->span_measured || nav->span_window.start_ms != window.start_ms ||
      nav->span_window.end_ms != window.end_ms) {
    nav->span_s = MeasureDataSpan(job.input.c_str(), window, failure);
    nav->span_window = window;
    nav->span_measured = failure->site == 0;
  }
  return nav->span_s;
}

}  // namespace

void SettleNavWindow(int64_t first_epoch_ms, TimeWindow* window) {
  SettleTimeOfDay(first_epoch_ms, &window->start_ms, &window->end_ms);
  if (first_epoch_ms != 0 && window->start_ms == kNoStartMs) {
    window->start_ms = first_epoch_ms - kNavMarginMs;
  }
}

ProductStatus MakeNavigationFile(const ProductSpec& product, const ConvertJob& job,
                                 ProgressTrack* progress, NavInputState* nav) {
  const ConvertOptions& options = *job.options;
  const char* path = job.input.c_str();
  QdxReadFailure failure;
  TimeWindow window = options.window;
  const int64_t first_epoch_ms = FindFirstDataEpoch(path, window, &failure);
  SettleNavWindow(first_epoch_ms, &window);
  NameRequest request = NameRequestFor(job, product.type_index);
  request.first_epoch_ms = first_epoch_ms;
  request.span_s = DataSpan(job, window, nav, &failure);
  if (failure.site != 0) return Failed(ReadFailureMessage(failure));

  QdxNavCopy* copy = nav->use_copy ? &nav->copy : nullptr;
  auto reader = std::make_unique<QdxReader>();
  if (copy == nullptr || !OpenQdxReaderOnNavCopy(*copy, reader.get())) {
    InitQdxReader(path, reader.get());
    reader->copy = copy;
  }
  ReceiverSetupRecord setup;
  ReadReceiverSetup(reader.get(), &setup);
  request.setup = &setup;
  NavHeaderInfo info;
  info.date = CurrentUtcTime();
  info.program = kProgramVersion;
  info.version = options.version;

  std::string name;
  std::string message;
  OutputFile file;
  if (!NameOutputFile(request, &name, &message) ||
      !OpenOutputFile(name, job.output, OutputFormatOf(options, true), &file, &message)) {
    CloseQdxReader(reader.get());
    return Failed(message);
  }
  WriteEndOfHeader(&file.stream, product.header_lines);

  NavPass pass;
  pass.options = &options;
  pass.reader = reader.get();
  pass.out = &file.stream;
  pass.window = window;
  pass.version = product.type_index == FILE_MIXED_NAV ? RinexVersion::k304 : options.version;
  pass.sink = &progress->sink;
  const float share =
      product.run_count > 1 ? kMixedWalkShare / progress->product_runs : ProductShare(*progress);
  ProductStatus status;
  for (int i = 0; i < product.run_count; ++i) {
    const NavRun run = product.runs[i];
    if (IsRunSkipped(product, options, run)) continue;
    pass.range = TakeProgressShare(progress, share);
    if (run == NavRun::kGlonass) info.leap_count = GetLeapCount(reader.get(), first_epoch_ms);
    if (RunNavWalk(&pass, run)) ++status.written_runs;
    RewindReader(reader.get());
  }
  if (!CloseQdxReader(reader.get())) {
    DiscardOutputFile(&file);
    return Failed(ReadFailureMessage(reader->failure));
  }

  // The header goes over the reserved area.
  if (!RewindOutputFile(&file, &message)) return Failed(message);
  info.corrections = &pass.corrections;
  WriteProductHeader(product, info, setup, &file.stream);
  if (!CommitOutputFile(&file, &message)) return Failed(message);
  status.result = status.written_runs > 0 ? ProductResult::kWritten : ProductResult::kNoData;
  return status;
}

}  // namespace kavrino

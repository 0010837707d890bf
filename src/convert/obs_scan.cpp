// The first pass of the observation generator: everything the header needs.
//
// A large file is cut into byte ranges, each starting with the first block of
// an epoch, which are walked in parallel and merged in file order. Each range
// notes what a walk from the start of the file could have done differently at
// its start (a time stamp going back across the cut, a compact delta epoch
// whose reference lies in the range before, an epoch left gathering at the
// cut, a block overlapping the cut); when any of that happened, the whole file
// is walked once more from its start, so that the summary never depends on the
// number of threads.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "convert/obs_product.h"
#include "convert/prescan.h"
#include "core/geodesy.h"
#include "core/signals.h"
#include "core/thread.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/compact_meas.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/decode/position_fix.h"
#include "qdx/meas_gather.h"
#include "qdx/reader.h"
#include "rinex/obs/obs_epoch.h"

namespace kavrino {
namespace {

constexpr int kDefaultMaxThreads = 8;
constexpr int64_t kNoRangeEnd = std::numeric_limits<int64_t>::max();
constexpr uint32_t kNoTow = 0xFFFFFFFFu;
// Site events a range may note; a range with more (a setup block that changes
// in every epoch, say) sends the file through one walk.
constexpr size_t kMaxSiteEvents = 256;
constexpr size_t kRangeReadChunk = size_t{256} << 10;

// A block that changes the site, for the merge to replay in file order: the
// first usable position fix of a range, or a receiver setup block applied.
struct SiteEvent {
  bool is_fix = false;
  bool in_window = false;
  PositionFix fix;
  ReceiverSetupRecord
      setup{};  // the block's first kReceiverSetupSize bytes (zeros after a shorter block)
};

// One range of the file and what its walk learned.
struct RangeScan {
  const ObsScan* scan = nullptr;
  int64_t begin = 0;
  int64_t end = kNoRangeEnd;  // the start of the next range's first block
  const ProgressSink* sink = nullptr;
  size_t read_chunk = kQdxReadChunk;
  std::atomic<int64_t> done{0};  // bytes walked, for the progress of the whole pass

  std::unique_ptr<ObsFileSummary> part = std::make_unique<ObsFileSummary>();
  QdxReadFailure failure;
  int64_t last_counted = 0;  // the time of the latest counted epoch; 0: none
  bool setup_taken = false;
  bool fix_taken = false;
  int glo_first_k[kGloSlotCount] = {};  // the first frequency number met per slot
  std::vector<SiteEvent> events;
  bool events_overflow = false;

  // What the merge checks against the ranges before.
  int64_t earliest_before_count = kNoRangeEnd;  // in the window, up to the first counted epoch
  bool fed_measurement = false;
  uint32_t first_measurement_tow = kNoTow;  // of the first measurement block decoded from
  uint32_t last_decoded_tow = kNoTow;       // at the end of the range
  uint32_t deltas_without_reference = 0;
  bool gathering_at_end = false;  // an epoch was still being gathered at the end
  bool far_spacing = false;       // two counted epochs more than 2^32 ms apart
  bool aligned = false;           // the walk met the next range's first block where it starts
};

bool Present(double value) {
  return value > kMeasPresentThreshold;
}

void NoteGlonassFrequency(RangeScan* r, uint8_t sat_index, uint8_t freq_byte) {
  if (!IsNumberedSat(sat_index, CONST_GLONASS)) return;
  ObsFileSummary* summary = r->part.get();
  const int slot = sat_index - SatSystemOf(CONST_GLONASS).first;
  const int k = static_cast<int>(freq_byte) - 8;
  if (!summary->glo_slot_known[slot]) {
    summary->glo_slot_freq[slot] = static_cast<int8_t>(k);
    summary->glo_slot_known[slot] = 1;
    r->glo_first_k[slot] = k;
  } else if (summary->glo_slot_freq[slot] != k) {
    summary->glo_slot_freq[slot] = kGloFreqUnknown;
  }
}

void InitSummary(ObsFileSummary* summary, const ConvertOptions& options) {
  *summary = ObsFileSummary{};
  SetReceiverSetupDefaults(&summary->site.setup);
  const ObsExtras& extras = options.extras;
  BuildObsTypeLayout(&summary->layout, options.signal_mask & ~ExcludedSignalMask(options),
                     extras.doppler, extras.snr, extras.channel, options.version);
}

// A fix with a position and a velocity counts; any such fix showing a speed
// above 1 m/s marks the data as moving.
bool IsUsableFix(const PositionFix& fix) {
  return fix.has_velocity && Present(fix.coords[0]) && Present(fix.coords[1]) &&
         Present(fix.coords[2]);
}

bool ShowsMovement(const PositionFix& fix) {
  const float vx = fix.velocity[0];
  const float vy = fix.velocity[1];
  const float vz = fix.velocity[2];
  return vx > kMeasPresentThreshold && vy > kMeasPresentThreshold && vz > kMeasPresentThreshold &&
         vx * vx + vy * vy + vz * vz > 1.0f;
}

// The first usable fix gives the approximate position.
void ApplyFix(ObsSite* site, const PositionFix& fix, bool* fix_taken) {
  if (!*fix_taken) {
    if (fix.geodetic) {
      GeodeticToEcef(fix.coords[0], fix.coords[1], fix.coords[2], &site->approx_x, &site->approx_y,
                     &site->approx_z);
    } else {
      site->approx_x = fix.coords[0];
      site->approx_y = fix.coords[1];
      site->approx_z = fix.coords[2];
    }
  }
  *fix_taken = true;
}

// The first setup block of the file, and every one inside the window, is laid
// over the setup; its reference position, if any, is the approximate position.
void ApplySetup(ObsSite* site, const uint8_t* block) {
  OverlayReceiverSetup(block, &site->setup);
  if (SetupHasReferencePosition(site->setup)) {
    GeodeticToEcef(SetupRefLatitude(site->setup), SetupRefLongitude(site->setup),
                   SetupRefHeight(site->setup), &site->approx_x, &site->approx_y, &site->approx_z);
  }
}

// A setup block inside the window that repeats the one noted last changes
// nothing when replayed, and is not noted again.
void NoteEvent(RangeScan* r, const SiteEvent& event) {
  if (!event.is_fix && event.in_window && !r->events.empty()) {
    const SiteEvent& last = r->events.back();
    if (!last.is_fix && last.in_window &&
        std::memcmp(last.setup.bytes, event.setup.bytes, sizeof event.setup.bytes) == 0) {
      return;
    }
  }
  if (r->events.size() < kMaxSiteEvents) {
    r->events.push_back(event);
  } else {
    r->events_overflow = true;
  }
}

// The spacing of two consecutive counted epochs. The smallest is kept, in 32
// bits: spacings that do not fit would make it depend on the order of the
// comparisons, so the ranges note them and the merge gives way to one walk.
constexpr int64_t kFarSpacing = int64_t{1} << 32;
void NoteSpacing(ObsFileSummary* summary, int64_t d) {
  if (summary->data_interval_ms == 0 || summary->data_interval_ms > d) {
    summary->data_interval_ms = static_cast<uint32_t>(d);
  }
}

void CountEpoch(RangeScan* r, const MeasEpochRecord& epoch, int64_t t) {
  ObsFileSummary* summary = r->part.get();
  const uint32_t antenna = r->scan->job->options->antenna;
  uint8_t sats[kMaxEpochSats];
  uint8_t freqs[kMaxEpochSats];
  const int n = CountEpochSatellites(epoch, summary->layout, antenna, sats, freqs);
  for (int i = 0; i < n; ++i) {
    summary->sat_seen[sats[i]] = 1;
    NoteGlonassFrequency(r, sats[i], freqs[i]);
  }
  summary->seen_signal_mask |= GetEpochSignalMask(epoch, summary->layout, antenna);
  if (n < 1) return;
  if (summary->first_epoch_ms == 0) {
    summary->first_epoch_ms = t;
  } else {
    const int64_t d = t - summary->last_epoch_ms;
    r->far_spacing |= d >= kFarSpacing;
    NoteSpacing(summary, d);
  }
  summary->last_epoch_ms = t;
  r->last_counted = t;
}

// Walks the blocks that start inside the range, as a walk of the whole file
// would, on a reader of its own.
void ScanRange(RangeScan* r) {
  const ObsScan& scan = *r->scan;
  const ConvertOptions& options = *scan.job->options;
  const int64_t start = scan.window.start_ms;
  const int64_t end = scan.window.end_ms;
  const uint32_t interval_ms = options.interval_ms == 0 ? 1 : options.interval_ms;
  auto reader = std::make_unique<QdxReader>();
  auto epoch = std::make_unique<MeasEpochRecord>();
  reader->read_chunk = r->read_chunk;
  InitQdxReader(scan.job->input.c_str(), reader.get());
  QdxSeek(reader.get(), r->begin);
  InitSummary(r->part.get(), options);
  ObsSite& site = r->part->site;
  // Only satellites, signals, pseudoranges and times count here.
  const int scan_mode = scan.decode_mode | kDecodeNoExtraInfo | kDecodeRangesOnly;
  BlockWalk walk;
  StartBlockWalk(&walk, reader.get(), r->sink, scan.range);
  r->aligned = r->end == kNoRangeEnd;
  while (const uint8_t* b = NextWalkBlock(&walk)) {
    const int64_t after = QdxTell(reader.get());
    if (after - QdxBlockLength(b) >= r->end) {
      r->aligned = after - QdxBlockLength(b) == r->end;
      break;
    }
    r->done.store(after - r->begin, std::memory_order_relaxed);
    const uint16_t number = QdxBlockNumber(b);
    const int64_t t = QdxBlockTimeMs(b);
    const bool in_window = IsInWindow(t, start, end);
    const bool on_grid = QdxBlockTow(b) % interval_ms == 0;
    if (IsQdxTimeValid(b)) {
      if (in_window && r->last_counted == 0) {
        r->earliest_before_count = std::min(r->earliest_before_count, t);
      }
      if (t > r->last_counted && in_window) {
        if (!r->fed_measurement && IsMeasBlockNumber(number)) {
          r->fed_measurement = true;
          r->first_measurement_tow = QdxBlockTow(b);
        }
        if (AddBlockToEpoch(reader.get(), b, epoch.get(), scan_mode) == 1 && on_grid) {
          CountEpoch(r, *epoch, t);
        }
      }
      PositionFix fix;
      if (in_window && on_grid && DecodePositionFix(b, &fix) && IsUsableFix(fix)) {
        if (ShowsMovement(fix)) r->part->moving = 1;
        if (!r->fix_taken) {
          SiteEvent event;
          event.is_fix = true;
          event.fix = fix;
          NoteEvent(r, event);
        }
        ApplyFix(&site, fix, &r->fix_taken);
      }
    }
    if (number == kReceiverSetupBlock && (!r->setup_taken || in_window)) {
      SiteEvent event;
      event.in_window = in_window;
      OverlayReceiverSetup(b, &event.setup);
      NoteEvent(r, event);
      ApplySetup(&site, b);
      r->setup_taken = true;
    }
  }
  const MeasDecodeState& decode = reader->decode;
  r->last_decoded_tow = decode.gather.last_decoded_tow;
  r->deltas_without_reference = decode.deltas_without_reference;
  r->gathering_at_end = HasPendingMeasBlocks(decode);
  if (!CloseQdxReader(reader.get())) r->failure = reader->failure;
}

// What a walk of the whole file carries from one range into the next: the
// summary so far and the state its rules look at.
struct WalkState {
  ObsFileSummary* summary = nullptr;
  int64_t last_counted = 0;
  uint32_t last_decoded_tow = kNoTow;
  bool setup_taken = false;
  bool fix_taken = false;
};

// Whether a walk of the whole file, in the state `before` after `previous`,
// would have read the start of `r` as its own walk did.
bool StartsCleanly(const WalkState& before, const RangeScan& previous, const RangeScan& r) {
  return previous.aligned && !previous.gathering_at_end && !r.events_overflow && !r.far_spacing &&
         r.deltas_without_reference == 0 && r.earliest_before_count > before.last_counted &&
         !(r.fed_measurement && r.first_measurement_tow == before.last_decoded_tow);
}

// A slot's frequency number stays known when the range's first number for it
// is the one known so far (and the range saw no other).
void MergeGlonass(ObsFileSummary* summary, const RangeScan& r) {
  for (int slot = 0; slot < kGloSlotCount; ++slot) {
    if (!r.part->glo_slot_known[slot]) continue;
    if (!summary->glo_slot_known[slot]) {
      summary->glo_slot_known[slot] = 1;
      summary->glo_slot_freq[slot] = r.part->glo_slot_freq[slot];
    } else if (summary->glo_slot_freq[slot] != r.glo_first_k[slot]) {
      summary->glo_slot_freq[slot] = kGloFreqUnknown;
    } else {
      summary->glo_slot_freq[slot] = r.part->glo_slot_freq[slot];
    }
  }
}

// Adds what `r` learned to the walk's summary, replaying its site events;
// false when a spacing across the cut does not fit the summary.
bool MergeRange(WalkState* walk, const RangeScan& r) {
  ObsFileSummary* summary = walk->summary;
  const ObsFileSummary& part = *r.part;
  for (size_t i = 0; i < sizeof summary->sat_seen; ++i) summary->sat_seen[i] |= part.sat_seen[i];
  summary->seen_signal_mask |= part.seen_signal_mask;
  summary->moving |= part.moving;
  MergeGlonass(summary, r);
  if (part.first_epoch_ms != 0) {
    if (summary->first_epoch_ms == 0) {
      summary->first_epoch_ms = part.first_epoch_ms;
    } else {
      const int64_t d = part.first_epoch_ms - summary->last_epoch_ms;
      if (d >= kFarSpacing) return false;
      NoteSpacing(summary, d);
    }
    if (part.data_interval_ms != 0) NoteSpacing(summary, part.data_interval_ms);
    summary->last_epoch_ms = part.last_epoch_ms;
    walk->last_counted = r.last_counted;
  }
  if (r.last_decoded_tow != kNoTow) walk->last_decoded_tow = r.last_decoded_tow;
  for (const SiteEvent& event : r.events) {
    if (event.is_fix) {
      ApplyFix(&summary->site, event.fix, &walk->fix_taken);
    } else if (!walk->setup_taken || event.in_window) {
      ApplySetup(&summary->site, event.setup.bytes);
      walk->setup_taken = true;
    }
  }
  return true;
}

// Merges the ranges in file order into the summary; false when a range did
// not start as a walk of the whole file would have.
bool MergeRanges(const std::vector<std::unique_ptr<RangeScan>>& ranges, ObsFileSummary* summary) {
  const RangeScan& first = *ranges[0];
  *summary = *first.part;
  WalkState walk{summary, first.last_counted, first.last_decoded_tow, first.setup_taken,
                 first.fix_taken};
  for (size_t i = 1; i < ranges.size(); ++i) {
    if (!StartsCleanly(walk, *ranges[i - 1], *ranges[i]) || !MergeRange(&walk, *ranges[i])) {
      return false;
    }
  }
  return true;
}

// Where the search for the start of a range walks from (a block's length
// before `from`, so that the block before `from` is known), and the span its
// start must lie in.
struct CutSearch {
  int64_t walk_from = 0;
  int64_t from = 0;
  int64_t limit = 0;
};

// The start of the first epoch in [from, limit) that a range may begin with:
// a block whose time stamp differs from that of the block before it, and whose
// epoch's compact measurement blocks are reference epochs. -1 when none.
int64_t FindRangeStart(QdxReader* reader, uint8_t* block, const CutSearch& search) {
  QdxSeek(reader, search.walk_from);
  int64_t candidate = -1;
  bool candidate_ok = false;
  bool have_previous = false;
  uint32_t previous_tow = 0;
  while (GetNextQdxBlock(reader, block, kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) == 0) {
    const int64_t at = QdxTell(reader) - QdxBlockLength(block);
    const uint32_t tow = QdxBlockTow(block);
    if (candidate >= 0 && tow != previous_tow) {
      if (candidate_ok) return candidate;
      candidate = -1;
    }
    if (candidate < 0 && have_previous && tow != previous_tow && at >= search.from) {
      if (at >= search.limit) return -1;
      candidate = at;
      candidate_ok = true;
    }
    if (candidate >= 0 && QdxBlockNumber(block) == kCompactMeasBlock &&
        !IsCompactReferenceEpoch(block)) {
      candidate_ok = false;
    }
    previous_tow = tow;
    have_previous = true;
  }
  return candidate >= 0 && candidate_ok ? candidate : -1;
}

int ScanThreads(const ConvertOptions& options) {
  return options.threads > 0 ? options.threads : std::min(UsableProcessors(), kDefaultMaxThreads);
}

// The starts of the ranges after the first: one range per thread, none
// shorter than min_range_bytes.
std::vector<int64_t> CutFile(const ObsScan& scan) {
  std::vector<int64_t> cuts;
  auto reader = std::make_unique<QdxReader>();
  if (!InitQdxReader(scan.job->input.c_str(), reader.get())) return cuts;
  const int64_t size = QdxFileSize(reader.get());
  const int64_t most = scan.min_range_bytes > 0 ? size / scan.min_range_bytes : 1;
  const int64_t count = std::min<int64_t>(ScanThreads(*scan.job->options), most);
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  for (int64_t k = 1; k < count; ++k) {
    const int64_t previous = cuts.empty() ? 0 : cuts.back();
    CutSearch search;
    search.from = std::max(size / count * k, previous + 1);
    search.walk_from = std::max<int64_t>(search.from - kQdxMaxBlockSize, previous);
    search.limit = search.from + size / count;  // at most a range's length is read
    const int64_t cut = FindRangeStart(reader.get(), block.get(), search);
    if (cut > 0) cuts.push_back(cut);
  }
  if (!CloseQdxReader(reader.get())) cuts.clear();
  return cuts;
}

// Reports the bytes walked in all ranges as the position of the pass.
struct WholeProgress {
  const ProgressSink* sink = nullptr;
  const std::vector<std::unique_ptr<RangeScan>>* ranges = nullptr;
};

void ReportWhole(void* context, int from_pct, int to_pct, int64_t, int64_t size) {
  const WholeProgress* whole = static_cast<const WholeProgress*>(context);
  int64_t done = 0;
  for (const auto& r : *whole->ranges) done += r->done.load(std::memory_order_relaxed);
  whole->sink->report(whole->sink->context, from_pct, to_pct, done, size);
}

void RunRange(void* range) {
  ScanRange(static_cast<RangeScan*>(range));
}

// Walks the ranges, the first on this thread; a range whose thread could not
// be started is walked here as well.
void ScanRanges(const std::vector<std::unique_ptr<RangeScan>>& ranges) {
  std::vector<Thread> threads(ranges.size());
  for (size_t i = 1; i < ranges.size(); ++i) StartThread(&threads[i], RunRange, ranges[i].get());
  ScanRange(ranges[0].get());
  for (size_t i = 1; i < ranges.size(); ++i) {
    if (threads[i].running) {
      JoinThread(&threads[i]);
    } else {
      ScanRange(ranges[i].get());
    }
  }
}

std::unique_ptr<RangeScan> NewRange(const ObsScan& scan, int64_t begin, int64_t end) {
  auto r = std::make_unique<RangeScan>();
  r->scan = &scan;
  r->begin = begin;
  r->end = end;
  return r;
}

}  // namespace

bool ScanObsFile(ObsScan* scan, ObsFileSummary* summary) {
  const ConvertOptions& options = *scan->job->options;
  const char* path = scan->job->input.c_str();
  const int64_t first_data = FindFirstDataEpoch(path, scan->window, &scan->failure);
  if (scan->failure.site != 0) return false;
  if (first_data != 0) SettleTimeOfDay(first_data, &scan->window.start_ms, &scan->window.end_ms);

  const std::vector<int64_t> cuts = CutFile(*scan);
  std::vector<std::unique_ptr<RangeScan>> ranges;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    ranges.push_back(
        NewRange(*scan, i == 0 ? 0 : cuts[i - 1], i == cuts.size() ? kNoRangeEnd : cuts[i]));
  }
  // Ranges read side by side keep smaller read buffers, so that the pass needs
  // about as much memory on several threads as on one.
  if (ranges.size() > 1) {
    for (auto& r : ranges) r->read_chunk = kRangeReadChunk;
  }
  const bool report = scan->sink != nullptr && scan->sink->report != nullptr;
  WholeProgress whole{scan->sink, &ranges};
  const ProgressSink whole_sink{&whole, ReportWhole};
  ranges[0]->sink = report && ranges.size() > 1 ? &whole_sink : scan->sink;
  ScanRanges(ranges);
  for (const auto& r : ranges) {
    if (r->failure.site != 0) {
      scan->failure = r->failure;
      return false;
    }
  }
  if (!MergeRanges(ranges, summary)) {
    // The file in one walk from its start.
    ranges.clear();
    ranges.push_back(NewRange(*scan, 0, kNoRangeEnd));
    ranges[0]->sink = scan->sink;
    ScanRange(ranges[0].get());
    if (ranges[0]->failure.site != 0) {
      scan->failure = ranges[0]->failure;
      return false;
    }
    *summary = *ranges[0]->part;
  }
  scan->ranges_read = static_cast<int>(ranges.size());
  summary->seen_signal_mask &= ~ExcludedSignalMask(options);
  return summary->last_epoch_ms != 0;
}

}  // namespace kavrino

// The first pass of the observation generator: everything the header needs.
#include <memory>

#include "convert/obs_product.h"
#include "convert/prescan.h"
#include "core/geodesy.h"
#include "core/signals.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/decode/position_fix.h"
#include "qdx/meas_gather.h"
#include "qdx/reader.h"
#include "rinex/obs/obs_epoch.h"

namespace kavrino {
namespace {

void NoteGlonassFrequency(ObsFileSummary* summary, uint8_t sat_index, uint8_t freq_byte) {
  if (!IsNumberedSat(sat_index, CONST_GLONASS)) return;
  const int slot = sat_index - SatSystemOf(CONST_GLONASS).first;
  const int k = static_cast<int>(freq_byte) - 8;
  if (!summary->glo_slot_known[slot]) {
    summary->glo_slot_freq[slot] = static_cast<int8_t>(k);
    summary->glo_slot_known[slot] = 1;
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

bool Present(double value) {
  return value > kMeasPresentThreshold;
}

// The first usable fix gives the approximate position; any fix showing a
// speed above 1 m/s marks the data as moving.
void NotePositionFix(ObsFileSummary* summary, const PositionFix& fix, bool* fix_taken) {
  if (!fix.has_velocity ||
      !(Present(fix.coords[0]) && Present(fix.coords[1]) && Present(fix.coords[2]))) {
    return;
  }
  ObsSite& site = summary->site;
  if (!*fix_taken) {
    if (fix.geodetic) {
      GeodeticToEcef(fix.coords[0], fix.coords[1], fix.coords[2], &site.approx_x, &site.approx_y,
                     &site.approx_z);
    } else {
      site.approx_x = fix.coords[0];
      site.approx_y = fix.coords[1];
      site.approx_z = fix.coords[2];
    }
  }
  *fix_taken = true;
  const float vx = fix.velocity[0];
  const float vy = fix.velocity[1];
  const float vz = fix.velocity[2];
  if (vx > kMeasPresentThreshold && vy > kMeasPresentThreshold && vz > kMeasPresentThreshold &&
      vx * vx + vy * vy + vz * vz > 1.0f) {
    summary->moving = 1;
  }
}

}  // namespace

bool ScanObsFile(ObsScan* scan, ObsFileSummary* summary) {
  const ConvertOptions& options = *scan->job->options;
  const char* path = scan->job->input.c_str();
  const int64_t first_data = FindFirstDataEpoch(path, scan->window, &scan->failure);
  if (scan->failure.site != 0) return false;
  if (first_data != 0) SettleTimeOfDay(first_data, &scan->window.start_ms, &scan->window.end_ms);
  const int64_t start = scan->window.start_ms;
  const int64_t end = scan->window.end_ms;
  const uint32_t interval_ms = options.interval_ms == 0 ? 1 : options.interval_ms;
  const uint32_t antenna = options.antenna;
  auto reader = std::make_unique<QdxReader>();
  auto epoch = std::make_unique<MeasEpochRecord>();
  InitQdxReader(path, reader.get());
  InitSummary(summary, options);
  // Only satellites, signals, pseudoranges and times count here.
  const int scan_mode = scan->decode_mode | kDecodeNoExtraInfo | kDecodeRangesOnly;
  uint8_t sats[kMaxEpochSats];
  uint8_t freqs[kMaxEpochSats];
  int64_t last_counted = 0;
  bool setup_taken = false;
  bool fix_taken = false;
  BlockWalk walk;
  StartBlockWalk(&walk, reader.get(), scan->sink, scan->range);
  while (const uint8_t* b = NextWalkBlock(&walk)) {
    const uint16_t number = QdxBlockNumber(b);
    const int64_t t = QdxBlockTimeMs(b);
    const bool in_window = IsInWindow(t, start, end);
    const bool on_grid = QdxBlockTow(b) % interval_ms == 0;
    if (IsQdxTimeValid(b)) {
      if (t > last_counted && in_window &&
          AddBlockToEpoch(reader.get(), b, epoch.get(), scan_mode) == 1 && on_grid) {
        const int n = CountEpochSatellites(*epoch, summary->layout, antenna, sats, freqs);
        for (int i = 0; i < n; ++i) {
          summary->sat_seen[sats[i]] = 1;
          NoteGlonassFrequency(summary, sats[i], freqs[i]);
        }
        summary->seen_signal_mask |= GetEpochSignalMask(*epoch, summary->layout, antenna);
        if (n >= 1) {
          if (summary->first_epoch_ms == 0) {
            summary->first_epoch_ms = t;
          } else {
            const int64_t d = t - summary->last_epoch_ms;
            if (summary->data_interval_ms == 0 || summary->data_interval_ms > d) {
              summary->data_interval_ms = static_cast<uint32_t>(d);
            }
          }
          summary->last_epoch_ms = t;
          last_counted = t;
        }
      }
      PositionFix fix;
      if (in_window && on_grid && DecodePositionFix(b, &fix)) {
        NotePositionFix(summary, fix, &fix_taken);
      }
    }
    if (number == kReceiverSetupBlock && (!setup_taken || in_window)) {
      ObsSite& site = summary->site;
      OverlayReceiverSetup(b, &site.setup);
      if (SetupHasReferencePosition(site.setup)) {
        GeodeticToEcef(SetupRefLatitude(site.setup), SetupRefLongitude(site.setup),
                       SetupRefHeight(site.setup), &site.approx_x, &site.approx_y, &site.approx_z);
      }
      setup_taken = true;
    }
  }
  if (!CloseQdxReader(reader.get())) {
    scan->failure = reader->failure;
    return false;
  }
  summary->seen_signal_mask &= ~ExcludedSignalMask(options);
  return summary->last_epoch_ms != 0;
}

}  // namespace kavrino

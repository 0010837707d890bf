// The first pass of the observation generator: everything the header needs.
#include <memory>

#include "app/file_io.h"
#include "app/settings.h"
#include "convert/obs_product.h"
#include "convert/prescan.h"
#include "core/geodesy.h"
#include "core/signals.h"
#include "core/time.h"
#include "qdx/block.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/meas_gather.h"
#include "qdx/reader.h"
#include "rinex/obs/obs_epoch.h"

namespace kavrino {
namespace {

// Position blocks: offsets of the three coordinates and whether they are geodetic.
struct FixLayout {
  size_t coords;
  bool geodetic;
};

bool GetFixLayout(uint16_t number, FixLayout* fix) {
  switch (number) {
    case 4006:  // CartesianFix
      *fix = {16, false};
      return true;
    case 4007:  // GeodeticFix
      *fix = {16, true};
      return true;
    case 5903:  // CartesianFix2
      *fix = {20, false};
      return true;
    case 5904:  // GeodeticFix2
      *fix = {20, true};
      return true;
    default:
      return false;
  }
}

constexpr size_t kFixVelocityOffset = 44;
constexpr size_t kFixMinLength = kFixVelocityOffset + 12;

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

void InitSummary(ObsFileSummary* summary, uint64_t signal_mask, uint32_t flags, int version) {
  *summary = ObsFileSummary{};
  SetReceiverSetupDefaults(&summary->setup);
  BuildObsTypeLayout(&summary->layout, signal_mask & ~ExcludedSignalMask(flags),
                     flags & FLAG_DOPPLER_OBS, flags & FLAG_SNR_OBS, flags & FLAG_CHANNEL_OBS,
                     version);
}

}  // namespace

uint64_t ExcludedSignalMask(uint32_t flags) {
  uint64_t mask = 0;
  if (flags & FLAG_EXCL_GPS) mask |= kGpsSignalMask;
  if (flags & FLAG_EXCL_GLONASS) mask |= kGlonassSignalMask;
  if (flags & FLAG_EXCL_GALILEO) mask |= kGalileoSignalMask;
  if (flags & FLAG_EXCL_SBAS) mask |= kSbasSignalMask;
  if (flags & FLAG_EXCL_BEIDOU) mask |= kBeidouSignalMask;
  if (flags & FLAG_EXCL_QZSS) mask |= kQzssSignalMask;
  if (flags & FLAG_EXCL_NAVIC) mask |= kNavicSignalMask;
  return mask;
}

int ScanObsFile(const std::string& input_name, uint32_t interval_ms, int64_t* start_ms,
                int64_t* end_ms, uint32_t flags, uint64_t signal_mask, uint32_t antenna,
                int rinex_version, int decode_mode, ObsFileSummary* summary, int progress_from,
                int progress_to) {
  const int64_t first_data = FindFirstDataEpoch(input_name.c_str(), *start_ms, *end_ms);
  if (first_data != 0) SettleTimeOfDay(first_data, start_ms, end_ms);
  const int64_t start = *start_ms;
  const int64_t end = *end_ms;
  const int progress_mid = (progress_from + progress_to) / 2;

  auto reader = std::make_unique<QdxReader>();
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  auto epoch = std::make_unique<MeasEpochRecord>();
  InitQdxReader(input_name.c_str(), reader.get());
  InitSummary(summary, signal_mask, flags, rinex_version);

  // Only satellites, signals, pseudoranges and times count here.
  const int scan_mode = decode_mode | kDecodeNoExtraInfo | kDecodeRangesOnly;
  uint8_t sats[kMaxEpochSats];
  uint8_t freqs[kMaxEpochSats];
  int64_t last_counted = 0;
  bool setup_taken = false;
  bool fix_taken = false;
  while (GetNextQdxBlock(reader.get(), block.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) ==
         0) {
    const uint8_t* b = block.get();
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
      FixLayout fix;
      if (in_window && GetFixLayout(number, &fix) && on_grid &&
          QdxBlockLength(b) >= kFixMinLength) {
        const double c0 = ReadF64(b + fix.coords);
        const double c1 = ReadF64(b + fix.coords + 8);
        const double c2 = ReadF64(b + fix.coords + 16);
        if (c0 > kMeasPresentThreshold && c1 > kMeasPresentThreshold &&
            c2 > kMeasPresentThreshold) {
          if (!fix_taken) {
            if (fix.geodetic) {
              GeodeticToEcef(c0, c1, c2, &summary->approx_x, &summary->approx_y,
                             &summary->approx_z);
            } else {
              summary->approx_x = c0;
              summary->approx_y = c1;
              summary->approx_z = c2;
            }
          }
          fix_taken = true;
          const float vx = ReadF32(b + kFixVelocityOffset);
          const float vy = ReadF32(b + kFixVelocityOffset + 4);
          const float vz = ReadF32(b + kFixVelocityOffset + 8);
          if (vx > kMeasPresentThreshold && vy > kMeasPresentThreshold &&
              vz > kMeasPresentThreshold && vx * vx + vy * vy + vz * vz > 1.0f) {
            summary->moving = 1;
          }
        }
      }
    }
    if (number == kReceiverSetupBlock && (!setup_taken || in_window)) {
      OverlayReceiverSetup(b, &summary->setup);
      if (SetupHasReferencePosition(summary->setup)) {
        GeodeticToEcef(SetupRefLatitude(summary->setup), SetupRefLongitude(summary->setup),
                       SetupRefHeight(summary->setup), &summary->approx_x, &summary->approx_y,
                       &summary->approx_z);
      }
      setup_taken = true;
    }
    if (flags & FLAG_VERBOSE) UpdateProgress(reader.get(), progress_from, progress_mid);
  }
  CloseQdxReader(reader.get());
  summary->seen_signal_mask &= ~ExcludedSignalMask(flags);
  return summary->last_epoch_ms == 0 ? 2 : 0;
}

}  // namespace kavrino

#include "convert/nav_product.h"

#include <cstdio>
#include <memory>

#include "app/file_io.h"
#include "convert/file_naming.h"
#include "convert/nav_generators.h"
#include "convert/prescan.h"
#include "core/time.h"
#include "qdx/decode/receiver_setup.h"
#include "qdx/lookups.h"
#include "qdx/nav_copy.h"
#include "qdx/reader.h"
#include "rinex/header_lines.h"
#include "rinex/nav/glo_sbas_nav.h"
#include "rinex/nav/nav_header.h"
#include "rinex/nav/nav_slots.h"
#include "rinex/nav/sbas_broadcast.h"

namespace kavrino {
namespace {

constexpr int64_t kNavMarginMs = 14400000;  // four hours
constexpr int kNothingWritten = 2;

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

// Everything one product's generator runs share.
struct NavPass {
  const RunSettings* settings;
  QdxReader* reader;
  FILE* out;
  int64_t start_ms;
  int64_t end_ms;
  int64_t first_epoch_ms;
  int version;  // the run's version; 3 inside the mixed file
  NavCorrectionSlots slots;
  int leap_count = kLeapCountUnknown;
};

// One generator run over the whole input; returns its status.
int RunGenerator(NavPass* pass, NavRun which, int from, int to) {
  QdxReader* reader = pass->reader;
  const int64_t start = pass->start_ms;
  const int64_t end = pass->end_ms;
  FILE* out = pass->out;
  const uint32_t flags = pass->settings->flags;
  NavCorrectionSlots& slots = pass->slots;
  switch (which) {
    case NavRun::kGps:
      return GenerateGpsNav(reader, start, end, out, flags, pass->version, from, to, &slots.gps_utc,
                            &slots.gps_iono);
    case NavRun::kGlonass:
      return GenerateGloNav(reader, start, end, out, flags, pass->version, from, to);
    case NavRun::kGalileo:
      return GenerateGalNav(reader, start, end, out, flags, from, to, &slots.gal_utc,
                            &slots.gal_iono, &slots.gal_gps_offset);
    case NavRun::kSbas:
      return GenerateSbasNav(reader, start, end, out, flags, pass->version, from, to);
    case NavRun::kBeidou:
      return GenerateBdsNav(reader, start, end, out, flags, from, to);
    case NavRun::kQzss:
      return GenerateQzssNav(reader, start, end, out, flags, from, to);
    case NavRun::kSbasBroadcast:
      return GenerateSbasBroadcast(reader, start, end, out, flags, from, to);
  }
  return kNothingWritten;
}

// Puts the reader back to the start of the input, or onto the navigation copy
// once the walk that ended has completed it.
void RewindReader(QdxReader* reader) {
  if (reader->copy != nullptr && OpenQdxReaderOnNavCopy(*reader->copy, reader)) {
    reader->copy = nullptr;
    return;
  }
  QdxRewind(reader);
}

// Takes the next share of the progress, runs the generator and puts the stream
// that the next run starts from back to its beginning: the output stream after
// the SBAS broadcast generator, the reader after every other one.
int RunShare(NavPass* pass, NavRun which, const NavProgress& progress, float share) {
  const int from = static_cast<int>(*progress.position);
  *progress.position += share;
  const int to = static_cast<int>(*progress.position);
  if (which == NavRun::kGlonass) {
    pass->leap_count = GetLeapCount(pass->reader, pass->first_epoch_ms);
  }
  const int status = RunGenerator(pass, which, from, to);
  if (which == NavRun::kSbasBroadcast) {
    std::fseek(pass->out, 0, SEEK_SET);
  } else {
    RewindReader(pass->reader);
  }
  return status == 0 ? 1 : 0;
}

const NavSlot* IfPresent(const NavSlot& slot) {
  return slot.present ? &slot : nullptr;
}

void WriteProductHeader(const NavPass& pass, char letter, const ReceiverSetupRecord& setup,
                        const CalendarTime& date) {
  FILE* out = pass.out;
  const NavCorrectionSlots& s = pass.slots;
  const int version = pass.settings->rinex_version;
  switch (letter) {
    case 'N':
      WriteGpsNavHeader(out, date, kProgramVersion, version, IfPresent(s.gps_utc),
                        IfPresent(s.gps_iono), false);
      break;
    case 'G':
      WriteGloNavHeader(out, date, kProgramVersion, version, pass.leap_count, false);
      break;
    case 'E':
      WriteGalNavHeader(out, date, kProgramVersion, IfPresent(s.gal_utc), IfPresent(s.gal_iono),
                        IfPresent(s.gal_gps_offset), false);
      break;
    case 'H':
      WriteSbasNavHeader(out, date, kProgramVersion, version, false);
      break;
    case 'I':
      WriteBdsNavHeader(out, date, kProgramVersion, false);
      break;
    case 'P': {
      NavHeaderSlots slots;
      slots.gps_utc = IfPresent(s.gps_utc);
      slots.gps_iono = IfPresent(s.gps_iono);
      slots.gal_utc = IfPresent(s.gal_utc);
      slots.gal_iono = IfPresent(s.gal_iono);
      slots.gal_gps_offset = IfPresent(s.gal_gps_offset);
      WriteMixedNavHeader(out, date, kProgramVersion, pass.leap_count, slots, false);
      break;
    }
    case 'B':
      WriteSbasBroadcastHeader(out, setup, date, kProgramVersion);
      break;
    default:
      break;
  }
}

}  // namespace

int NavProductWalks(const NavProduct& product, uint32_t flags) {
  if (product.letter != 'P') return 1;
  int walks = 0;
  for (const MixedRun& mixed : kMixedRuns) walks += (flags & mixed.exclusion) ? 0 : 1;
  return walks;
}

void SettleNavWindow(int64_t first_epoch_ms, int64_t* start_ms, int64_t* end_ms) {
  SettleTimeOfDay(first_epoch_ms, start_ms, end_ms);
  if (first_epoch_ms != 0 && *start_ms == kNoStartMs) *start_ms = first_epoch_ms - kNavMarginMs;
}

int MakeNavigationProduct(const RunSettings& settings, const std::string& input,
                          const NavProduct& product, const NavProgress& progress,
                          NavInputShare* share) {
  const char* path = input.c_str();
  int64_t start_ms = settings.start_ms;
  int64_t end_ms = settings.end_ms;
  const int64_t first_epoch_ms = FindFirstDataEpoch(path, start_ms, end_ms);
  SettleNavWindow(first_epoch_ms, &start_ms, &end_ms);
  uint32_t span_s = kNotMeasured;
  if (settings.flags & FLAG_LONG_NAMES) {
    if (!share->span_measured || share->span_start_ms != start_ms || share->span_end_ms != end_ms) {
      share->span_s = MeasureDataSpan(path, start_ms, end_ms);
      share->span_start_ms = start_ms;
      share->span_end_ms = end_ms;
      share->span_measured = true;
    }
    span_s = share->span_s;
  }

  QdxNavCopy* copy = share->use_copy ? &share->copy : nullptr;
  auto reader = std::make_unique<QdxReader>();
  if (copy == nullptr || !OpenQdxReaderOnNavCopy(*copy, reader.get())) {
    InitQdxReader(path, reader.get());
    reader->copy = copy;
  }
  ReceiverSetupRecord setup;
  ReadReceiverSetup(reader.get(), &setup);
  const CalendarTime date = CurrentUtcTime();
  FILE* out = CreateOutputFile(input, settings.output_name, first_epoch_ms, settings.country_code,
                               kNotMeasured, span_s, product.type_index, setup, settings.flags);
  const std::unique_ptr<char[]> out_buffer = UseLargeOutputBuffer(out);
  WriteEndOfHeader(out, product.header_lines);

  NavPass pass;
  pass.settings = &settings;
  pass.reader = reader.get();
  pass.out = out;
  pass.start_ms = start_ms;
  pass.end_ms = end_ms;
  pass.first_epoch_ms = first_epoch_ms;
  pass.version = product.letter == 'P' ? RINEX_304 : settings.rinex_version;
  ClearNavSlotMarks(&pass.slots);

  int written = 0;
  if (product.letter != 'P') {
    written += RunShare(&pass, product.run, progress, progress.product_share);
  } else {
    for (const MixedRun& mixed : kMixedRuns) {
      if (settings.flags & mixed.exclusion) continue;
      written += RunShare(&pass, mixed.run, progress, progress.constellation_share);
    }
  }

  // The header goes over the reserved area; a stream that cannot go back to
  // its start (a pipe) keeps the reserved blank lines rather than get the
  // header at its end.
  if (std::fseek(out, 0, SEEK_SET) == 0) WriteProductHeader(pass, product.letter, setup, date);
  CloseQdxReader(reader.get());
  CloseOutputFile(&out);
  return written;
}

}  // namespace kavrino

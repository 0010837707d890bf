// The observation generator: header from the first pass, then the second pass
// writes the epochs and the event records.
#include "convert/obs_product.h"

#include <cstring>
#include <memory>
#include <string>

#include "convert/file_naming.h"
#include "core/geodesy.h"
#include "core/time.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/comment_block.h"
#include "qdx/decode/event_blocks.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/decode/position_fix.h"
#include "qdx/meas_gather.h"
#include "qdx/reader.h"
#include "rinex/obs/obs_epoch.h"
#include "rinex/obs/obs_events.h"
#include "rinex/obs/obs_header.h"
#include "rinex/obs/obs_writer.h"

namespace kavrino {
namespace {

// State of the second pass.
struct SecondPass {
  OutStream* out;
  QdxReader* reader;
  ObsFileSummary* summary;
  uint8_t* lookahead;  // block buffer for the BEGIN_POINT look-aheads
  const ConvertOptions* options;
  uint32_t interval_ms;
  int64_t last_written_ms;
};

double Seconds(int64_t ms) {
  return static_cast<double>(ms) / 1000.0;
}

// t rounded down to the data interval (as it is when the interval is unknown).
int64_t RoundToInterval(int64_t t, uint32_t interval_ms) {
  return interval_ms == 0 ? t : t - t % interval_ms;
}

// Stores text into a fixed-width field of the setup: with a terminator when it
// is shorter than the field, cut to the field width without one otherwise.
void StoreField(ReceiverSetupRecord* setup, SetupTextField field, std::string_view text) {
  uint8_t* dst = setup->bytes + field.offset;
  std::memset(dst, 0, field.width);
  // An empty view may carry no data pointer at all.
  if (!text.empty()) std::memcpy(dst, text.data(), std::min<size_t>(text.size(), field.width));
}

// The marker name and number of a site command.
void ApplySiteName(ReceiverSetupRecord* setup, const uint8_t* comment_block) {
  const std::string_view name = SiteCommandName(CommandText(comment_block));
  StoreField(setup, kSetupMarkerName, name);
  StoreField(setup, kSetupMarkerNumber, name);
}

void ApplyAntennaCommand(ObsSite* site, std::string_view text) {
  const AntennaCommand command = ParseAntennaCommand(text);
  if (command.has_type) {
    StoreField(&site->setup, kSetupAntennaType, command.type);
    StoreField(&site->setup, kSetupAntennaSerial, {});
  }
  site->l1_phase_offset = command.has_offsets ? command.l1_offset : MEAS_ABSENT;
  site->l2_phase_offset = command.has_offsets ? command.l2_offset : MEAS_ABSENT;
}

void ApplyXyzCommand(ObsSite* site, std::string_view text) {
  double xyz[3];
  if (!ParseXyzCommand(text, xyz)) return;
  site->approx_x = xyz[0];
  site->approx_y = xyz[1];
  site->approx_z = xyz[2];
}

// Next Comment block from the reader's position whose text begins with one of
// the words; false at the end of the file. The caller restores the position.
bool FindCommentCommand(QdxReader* reader, uint8_t* block, std::initializer_list<const char*> words,
                        std::string_view* text) {
  while (GetNextQdxBlock(reader, block, kCommentBlock, kCommentBlock, kQdxModeWalk) == 0) {
    *text = CommandText(block);
    for (const char* word : words) {
      if (IsCommand(*text, word)) return true;
    }
  }
  return false;
}

void BeginPoint(SecondPass* pass, const uint8_t* block, int64_t event_ms) {
  const int64_t position = QdxTell(pass->reader);
  std::string_view next;
  const bool found = FindCommentCommand(pass->reader, pass->lookahead,
                                        {"BEGIN_POINT", "END_POINT", "CANCEL_POINT"}, &next);
  const bool cancelled = found && IsCommand(next, "CANCEL_POINT");
  QdxSeek(pass->reader, position);
  if (cancelled) return;
  ReceiverSetupRecord* setup = &pass->summary->site.setup;
  ApplySiteName(setup, block);
  if (SetupText(*setup, kSetupMarkerNumber).empty()) {
    if (FindCommentCommand(pass->reader, pass->lookahead, {"END_POINT"}, &next)) {
      ApplySiteName(setup, pass->lookahead);
    }
    QdxSeek(pass->reader, position);
  }
  WriteSiteOccupation(pass->out, pass->summary->site, pass->options->version, Seconds(event_ms));
}

void HandleComment(SecondPass* pass, const uint8_t* block, int64_t t) {
  const std::string_view text = CommentText(block);
  const std::string_view command = CommandText(block);
  if (text.empty() || command == "Unknown") return;
  ObsFileSummary* summary = pass->summary;
  const RinexVersion version = pass->options->version;
  int64_t event_ms = summary->epochs_written == 0 ? summary->first_epoch_ms
                                                  : RoundToInterval(t, summary->data_interval_ms);
  if (pass->last_written_ms > event_ms) event_ms = pass->last_written_ms;

  if (pass->options->comments) WriteCommentRecord(pass->out, text, version, Seconds(event_ms));
  if (IsCommand(command, "BEGIN_POINT")) {
    BeginPoint(pass, block, event_ms);
  } else if (IsCommand(command, "END_POINT")) {
    WriteEndOfOccupation(pass->out, version, Seconds(event_ms));
  } else if (IsCommand(command, "ANTENNA")) {
    ApplyAntennaCommand(&summary->site, command);
  } else if (IsCommand(command, "XYZ")) {
    ApplyXyzCommand(&summary->site, command);
  }
}

void HandleItemCollected(SecondPass* pass, const uint8_t* block, int64_t t) {
  uint64_t item = 0;
  if (!DecodeItemCollected(block, &item)) return;
  const int64_t event_ms = pass->summary->epochs_written == 0 ? pass->summary->first_epoch_ms : t;
  WriteItemCollected(pass->out, item, pass->options->version, Seconds(event_ms));
}

void HandleReceiverSetup(SecondPass* pass, const uint8_t* block, int64_t t) {
  ObsFileSummary* summary = pass->summary;
  ReceiverSetupRecord incoming = summary->site.setup;
  OverlayReceiverSetup(block, &incoming);
  const ReceiverSetupRecord& current = summary->site.setup;
  const bool same_site =
      SetupText(incoming, kSetupMarkerName) == SetupText(current, kSetupMarkerName) &&
      SetupText(incoming, kSetupMarkerNumber) == SetupText(current, kSetupMarkerNumber);
  summary->site.setup = incoming;
  if (!same_site) {
    const int64_t event_ms = RoundToInterval(t, summary->data_interval_ms);
    WriteSiteOccupation(pass->out, summary->site, pass->options->version, Seconds(event_ms));
  }
}

void HandlePositionFix(SecondPass* pass, const uint8_t* block) {
  PositionFix fix;
  if (!DecodePositionFix(block, &fix)) return;
  if (QdxBlockTow(block) % pass->interval_ms != 0) return;
  const double c0 = fix.coords[0];
  const double c1 = fix.coords[1];
  const double c2 = fix.coords[2];
  if (!(c0 > kMeasPresentThreshold && c1 > kMeasPresentThreshold && c2 > kMeasPresentThreshold)) {
    return;
  }
  ObsSite& s = pass->summary->site;
  if (fix.geodetic) {
    GeodeticToEcef(c0, c1, c2, &s.approx_x, &s.approx_y, &s.approx_z);
  } else {
    s.approx_x = c0;
    s.approx_y = c1;
    s.approx_z = c2;
  }
}

void HandleExternalEvent(SecondPass* pass, const uint8_t* block) {
  ExternalEvent event;
  if (!pass->options->events || !DecodeExternalEvent(block, &event)) return;
  WriteExternalEvent(pass->out, pass->options->version, event.source, event.seconds_of_week);
}

void HandleRecord(SecondPass* pass, const uint8_t* block, int64_t t) {
  const uint16_t number = QdxBlockNumber(block);
  switch (number) {
    case kCommentBlock:
      HandleComment(pass, block, t);
      break;
    case kItemCollectedBlock:
      HandleItemCollected(pass, block, t);
      break;
    case kReceiverSetupBlock:
      HandleReceiverSetup(pass, block, t);
      break;
    case kExternalEventBlock:
      HandleExternalEvent(pass, block);
      break;
    default:
      if (IsPositionFixBlockNumber(number)) HandlePositionFix(pass, block);
      break;
  }
}

// The output file of the observation file, named from the first pass.
bool OpenObsOutput(const ConvertJob& job, const ObsFileSummary& s, const CalendarTime& run_date,
                   OutputFile* file, std::string* message) {
  NameRequest request = NameRequestFor(job, FILE_OBS);
  request.first_epoch_ms = s.first_epoch_ms;
  request.interval_ms = s.data_interval_ms;
  request.span_s =
      static_cast<uint32_t>((s.last_epoch_ms - s.first_epoch_ms + s.data_interval_ms) / 1000);
  request.setup = &s.site.setup;
  std::string name;
  OutputFormat format = OutputFormatOf(*job.options, false);
  format.compact_rinex = job.options->compact_rinex;
  format.crx_stamp = CrxStamp{kProgramVersion,
                              static_cast<int>(run_date.year),
                              static_cast<int>(run_date.month),
                              static_cast<int>(run_date.day),
                              static_cast<int>(run_date.hour),
                              static_cast<int>(run_date.minute)};
  return NameOutputFile(request, &name, message) &&
         OpenOutputFile(name, job.output, format, file, message);
}

void WriteHeader(const ConvertJob& job, const ObsFileSummary& s, const CalendarTime& run_date,
                 OutStream* out) {
  const ConvertOptions& o = *job.options;
  ObsHeaderInfo info;
  info.layout = &s.layout;
  info.setup = &s.site.setup;
  info.receiver_type = o.has_receiver_type ? o.receiver_type.c_str() : nullptr;
  info.comment = o.comment;
  info.sat_seen = s.sat_seen;
  info.glo_slot_freq = s.glo_slot_freq;
  info.first_ms = s.first_epoch_ms;
  info.last_ms = s.last_epoch_ms;
  info.interval_ms = s.data_interval_ms;
  info.antenna = o.antenna;
  info.run_date = run_date;
  info.program = kProgramVersion;
  info.approx_x = s.site.approx_x;
  info.approx_y = s.site.approx_y;
  info.approx_z = s.site.approx_z;
  WriteObsHeader(out, info);
  if (o.moving == MovingEvent::kAlways || (o.moving == MovingEvent::kWhenMoving && s.moving)) {
    WriteKinematicStart(out, o.version, Seconds(s.first_epoch_ms));
  }
}

}  // namespace

ProductStatus MakeObservationFile(const ConvertJob& job, ProgressTrack* progress) {
  const ConvertOptions& options = *job.options;
  const uint32_t interval_ms = options.interval_ms == 0 ? 1 : options.interval_ms;
  const CalendarTime run_date = CurrentUtcTime();
  const ProgressRange range = TakeProgressShare(progress, ProductShare(*progress));
  const int progress_mid = (range.from + range.to) / 2;

  auto summary = std::make_unique<ObsFileSummary>();
  ObsScan scan;
  scan.job = &job;
  scan.decode_mode = MeasDecodeMode(options);
  scan.window = options.window;
  scan.sink = &progress->sink;
  scan.range = {range.from, progress_mid};
  if (!ScanObsFile(&scan, summary.get())) {
    if (scan.failure.site != 0) return Failed(ReadFailureMessage(scan.failure));
    return {};
  }
  ObsFileSummary& s = *summary;
  BuildObsTypeLayout(&s.layout, s.seen_signal_mask, options.extras.doppler, options.extras.snr,
                     options.extras.channel, options.version);

  auto reader = std::make_unique<QdxReader>();
  if (!InitQdxReader(job.input.c_str(), reader.get())) {
    return Failed(ReadFailureMessage(reader->failure));
  }
  OutputFile file;
  std::string message;
  if (!OpenObsOutput(job, s, run_date, &file, &message)) {
    CloseQdxReader(reader.get());
    return Failed(message);
  }
  WriteHeader(job, s, run_date, &file.stream);
  s.site.approx_x = s.site.approx_y = s.site.approx_z = 0;

  auto lookahead = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  // From here on the file is written by the epoch writer; the records between
  // the epochs go to it through its text stream.
  auto writer = std::make_unique<ObsEpochWriter>();
  StartObsEpochWriter(writer.get(), &file.stream, &s.layout, options.antenna);
  OutStream* text = ObsWriterTextStream(writer.get());
  SecondPass pass{text, reader.get(), &s, lookahead.get(), &options, interval_ms, 0};
  const int decode_mode = MeasDecodeMode(options);
  const int64_t start_ms = scan.window.start_ms;
  const int64_t end_ms = scan.window.end_ms;
  uint8_t sats[kMaxEpochSats];
  BlockWalk walk;
  StartBlockWalk(&walk, reader.get(), &progress->sink, {progress_mid, range.to});
  while (const uint8_t* b = NextWalkBlock(&walk)) {
    if (!IsQdxTimeValid(b)) continue;
    const int64_t t = QdxBlockTimeMs(b);
    const bool in_window = IsInWindow(t, start_ms, end_ms);
    if (t > pass.last_written_ms && in_window) {
      MeasEpochRecord* epoch = ObsWriterRecord(writer.get());
      if (AddBlockToEpoch(reader.get(), b, epoch, decode_mode) == 1 &&
          QdxBlockTow(b) % interval_ms == 0 &&
          CountEpochSatellites(*epoch, s.layout, options.antenna, sats, nullptr) >= 1) {
        HandOverEpoch(writer.get(), s.epochs_written == 0);
        ++s.epochs_written;
        pass.last_written_ms = t;
      }
    }
    if (in_window) {
      HandleRecord(&pass, b, t);
      if (text->used > 0) FlushOutStream(text);
    }
  }
  FinishObsEpochWriter(writer.get());
  if (!CloseQdxReader(reader.get())) {
    DiscardOutputFile(&file);
    return Failed(ReadFailureMessage(reader->failure));
  }
  if (!CommitOutputFile(&file, &message)) return Failed(message);
  return {ProductResult::kWritten, 1, {}};
}

}  // namespace kavrino

// The observation generator: header from the first pass, then the second pass
// writes the epochs and the event records.
#include "convert/obs_product.h"

#include <stdio_ext.h>

#include <memory>
#include <string>

#include "app/file_io.h"
#include "app/settings.h"
#include "convert/file_naming.h"
#include "core/geodesy.h"
#include "core/time.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/meas_decode.h"
#include "qdx/meas_gather.h"
#include "qdx/reader.h"
#include "rinex/obs/obs_epoch.h"
#include "rinex/obs/obs_header.h"
#include "rinex/obs/obs_site.h"
#include "rinex/obs/obs_writer.h"

namespace kavrino {
namespace {

// State of the second pass.
struct SecondPass {
  FILE* out;
  QdxReader* reader;
  ObsFileSummary* summary;
  uint8_t* lookahead;  // block buffer for the BEGIN_POINT look-aheads
  int version;
  uint32_t flags;
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
  ReceiverSetupRecord* setup = &pass->summary->setup;
  ApplySiteName(setup, block);
  if (SetupText(*setup, kSetupMarkerNumber).empty()) {
    if (FindCommentCommand(pass->reader, pass->lookahead, {"END_POINT"}, &next)) {
      ApplySiteName(setup, pass->lookahead);
    }
    QdxSeek(pass->reader, position);
  }
  WriteSiteOccupation(pass->out, *pass->summary, pass->version, Seconds(event_ms));
}

void HandleComment(SecondPass* pass, const uint8_t* block, int64_t t) {
  const std::string_view text = CommentText(block);
  const std::string_view command = CommandText(block);
  if (text.empty() || command == "Unknown") return;
  ObsFileSummary* summary = pass->summary;
  int64_t event_ms = summary->epochs_written == 0 ? summary->first_epoch_ms
                                                  : RoundToInterval(t, summary->data_interval_ms);
  if (pass->last_written_ms > event_ms) event_ms = pass->last_written_ms;

  if (pass->flags & FLAG_COMMENTS) {
    const unsigned lines = static_cast<unsigned>((text.size() + 59) / 60);
    WriteEventEpochLine(pass->out, kEventHeaderInfo, lines, pass->version, Seconds(event_ms));
    std::fputc('\n', pass->out);
    const std::string copy(text);  // terminated: a zero byte ends a line's text
    for (unsigned i = 0; i < lines; ++i) {
      std::fprintf(pass->out, "%-60.60s%-20s\n", copy.c_str() + 60 * i, "COMMENT");
    }
  }

  if (IsCommand(command, "BEGIN_POINT")) {
    BeginPoint(pass, block, event_ms);
  } else if (IsCommand(command, "END_POINT")) {
    WriteEventEpochLine(pass->out, kEventStartMoving, 1, pass->version, Seconds(event_ms));
    std::fputc('\n', pass->out);
    std::fprintf(pass->out, "%-60.60s%-20s\n", "  *** END OF OCCUPATION ! ***", "COMMENT");
  } else if (IsCommand(command, "ANTENNA")) {
    ApplyAntennaCommand(summary, command);
  } else if (IsCommand(command, "XYZ")) {
    ApplyXyzCommand(summary, command);
  }
}

void HandleItemCollected(SecondPass* pass, const uint8_t* block, int64_t t) {
  if (QdxBlockLength(block) < 25 || block[24] != 0) return;
  const uint64_t item = (static_cast<uint64_t>(ReadU32(block + 16)) << 32) | ReadU32(block + 20);
  const int64_t event_ms = pass->summary->epochs_written == 0 ? pass->summary->first_epoch_ms : t;
  WriteEventEpochLine(pass->out, kEventHeaderInfo, 1, pass->version, Seconds(event_ms));
  std::fputc('\n', pass->out);
  std::fprintf(pass->out, "  *** ITEM#%020llu COLLECTED ! ***             COMMENT\n",
               static_cast<unsigned long long>(item));
}

void HandleReceiverSetup(SecondPass* pass, const uint8_t* block, int64_t t) {
  ObsFileSummary* summary = pass->summary;
  ReceiverSetupRecord incoming = summary->setup;
  OverlayReceiverSetup(block, &incoming);
  const bool same_site =
      SetupText(incoming, kSetupMarkerName) == SetupText(summary->setup, kSetupMarkerName) &&
      SetupText(incoming, kSetupMarkerNumber) == SetupText(summary->setup, kSetupMarkerNumber);
  summary->setup = incoming;
  if (!same_site) {
    const int64_t event_ms = RoundToInterval(t, summary->data_interval_ms);
    WriteSiteOccupation(pass->out, *summary, pass->version, Seconds(event_ms));
  }
}

void HandlePositionFix(SecondPass* pass, const uint8_t* block, uint16_t number) {
  const bool geodetic = number == 4007 || number == 5904;
  const size_t offset = (number == 4006 || number == 4007) ? 16 : 20;
  if (QdxBlockLength(block) < offset + 24) return;
  if (QdxBlockTow(block) % pass->interval_ms != 0) return;
  const double c0 = ReadF64(block + offset);
  const double c1 = ReadF64(block + offset + 8);
  const double c2 = ReadF64(block + offset + 16);
  if (!(c0 > kMeasPresentThreshold && c1 > kMeasPresentThreshold && c2 > kMeasPresentThreshold)) {
    return;
  }
  ObsFileSummary* s = pass->summary;
  if (geodetic) {
    GeodeticToEcef(c0, c1, c2, &s->approx_x, &s->approx_y, &s->approx_z);
  } else {
    s->approx_x = c0;
    s->approx_y = c1;
    s->approx_z = c2;
  }
}

void HandleExternalEvent(SecondPass* pass, const uint8_t* block) {
  if (pass->flags & FLAG_NO_EVENTS) return;
  if (QdxBlockLength(block) < 20) return;
  std::fputs(IsRinex2(pass->version) ? "                            4  1\n"
                                     : ">                              4  1\n",
             pass->out);
  const double seconds = QdxBlockTow(block) * 0.001 + ReadF32(block + 16);
  std::fprintf(pass->out, "External Event # %1d @ %16.9f                       COMMENT\n",
               static_cast<int>(block[14]), seconds);
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
    case 4006:
    case 4007:
    case 5903:
    case 5904:
      HandlePositionFix(pass, block, number);
      break;
    case kExternalEventBlock:
      HandleExternalEvent(pass, block);
      break;
    default:
      break;
  }
}

}  // namespace

int GenerateObsFile(const std::string& input_name, uint32_t interval_ms, int64_t start_ms,
                    int64_t end_ms, const std::string& output_name, const std::string& country_code,
                    const char* receiver_type_override, uint32_t flags, uint64_t signal_mask,
                    uint32_t antenna, int rinex_version, const std::string& comment,
                    int progress_from, int progress_to) {
  if (interval_ms == 0) interval_ms = 1;
  const int decode_mode = MeasDecodeMode(flags);
  const CalendarTime run_date = CurrentUtcTime();
  auto summary = std::make_unique<ObsFileSummary>();
  if (ScanObsFile(input_name, interval_ms, &start_ms, &end_ms, flags, signal_mask, antenna,
                  rinex_version, decode_mode, summary.get(), progress_from, progress_to) != 0) {
    return 2;
  }
  ObsFileSummary& s = *summary;
  BuildObsTypeLayout(&s.layout, s.seen_signal_mask, flags & FLAG_DOPPLER_OBS, flags & FLAG_SNR_OBS,
                     flags & FLAG_CHANNEL_OBS, rinex_version);

  auto reader = std::make_unique<QdxReader>();
  InitQdxReader(input_name.c_str(), reader.get());
  const uint32_t span_s =
      static_cast<uint32_t>((s.last_epoch_ms - s.first_epoch_ms + s.data_interval_ms) / 1000);
  FILE* out = CreateOutputFile(input_name, output_name, s.first_epoch_ms, country_code,
                               s.data_interval_ms, span_s, FILE_OBS, s.setup, flags);
  const std::unique_ptr<char[]> out_buffer = UseLargeOutputBuffer(out);
  WriteObsHeader(out, s.layout, s.setup, receiver_type_override, comment, s.sat_seen,
                 s.glo_slot_freq, s.first_epoch_ms, s.last_epoch_ms, s.data_interval_ms, antenna,
                 run_date, kProgramVersion, s.approx_x, s.approx_y, s.approx_z);
  if ((flags & FLAG_MOVING_FORCE) || ((flags & FLAG_MOVING_AUTO) && s.moving)) {
    WriteEventEpochLine(out, kEventStartMoving, 1, rinex_version, Seconds(s.first_epoch_ms));
    std::fputc('\n', out);
    std::fprintf(out, "%-60.60s%-20s\n", "  Kinematic data", "COMMENT");
  }
  s.approx_x = s.approx_y = s.approx_z = 0;

  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  auto lookahead = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  // From here on the file is written by the epoch writer; the records between
  // the epochs go to it through a text stream.
  auto writer = std::make_unique<ObsEpochWriter>();
  StartObsEpochWriter(writer.get(), out, &s.layout, antenna);
  FILE* text = OpenObsWriterTextStream(writer.get());
  if (text == nullptr) FinishObsEpochWriter(writer.get());  // every epoch written at once
  SecondPass pass{text != nullptr ? text : out,
                  reader.get(),
                  &s,
                  lookahead.get(),
                  rinex_version,
                  flags,
                  interval_ms,
                  0};
  const int progress_mid = (progress_from + progress_to) / 2;
  uint8_t sats[kMaxEpochSats];
  while (GetNextQdxBlock(reader.get(), block.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) ==
         0) {
    const uint8_t* b = block.get();
    if (IsQdxTimeValid(b)) {
      const int64_t t = QdxBlockTimeMs(b);
      const bool in_window = IsInWindow(t, start_ms, end_ms);
      if (t > pass.last_written_ms && in_window) {
        MeasEpochRecord* epoch = ObsWriterRecord(writer.get());
        if (AddBlockToEpoch(reader.get(), b, epoch, decode_mode) == 1 &&
            QdxBlockTow(b) % interval_ms == 0 &&
            CountEpochSatellites(*epoch, s.layout, antenna, sats, nullptr) >= 1) {
          HandOverEpoch(writer.get(), s.epochs_written == 0);
          ++s.epochs_written;
          pass.last_written_ms = t;
        }
      }
      if (in_window) {
        HandleRecord(&pass, b, t);
        if (text != nullptr && __fpending(text) > 0) std::fflush(text);
      }
    }
    if (flags & FLAG_VERBOSE) UpdateProgress(reader.get(), progress_mid, progress_to);
  }
  if (text != nullptr) std::fclose(text);
  FinishObsEpochWriter(writer.get());
  CloseQdxReader(reader.get());
  CloseOutputFile(&out);
  return 0;
}

}  // namespace kavrino

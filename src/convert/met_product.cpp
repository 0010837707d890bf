#include "convert/met_product.h"

#include <cstdio>
#include <memory>
#include <string_view>

#include "app/file_io.h"
#include "app/settings.h"
#include "convert/file_naming.h"
#include "convert/prescan.h"
#include "core/time.h"
#include "qdx/block.h"
#include "qdx/decode/receiver_setup.h"
#include "qdx/decode/sensor_blocks.h"
#include "qdx/decode/xdr_sentence.h"
#include "qdx/lookups.h"
#include "qdx/reader.h"
#include "rinex/header_lines.h"
#include "rinex/met/met_writer.h"

namespace kavrino {
namespace {

constexpr int kNothingWritten = 2;

// A reader and a block buffer for one pass over the input file.
struct Pass {
  std::unique_ptr<QdxReader> reader = std::make_unique<QdxReader>();
  std::unique_ptr<uint8_t[]> block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
};

void OpenPass(const std::string& path, Pass* pass) {
  InitQdxReader(path.c_str(), pass->reader.get());
}

bool NextBlock(Pass* pass) {
  return GetNextQdxBlock(pass->reader.get(), pass->block.get(), kQdxAnyBlock, kQdxAnyBlock,
                         kQdxModeWalk) == 0;
}

// The epoch of a block rounded to the nearest whole second (ms).
int64_t RoundedEpoch(const uint8_t* block) {
  return (QdxBlockTimeMs(block) + 500) / 1000 * 1000;
}

// What one generator run carries from block to block.
struct MetRun {
  FILE* out = nullptr;
  SensorPosition position;
  char sensor_model[kSensorNameWidth];
  size_t sensor_model_length = 0;
  char sensor_type[kSensorNameWidth];
  size_t sensor_type_length = 0;
};

void KeepText(std::string_view text, char* field, size_t* length) {
  *length = text.copy(field, kSensorNameWidth);
}

}  // namespace

int GenerateMetFile(const std::string& input_name, uint32_t interval_ms, int64_t start_ms,
                    int64_t end_ms, const std::string& output_name, const std::string& country_code,
                    uint32_t flags, int rinex_version, int progress_from, int progress_to) {
  const CalendarTime created = CurrentUtcTime();
  const int64_t first_epoch = FindFirstDataEpoch(input_name.c_str(), start_ms, end_ms);
  SettleTimeOfDay(first_epoch, &start_ms, &end_ms);
  const uint32_t span = (flags & FLAG_LONG_NAMES)
                            ? MeasureDataSpan(input_name.c_str(), start_ms, end_ms)
                            : kNotMeasured;
  const uint32_t grid = interval_ms == 0 ? 1 : interval_ms;

  Pass pass;
  OpenPass(input_name, &pass);
  ReceiverSetupRecord setup;
  ReadReceiverSetup(pass.reader.get(), &setup);

  MetRun run;
  while (NextBlock(&pass)) {
    const uint8_t* b = pass.block.get();
    if (IsQdxTimeValid(b)) {
      const int64_t t = RoundedEpoch(b);
      if (IsInWindow(t, start_ms, end_ms) && t % grid == 0) {
        SensorText sensor;
        XdrValues values;
        switch (QdxBlockNumber(b)) {
          case kGeodeticFixBlock:
          case kCartesianFixBlock:
            DecodeSensorPosition(b, &run.position);
            break;
          case kSensorTextBlock:
            if (!DecodeSensorText(b, &sensor) ||
                !ParseXdrSentence(sensor.text.data(), sensor.text.size(), &values)) {
              break;
            }
            if (run.out == nullptr) {
              run.out = CreateOutputFile(input_name, output_name, first_epoch, country_code,
                                         kNotMeasured, span, FILE_MET, setup, flags);
              WriteEndOfHeader(run.out, kMetHeaderLines);
            }
            WriteMetRecord(run.out, t, rinex_version, values);
            KeepText(sensor.model, run.sensor_model, &run.sensor_model_length);
            KeepText(sensor.type, run.sensor_type, &run.sensor_type_length);
            break;
          default:
            break;
        }
      }
    }
    // The receiver's reference position counts whatever the block's time stamp.
    if (QdxBlockNumber(b) == kReceiverSetupBlock) DecodeSensorPosition(b, &run.position);
    if (flags & FLAG_VERBOSE) UpdateProgress(pass.reader.get(), progress_from, progress_to);
  }

  CloseQdxReader(pass.reader.get());
  if (run.out == nullptr) return kNothingWritten;
  std::rewind(run.out);
  MetHeader header;
  header.created = created;
  header.program = kProgramVersion;
  header.marker_name = SetupText(setup, kSetupMarkerName);
  header.sensor_model = {run.sensor_model, run.sensor_model_length};
  header.sensor_type = {run.sensor_type, run.sensor_type_length};
  header.version = rinex_version;
  header.end_of_header = true;
  header.position = run.position;
  WriteMetHeader(run.out, header);
  CloseOutputFile(&run.out);
  return 0;
}

}  // namespace kavrino

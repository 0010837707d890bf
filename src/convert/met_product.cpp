#include "convert/met_product.h"

#include <cmath>
#include <memory>
#include <string_view>

#include "convert/file_naming.h"
#include "convert/prescan.h"
#include "core/geodesy.h"
#include "core/time.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/position_fix.h"
#include "qdx/decode/receiver_setup.h"
#include "qdx/decode/sensor_blocks.h"
#include "qdx/decode/xdr_sentence.h"
#include "qdx/lookups.h"
#include "qdx/reader.h"
#include "rinex/header_lines.h"
#include "rinex/met/met_writer.h"

namespace kavrino {
namespace {

// The epoch of a block rounded to the nearest whole second (ms).
int64_t RoundedEpoch(const uint8_t* block) {
  return (QdxBlockTimeMs(block) + 500) / 1000 * 1000;
}

bool IsAvailable(double value) {
  return std::isfinite(value) && value > -1e10;
}

bool FromGeodetic(double latitude, double longitude, double height, SensorPosition* out) {
  SensorPosition p;
  GeodeticToEcef(latitude, longitude, height, &p.x, &p.y, &p.z);
  p.height = height;
  if (!FitsSensorPositionFields(p)) return false;
  *out = p;
  return true;
}

// The sensor position of a GeodeticFix or CartesianFix block, or of a
// ReceiverSetup block carrying the receiver's reference position. False when
// the block has none, or values that are not available or would not fit the
// header's position fields.
bool DecodeSensorPosition(const uint8_t* block, SensorPosition* out) {
  const uint16_t number = QdxBlockNumber(block);
  if (number == kReceiverSetupBlock) {
    ReceiverSetupRecord setup;
    SetReceiverSetupDefaults(&setup);
    OverlayReceiverSetup(block, &setup);
    const double latitude = SetupRefLatitude(setup);
    const double longitude = SetupRefLongitude(setup);
    const double height = SetupRefHeight(setup);
    if (!SetupHasReferencePosition(setup) || !IsAvailable(latitude) || !std::isfinite(longitude) ||
        !std::isfinite(height)) {
      return false;
    }
    return FromGeodetic(latitude, longitude, height, out);
  }
  PositionFix fix;
  if ((number != kGeodeticFixBlock && number != kCartesianFixBlock) ||
      !DecodePositionFix(block, &fix)) {
    return false;
  }
  const double* c = fix.coords;
  if (!IsAvailable(c[0]) || !IsAvailable(c[1]) || !IsAvailable(c[2])) return false;
  if (fix.geodetic) return FromGeodetic(c[0], c[1], c[2], out);
  SensorPosition p{c[0], c[1], c[2], 0.0};
  double latitude = 0.0;
  double longitude = 0.0;
  EcefToGeodetic(p.x, p.y, p.z, &latitude, &longitude, &p.height);
  if (!FitsSensorPositionFields(p)) return false;
  *out = p;
  return true;
}

// What one generator run carries from block to block.
struct MetRun {
  OutputFile file;
  bool open = false;
  SensorPosition position;
  char sensor_model[kSensorNameWidth];
  size_t sensor_model_length = 0;
  char sensor_type[kSensorNameWidth];
  size_t sensor_type_length = 0;
};

void KeepText(std::string_view text, char* field, size_t* length) {
  *length = text.copy(field, kSensorNameWidth);
}

bool OpenMetOutput(const ConvertJob& job, const NameRequest& request, MetRun* run,
                   std::string* message) {
  std::string name;
  if (!NameOutputFile(request, &name, message) ||
      !OpenOutputFile(name, job.output, OutputFormatOf(*job.options, true), &run->file, message)) {
    return false;
  }
  run->open = true;
  WriteEndOfHeader(&run->file.stream, kMetHeaderLines);
  return true;
}

ProductStatus FinishMetFile(MetRun* run, const ReceiverSetupRecord& setup,
                            const CalendarTime& created, RinexVersion version) {
  std::string message;
  if (!RewindOutputFile(&run->file, &message)) return Failed(message);
  {
    MetHeader header;
    header.created = created;
    header.program = kProgramVersion;
    header.marker_name = SetupText(setup, kSetupMarkerName);
    header.sensor_model = {run->sensor_model, run->sensor_model_length};
    header.sensor_type = {run->sensor_type, run->sensor_type_length};
    header.version = version;
    header.end_of_header = true;
    header.position = run->position;
    WriteMetHeader(&run->file.stream, header);
  }
  if (!CommitOutputFile(&run->file, &message)) return Failed(message);
  return {ProductResult::kWritten, 1, {}};
}

}  // namespace

ProductStatus MakeMeteoFile(const ConvertJob& job, ProgressTrack* progress) {
  const ConvertOptions& options = *job.options;
  const ProgressRange range = TakeProgressShare(progress, ProductShare(*progress));
  const CalendarTime created = CurrentUtcTime();
  const char* path = job.input.c_str();
  QdxReadFailure failure;
  TimeWindow window = options.window;
  const int64_t first_epoch = FindFirstDataEpoch(path, window, &failure);
  SettleTimeOfDay(first_epoch, &window.start_ms, &window.end_ms);
  NameRequest request = NameRequestFor(job, FILE_MET);
  request.first_epoch_ms = first_epoch;
  if (options.naming.long_names) request.span_s = MeasureDataSpan(path, window, &failure);
  if (failure.site != 0) return Failed(ReadFailureMessage(failure));
  const uint32_t grid = options.interval_ms == 0 ? 1 : options.interval_ms;

  auto reader = std::make_unique<QdxReader>();
  InitQdxReader(path, reader.get());
  ReceiverSetupRecord setup;
  ReadReceiverSetup(reader.get(), &setup);
  request.setup = &setup;

  auto run = std::make_unique<MetRun>();
  std::string message;
  BlockWalk walk;
  StartBlockWalk(&walk, reader.get(), &progress->sink, range);
  while (const uint8_t* b = NextWalkBlock(&walk)) {
    if (IsQdxTimeValid(b)) {
      const int64_t t = RoundedEpoch(b);
      if (IsInWindow(t, window.start_ms, window.end_ms) && t % grid == 0) {
        SensorText sensor;
        XdrValues values;
        switch (QdxBlockNumber(b)) {
          case kGeodeticFixBlock:
          case kCartesianFixBlock:
            DecodeSensorPosition(b, &run->position);
            break;
          case kSensorTextBlock:
            if (!DecodeSensorText(b, &sensor) ||
                !ParseXdrSentence(sensor.text.data(), sensor.text.size(), &values)) {
              break;
            }
            if (!run->open && !OpenMetOutput(job, request, run.get(), &message)) {
              CloseQdxReader(reader.get());
              return Failed(message);
            }
            WriteMetRecord(&run->file.stream, t, options.version, values);
            KeepText(sensor.model, run->sensor_model, &run->sensor_model_length);
            KeepText(sensor.type, run->sensor_type, &run->sensor_type_length);
            break;
          default:
            break;
        }
      }
    }
    // The receiver's reference position counts whatever the block's time stamp.
    if (QdxBlockNumber(b) == kReceiverSetupBlock) DecodeSensorPosition(b, &run->position);
  }

  if (!CloseQdxReader(reader.get())) {
    if (run->open) DiscardOutputFile(&run->file);
    return Failed(ReadFailureMessage(reader->failure));
  }
  if (!run->open) return {};
  return FinishMetFile(run.get(), setup, created, options.version);
}

}  // namespace kavrino

#include "qdx/decode/sensor_blocks.h"

#include <cmath>

#include "qdx/block.h"
#include "qdx/decode/receiver_setup.h"
#include "rinex/format.h"
#include "core/geodesy.h"

namespace kavrino {
namespace {

constexpr size_t kTextLengthOffset = 18;
constexpr size_t kModelOffset = 20;
constexpr size_t kTypeOffset = 40;
constexpr size_t kTextOffset = 80;

constexpr size_t kFixValuesOffset = 16;  // three f64 at 16, 24, 32
constexpr size_t kFixLength = 40;
constexpr size_t kSetupPositionLength = kSetupRefHeightOffset + 4;

std::string_view FixedText(const uint8_t* block, size_t offset, size_t width) {
  const char* text = reinterpret_cast<const char*>(block + offset);
  size_t length = 0;
  while (length < width && text[length] != '\0') ++length;
  return {text, length};
}

bool IsAvailable(double value) {
  return std::isfinite(value) && value > -1e10;
}

// The header writes positions with "%14.4f"; a value that would not fit its
// field would push the header past its reserved lines.
bool FitsPositionField(double value) {
  char text[kFixedTextMax];
  return std::isfinite(value) && FormatFixed(text, sizeof text, value, 14, 4) <= 14;
}

bool FinishPosition(SensorPosition* position) {
  return FitsPositionField(position->x) && FitsPositionField(position->y) &&
         FitsPositionField(position->z) && FitsPositionField(position->height);
}

bool FromGeodetic(double latitude, double longitude, double height, SensorPosition* out) {
  SensorPosition p;
  GeodeticToEcef(latitude, longitude, height, &p.x, &p.y, &p.z);
  p.height = height;
  if (!FinishPosition(&p)) return false;
  *out = p;
  return true;
}

}  // namespace

bool DecodeSensorText(const uint8_t* block, SensorText* out) {
  const size_t length = QdxBlockLength(block);
  if (length < kTypeOffset + kSensorNameWidth) return false;
  out->model = FixedText(block, kModelOffset, kSensorNameWidth);
  out->type = FixedText(block, kTypeOffset, kSensorNameWidth);
  size_t text_length = ReadU16(block + kTextLengthOffset);
  const size_t room = length > kTextOffset ? length - kTextOffset : 0;
  if (text_length > room) text_length = room;
  out->text = {reinterpret_cast<const char*>(block) + kTextOffset, text_length};
  return true;
}

bool DecodeSensorPosition(const uint8_t* block, SensorPosition* out) {
  const size_t length = QdxBlockLength(block);
  switch (QdxBlockNumber(block)) {
    case kGeodeticFixBlock: {
      if (length < kFixLength) return false;
      const double latitude = ReadF64(block + kFixValuesOffset);
      const double longitude = ReadF64(block + kFixValuesOffset + 8);
      const double height = ReadF64(block + kFixValuesOffset + 16);
      if (!IsAvailable(latitude) || !IsAvailable(longitude) || !IsAvailable(height)) return false;
      return FromGeodetic(latitude, longitude, height, out);
    }
    case kCartesianFixBlock: {
      if (length < kFixLength) return false;
      SensorPosition p;
      p.x = ReadF64(block + kFixValuesOffset);
      p.y = ReadF64(block + kFixValuesOffset + 8);
      p.z = ReadF64(block + kFixValuesOffset + 16);
      if (!IsAvailable(p.x) || !IsAvailable(p.y) || !IsAvailable(p.z)) return false;
      double latitude = 0.0;
      double longitude = 0.0;
      EcefToGeodetic(p.x, p.y, p.z, &latitude, &longitude, &p.height);
      if (!FinishPosition(&p)) return false;
      *out = p;
      return true;
    }
    case kReceiverSetupBlock: {
      if ((QdxBlockId(block) & 0x8000) == 0 || length < kSetupPositionLength) return false;
      const double latitude = ReadF64(block + kSetupRefLatitudeOffset);
      const double longitude = ReadF64(block + kSetupRefLongitudeOffset);
      const double height = ReadF32(block + kSetupRefHeightOffset);
      if (!IsAvailable(latitude) || !std::isfinite(longitude) || !std::isfinite(height)) {
        return false;
      }
      return FromGeodetic(latitude, longitude, height, out);
    }
    default:
      return false;
  }
}

}  // namespace kavrino

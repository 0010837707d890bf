#include "qdx/decode/sensor_blocks.h"

#include "qdx/block.h"

namespace kavrino {
namespace {

constexpr size_t kTextLengthOffset = 18;
constexpr size_t kModelOffset = 20;
constexpr size_t kTypeOffset = 40;
constexpr size_t kTextOffset = 80;

std::string_view FixedText(const uint8_t* block, size_t offset, size_t width) {
  const char* text = reinterpret_cast<const char*>(block + offset);
  size_t length = 0;
  while (length < width && text[length] != '\0') ++length;
  return {text, length};
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

}  // namespace kavrino

// SensorText blocks: text that a sensor attached to the receiver sent.
#pragma once

#include <cstdint>
#include <string_view>

#include "qdx/block_numbers.h"

namespace kavrino {

inline constexpr size_t kSensorNameWidth = 20;

// A SensorText block's fields, pointing into the block. Every view lies inside
// the block: the text is cut at the block end when its declared length runs
// past it, and the sensor names stop at their first zero byte.
struct SensorText {
  std::string_view model;
  std::string_view type;
  std::string_view text;
};

// False when the block is too short to carry the sensor names.
bool DecodeSensorText(const uint8_t* block, SensorText* out);

}  // namespace kavrino

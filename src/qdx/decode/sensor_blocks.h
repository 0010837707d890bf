// The blocks the meteorological file reads: sensor texts and sensor positions.
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

// An Earth-centred sensor position with its ellipsoidal height (m).
struct SensorPosition {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  double height = 0.0;
};

// The position of a GeodeticFix or CartesianFix block, or of a ReceiverSetup
// block of revision 4 or later (its reference position). False when the block
// is of another kind, too short, or its values are not available (-1e10 or less,
// not finite) or could not be written in the header's position fields.
bool DecodeSensorPosition(const uint8_t* block, SensorPosition* out);

}  // namespace kavrino

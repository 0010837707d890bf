// Position fixes: CartesianFix, GeodeticFix and their second forms.
#pragma once

#include <cstdint>

namespace kavrino {

struct PositionFix {
  bool geodetic = false;  // latitude, longitude (rad), height (m); else x, y, z (m)
  double coords[3] = {};
  bool has_velocity = false;  // the block is long enough to carry it
  float velocity[3] = {};     // m/s
};

// False for a block of another number or too short for its coordinates. The
// values are as stored: absent values keep their marker.
bool DecodePositionFix(const uint8_t* block, PositionFix* fix);

}  // namespace kavrino

// Reference state of the compact measurement family, one per stream.
#pragma once

#include <cstdint>

namespace kavrino {

struct CompactRefState {
  uint32_t reference_tow = 0xFFFFFFFFu;  // no reference epoch yet
};

}  // namespace kavrino

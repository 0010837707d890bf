// The RINEX version of an output file.
#pragma once

namespace kavrino {

enum class RinexVersion {
  k211,  // the default
  k304,
  k210,
};

inline bool IsRinex2(RinexVersion version) {
  return version != RinexVersion::k304;
}

}  // namespace kavrino

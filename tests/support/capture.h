// Captures what a writer puts on an output stream.
#pragma once

#include <functional>
#include <string>

#include "core/out_stream.h"
#include "core/rinex_version.h"

namespace kavrino::test {

// The version of a short code in the tables of the writer tests: 2 RINEX
// 2.11, 3 RINEX 3.04, 4 RINEX 2.10.
constexpr RinexVersion Rinex(int code) {
  return code == 3 ? RinexVersion::k304 : code == 4 ? RinexVersion::k210 : RinexVersion::k211;
}

inline std::string CaptureWrites(const std::function<void(OutStream*)>& write) {
  std::string text;
  OutStream out;
  OpenOutStream(&out, StringSink(&text));
  write(&out);
  FlushOutStream(&out);
  return text;
}

}  // namespace kavrino::test

// Ephemeris blocks for the navigation tests and the runner of the walks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "convert/nav_walks.h"
#include "rinex/case_table.h"
#include "support/capture.h"

namespace kavrino::test {

// The fields of a kind of block in data/blocks.txt.
inline std::string Fields(const std::string& kind) {
  static const auto fields = ReadGoldens("rinex/nav/data/blocks.txt");
  return " " + fields.at(kind).substr(0, fields.at(kind).size() - 1) + " ";
}

inline std::string N(uint64_t value) {
  return std::to_string(value);
}

// Descriptions of blocks (see Blocks()) with the orbit of the records worked
// out by hand in data/records.expected. GpsEphemeris layout: also QzsEphemeris, and
// BdsEphemeris shares offsets 32..139.
inline std::string GpsLayoutBlock(int number, uint32_t tow_ms, int week, int svid, int iodc) {
  return N(number) + " " + N(tow_ms) + " " + N(week) + " 140" + Fields("GPS layout") +
         "u8@14=" + N(svid) + " u16@22=" + N(iodc) + " u8@24=" + N(iodc & 0xFF) +
         " u16@136=" + N(week % 1024) + " u16@138=" + N(week % 1024);
}

// GalEphemeris with the same orbit; a_f0 stored with its halves exchanged.
inline std::string GalBlock(uint32_t tow_ms, int week, int svid, int source, int iod_nav) {
  return "4002 " + N(tow_ms) + " " + N(week) + " 148" + Fields("Galileo") + "u8@14=" + N(svid) +
         " u8@15=" + N(source) + " u16@124=" + N(week) + " u16@126=" + N(week) +
         " u16@128=" + N(iod_nav);
}

// R03, frequency number -7, t_oe 345618 s of week 2060 (r = 18), received at
// 345630 s of that week.
inline std::string GloBlock(int svid = 40, uint32_t tow_ms = 345630000, int age = 3) {
  return "4004 " + N(tow_ms) + " 2060 88" + Fields("GLONASS") + "u8@14=" + N(svid) +
         " u8@84=" + N(age);
}

// S27 with t0 86000 s, received 100 s into week 2061: the epoch falls on the
// last day of week 2060.
inline std::string SbasBlock(int svid = 127, uint32_t tow_ms = 100500, uint32_t t0 = 86000,
                             int iodn = 110, int ura = 3) {
  return "5896 " + N(tow_ms) + " 2061 104" + Fields("SBAS") + "u8@14=" + N(svid) +
         " u16@16=" + N(iodn) + " u16@18=" + N(ura) + " u32@20=" + N(t0);
}

// The records a navigation walk writes over a file (RINEX 3.04).
inline std::string WalkText(const std::string& path, NavRun run, TimeWindow window, bool* wrote,
                            NavCorrections* corrections = nullptr, bool sbas_valid_only = false) {
  auto reader = std::make_unique<QdxReader>();
  InitQdxReader(path.c_str(), reader.get());
  ConvertOptions options;
  options.sbas_valid_only = sbas_valid_only;
  NavPass pass;
  pass.options = &options;
  pass.reader = reader.get();
  pass.window = window;
  pass.version = RinexVersion::k304;
  const std::string text = CaptureWrites([&](OutStream* out) {
    pass.out = out;
    *wrote = RunNavWalk(&pass, run);
  });
  CloseQdxReader(reader.get());
  if (corrections != nullptr) *corrections = pass.corrections;
  return text;
}

}  // namespace kavrino::test

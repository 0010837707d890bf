// Ephemeris blocks for the navigation tests, with the orbit of the records
// worked out by hand in kepler_records_test.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "convert/nav_walks.h"
#include "qdx/encode/qdx_writer.h"
#include "support/capture.h"

namespace kavrino::test {

// GpsEphemeris layout (also QzsEphemeris; BdsEphemeris shares offsets 32..139).
inline QdxBlockWriter GpsLayoutBlock(uint16_t number, uint32_t tow_ms, uint16_t week, uint8_t svid,
                                     uint16_t iodc) {
  QdxBlockWriter w(number, 0, tow_ms, week, 140);
  w.U8(14, svid).U8(18, 1).U8(19, 0).U8(20, 0).U8(21, 0).U16(22, iodc);
  w.U8(24, static_cast<uint8_t>(iodc)).U8(26, 0).F32(28, -0x1p-27f);
  w.U32(32, 345600).F32(36, 0.0f).F32(40, -0x1p-40f).F32(44, 0x1p-12f);
  w.F32(48, 10.5f).F32(52, 0x1p-30f).F64(56, 0.5).F32(64, 0x1p-20f).F64(68, 0.01);
  w.F32(76, 0x1p-18f).F64(80, 5153.5).U32(88, 345600).F32(92, -0x1p-28f).F64(96, -0.75);
  w.F32(104, 0x1p-27f).F64(108, 0.3).F32(116, 200.25f).F64(120, 1.0).F32(128, -0x1p-38f);
  w.F32(132, 0x1p-40f).U16(136, static_cast<uint16_t>(week % 1024));
  w.U16(138, static_cast<uint16_t>(week % 1024));
  return w;
}

// GalEphemeris with the same orbit; a_f0 stored with its halves exchanged.
inline QdxBlockWriter GalBlock(uint32_t tow_ms, uint16_t week, uint8_t svid, uint8_t source,
                               uint16_t iod_nav) {
  QdxBlockWriter w(4002, 0, tow_ms, week, 148);
  w.U8(14, svid).U8(15, source).F64(16, 5153.5).F64(24, 0.5).F64(32, 0.01).F64(40, 0.3);
  w.F64(48, 1.0).F64(56, -0.75).F32(64, -0x1p-38f).F32(68, 0x1p-40f).F32(72, 0x1p-30f);
  w.F32(76, 0x1p-20f).F32(80, 0x1p-18f).F32(84, 200.25f).F32(88, 10.5f).F32(92, -0x1p-28f);
  w.F32(96, 0x1p-27f).U32(100, 345600).U32(104, 345600).F32(108, 0.0f).F32(112, -0x1p-40f);
  w.U32(116, 0x00000000).U32(120, 0x3EC80000);  // 3 x 2^-20, halves exchanged below
  const std::vector<uint8_t> halves(w.bytes.begin() + 116, w.bytes.begin() + 124);
  w.Bytes(116, std::vector<uint8_t>(halves.begin() + 4, halves.end()));
  w.Bytes(120, std::vector<uint8_t>(halves.begin(), halves.begin() + 4));
  w.U16(124, week).U16(126, week).U16(128, iod_nav).U16(130, 0xEFF).U8(132, 0xE5);
  w.U8(133, 125).U8(134, 60).U8(135, 200);
  w.F32(136, 0x1p-30f).F32(140, -0x1p-31f).F32(144, 0.125f);
  return w;
}

// R03, frequency number -7, t_oe 345618 s of week 2060 (r = 18), received at
// 345630 s of that week.
inline QdxBlockWriter GloBlock(uint8_t svid = 40, uint32_t tow_ms = 345630000, uint8_t age = 3) {
  QdxBlockWriter w(4004, 0, tow_ms, 2060, 88);
  w.U8(14, svid).U8(15, 1).F64(16, -14523.5).F64(24, 20100.25).F64(32, 7000.0);
  w.F32(40, 2.25f).F32(44, -0.5f).F32(48, 3.0f);
  w.F32(52, 0x1p-12f).F32(56, -0x1p-12f).F32(60, 0.0f);
  w.F32(64, 0x1p-40f).F32(68, 0x1p-16f).U32(76, 345618).U16(80, 2060 % 1024);
  return w.U8(84, age).U8(85, 1);
}

// S27 with t0 86000 s, received 100 s into week 2061: the epoch falls on the
// last day of week 2060.
inline QdxBlockWriter SbasBlock(uint8_t svid = 127, uint32_t tow_ms = 100500, uint32_t t0 = 86000,
                                uint16_t iodn = 110, uint16_t ura = 3) {
  QdxBlockWriter w(5896, 0, tow_ms, 2061, 104);
  w.U8(14, svid).U16(16, iodn).U16(18, ura).U32(20, t0);
  w.F64(24, 24500000.0).F64(32, -33000000.5).F64(40, 1000.0);
  w.F64(48, 1.5).F64(56, -2.0).F64(64, 0.25);
  w.F64(72, 0.000125).F64(80, 0.0).F64(88, -0.0625);
  return w.F32(96, -0x1p-16f).F32(100, 0x1p-40f);
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

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace kavrino::test

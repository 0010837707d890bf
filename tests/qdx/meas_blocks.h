// Builders for classic measurement blocks (4027/5944, 4000, 4098) in tests.
#pragma once

#include <cstdint>
#include <vector>

#include "support/qdx_writer.h"

namespace kavrino::test {

struct ExtraSub {
  uint8_t type = 3;  // bits 0..4 signal, 5..7 antenna
  uint8_t lock_s = 1;
  uint8_t cn0 = 160;
  uint8_t offsets_high = 0;  // bits 0..2 code, 3..7 Doppler (signed)
  int8_t carrier_high = 0;
  uint8_t info = 0;
  uint16_t code_low = 0;
  uint16_t carrier_low = 0;
  uint16_t doppler_low = 0;
};

struct MainSub {
  uint8_t channel = 1;
  uint8_t type = 0;
  uint8_t svid = 5;
  uint8_t range_high = 5;
  uint32_t range_low = 123456789;
  int32_t doppler = -12345678;
  uint16_t carrier_low = 1000;
  int8_t carrier_high = -3;
  uint8_t cn0 = 180;
  uint16_t lock_s = 5;
  uint8_t info = 0;
  std::vector<ExtraSub> extras;
  int declared_extras = -1;  // N2 written to the block; -1: extras.size()
};

struct ChannelBlockShape {
  uint16_t number = 4027;
  uint32_t tow_ms = 345000;
  uint16_t week = 2300;
  uint8_t main_size = 20;   // L1
  uint8_t extra_size = 12;  // L2
  int declared_mains = -1;  // N1 written to the block; -1: the number of sub-blocks
};

inline QdxBlockWriter ChannelBlock(const std::vector<MainSub>& sats,
                                   const ChannelBlockShape& shape = {}) {
  QdxBlockWriter w(shape.number, 0, shape.tow_ms, shape.week, 20);
  w.U8(14, static_cast<uint8_t>(shape.declared_mains < 0 ? sats.size() : shape.declared_mains));
  w.U8(15, shape.main_size).U8(16, shape.extra_size);
  size_t at = 20;
  for (const MainSub& m : sats) {
    w.Resize(at + shape.main_size);
    w.U8(at, m.channel).U8(at + 1, m.type).U8(at + 2, m.svid).U8(at + 3, m.range_high);
    w.U32(at + 4, m.range_low).I32(at + 8, m.doppler).U16(at + 12, m.carrier_low);
    w.I8(at + 14, m.carrier_high).U8(at + 15, m.cn0).U16(at + 16, m.lock_s);
    w.U8(at + 18, m.info);
    w.U8(at + 19,
         static_cast<uint8_t>(m.declared_extras < 0 ? m.extras.size() : m.declared_extras));
    w.Resize(at + shape.main_size);  // a short main sub-block is cut to its declared size
    at += shape.main_size;
    for (const ExtraSub& x : m.extras) {
      w.Resize(at + shape.extra_size);
      w.U8(at, x.type).U8(at + 1, x.lock_s).U8(at + 2, x.cn0).U8(at + 3, x.offsets_high);
      w.I8(at + 4, x.carrier_high).U8(at + 5, x.info).U16(at + 6, x.code_low);
      w.U16(at + 8, x.carrier_low).U16(at + 10, x.doppler_low);
      w.Resize(at + shape.extra_size);
      at += shape.extra_size;
    }
  }
  return w;
}

// One sub-block of a SignalExtraInfo (4000) block, 16 bytes.
struct ExtraInfoSub {
  uint8_t channel = 1;
  uint8_t type = 0;
  uint16_t lock_s = 9;
  uint8_t info = 0;  // bits 0..2 C/N0 fraction (1/32 dB-Hz), 3..7 extended signal - 32
};

inline QdxBlockWriter ExtraInfoBlock(const std::vector<ExtraInfoSub>& subs, uint8_t revision,
                                     uint32_t tow_ms = 345000, uint8_t size = 16,
                                     int declared = -1) {
  QdxBlockWriter w(4000, revision, tow_ms, 2300, 20);
  w.U8(14, static_cast<uint8_t>(declared < 0 ? subs.size() : declared)).U8(15, size);
  size_t at = 20;
  for (const ExtraInfoSub& s : subs) {
    w.Resize(at + 16);
    w.U8(at, s.channel).U8(at + 1, s.type).U16(at + 10, s.lock_s).U8(at + 15, s.info);
    w.Resize(at + size);
    at += size;
  }
  return w;
}

// One sub-block of a FullPrecisionRanges (4098) block, 20 bytes.
struct FullRangeSub {
  uint8_t channel = 1;
  uint8_t signal = 0;
  uint8_t freq_antenna = 8;  // bits 0..4 GLONASS frequency number + 8, 5..7 antenna
  double pseudorange = 21598293.2695;
  float carrier_minus_range = 1.25f;
  int16_t cn0 = 4512;
};

inline QdxBlockWriter FullRangesBlock(const std::vector<FullRangeSub>& subs, uint8_t revision,
                                      uint8_t size = 20) {
  QdxBlockWriter w(4098, revision, 345000, 2300, 20);
  w.U8(14, static_cast<uint8_t>(subs.size())).U8(15, size);
  size_t at = 20;
  for (const FullRangeSub& s : subs) {
    w.Resize(at + 20);
    w.U8(at, s.channel).U8(at + 1, s.signal).U8(at + 3, s.freq_antenna);
    w.F64(at + 4, s.pseudorange).F32(at + 12, s.carrier_minus_range).I16(at + 16, s.cn0);
    w.Resize(at + size);
    at += size;
  }
  return w;
}

}  // namespace kavrino::test

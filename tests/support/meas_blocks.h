// Builders for classic measurement blocks in tests.
#pragma once

#include <cstdint>
#include <vector>

#include "qdx/encode/qdx_writer.h"

namespace kavrino::test {

struct ExtraSub {  // defaults: GPS L2C, all values present
  uint8_t type = 3, lock_s = 1, cn0 = 160, offsets_high = 0, info = 0;
  int8_t carrier_high = 0;
  uint16_t code_low = 0, carrier_low = 0, doppler_low = 0;
};

struct MainSub {  // defaults: GPS 5 on channel 1, L1 C/A, all values present
  uint8_t channel = 1, type = 0, svid = 5, range_high = 5, cn0 = 180, info = 0;
  uint32_t range_low = 123456789;
  int32_t doppler = -12345678;
  uint16_t carrier_low = 1000, lock_s = 5;
  int8_t carrier_high = -3;
  std::vector<ExtraSub> extras;
  int declared_extras = -1;  // N2 written; -1: extras.size()
};

struct ChannelBlockShape {
  uint16_t number = 4027;
  uint32_t tow_ms = 345000;
  uint8_t main_size = 20, extra_size = 12;
  int declared_mains = -1;  // N1 written; -1: the number of sub-blocks
};

// Sub-blocks are cut to (or padded to) their declared sizes.
inline QdxBlockWriter ChannelBlock(const std::vector<MainSub>& sats,
                                   const ChannelBlockShape& shape = {}) {
  QdxBlockWriter w(shape.number, 0, shape.tow_ms, 2300, 20);
  w.U8(14, static_cast<uint8_t>(shape.declared_mains < 0 ? sats.size() : shape.declared_mains));
  w.U8(15, shape.main_size).U8(16, shape.extra_size);
  size_t at = 20;
  for (const MainSub& m : sats) {
    const size_t n2 = m.declared_extras < 0 ? m.extras.size() : m.declared_extras;
    w.U8(at, m.channel).U8(at + 1, m.type).U8(at + 2, m.svid).U8(at + 3, m.range_high);
    w.U32(at + 4, m.range_low).I32(at + 8, m.doppler).U16(at + 12, m.carrier_low);
    w.I8(at + 14, m.carrier_high).U8(at + 15, m.cn0).U16(at + 16, m.lock_s);
    w.U8(at + 18, m.info).U8(at + 19, static_cast<uint8_t>(n2)).Resize(at + shape.main_size);
    at += shape.main_size;
    for (const ExtraSub& x : m.extras) {
      w.U8(at, x.type).U8(at + 1, x.lock_s).U8(at + 2, x.cn0).U8(at + 3, x.offsets_high);
      w.I8(at + 4, x.carrier_high).U8(at + 5, x.info).U16(at + 6, x.code_low);
      w.U16(at + 8, x.carrier_low).U16(at + 10, x.doppler_low).Resize(at + shape.extra_size);
      at += shape.extra_size;
    }
  }
  return w;
}

// A SignalExtraInfo block whose sub-blocks (16 bytes each, cut or padded to
// `size`) carry channel, type byte, lock time and info byte.
struct ExtraInfoSub {
  uint8_t channel = 1, type = 0, info = 0;
  uint16_t lock_s = 9;
};
inline QdxBlockWriter ExtraInfoBlock(const std::vector<ExtraInfoSub>& subs, uint8_t revision,
                                     uint32_t tow_ms = 345000, uint8_t size = 16,
                                     int declared = -1) {
  QdxBlockWriter w(4000, revision, tow_ms, 2300, 20);
  w.U8(14, static_cast<uint8_t>(declared < 0 ? subs.size() : declared)).U8(15, size);
  size_t at = 20;
  for (const ExtraInfoSub& s : subs) {
    w.U8(at, s.channel).U8(at + 1, s.type).U16(at + 10, s.lock_s).U8(at + 15, s.info);
    w.Resize(at + size);
    at += size;
  }
  return w;
}

}  // namespace kavrino::test

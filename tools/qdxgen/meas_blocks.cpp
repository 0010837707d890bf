// Classic measurement blocks: 4027 (or 5944), 4000 and 4098.
#include <algorithm>

#include "blocks.h"
#include "core/signals.h"
#include "gps_time.h"
#include "signal_info.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino::qdxgen {
namespace {

using kavrino::test::QdxBlockWriter;

QdxBlockWriter NewBlock(uint16_t number, uint8_t revision, int64_t t_ms) {
  return QdxBlockWriter(number, revision, static_cast<uint32_t>(TowMsOf(t_ms)),
                        static_cast<uint16_t>(WeekOf(t_ms)));
}

// Type byte: signal number (31 for the extended ones) and antenna.
uint8_t TypeByte(const SigMeas& m) {
  uint8_t number = m.signal >= 32 ? 31 : m.signal;
  return static_cast<uint8_t>(number | (m.antenna << 5));
}

uint8_t ExtendedBits(const SigMeas& m) {
  return m.signal >= 32 ? static_cast<uint8_t>((m.signal - 32) << 3) : 0;
}

}  // namespace

Block EncodeChannelMeasurements(const EpochMeas& epoch, const std::vector<SatModel>& sats,
                                bool variant) {
  QdxBlockWriter w = NewBlock(variant ? 5944 : 4027, 0, epoch.t_ms);
  w.U8(14, static_cast<uint8_t>(epoch.sats.size())).U8(15, 20).U8(16, 12);
  w.Resize(20);
  size_t at = 20;
  for (const SatMeas& sm : epoch.sats) {
    const SatModel& sat = sats[sm.sat_id];
    const SigMeas& m = sm.sigs.front();
    uint8_t info = m.no_phase ? 0x04 : 0;
    if (sat.constellation == 3) {
      info |= static_cast<uint8_t>((sat.glo_k + 8) << 3);
    } else {
      info |= ExtendedBits(m);
    }
    w.U8(at, sm.channel)
        .U8(at + 1, TypeByte(m))
        .U8(at + 2, sat.svid)
        .U8(at + 3, static_cast<uint8_t>(m.pr_mm >> 32))
        .U32(at + 4, static_cast<uint32_t>(m.pr_mm))
        .I32(at + 8, m.dop_raw)
        .U16(at + 12, static_cast<uint16_t>(m.cmc_mcyc & 0xFFFF))
        .I8(at + 14, static_cast<int8_t>(m.cmc_mcyc >> 16))
        .U8(at + 15, m.cn0_raw)
        .U16(at + 16, static_cast<uint16_t>(std::min<uint32_t>(m.lock_s, 65534)))
        .U8(at + 18, info)
        .U8(at + 19, static_cast<uint8_t>(sm.sigs.size() - 1));
    at += 20;
    for (size_t k = 1; k < sm.sigs.size(); ++k) {
      const SigMeas& x = sm.sigs[k];
      int32_t code =
          static_cast<int32_t>(static_cast<int64_t>(x.pr_mm) - static_cast<int64_t>(m.pr_mm));
      uint8_t high =
          static_cast<uint8_t>(((code >> 16) & 0x07) | (((x.dop_raw >> 16) & 0x1F) << 3));
      w.U8(at, TypeByte(x))
          .U8(at + 1, static_cast<uint8_t>(std::min<uint32_t>(x.lock_s, 254)))
          .U8(at + 2, x.cn0_raw)
          .U8(at + 3, high)
          .I8(at + 4, static_cast<int8_t>(x.cmc_mcyc >> 16))
          .U8(at + 5, static_cast<uint8_t>((x.no_phase ? 0x04 : 0) | ExtendedBits(x)))
          .U16(at + 6, static_cast<uint16_t>(code & 0xFFFF))
          .U16(at + 8, static_cast<uint16_t>(x.cmc_mcyc & 0xFFFF))
          .U16(at + 10, static_cast<uint16_t>(x.dop_raw & 0xFFFF));
      at += 12;
    }
  }
  return w.Finish();
}

Block EncodeSignalExtraInfo(const EpochMeas& epoch) {
  QdxBlockWriter w = NewBlock(4000, 3, epoch.t_ms);
  w.U8(15, 16).Resize(20);
  size_t at = 20, count = 0;
  for (const SatMeas& sm : epoch.sats) {
    for (const SigMeas& m : sm.sigs) {
      if (count == 255) break;
      w.U8(at, sm.channel)
          .U8(at + 1, TypeByte(m))
          .U16(at + 10, static_cast<uint16_t>(std::min<uint32_t>(m.lock_s, 65534)))
          .U8(at + 15, static_cast<uint8_t>(m.cn0_frac | ExtendedBits(m)));
      w.Resize(at + 16);
      at += 16;
      ++count;
    }
  }
  w.U8(14, static_cast<uint8_t>(count));
  return w.Finish();
}

Block EncodeFullPrecisionRanges(const EpochMeas& epoch, const std::vector<SatModel>& sats) {
  QdxBlockWriter w = NewBlock(4098, 1, epoch.t_ms);
  w.U8(15, 20).Resize(20);
  size_t at = 20, count = 0;
  for (const SatMeas& sm : epoch.sats) {
    int k = sats[sm.sat_id].glo_k;
    for (const SigMeas& m : sm.sigs) {
      if (count == 255) break;
      w.U8(at, sm.channel)
          .U8(at + 1, m.signal)
          .U8(at + 3, static_cast<uint8_t>(((k + 8) & 0x1F) | (m.antenna << 5)))
          .F64(at + 4, m.pr_full)
          .F32(at + 12, m.cmp_m)
          .I16(at + 16, m.cn0_centi);
      w.Resize(at + 20);
      at += 20;
      ++count;
    }
  }
  w.U8(14, static_cast<uint8_t>(count));
  return w.Finish();
}

std::vector<Block> EncodeCompactMeasurements(const EpochMeas& epoch,
                                             const std::vector<SatModel>& sats,
                                             const Scenario& scenario,
                                             kavrino::test::CompactEncoderState* states[2]) {
  kavrino::test::CompactEncoderOptions options;
  options.interval_code = scenario.ref_interval_code;
  options.rate_flag = scenario.compact_rate;
  options.extras = true;
  std::vector<Block> blocks;
  for (int antenna = 0; antenna < scenario.antennas && antenna < 2; ++antenna) {
    std::vector<kavrino::test::CompactSatInput> input;
    for (const SatMeas& sm : epoch.sats) {
      const SatModel& sat = sats[sm.sat_id];
      kavrino::test::CompactSatInput in;
      in.sat_index = kavrino::SvidToSatIndex(sat.svid);
      in.glo_k = sat.glo_k;
      for (const SigMeas& m : sm.sigs) {
        if (m.antenna != antenna) continue;
        kavrino::MeasSignal s{};
        s.signal_type = m.signal;
        s.pseudorange_m = m.pr_m;
        s.carrier_cycles = m.carrier_cyc;
        s.doppler_hz = m.doppler_hz;
        s.cn0_dbhz = m.cn0_dbhz;
        s.lock_time_ms = m.lock_ms;
        s.flags = m.no_phase ? kavrino::SIG_FLAG_NO_PHASE : 0;
        in.sigs.push_back(s);
      }
      if (!in.sigs.empty()) input.push_back(std::move(in));
    }
    for (Block& b : kavrino::test::EncodeCompactEpoch(static_cast<uint32_t>(TowMsOf(epoch.t_ms)),
                                                      static_cast<uint16_t>(WeekOf(epoch.t_ms)),
                                                      antenna, input, options, states[antenna])) {
      blocks.push_back(std::move(b));
    }
  }
  return blocks;
}

}  // namespace kavrino::qdxgen

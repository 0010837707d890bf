// When the receiver logs navigation data: ephemerides of the satellites in
// view at each new issue (and repeated), ionosphere and time parameters, and
// the raw SBAS messages of every second.
#include <cinttypes>
#include <cmath>

#include "generator.h"
#include "gps_time.h"
#include "rng.h"

namespace kavrino::qdxgen {
namespace {

struct Cadence {
  double period, offset, half;  // issue every period from offset; reference mid-way
};

bool CadenceOf(const SatModel& sat, int leap, Cadence* c) {
  switch (sat.constellation) {
    case 0:
    case 5:
      *c = {7200, 0, 3600};
      return true;
    case 1:
      *c = {600, 0, 300};
      return true;
    case 4:
      *c = {3600, 0, 1800};
      return true;
    case 3:
      *c = {1800, static_cast<double>(leap), 900};
      return true;  // quarter hours of UTC
    case 2:
      *c = {240, 0, 0};
      return true;
    default:
      return false;
  }
}

uint8_t FirstInView(const GenContext& ctx, uint8_t constellation, uint8_t fallback) {
  for (size_t i = 0; i < ctx.sats.size(); ++i) {
    if (ctx.sats[i].constellation == constellation && ctx.tracker.channel[i] != 0) {
      return ctx.sats[i].svid;
    }
  }
  return fallback;
}

// CRC-24Q over the first `bits` bits of data (most significant bit first).
uint32_t Crc24q(const uint8_t* data, int bits) {
  uint32_t crc = 0;
  for (int i = 0; i < bits; ++i) {
    uint32_t bit = (data[i / 8] >> (7 - i % 8)) & 1;
    uint32_t top = (crc >> 23) & 1;
    crc = (crc << 1) & 0xFFFFFF;
    if (top ^ bit) crc ^= 0x864CFB;
  }
  return crc;
}

void PutBits(uint8_t* data, int at, int count, uint32_t value) {
  for (int i = 0; i < count; ++i) {
    int bit = (value >> (count - 1 - i)) & 1;
    int pos = at + i;
    if (bit) data[pos / 8] |= static_cast<uint8_t>(0x80 >> (pos % 8));
  }
}

// One 250-bit message with its CRC; returns false (bad CRC) for a corrupted one.
bool MakeSbasMessage(uint64_t seed, const SatModel& sat, int64_t start_s, bool l5,
                     double bad_fraction, uint32_t words[8]) {
  static const uint8_t kL1Pre[3] = {0x53, 0x9A, 0xC6};
  static const uint8_t kL1Types[14] = {1, 2, 3, 4, 7, 9, 10, 12, 17, 18, 24, 25, 26, 63};
  static const uint8_t kL5Pre[6] = {0x5, 0xC, 0x6, 0x9, 0x3, 0xA};
  static const uint8_t kL5Types[12] = {31, 32, 34, 35, 36, 37, 39, 40, 42, 47, 62, 0};
  uint8_t data[32] = {0};
  uint64_t h = HashKeys(seed, RND_SBAS_BITS, static_cast<uint64_t>(start_s), sat.svid, l5);
  int data_at;
  if (!l5) {
    PutBits(data, 0, 8, kL1Pre[start_s % 3]);
    PutBits(data, 8, 6, kL1Types[(start_s / 3 + sat.prn) % 14]);
    data_at = 14;
  } else {
    size_t pick = static_cast<size_t>((start_s + sat.prn) % 12);
    uint8_t pre = kL5Pre[start_s % 6];
    // A first byte equal to the L1 preamble of the second would read as L1.
    while (((pre << 4) | (kL5Types[pick] >> 2)) == kL1Pre[start_s % 3]) pick = (pick + 1) % 12;
    PutBits(data, 0, 4, pre);
    PutBits(data, 4, 6, kL5Types[pick]);
    data_at = 10;
  }
  Rng rng(h);
  for (int at = data_at; at < 226; at += 16) {
    int count = 226 - at < 16 ? 226 - at : 16;
    PutBits(data, at, count, static_cast<uint32_t>(rng.Next() & ((1u << count) - 1)));
  }
  PutBits(data, 226, 24, Crc24q(data, 226));
  bool ok = HashUniform(HashKeys(seed, RND_SBAS_CRC, static_cast<uint64_t>(start_s), sat.svid,
                                 l5)) >= bad_fraction;
  if (!ok) {
    int bit = 20 + static_cast<int>(rng.Next() % 200);
    data[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
  }
  for (int k = 0; k < 8; ++k) {
    words[k] = (static_cast<uint32_t>(data[4 * k]) << 24) | (data[4 * k + 1] << 16) |
               (data[4 * k + 2] << 8) | data[4 * k + 3];
  }
  return ok;
}

}  // namespace

void EmitNavigation(GenContext* ctx, int64_t t_ms) {
  const Scenario& sc = ctx->sc;
  double t = t_ms / 1000.0;
  for (size_t i = 0; i < ctx->sats.size(); ++i) {
    const SatModel& sat = ctx->sats[i];
    Cadence c;
    if (ctx->tracker.channel[i] == 0 || !CadenceOf(sat, sc.leap_seconds, &c)) continue;
    double t_sys = t + sat.time_offset_s;
    double issue_s = std::floor((t_sys - c.offset) / c.period) * c.period + c.offset;
    int64_t issue = static_cast<int64_t>(issue_s);
    bool fresh = ctx->nav.last_issue[i] != issue;
    bool repeat = sc.eph_repeat_ms > 0 && t_ms - ctx->nav.last_logged_ms[i] >= sc.eph_repeat_ms;
    if (!fresh && !repeat) continue;
    ctx->nav.last_issue[i] = issue;
    ctx->nav.last_logged_ms[i] = t_ms;
    uint32_t count = static_cast<uint32_t>(issue_s / c.period);
    for (uint8_t source : {uint8_t{2}, uint8_t{16}}) {
      uint32_t key = 0;
      Block block = EncodeEphemeris(sat, issue_s + c.half, t_ms, source, count, &key);
      EmitBlock(&ctx->sink, block);
      if (fresh && ctx->truth != nullptr) {
        char name[4];
        SatName(sat, name);
        std::fprintf(ctx->truth, "EPH %u %s %lld %.0f %u\n", block[4] | ((block[5] & 0x1F) << 8),
                     name, static_cast<long long>(t_ms), issue_s + c.half, key);
      }
      if (sat.constellation != 1) break;  // Galileo: I/NAV and F/NAV
    }
  }
  int64_t since = t_ms - sc.start_ms;
  if ((sc.systems & kSysGps) && since % 720000 == 0) {
    uint8_t svid = FirstInView(*ctx, 0, 1);
    EmitBlock(&ctx->sink, EncodeGpsIonosphere(t_ms, svid, ctx->iono));
    EmitBlock(&ctx->sink, EncodeUtcParams(5894, t_ms, svid, sc.leap_seconds));
  }
  if ((sc.systems & kSysGalileo) && since % 600000 == 0) {
    uint8_t svid = FirstInView(*ctx, 1, 71);
    EmitBlock(&ctx->sink, EncodeGalIonosphere(t_ms, svid));
    EmitBlock(&ctx->sink, EncodeUtcParams(4031, t_ms, svid, sc.leap_seconds));
    EmitBlock(&ctx->sink, EncodeGalGpsOffset(t_ms, svid));
  }
}

void EmitSbasRaw(GenContext* ctx, int64_t t_ms) {
  for (size_t i = 0; i < ctx->sats.size(); ++i) {
    const SatModel& sat = ctx->sats[i];
    if (sat.constellation != 2 || ctx->tracker.channel[i] == 0) continue;
    int64_t start_s = t_ms / 1000 - 1;  // the message began a second earlier
    uint32_t words[8];
    bool ok = MakeSbasMessage(ctx->sc.seed, sat, start_s, false, ctx->sc.sbas_bad_crc, words);
    EmitBlock(&ctx->sink, EncodeSbasRaw(4020, t_ms, sat.svid, ok, words));
    if ((sat.signals >> 25) & 1) {
      ok = MakeSbasMessage(ctx->sc.seed, sat, start_s, true, ctx->sc.sbas_bad_crc, words);
      EmitBlock(&ctx->sink, EncodeSbasRaw(4021, t_ms, sat.svid, ok, words));
    }
  }
}

}  // namespace kavrino::qdxgen

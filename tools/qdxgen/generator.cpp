#include "generator.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "gps_time.h"
#include "rng.h"

namespace kavrino::qdxgen {
namespace {

void WriteBytes(BlockSink* sink, const uint8_t* data, size_t size) {
  if (size == 0) return;
  if (sink->gz == nullptr) {
    std::fwrite(data, 1, size, sink->file);  // failures show in ferror at the end
  } else if (gzwrite(sink->gz, data, static_cast<unsigned>(size)) != static_cast<int>(size)) {
    sink->gz_failed = true;
  }
}

// Opens the QDX output, gzip-compressed with --gzip (zlib's default level,
// and a header without a time stamp, so that the bytes depend on the options
// alone).
bool OpenOutput(const Scenario& sc, BlockSink* sink) {
  if (!sc.gzip) {
    sink->file = std::fopen(sc.output.c_str(), "wb");
    return sink->file != nullptr;
  }
  sink->gz = gzopen(sc.output.c_str(), "wb6");
  if (sink->gz == nullptr) return false;
  gzbuffer(sink->gz, 1 << 17);  // cannot fail before the first write
  return true;
}

bool CloseOutput(BlockSink* sink) {
  if (sink->gz == nullptr) return std::fclose(sink->file) == 0;
  return gzclose(sink->gz) == Z_OK;
}

void NoteDamage(BlockSink* sink, const char* kind, uint64_t index, size_t offset) {
  ++sink->damaged;
  if (sink->truth != nullptr) {
    std::fprintf(sink->truth, "DAMAGE %s block %llu offset %zu\n", kind,
                 static_cast<unsigned long long>(index), offset);
  }
}

// Zeroes out[from .. from + count); true when a byte changed.
bool ZeroBytes(Block* out, size_t from, size_t count) {
  bool changed = false;
  for (size_t i = from; i < from + count && i < out->size(); ++i) {
    changed = changed || (*out)[i] != 0;
    (*out)[i] = 0;
  }
  return changed;
}

// Blocks at one time stamp other than the measurements.
void EmitTimedEntries(GenContext* ctx, int64_t from_ms, int64_t to_ms) {
  const Scenario& sc = ctx->sc;
  for (const TimedEntry& c : sc.comments) {
    int64_t t = sc.start_ms + c.offset_ms;
    if (t >= from_ms && t < to_ms) EmitBlock(&ctx->sink, EncodeComment(t, c.text));
  }
  for (const TimedEntry& e : sc.events) {
    int64_t t = sc.start_ms + e.offset_ms;
    if (t < from_ms || t >= to_ms) continue;
    float offset = static_cast<float>(
        std::floor(HashUniform(HashKeys(sc.seed, RND_RECEIVER, 77, t)) * 1e6) * 1e-9);
    EmitBlock(&ctx->sink, EncodeExternalEvent(t, offset, static_cast<uint8_t>(e.number)));
    if (ctx->truth != nullptr) {
      std::fprintf(ctx->truth, "EVENT %lld %.9f %u\n", static_cast<long long>(WeekOf(t)),
                   TowMsOf(t) * 0.001 + static_cast<double>(offset),
                   static_cast<unsigned>(e.number));
    }
  }
  for (const TimedEntry& item : sc.items) {
    int64_t t = sc.start_ms + item.offset_ms;
    if (t >= from_ms && t < to_ms) EmitBlock(&ctx->sink, EncodeItemCollected(t, item.number));
  }
}

// Site commands spread over the span: an occupation with an antenna change.
void EmitSiteCommands(GenContext* ctx, int64_t t_ms) {
  const Scenario& sc = ctx->sc;
  int64_t d = sc.duration_ms / 1000 * 1000;
  auto at = [&](int percent) { return sc.start_ms + d * percent / 100 / 1000 * 1000; };
  char text[160];
  if (t_ms == at(20)) EmitBlock(&ctx->sink, EncodeComment(t_ms, "BEGIN_POINT;PT01;tripod"));
  if (t_ms == at(30)) {
    EmitBlock(&ctx->sink, EncodeComment(t_ms, "ANTENNA;KVR-ANT-2;0.0712;0.0598"));
  }
  if (t_ms == at(35)) {
    std::snprintf(text, sizeof text, "XYZ;%.4f;%.4f;%.4f", ctx->rx.ref.x, ctx->rx.ref.y,
                  ctx->rx.ref.z);
    EmitBlock(&ctx->sink, EncodeComment(t_ms, text));
  }
  if (t_ms == at(60)) EmitBlock(&ctx->sink, EncodeComment(t_ms, "END_POINT;PT01"));
}

void EmitFixes(GenContext* ctx) {
  const EpochMeas& ep = ctx->epoch;
  static const uint16_t kNumbers[4] = {4006, 4007, 5903, 5904};
  Vec3 pos = ep.rx.pos[0];
  double lat = ctx->rx.lat, lon = ctx->rx.lon;
  // A stand-alone fix scatters by about a metre around the truth.
  double ne[3];
  for (int k = 0; k < 3; ++k) {
    ne[k] = 0.7 * HashGaussian(HashKeys(ctx->sc.seed, RND_RECEIVER, ep.t_ms, 100 + k));
  }
  Vec3 d = EnuToEcef(lat, lon, ne[0], ne[1], 1.5 * ne[2]);
  pos = {pos.x + d.x, pos.y + d.y, pos.z + d.z};
  for (int k = 0; k < 4; ++k) {
    if (ctx->sc.fix_blocks & (1u << k)) {
      EmitBlock(&ctx->sink,
                EncodeFix(kNumbers[k], ep.t_ms, pos, ep.rx.vel, static_cast<int>(ep.sats.size())));
    }
  }
}

void EmitSetup(GenContext* ctx, int64_t t_ms) {
  const Scenario& sc = ctx->sc;
  if (sc.setup_change_ms >= 0 && t_ms == sc.start_ms + sc.setup_change_ms / 1000 * 1000) {
    ctx->setup.marker = sc.marker + "-B";
    ctx->setup.marker_number = sc.marker_number + "B";
    EmitBlock(&ctx->sink, EncodeReceiverSetup(sc, ctx->setup, t_ms));
    return;
  }
  bool first = t_ms == sc.start_ms;
  bool repeat = sc.setup_interval_ms > 0 && (t_ms - sc.start_ms) % sc.setup_interval_ms == 0;
  if (first || repeat) EmitBlock(&ctx->sink, EncodeReceiverSetup(sc, ctx->setup, t_ms));
}

}  // namespace

void EmitBlock(BlockSink* sink, const Block& block) {
  if (sink->has_pending) WriteBytes(sink, sink->pending.data(), sink->pending.size());
  Block out = block;
  uint64_t index = sink->blocks++;
  if (sink->flip_rate > 0 &&
      HashUniform(HashKeys(sink->seed, RND_DAMAGE, index, 1)) < sink->flip_rate) {
    uint64_t h = HashKeys(sink->seed, RND_DAMAGE, index, 2);
    size_t at = static_cast<size_t>(h % out.size());
    out[at] ^= static_cast<uint8_t>(1 + (h >> 32) % 255);
    NoteDamage(sink, "flip", index, at);
  }
  // A run of zeros (a lost storage region) goes on from the previous block and
  // may start inside this one; blocks whose bytes it changes are damaged.
  size_t zero_from = out.size(), zero_count = 0;
  if (sink->zero_remaining > 0) {
    zero_from = 0;
    zero_count = std::min(sink->zero_remaining, out.size());
    sink->zero_remaining -= zero_count;
  }
  if (sink->zero_rate > 0 &&
      HashUniform(HashKeys(sink->seed, RND_DAMAGE, index, 5)) < sink->zero_rate) {
    uint64_t h = HashKeys(sink->seed, RND_DAMAGE, index, 6);
    size_t at = static_cast<size_t>(h % out.size());
    size_t run = 1 + static_cast<size_t>((h >> 32) % 600);
    if (at < zero_from) zero_from = at;
    zero_count = std::max(zero_count, std::min(at + run, out.size()) - zero_from);
    sink->zero_remaining =
        std::max(sink->zero_remaining, at + run - std::min(at + run, out.size()));
  }
  if (zero_count > 0 && ZeroBytes(&out, zero_from, zero_count)) {
    NoteDamage(sink, "zero", index, zero_from);
  }
  if (sink->duplicate_rate > 0 &&
      HashUniform(HashKeys(sink->seed, RND_DAMAGE, index, 7)) < sink->duplicate_rate) {
    // The same bytes twice in a row, as a splice of overlapping sessions leaves them.
    if (sink->truth != nullptr) {
      std::fprintf(sink->truth, "DUPLICATE block %llu\n", static_cast<unsigned long long>(index));
    }
    size_t size = out.size();
    out.reserve(2 * size);
    out.insert(out.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
  }
  if (sink->noise_rate > 0 &&
      HashUniform(HashKeys(sink->seed, RND_DAMAGE, index, 3)) < sink->noise_rate) {
    // Noise after the block, now and then with sync characters in it.
    Rng rng(HashKeys(sink->seed, RND_DAMAGE, index, 4));
    int count = rng.Int(1, 48);
    for (int k = 0; k < count; ++k) {
      double u = rng.Uniform();
      out.push_back(u < 0.1 ? '$' : u < 0.15 ? '@' : static_cast<uint8_t>(rng.Next()));
    }
  }
  sink->pending_block_size = block.size();
  sink->pending = std::move(out);
  sink->has_pending = true;
}

bool FinishSink(BlockSink* sink) {
  if (sink->has_pending) {
    size_t size = sink->pending.size();
    if (sink->truncate_last) {
      size = size / 2 > 8 ? size / 2 : 8;
      if (size < sink->pending_block_size) NoteDamage(sink, "truncate", sink->blocks - 1, size);
    }
    WriteBytes(sink, sink->pending.data(), size);
    sink->has_pending = false;
  }
  if (sink->gz != nullptr) return !sink->gz_failed;
  return std::fflush(sink->file) == 0 && !std::ferror(sink->file);
}

int Generate(const Scenario& scenario, const std::string& command_line) {
  GenContext ctx;
  ctx.sc = scenario;
  const Scenario& sc = ctx.sc;
  ctx.sats = BuildSatellites(sc);
  ctx.rx = MakeReceiver(sc);
  ctx.iono = MakeIonoParams(sc.seed);
  InitTracker(ctx.sats.size(), &ctx.tracker);
  ctx.nav.last_issue.assign(ctx.sats.size() * 2, -1);
  ctx.nav.last_logged_ms.assign(ctx.sats.size() * 2, -1);
  ctx.setup = {sc.marker, sc.marker_number, "KVR-ANT-1", "A-10231", 0.0815};

  if (!OpenOutput(sc, &ctx.sink)) {
    std::perror(sc.output.c_str());
    return 1;
  }
  ctx.sink.seed = sc.seed;
  ctx.sink.flip_rate = sc.flip_rate;
  ctx.sink.noise_rate = sc.noise_rate;
  ctx.sink.truncate_last = sc.truncate_last;
  ctx.sink.duplicate_rate = sc.duplicate_rate;
  ctx.sink.zero_rate = sc.zero_rate;
  if (sc.write_truth) {
    std::string path = sc.truth_path.empty() ? sc.output + ".truth" : sc.truth_path;
    ctx.truth = std::fopen(path.c_str(), "w");
    if (ctx.truth == nullptr) {
      std::perror(path.c_str());
      CloseOutput(&ctx.sink);
      return 1;
    }
    ctx.sink.truth = ctx.truth;
    WriteTruthHeader(&ctx, command_line);
  }

  for (auto& state : ctx.compact) state = std::make_unique<kavrino::test::CompactEncoderState>();
  const int64_t end = sc.start_ms + sc.duration_ms;
  const int64_t tick = std::gcd(sc.interval_ms, static_cast<int64_t>(1000));
  for (int64_t t = sc.start_ms; t < end; t += tick) {
    bool second = t % 1000 == 0;
    if (t % sc.interval_ms == 0) {
      ComputeEpoch(sc, ctx.sats, ctx.rx, ctx.iono, t, &ctx.tracker, &ctx.epoch);
      if (sc.encoding != ENC_CLASSIC) {
        kavrino::test::CompactEncoderState* states[2] = {ctx.compact[0].get(),
                                                         ctx.compact[1].get()};
        for (const Block& b : EncodeCompactMeasurements(ctx.epoch, ctx.sats, sc, states)) {
          EmitBlock(&ctx.sink, b);
        }
      }
      if (sc.encoding != ENC_COMPACT) {
        EmitBlock(&ctx.sink, EncodeChannelMeasurements(ctx.epoch, ctx.sats, sc.variant_5944));
        if (sc.extra_info_4000) EmitBlock(&ctx.sink, EncodeSignalExtraInfo(ctx.epoch));
        if (sc.full_ranges_4098) {
          EmitBlock(&ctx.sink, EncodeFullPrecisionRanges(ctx.epoch, ctx.sats));
        }
      }
      if (second) EmitFixes(&ctx);
      if (ctx.truth != nullptr) WriteTruthEpoch(&ctx);
    }
    if (second) {
      EmitSetup(&ctx, t);
      if (sc.navigation) EmitNavigation(&ctx, t);
      if (sc.sbas_raw && (sc.systems & kSysSbas)) EmitSbasRaw(&ctx, t);
      if (sc.weather && (t - sc.start_ms) % sc.weather_interval_ms == 0) EmitWeather(&ctx, t);
      if (sc.site_commands) EmitSiteCommands(&ctx, t);
    }
    EmitTimedEntries(&ctx, t, t + tick);
  }
  bool ok = FinishSink(&ctx.sink);
  ok = CloseOutput(&ctx.sink) && ok;
  if (ctx.truth != nullptr) ok = std::fclose(ctx.truth) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "qdxgen: writing %s failed\n", sc.output.c_str());
    return 1;
  }
  return 0;
}

}  // namespace kavrino::qdxgen

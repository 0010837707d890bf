// The generator run: one pass over the scenario's time span that writes the
// QDX file (with optional damage) and the truth file.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "blocks.h"
#include "constellation.h"
#include "measure.h"
#include "scenario.h"

namespace kavrino::qdxgen {

// The QDX output: blocks pass through the damage options on their way out.
struct BlockSink {
  std::FILE* file = nullptr;
  gzFile gz = nullptr;  // instead of `file` with --gzip
  bool gz_failed = false;
  uint64_t seed = 0;
  double flip_rate = 0, noise_rate = 0, duplicate_rate = 0, zero_rate = 0;
  bool truncate_last = false;
  size_t zero_remaining = 0;  // zero bytes still to write over the next blocks
  Block pending;              // held back so that the last block can be cut
  bool has_pending = false;
  size_t pending_block_size = 0;  // the block itself, without a copy or noise behind it
  uint64_t blocks = 0;
  uint64_t damaged = 0;
  std::FILE* truth = nullptr;
};
void EmitBlock(BlockSink* sink, const Block& block);
// Writes the held-back block; returns false when a write failed.
bool FinishSink(BlockSink* sink);

// Per-satellite record of the last ephemeris logged.
struct NavLog {
  std::vector<int64_t> last_issue;  // issue time (ms) of the last logged ephemeris
  std::vector<int64_t> last_logged_ms;
};

struct GenContext {
  Scenario sc;
  std::vector<SatModel> sats;
  ReceiverModel rx;
  IonoParams iono;
  Tracker tracker;
  BlockSink sink;
  std::FILE* truth = nullptr;
  NavLog nav;
  SetupText setup;
  EpochMeas epoch;
  // Compact encoder state per stream (antenna).
  std::unique_ptr<kavrino::test::CompactEncoderState> compact[2];
};

// Runs the whole scenario; returns 0 on success, 1 when a file failed.
int Generate(const Scenario& scenario, const std::string& command_line);

// Navigation content due in the second starting at t_ms (ephemerides of the
// satellites in view, ionosphere and time parameters).
void EmitNavigation(GenContext* ctx, int64_t t_ms);
// Raw SBAS messages of the second that ends at t_ms.
void EmitSbasRaw(GenContext* ctx, int64_t t_ms);
// Weather sentence at t_ms.
void EmitWeather(GenContext* ctx, int64_t t_ms);

// Truth records.
void WriteTruthHeader(GenContext* ctx, const std::string& command_line);
void WriteTruthEpoch(GenContext* ctx);

}  // namespace kavrino::qdxgen

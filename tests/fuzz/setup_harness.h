// The receiver setup record and the comment texts with their site commands.
// The input is split into a ReceiverSetup block and a Comment block, each held
// in a buffer of exactly its own length so that any read past a block's end is
// caught. Output file names must never leave the current folder.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "convert/file_naming.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/comment_block.h"
#include "qdx/decode/receiver_setup.h"
#include "rinex/header_lines.h"
#include "rinex/obs/obs_events.h"
#include "support/capture.h"

namespace kavrino::fuzz {

// A block of the given number built from the bytes: header fields set, length
// at least 16 and equal to the buffer size.
inline std::vector<uint8_t> SetupFuzzBlock(uint16_t number, uint8_t revision, const uint8_t* data,
                                           size_t size) {
  std::vector<uint8_t> b(data, data + std::min<size_t>(size, 65535));
  b.resize(std::max<size_t>(b.size(), 16));
  const uint16_t id = static_cast<uint16_t>(number | (revision << 13));
  const uint8_t header[8] = {0x24,
                             0x40,
                             b[2],
                             b[3],
                             static_cast<uint8_t>(id),
                             static_cast<uint8_t>(id >> 8),
                             static_cast<uint8_t>(b.size()),
                             static_cast<uint8_t>(b.size() >> 8)};
  std::memcpy(b.data(), header, 8);
  return b;
}

// Runs one input; aborts when a check fails.
inline int FuzzSetup(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t control = data[0];
  const size_t split = std::min<size_t>(size - 3, (data[1] | (data[2] << 8)) % 1024);
  const auto setup_block = SetupFuzzBlock(kReceiverSetupBlock, control & 7, data + 3, split);
  const auto comment_block = SetupFuzzBlock(kCommentBlock, 0, data + 3 + split, size - 3 - split);

  auto site = std::make_unique<ObsSite>();
  SetReceiverSetupDefaults(&site->setup);
  OverlayReceiverSetup(setup_block.data(), &site->setup);
  char receiver_type[21];
  MakeReceiverType(site->setup, receiver_type, sizeof receiver_type);
  if (std::strlen(receiver_type) > 20) std::abort();
  for (bool long_names : {false, true}) {
    NamingOptions naming;
    naming.long_names = long_names;
    for (int type = 0; type <= 10; ++type) {
      const NameRequest request{"in.qdx", &naming, 1234567890000, 1000, 86400, type, &site->setup};
      std::string name, message;
      if (!BuildOutputFileName(
              request, [](const std::string&) { return false; }, &name, &message) ||
          name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        std::abort();
      }
    }
  }

  const std::string_view text = CommandText(comment_block.data());
  if (CommentText(comment_block.data()).size() > comment_block.size() - 16 ||
      ParseAntennaCommand(text).type.size() > text.size() ||
      SiteCommandName(text).size() > text.size()) {
    std::abort();
  }
  double xyz[3];
  if (ParseXyzCommand(text, xyz)) {
    site->approx_x = xyz[0], site->approx_y = xyz[1], site->approx_z = xyz[2];
  }
  test::CaptureWrites([&](OutStream* out) {
    WriteSiteOccupation(out, *site, control & 8 ? RinexVersion::k304 : RinexVersion::k211, 1.3e9);
  });
  return 0;
}

}  // namespace kavrino::fuzz

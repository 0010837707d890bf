// The receiver setup record and the comment texts with their site commands.
// The input is split into a ReceiverSetup block and a Comment block, each held
// in a buffer of exactly its own length so that any read past a block's end is
// caught. Checks that output file names never leave the current directory.
#pragma once
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "convert/file_naming.h"
#include "core/rinex_version.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/decode/comment_block.h"
#include "qdx/decode/receiver_setup.h"
#include "rinex/header_lines.h"
#include "rinex/obs/obs_events.h"
#include "support/capture.h"

namespace kavrino::fuzz::detail_setup {

// A block of the given number built from the bytes: header fields set, length
// at least 16 and equal to the buffer size.
inline std::vector<uint8_t> MakeBlock(uint16_t number, uint8_t revision, const uint8_t* data,
                                      size_t size) {
  std::vector<uint8_t> b(data, data + std::min<size_t>(size, 65535));
  if (b.size() < 16) b.resize(16, 0);
  b[0] = 0x24;
  b[1] = 0x40;
  const uint16_t id = static_cast<uint16_t>(number | (revision << 13));
  b[4] = static_cast<uint8_t>(id);
  b[5] = static_cast<uint8_t>(id >> 8);
  b[6] = static_cast<uint8_t>(b.size());
  b[7] = static_cast<uint8_t>(b.size() >> 8);
  return b;
}

inline void CheckName(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    std::abort();
  }
}

}  // namespace kavrino::fuzz::detail_setup

namespace kavrino::fuzz {

// Runs one input; aborts when a check fails.
inline int FuzzSetup(const uint8_t* data, size_t size) {
  using namespace detail_setup;
  if (size < 3) return 0;
  const uint8_t control = data[0];
  const size_t wanted = (data[1] | (data[2] << 8)) % 1024;
  data += 3;
  size -= 3;
  const size_t split = std::min(size, wanted);
  const std::vector<uint8_t> setup_block =
      MakeBlock(kavrino::kReceiverSetupBlock, control & 7, data, split);
  const std::vector<uint8_t> comment_block =
      MakeBlock(kavrino::kCommentBlock, 0, data + split, size - split);

  auto site = std::make_unique<kavrino::ObsSite>();
  kavrino::SetReceiverSetupDefaults(&site->setup);
  kavrino::OverlayReceiverSetup(setup_block.data(), &site->setup);
  const kavrino::ReceiverSetupRecord& setup = site->setup;

  char receiver_type[21];
  kavrino::MakeReceiverType(setup, receiver_type, sizeof receiver_type);
  if (std::strlen(receiver_type) > 20) std::abort();
  for (bool long_names : {false, true}) {
    kavrino::NamingOptions naming;
    naming.long_names = long_names;
    for (int type = 0; type <= 10; ++type) {
      const kavrino::NameRequest request{"in.qdx", &naming, 1234567890000, 1000,
                                         86400,    type,    &setup};
      std::string name;
      std::string message;
      if (!kavrino::BuildOutputFileName(
              request, [](const std::string&) { return false; }, &name, &message)) {
        std::abort();
      }
      CheckName(name);
    }
  }

  const std::string_view text = kavrino::CommandText(comment_block.data());
  if (kavrino::CommentText(comment_block.data()).size() > comment_block.size() - 16) std::abort();
  const kavrino::AntennaCommand antenna = kavrino::ParseAntennaCommand(text);
  if (antenna.type.size() > text.size()) std::abort();
  double xyz[3];
  if (kavrino::ParseXyzCommand(text, xyz)) {
    site->approx_x = xyz[0];
    site->approx_y = xyz[1];
    site->approx_z = xyz[2];
  }
  if (kavrino::SiteCommandName(text).size() > text.size()) std::abort();
  kavrino::test::CaptureWrites([&](kavrino::OutStream* out) {
    kavrino::WriteSiteOccupation(
        out, *site, control & 8 ? kavrino::RinexVersion::k304 : kavrino::RinexVersion::k211, 1.3e9);
  });
  return 0;
}

}  // namespace kavrino::fuzz

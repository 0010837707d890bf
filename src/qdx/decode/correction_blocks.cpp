#include "qdx/decode/correction_blocks.h"

#include "core/time.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"

namespace kavrino {
namespace {

constexpr size_t kIonoFirstOffset = 16;  // f32 coefficients, 4 bytes apart
constexpr size_t kGpsIonoBetaOffset = 32;
constexpr size_t kGpsIonoEnd = 48;
constexpr size_t kGalIonoEnd = 32;
constexpr size_t kUtcEnd = 40;
constexpr size_t kGalGpsEnd = 32;
constexpr uint32_t kIgnoredGalGpsReference = 918000;  // t_oG of a block without content

bool Marked(const uint8_t* block) {
  return block[14] != 0;
}

void DecodeIono(const uint8_t* block, int alphas, bool with_beta, IonoParams* iono) {
  *iono = IonoParams{};
  iono->present = Marked(block);
  for (int k = 0; k < alphas; ++k) iono->alpha[k] = ReadF32(block + kIonoFirstOffset + 4 * k);
  for (int k = 0; with_beta && k < 4; ++k)
    iono->beta[k] = ReadF32(block + kGpsIonoBetaOffset + 4 * k);
}

void DecodeUtc(const uint8_t* block, UtcParams* utc) {
  const int64_t week = QdxBlockWeek(block);
  utc->present = Marked(block);
  utc->a1 = ReadF32(block + 16);
  utc->a0 = ReadF64(block + 20);
  utc->t_ot = ReadU32(block + 28);
  utc->ref_week = WidenWeek(block[32], week, 8);
  utc->dt_ls = ReadI8(block + 33);
  utc->future_week = WidenWeek(block[34], week, 8);
  utc->dn = block[35];
  utc->dt_lsf = ReadI8(block + 36);
}

}  // namespace

bool TakeCorrectionBlock(const uint8_t* block, NavCorrections* c) {
  const size_t length = QdxBlockLength(block);
  switch (QdxBlockNumber(block)) {
    case kGpsIonosphereBlock:
      if (length >= kGpsIonoEnd) DecodeIono(block, 4, true, &c->gps_iono);
      return true;
    case kGalIonosphereBlock:
      if (length >= kGalIonoEnd) DecodeIono(block, 3, false, &c->gal_iono);
      return true;
    case kGpsUtcParamsBlock:
      if (length >= kUtcEnd) DecodeUtc(block, &c->gps_utc);
      return true;
    case kGalUtcParamsBlock:
      if (length >= kUtcEnd) DecodeUtc(block, &c->gal_utc);
      return true;
    case kGalGpsTimeOffsetBlock:
      if (length >= kGalGpsEnd && ReadU32(block + 24) != kIgnoredGalGpsReference) {
        GalGpsOffset& g = c->gal_gps;
        g.present = Marked(block);
        g.a1g = ReadF32(block + 16);
        g.a0g = ReadF32(block + 20);
        g.t_og = ReadU32(block + 24);
        g.ref_week = WidenWeek(block[28], QdxBlockWeek(block), 6);
      }
      return true;
    default:
      return false;
  }
}

}  // namespace kavrino

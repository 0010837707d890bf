#include "qdx/decode/ephemeris_blocks.h"

#include "qdx/block.h"

namespace kavrino {
namespace {

constexpr uint16_t kKeplerBlockMinLength = 140;
constexpr uint16_t kGalBlockMinLength = 148;
constexpr uint16_t kGloBlockMinLength = 86;
constexpr uint16_t kSbasNavBlockMinLength = 104;

// Offsets 32..139, common to GpsEphemeris, QzsEphemeris and BdsEphemeris.
void DecodeKeplerOrbit(const uint8_t* b, KeplerOrbit* o) {
  o->toc = ReadU32(b + 32);
  o->af2 = ReadF32(b + 36);
  o->af1 = ReadF32(b + 40);
  o->af0 = ReadF32(b + 44);
  o->crs = ReadF32(b + 48);
  o->delta_n = ReadF32(b + 52);
  o->m0 = ReadF64(b + 56);
  o->cuc = ReadF32(b + 64);
  o->e = ReadF64(b + 68);
  o->cus = ReadF32(b + 76);
  o->sqrt_a = ReadF64(b + 80);
  o->toe = ReadU32(b + 88);
  o->cic = ReadF32(b + 92);
  o->omega0 = ReadF64(b + 96);
  o->cis = ReadF32(b + 104);
  o->i0 = ReadF64(b + 108);
  o->crc = ReadF32(b + 116);
  o->omega = ReadF64(b + 120);
  o->omega_dot = ReadF32(b + 128);
  o->idot = ReadF32(b + 132);
  o->week_toc = ReadU16(b + 136);
  o->week_toe = ReadU16(b + 138);
}

}  // namespace

bool DecodeGpsEphemeris(const uint8_t* b, GpsEphemerisBlock* out) {
  if (QdxBlockLength(b) < kKeplerBlockMinLength) return false;
  out->tow_ms = QdxBlockTow(b);
  out->week = QdxBlockWeek(b);
  out->svid = b[14];
  out->l2_codes = b[18];
  out->ura_index = b[19];
  out->health = b[20];
  out->l2p_flag = b[21];
  out->iodc = ReadU16(b + 22);
  out->iode = b[24];
  out->fit_flag = b[26];
  out->tgd = ReadF32(b + 28);
  DecodeKeplerOrbit(b, &out->orbit);
  return true;
}

bool DecodeBdsEphemeris(const uint8_t* b, BdsEphemerisBlock* out) {
  if (QdxBlockLength(b) < kKeplerBlockMinLength) return false;
  out->tow_ms = QdxBlockTow(b);
  out->week = QdxBlockWeek(b);
  out->svid = b[14];
  out->ura_index = b[18];
  out->sat_h1 = b[19];
  out->aodc = b[20];
  out->aode = b[21];
  out->tgd1 = ReadF32(b + 24);
  out->tgd2 = ReadF32(b + 28);
  DecodeKeplerOrbit(b, &out->orbit);
  return true;
}

bool DecodeGalEphemeris(const uint8_t* b, GalEphemerisBlock* out) {
  if (QdxBlockLength(b) < kGalBlockMinLength) return false;
  out->tow_ms = QdxBlockTow(b);
  out->week = QdxBlockWeek(b);
  out->svid = b[14];
  out->source = b[15];
  out->sqrt_a = ReadF64(b + 16);
  out->m0 = ReadF64(b + 24);
  out->e = ReadF64(b + 32);
  out->i0 = ReadF64(b + 40);
  out->omega = ReadF64(b + 48);
  out->omega0 = ReadF64(b + 56);
  out->omega_dot = ReadF32(b + 64);
  out->idot = ReadF32(b + 68);
  out->delta_n = ReadF32(b + 72);
  out->cuc = ReadF32(b + 76);
  out->cus = ReadF32(b + 80);
  out->crc = ReadF32(b + 84);
  out->crs = ReadF32(b + 88);
  out->cic = ReadF32(b + 92);
  out->cis = ReadF32(b + 96);
  out->toe = ReadU32(b + 100);
  out->toc = ReadU32(b + 104);
  out->af2 = ReadF32(b + 108);
  out->af1 = ReadF32(b + 112);
  out->af0 = ReadF64(b + 116);
  out->week_toe = ReadU16(b + 124);
  out->week_toc = ReadU16(b + 126);
  out->iod_nav = ReadU16(b + 128);
  out->health_word = ReadU16(b + 130);
  out->health_other = b[132];
  out->sisa_e1e5a = b[133];
  out->sisa_e1e5b = b[134];
  out->sisa_other = b[135];
  out->bgd_e1e5a = ReadF32(b + 136);
  out->bgd_e1e5b = ReadF32(b + 140);
  out->bgd_other = ReadF32(b + 144);
  return true;
}

bool DecodeGloEphemeris(const uint8_t* b, GloEphemerisBlock* out) {
  if (QdxBlockLength(b) < kGloBlockMinLength) return false;
  out->tow_ms = QdxBlockTow(b);
  out->week = QdxBlockWeek(b);
  out->svid = b[14];
  out->freq_nr = b[15];
  for (int axis = 0; axis < 3; ++axis) {
    out->position[axis] = ReadF64(b + 16 + 8 * axis);
    out->velocity[axis] = ReadF32(b + 40 + 4 * axis);
    out->acceleration[axis] = ReadF32(b + 52 + 4 * axis);
  }
  out->gamma = ReadF32(b + 64);
  out->tau = ReadF32(b + 68);
  out->t_oe = ReadU32(b + 76);
  out->week_toe = ReadU16(b + 80);
  out->age = b[84];
  out->health = b[85];
  return true;
}

bool DecodeSbasNavigation(const uint8_t* b, SbasNavigationBlock* out) {
  if (QdxBlockLength(b) < kSbasNavBlockMinLength) return false;
  out->tow_ms = QdxBlockTow(b);
  out->week = QdxBlockWeek(b);
  out->svid = b[14];
  out->iodn = ReadU16(b + 16);
  out->ura = ReadU16(b + 18);
  out->t0 = ReadU32(b + 20);
  for (int axis = 0; axis < 3; ++axis) {
    out->position[axis] = ReadF64(b + 24 + 8 * axis);
    out->velocity[axis] = ReadF64(b + 48 + 8 * axis);
    out->acceleration[axis] = ReadF64(b + 72 + 8 * axis);
  }
  out->agf0 = ReadF32(b + 96);
  out->agf1 = ReadF32(b + 100);
  return true;
}

}  // namespace kavrino

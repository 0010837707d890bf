// Station, position, comment, event, item, sensor text and raw SBAS blocks.
#include <cmath>

#include "blocks.h"
#include "gps_time.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino::qdxgen {
namespace {

using kavrino::test::QdxBlockWriter;

QdxBlockWriter NewBlock(uint16_t number, uint8_t revision, int64_t t_ms, size_t length) {
  return QdxBlockWriter(number, revision, static_cast<uint32_t>(TowMsOf(t_ms)),
                        static_cast<uint16_t>(WeekOf(t_ms)), length);
}

}  // namespace

Block EncodeReceiverSetup(const Scenario& sc, const SetupText& text, int64_t t_ms) {
  QdxBlockWriter w = NewBlock(5902, 4, t_ms, 424);
  w.Text(16, text.marker, 60)
      .Text(76, text.marker_number, 20)
      .Text(96, "Field crew", 20)
      .Text(116, "Kavrino Geodetic Survey", 40)
      .Text(156, "4711-0815", 20)
      .Text(176, "QDX-9", 20)
      .Text(196, "4.12.1", 20)
      .Text(216, text.antenna_serial, 20)
      .Text(236, text.antenna_type, 20)
      .F32(256, static_cast<float>(text.delta_h))
      .F32(260, 0.0f)
      .F32(264, 0.0f)
      .Text(268, "GEODETIC", 20)
      .Text(288, "4.12.1 build 2231", 40)
      .Text(328, "QDX-9 Reference", 40)
      .F64(368, sc.lat_deg * M_PI / 180.0)
      .F64(376, sc.lon_deg * M_PI / 180.0)
      .F32(384, static_cast<float>(sc.height_m))
      .Text(388, sc.station, 10)
      .U8(398, 0)
      .U8(399, 0)
      .Text(400, sc.country, 3);
  return w.Finish();
}

Block EncodeFix(uint16_t number, int64_t t_ms, const Vec3& pos, const Vec3& vel, int num_sats) {
  bool second = number == 5903 || number == 5904;
  size_t at = second ? 20 : 16;
  QdxBlockWriter w = NewBlock(number, 0, t_ms, 60);
  w.U8(14, 1);  // stand-alone solution
  if (number == 4006 || number == 5903) {
    w.F64(at, pos.x).F64(at + 8, pos.y).F64(at + 16, pos.z);
    w.F32(44, static_cast<float>(vel.x))
        .F32(48, static_cast<float>(vel.y))
        .F32(52, static_cast<float>(vel.z));
  } else {
    double lat, lon, h;
    EcefToGeodetic(pos, &lat, &lon, &h);
    w.F64(at, lat).F64(at + 8, lon).F64(at + 16, h);
    // Velocity as north, east, up.
    double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
    double ve = -so * vel.x + co * vel.y;
    double vn = -sl * co * vel.x - sl * so * vel.y + cl * vel.z;
    double vu = cl * co * vel.x + cl * so * vel.y + sl * vel.z;
    w.F32(44, static_cast<float>(vn))
        .F32(48, static_cast<float>(ve))
        .F32(52, static_cast<float>(vu));
  }
  w.U8(56, static_cast<uint8_t>(num_sats));
  return w.Finish();
}

Block EncodeComment(int64_t t_ms, const std::string& text) {
  QdxBlockWriter w = NewBlock(5936, 0, t_ms, 16);
  w.U16(14, static_cast<uint16_t>(text.size()));
  w.Text(16, text, text.size());
  if (w.bytes.size() % 2 != 0) w.Resize(w.bytes.size() + 1);
  return w.Finish();
}

Block EncodeExternalEvent(int64_t t_ms, float offset_s, uint8_t source) {
  QdxBlockWriter w = NewBlock(5924, 0, t_ms, 24);
  w.U8(14, source).F32(16, offset_s);
  return w.Finish();
}

Block EncodeItemCollected(int64_t t_ms, uint64_t item) {
  QdxBlockWriter w = NewBlock(4106, 0, t_ms, 28);
  w.U32(16, static_cast<uint32_t>(item >> 32)).U32(20, static_cast<uint32_t>(item)).U8(24, 0);
  return w.Finish();
}

Block EncodeSensorText(int64_t t_ms, const std::string& model, const std::string& type,
                       const std::string& text) {
  QdxBlockWriter w = NewBlock(4075, 0, t_ms, 80);
  w.U16(18, static_cast<uint16_t>(text.size()))
      .Text(20, model, 20)
      .Text(40, type, 20)
      .Text(80, text, text.size());
  if (w.bytes.size() % 2 != 0) w.Resize(w.bytes.size() + 1);
  return w.Finish();
}

Block EncodeSbasRaw(uint16_t number, int64_t t_ms, uint8_t svid, bool crc_ok,
                    const uint32_t words[8]) {
  QdxBlockWriter w = NewBlock(number, 0, t_ms, 52);
  w.U8(14, svid).U8(15, crc_ok ? 1 : 0).U8(16, number == 4021 ? 25 : 24);
  for (int k = 0; k < 8; ++k) w.U32(20 + 4 * static_cast<size_t>(k), words[k]);
  return w.Finish();
}

}  // namespace kavrino::qdxgen

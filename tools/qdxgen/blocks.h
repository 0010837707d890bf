// Encoders of the QDX blocks the generator writes. Every encoder returns the
// finished block (length and CRC filled in), stamped with GPS time t_ms.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "constellation.h"
#include "measure.h"
#include "orbits.h"
#include "scenario.h"
#include "qdx/encode/compact_encoder.h"

namespace kavrino::qdxgen {

using Block = std::vector<uint8_t>;

// Measurement blocks of one epoch.
Block EncodeChannelMeasurements(const EpochMeas& epoch, const std::vector<SatModel>& sats,
                                bool variant);
Block EncodeSignalExtraInfo(const EpochMeas& epoch);
// The compact blocks of one epoch for every antenna (stream = antenna index),
// as a decoder of the classic blocks would read the values.
std::vector<Block> EncodeCompactMeasurements(const EpochMeas& epoch,
                                             const std::vector<SatModel>& sats,
                                             const Scenario& scenario,
                                             kavrino::test::CompactEncoderState* states[2]);
Block EncodeFullPrecisionRanges(const EpochMeas& epoch, const std::vector<SatModel>& sats);

// Station description.
struct SetupText {
  std::string marker, marker_number, antenna_type, antenna_serial;
  double delta_h = 0;
};
Block EncodeReceiverSetup(const Scenario& sc, const SetupText& text, int64_t t_ms);

// Position fixes (number 4006, 4007, 5903 or 5904).
Block EncodeFix(uint16_t number, int64_t t_ms, const Vec3& pos, const Vec3& vel, int num_sats);

Block EncodeComment(int64_t t_ms, const std::string& text);
// Event at t_ms plus a sub-millisecond offset in seconds.
Block EncodeExternalEvent(int64_t t_ms, float offset_s, uint8_t source);
Block EncodeItemCollected(int64_t t_ms, uint64_t item);
Block EncodeSensorText(int64_t t_ms, const std::string& model, const std::string& type,
                       const std::string& text);
// Raw SBAS message: number 4020 (L1) or 4021 (L5).
Block EncodeSbasRaw(uint16_t number, int64_t t_ms, uint8_t svid, bool crc_ok,
                    const uint32_t words[8]);

}  // namespace kavrino::qdxgen

namespace kavrino::qdxgen {

// Ephemeris of a satellite for the issue whose reference time is t_ref_sys
// (seconds since the GPS epoch on the satellite system's time scale), logged
// at GPS time t_ms. The key (IODC, IODnav, t_oc, IODN) is written to *key.
// Returns an empty block for systems without ephemeris blocks.
Block EncodeEphemeris(const SatModel& sat, double t_ref_sys, int64_t t_ms, uint8_t source,
                      uint32_t issue_count, uint32_t* key);

// Ionosphere and time blocks (5893, 5894, 4030, 4031, 4032) at t_ms.
Block EncodeGpsIonosphere(int64_t t_ms, uint8_t svid, const IonoParams& iono);
Block EncodeUtcParams(uint16_t number, int64_t t_ms, uint8_t svid, int leap_seconds);
Block EncodeGalIonosphere(int64_t t_ms, uint8_t svid);
Block EncodeGalGpsOffset(int64_t t_ms, uint8_t svid);

}  // namespace kavrino::qdxgen

// The receiver setup record: the first 424 bytes of the ReceiverSetup block laid
// over defaults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qdx/block_numbers.h"

namespace kavrino {

inline constexpr size_t kReceiverSetupSize = 424;

struct ReceiverSetupRecord {
  uint8_t bytes[kReceiverSetupSize];
};

void SetReceiverSetupDefaults(ReceiverSetupRecord* record);
// Overlays a block (at most its length, at most 424 bytes) onto the record.
// `block` is a whole block as the reader hands it out; bytes beyond a short
// block's length keep what the record held before.
void OverlayReceiverSetup(const uint8_t* block, ReceiverSetupRecord* record);

// A fixed-width, zero-padded text field; offsets are block (and record) offsets.
struct SetupTextField {
  uint16_t offset;
  uint16_t width;
};

inline constexpr SetupTextField kSetupMarkerName{16, 60};
inline constexpr SetupTextField kSetupMarkerNumber{76, 20};
inline constexpr SetupTextField kSetupObserver{96, 20};
inline constexpr SetupTextField kSetupAgency{116, 40};
inline constexpr SetupTextField kSetupReceiverSerial{156, 20};
inline constexpr SetupTextField kSetupReceiverName{176, 20};
inline constexpr SetupTextField kSetupReceiverVersion{196, 20};
inline constexpr SetupTextField kSetupAntennaSerial{216, 20};
inline constexpr SetupTextField kSetupAntennaType{236, 20};
inline constexpr SetupTextField kSetupMarkerType{268, 20};
inline constexpr SetupTextField kSetupFirmwareVersion{288, 40};
inline constexpr SetupTextField kSetupProductName{328, 40};  // revision 3 or later
inline constexpr SetupTextField kSetupStationCode{388, 10};  // revision 4 or later
inline constexpr SetupTextField kSetupCountryCode{400, 3};   // revision 4 or later

// Numeric fields (little-endian).
inline constexpr size_t kSetupIdOffset = 4;               // u16 block id with revision
inline constexpr size_t kSetupLengthOffset = 6;           // u16 length of the block taken
inline constexpr size_t kSetupAntennaDeltaHOffset = 256;  // f32 metres
inline constexpr size_t kSetupAntennaDeltaEOffset = 260;  // f32 metres
inline constexpr size_t kSetupAntennaDeltaNOffset = 264;  // f32 metres
inline constexpr size_t kSetupRefLatitudeOffset = 368;    // f64 radians, revision 4 or later
inline constexpr size_t kSetupRefLongitudeOffset = 376;   // f64 radians, revision 4 or later
inline constexpr size_t kSetupRefHeightOffset = 384;      // f32 metres, revision 4 or later
inline constexpr size_t kSetupMonumentIndexOffset = 398;  // u8, revision 4 or later
inline constexpr size_t kSetupReceiverIndexOffset = 399;  // u8, revision 4 or later

// Value the defaults put into the reference position: "none" (any value of
// -1e10 or less means none).
inline constexpr double kSetupNoReferencePosition = -2e10;

// The text of a field up to its first zero byte, never past its width nor past
// the record. The view points into the record.
std::string_view SetupText(const ReceiverSetupRecord& record, size_t offset, size_t width);
inline std::string_view SetupText(const ReceiverSetupRecord& record, SetupTextField field) {
  return SetupText(record, field.offset, field.width);
}

uint16_t SetupBlockId(const ReceiverSetupRecord& record);
// Length field of the block last laid over the record (0 for the defaults).
uint16_t SetupBlockLength(const ReceiverSetupRecord& record);
// Block revision 3 or later: id >= 0x6000 (product_name is present).
bool SetupIsRevision3OrLater(const ReceiverSetupRecord& record);
// Block revision 4 or later: bit 15 of id (naming fields and reference position).
bool SetupIsRevision4OrLater(const ReceiverSetupRecord& record);

float SetupAntennaDeltaH(const ReceiverSetupRecord& record);
float SetupAntennaDeltaE(const ReceiverSetupRecord& record);
float SetupAntennaDeltaN(const ReceiverSetupRecord& record);
double SetupRefLatitude(const ReceiverSetupRecord& record);
double SetupRefLongitude(const ReceiverSetupRecord& record);
float SetupRefHeight(const ReceiverSetupRecord& record);
// True when the record holds a usable reference position: revision 4 or later,
// the block long enough to carry all three values, and a latitude above -1e10.
bool SetupHasReferencePosition(const ReceiverSetupRecord& record);
uint8_t SetupMonumentIndex(const ReceiverSetupRecord& record);
uint8_t SetupReceiverIndex(const ReceiverSetupRecord& record);

}  // namespace kavrino

// The receiver setup record: defaults, overlay of the ReceiverSetup block and
// field access.
#include "qdx/decode/receiver_setup.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "qdx/block.h"

namespace kavrino {
namespace {

// End of the reference position fields: a block shorter than this does not
// carry the whole position.
constexpr size_t kSetupRefEnd = kSetupRefHeightOffset + 4;

void PutText(ReceiverSetupRecord* record, SetupTextField field, const char* text) {
  size_t length = std::min(std::strlen(text), static_cast<size_t>(field.width));
  std::memset(record->bytes + field.offset, 0, field.width);
  std::memcpy(record->bytes + field.offset, text, length);
}

void PutU64(ReceiverSetupRecord* record, size_t offset, uint64_t value) {
  for (int i = 0; i < 8; ++i) record->bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutF64(ReceiverSetupRecord* record, size_t offset, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutU64(record, offset, bits);
}

void PutF32(ReceiverSetupRecord* record, size_t offset, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) record->bytes[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

}  // namespace

void SetReceiverSetupDefaults(ReceiverSetupRecord* record) {
  // Header, time stamp, antenna deltas, station code, indexes and spare: zero.
  std::memset(record->bytes, 0, sizeof record->bytes);
  PutText(record, kSetupMarkerName, "NORV");
  for (SetupTextField field :
       {kSetupMarkerNumber, kSetupObserver, kSetupAgency, kSetupReceiverSerial, kSetupReceiverName,
        kSetupReceiverVersion, kSetupAntennaSerial, kSetupAntennaType, kSetupMarkerType,
        kSetupFirmwareVersion, kSetupProductName}) {
    PutText(record, field, "Unknown");
  }
  PutText(record, kSetupCountryCode, "___");
  PutF64(record, kSetupRefLatitudeOffset, kSetupNoReferencePosition);
  PutF64(record, kSetupRefLongitudeOffset, kSetupNoReferencePosition);
  PutF32(record, kSetupRefHeightOffset, static_cast<float>(kSetupNoReferencePosition));
}

void OverlayReceiverSetup(const uint8_t* block, ReceiverSetupRecord* record) {
  size_t length = std::min(static_cast<size_t>(QdxBlockLength(block)), kReceiverSetupSize);
  std::memcpy(record->bytes, block, length);
}

std::string_view SetupText(const ReceiverSetupRecord& record, size_t offset, size_t width) {
  if (offset >= kReceiverSetupSize) return {};
  width = std::min(width, kReceiverSetupSize - offset);
  const char* text = reinterpret_cast<const char*>(record.bytes + offset);
  const void* zero = std::memchr(text, 0, width);
  size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - text) : width;
  return std::string_view(text, length);
}

uint16_t SetupBlockId(const ReceiverSetupRecord& record) {
  return ReadU16(record.bytes + kSetupIdOffset);
}

uint16_t SetupBlockLength(const ReceiverSetupRecord& record) {
  return ReadU16(record.bytes + kSetupLengthOffset);
}

bool SetupIsRevision3OrLater(const ReceiverSetupRecord& record) {
  return SetupBlockId(record) >= 0x6000;
}

bool SetupIsRevision4OrLater(const ReceiverSetupRecord& record) {
  return (SetupBlockId(record) & 0x8000) != 0;
}

float SetupAntennaDeltaH(const ReceiverSetupRecord& record) {
  return ReadF32(record.bytes + kSetupAntennaDeltaHOffset);
}

float SetupAntennaDeltaE(const ReceiverSetupRecord& record) {
  return ReadF32(record.bytes + kSetupAntennaDeltaEOffset);
}

float SetupAntennaDeltaN(const ReceiverSetupRecord& record) {
  return ReadF32(record.bytes + kSetupAntennaDeltaNOffset);
}

double SetupRefLatitude(const ReceiverSetupRecord& record) {
  return ReadF64(record.bytes + kSetupRefLatitudeOffset);
}

double SetupRefLongitude(const ReceiverSetupRecord& record) {
  return ReadF64(record.bytes + kSetupRefLongitudeOffset);
}

float SetupRefHeight(const ReceiverSetupRecord& record) {
  return ReadF32(record.bytes + kSetupRefHeightOffset);
}

bool SetupHasReferencePosition(const ReceiverSetupRecord& record) {
  return SetupIsRevision4OrLater(record) && SetupBlockLength(record) >= kSetupRefEnd &&
         SetupRefLatitude(record) > -1e10;
}

uint8_t SetupMonumentIndex(const ReceiverSetupRecord& record) {
  return record.bytes[kSetupMonumentIndexOffset];
}

uint8_t SetupReceiverIndex(const ReceiverSetupRecord& record) {
  return record.bytes[kSetupReceiverIndexOffset];
}

}  // namespace kavrino

// The numbers of every QDX block the converter reads (the block id without its
// revision bits), and the groups the walks sort them into.
#pragma once

#include <cstdint>

namespace kavrino {

// Measurements.
inline constexpr uint16_t kChannelMeasBlock = 4027;
inline constexpr uint16_t kChannelMeasVariantBlock = 5944;
inline constexpr uint16_t kSignalExtraInfoBlock = 4000;
inline constexpr uint16_t kFullPrecisionRangesBlock = 4098;
inline constexpr uint16_t kCompactMeasBlock = 4109;
inline constexpr uint16_t kCompactCn0Block = 4110;
inline constexpr uint16_t kCompactDopplerBlock = 4111;
inline constexpr uint16_t kCompactSignalBlock = 4112;
inline constexpr uint16_t kCompactCorrBlock = 4113;
// Station, comments and events.
inline constexpr uint16_t kReceiverSetupBlock = 5902;
inline constexpr uint16_t kCommentBlock = 5936;
inline constexpr uint16_t kExternalEventBlock = 5924;
inline constexpr uint16_t kItemCollectedBlock = 4106;
// Position fixes.
inline constexpr uint16_t kCartesianFixBlock = 4006;
inline constexpr uint16_t kGeodeticFixBlock = 4007;
inline constexpr uint16_t kCartesianFix2Block = 5903;
inline constexpr uint16_t kGeodeticFix2Block = 5904;
// Ionosphere and time-offset parameters.
inline constexpr uint16_t kGpsIonosphereBlock = 5893;
inline constexpr uint16_t kGpsUtcParamsBlock = 5894;
inline constexpr uint16_t kGalIonosphereBlock = 4030;
inline constexpr uint16_t kGalUtcParamsBlock = 4031;
inline constexpr uint16_t kGalGpsTimeOffsetBlock = 4032;
// Ephemerides.
inline constexpr uint16_t kGpsEphemerisBlock = 5891;
inline constexpr uint16_t kQzsEphemerisBlock = 4095;
inline constexpr uint16_t kGalEphemerisBlock = 4002;
inline constexpr uint16_t kBdsEphemerisBlock = 4081;
inline constexpr uint16_t kGloEphemerisBlock = 4004;
inline constexpr uint16_t kSbasNavigationBlock = 5896;
// Raw SBAS messages.
inline constexpr uint16_t kSbasRawL1Block = 4020;
inline constexpr uint16_t kSbasRawL5Block = 4021;
inline constexpr uint16_t kSbasRawLegacyBlock = 5898;
// Weather sensor text, and a block counted as data without being read.
inline constexpr uint16_t kSensorTextBlock = 4075;
inline constexpr uint16_t kOtherDataBlock = 5913;

// Blocks of the measurement families, gathered per time stamp into an epoch.
inline bool IsMeasBlockNumber(uint16_t number) {
  switch (number) {
    case kCompactMeasBlock:
    case kCompactCn0Block:
    case kCompactDopplerBlock:
    case kCompactSignalBlock:
    case kCompactCorrBlock:
    case kChannelMeasBlock:
    case kChannelMeasVariantBlock:
    case kSignalExtraInfoBlock:
    case kFullPrecisionRangesBlock:
      return true;
    default:
      return false;
  }
}

// The main block of a measurement epoch (one per time stamp).
inline bool IsEpochMeasBlockNumber(uint16_t number) {
  return number == kChannelMeasBlock || number == kCompactMeasBlock ||
         number == kChannelMeasVariantBlock;
}

inline bool IsPositionFixBlockNumber(uint16_t number) {
  return number == kCartesianFixBlock || number == kGeodeticFixBlock ||
         number == kCartesianFix2Block || number == kGeodeticFix2Block;
}

// Blocks that count as data when the pre-scans locate the data of a file.
inline bool IsDataBlockNumber(uint16_t number) {
  switch (number) {
    case kChannelMeasBlock:
    case kSensorTextBlock:
    case kCompactMeasBlock:
    case kReceiverSetupBlock:
    case kCartesianFix2Block:
    case kGeodeticFix2Block:
    case kOtherDataBlock:
    case kChannelMeasVariantBlock:
      return true;
    default:
      return false;
  }
}

}  // namespace kavrino

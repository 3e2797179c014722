// The session header block: the receiver's session description, laid out
// by byte offset exactly as the header records and the fold read it.
// Values are stored little-endian at their offsets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

struct SessionBlock {
  static constexpr size_t kSize = 1584;
  static constexpr int kSvEntries = 72;  // per-SV arrays and counter arrays

  // Offsets of the named values.
  enum : size_t {
    kRefLatitude = 0, kRefLongitude = 8, kRefHeight = 16, kAntennaHeight = 24,
    kA1 = 32, kL2Flag = 33, kTestMode = 34, kRefKind = 35, kScheduleSpecified = 36,
    kElevationMask = 37, kMinSvs = 38, kSvSelection = 39,
    kSvBytes1 = 40,           // 72 per-SV bytes
    kA4 = 112, kAntennaSerialInField = 113, kAntennaHeightUnit = 114,
    kLoggingSpecified = 115, kLogPositionOnly = 116, kLogPositionEveryCycle = 117,
    kSvBytes2 = 118,          // 72 per-SV bytes
    kScheduleStart = 190, kScheduleStop = 192, kLoggingStart = 194, kLoggingStop = 196,
    kC1 = 200, kC2 = 488, kC3 = 776, kC4 = 1064,  // 72 signed 32-bit entries each
    kSyncRate = 1352, kAntennaSerial = 1356, kReceiverSerial = 1360,
    kNavVersion = 1364, kSigVersion = 1366,
    kStationNamePresent = 1368, kStationNameLength = 1369, kStationName = 1370,  // 50 chars
    kA5 = 1420, kD1 = 1424, kT1 = 1432, kW1 = 1436, kW2 = 1440, kW3 = 1444,
    kA6 = 1448, kA7 = 1449, kA8 = 1450, kA9 = 1451, kW4 = 1452, kA10 = 1456, kA11 = 1457,
    kD2 = 1464, kH1 = 1472,
    kPositions = 1480,        // P0..P11, binary64
    kW5 = 1576, kW6 = 1580,
  };

  uint8_t bytes[kSize] = {};

  template <typename T>
  T Get(size_t off) const {
    T v;
    std::memcpy(&v, bytes + off, sizeof(T));
    return v;
  }
  template <typename T>
  void Set(size_t off, T v) {
    std::memcpy(bytes + off, &v, sizeof(T));
  }
  double P(int i) const { return Get<double>(kPositions + 8 * static_cast<size_t>(i)); }
  void SetP(int i, double v) { Set<double>(kPositions + 8 * static_cast<size_t>(i), v); }
  int32_t Counter(size_t base, int i) const { return Get<int32_t>(base + 4 * static_cast<size_t>(i)); }
  void SetCounter(size_t base, int i, int32_t v) { Set<int32_t>(base + 4 * static_cast<size_t>(i), v); }
  void Clear() { std::memset(bytes, 0, kSize); }
};
static_assert(sizeof(SessionBlock) == SessionBlock::kSize);

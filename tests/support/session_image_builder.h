// A raw image (Q00) holding one complete survey session: receiver and
// session records, text records, the tracking table, an application file,
// ephemeris, ion/UTC and measurement epochs. The field values are public
// so that tests can derive the expected outputs from them.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/record_builder.h"

namespace tb {

// Little-endian expected bytes.
struct Le {
  std::vector<uint8_t> b;
  Le& u8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); return *this; }
  Le& u16(uint32_t v) { return u8(v).u8(v >> 8); }
  Le& u32(uint32_t v) { return u16(v).u16(v >> 16); }
  Le& f64(double v) {
    uint64_t x;
    std::memcpy(&x, &v, 8);
    return u32(static_cast<uint32_t>(x)).u32(static_cast<uint32_t>(x >> 32));
  }
  Le& zeros(size_t n) { b.insert(b.end(), n, 0); return *this; }
  // Text in a field of `width` bytes, zero-filled.
  Le& text(const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    return *this;
  }
};

// What varies between the sessions a test builds.
struct SessionParams {
  uint8_t typeCode = 29;                  // type-12 record and type-30 item 1
  uint16_t firmware = 101;                // type-30 item 4
  std::string serialText = "0000012345";  // type-30 item 2
  std::string headerName = "ALPHA7";      // type-23 header station name
  bool headerNameTerminated = true;       // sent with a NUL (length byte = size) or
                                          // without one (length byte = size - 1)
  bool narrow = false;                    // session records 4, 13, 5 instead of 22, 23, 24
  std::string longNameText = "HIGHRIDGE_OBSERVATORY_NORTH CAMP";  // type-16 subtype 3
  double pdop3d = 99.9, pdop2d = 100.0;
};

namespace session {

// Type 30 subtype 1.
constexpr uint32_t kInfoSerial = 12345678, kInfoAntenna = 0x00010203;
// Type 22 (one session, k = 2: per-SV entries 0 to 2); latitude and
// longitude in semicircles.
constexpr double kRefLat = 0.2734375, kRefLon = -0.4296875, kRefHeight = 312.375, kAntennaHeight = 1.5625;
constexpr uint8_t kA1 = 0x11, kL2Flag = 1, kTestMode = 0, kRefKind = 1, kScheduleSpecified = 1,
                  kElevationMask = 15, kMinSvs = 4, kSvSelection = 0, kA4 = 0x41, kAntennaInField = 1,
                  kAntennaHeightUnit = 2, kLoggingSpecified = 1, kPositionOnly = 0, kEveryCycle = 1;
constexpr uint16_t kScheduleStart = 480, kScheduleStop = 1020, kLoggingStart = 485,
                   kLoggingStop = 1015, kSyncRate = 150, kDataNav = 102, kDataSig = 205;
// Type 23: D1 fix32 s 0, D2 fix16 s -4.
constexpr uint8_t kA5 = 0x55, kA6 = 0x61, kA7 = 0x62, kA8 = 0x63, kA9 = 0x64, kA10 = 0x6A, kA11 = 0x6B;
constexpr int32_t kD1Raw = -123456;
constexpr int16_t kD2Raw = -40;
constexpr char kT1[4] = "XYZ";
constexpr uint32_t kW1 = 0x01020304, kW2 = 0x0A0B0C0D, kW3 = 7, kW4 = 0xCAFEBABE;
constexpr uint16_t kH1 = 0x1234;
// Type 24: P0..P11 (P3 and P6 are the PDOPs under test), W5, W6.
constexpr double kPositions[12] = {0.2734375, -0.4296875, 305.5, 0.0, 0.1, 0.2,
                                   0.0,       0.25,       0.5,   300.375, 0.3, 0.4};
constexpr uint32_t kW5 = 1234, kW6 = 56;

// Measurement epochs (ms of the week): Saturday 23:15:00 and 23:15:30 of
// data week 1500, then Sunday 00:45:00 of the next week.
constexpr uint32_t kEpochs[3] = {602100000, 602130000, 2700000};

// Ephemeris record of SV 5: its 25 values.
constexpr uint8_t kEphSv = 5;
inline double EphValue(int i) { return 1000.0 + i * 0.5; }

// Ion/UTC record: 11 binary64, two signed 16-bit, one unsigned 32-bit, 8 bytes.
inline double IonValue(int i) { return (i + 1) * 0.0625; }
constexpr int16_t kIonShort[2] = {-3, 17};
constexpr uint32_t kIonLong = 61440;
constexpr uint8_t kIonTail[8] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};

// The application file: a 4-byte prefix and items of 100, 100 and 50 data
// bytes (260 bytes), sent in blocks of 100, 100 and 60 after an earlier,
// complete 10-byte sequence that it replaces.
std::vector<uint8_t> AppFile();

}  // namespace session

// The raw image of the session. Its header blocks hold recognisable values.
RawImage SessionImage(const SessionParams& params);

}  // namespace tb

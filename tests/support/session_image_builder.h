// A raw image (Q00) holding one complete survey session: receiver and
// session records, text records, the tracking table, an application file,
// ephemeris, ion/UTC and measurement epochs. The field values are public
// so that tests can derive the expected outputs from them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/record_builder.h"

namespace tb {

// What varies between the sessions a test builds.
struct SessionParams {
  uint8_t typeCode = 29;                  // type-12 record and type-30 item 1
  uint16_t firmware = 101;                // type-30 item 4
  std::string serialText = "0000012345";  // type-30 item 2
  std::string headerName = "ALPHA7";      // type-23 header station name
  bool headerNameTerminated = true;       // sent with a NUL (length byte = size) or without
                                          // one (length byte = size - 1)
  bool narrow = false;                    // session records 4, 13, 5 instead of 22, 23, 24
  std::string longNameText = "HIGHRIDGE_OBSERVATORY_NORTH CAMP";  // type-16 subtype 3
  std::string antennaText = "ANTSER: 12345";                     // type-16 subtype 27
  double pdop3d = 99.9;
  double pdop2d = 100.0;
};

namespace session {

// Image header tail.
constexpr uint16_t kImageReceiverCode = 5;
constexpr uint16_t kImageNav = 550;
constexpr uint16_t kImageSig = 120;

// Type 12.
constexpr uint16_t kDataWeek = 1500;

// Type 30 subtype 1.
constexpr uint32_t kInfoSerial = 12345678;
constexpr uint32_t kInfoAntenna = 0x00010203;

// Type 22 (one session, k = 2: per-SV entries 0 to 2).
constexpr double kRefLat = 0.2734375;    // semicircles
constexpr double kRefLon = -0.4296875;
constexpr double kRefHeight = 312.375;
constexpr double kAntennaHeight = 1.5625;
constexpr uint8_t kA1 = 0x11, kL2Flag = 1, kTestMode = 0, kRefKind = 1, kScheduleSpecified = 1,
                  kElevationMask = 15, kMinSvs = 4, kSvSelection = 0;
constexpr uint8_t kA4 = 0x41, kAntennaInField = 1, kAntennaHeightUnit = 2, kLoggingSpecified = 1,
                  kPositionOnly = 0, kEveryCycle = 1;
constexpr uint16_t kScheduleStart = 480, kScheduleStop = 1020, kLoggingStart = 485,
                   kLoggingStop = 1015;
constexpr uint16_t kSyncRate = 150;
constexpr uint32_t kHeaderAntennaSerial = 777;
constexpr uint32_t kHeaderReceiverSerial = 4444;
constexpr uint16_t kDataNav = 102, kDataSig = 205;

// Type 23.
constexpr uint8_t kA5 = 0x55;
constexpr int32_t kD1Raw = -123456;      // fix32 s 0
constexpr char kT1[4] = "XYZ";
constexpr uint32_t kW1 = 0x01020304, kW2 = 0x0A0B0C0D, kW3 = 7, kW4 = 0xCAFEBABE;
constexpr uint8_t kA6 = 0x61, kA7 = 0x62, kA8 = 0x63, kA9 = 0x64, kA10 = 0x6A, kA11 = 0x6B;
constexpr int16_t kD2Raw = -40;          // fix16 s -4
constexpr uint16_t kH1 = 0x1234;

// Type 24: P0..P11 (P3 and P6 are the PDOPs under test), W5, W6.
constexpr double kPositions[12] = {0.2734375, -0.4296875, 305.5, 0.0, 0.1, 0.2,
                                   0.0,       0.25,       0.5,   300.375, 0.3, 0.4};
constexpr uint32_t kW5 = 1234, kW6 = 56;

// Measurement epochs (ms of the week): Saturday 23:15:00 and 23:15:30 of
// the data week, then Sunday 00:45:00 of the next week.
constexpr uint32_t kEpochs[3] = {602100000, 602130000, 2700000};
// SV numbers of each epoch.
inline const std::vector<std::vector<uint8_t>> kEpochSvs = {{1, 2, 3}, {1, 2, 3, 4}, {1}};

// Ephemeris record: SV and its 25 values.
constexpr uint8_t kEphSv = 5;
inline double EphValue(int i) { return 1000.0 + i * 0.5; }

// Ion/UTC record: 11 binary64, two signed 16-bit, one unsigned 32-bit, 8 bytes.
inline double IonValue(int i) { return (i + 1) * 0.0625; }
constexpr int16_t kIonShort[2] = {-3, 17};
constexpr uint32_t kIonLong = 61440;
constexpr uint8_t kIonTail[8] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};

// Tracking table records (raw type 14), in file order: index, then the six
// words (continuous L1, total L1, continuous L2, total L2, session, word 5).
struct Track {
  uint8_t index;
  int32_t w[6];
};
std::vector<Track> TrackingRecords();

// The application file: a 4-byte prefix and items of 100, 100 and 50 data
// bytes (260 bytes), sent in blocks of 100, 100 and 60 after an earlier,
// complete 10-byte sequence that it replaces.
std::vector<uint8_t> AppFile();

}  // namespace session

// The raw image of the session.
RawImage SessionImage(const SessionParams& params);

}  // namespace tb

// Status codes shared by every stage of a conversion. A status is a signed
// 16-bit value; 0 is success and the run's status becomes the exit code.
#pragma once
#include <cstdint>

using Status = int16_t;

namespace status {
constexpr Status kOk = 0;
constexpr Status kNoMemory = 1;             // "Insufficient memory"
constexpr Status kNotOpened = 2;            // library / output set not opened
constexpr Status kDatOpen = 3;
constexpr Status kDatNotOpen = 4;
constexpr Status kEphOpen = 5;
constexpr Status kEphNotOpen = 6;
constexpr Status kIonOpen = 7;
constexpr Status kIonNotOpen = 8;
constexpr Status kMesOpen = 9;
constexpr Status kMesNotOpen = 10;
constexpr Status kNoStx = 11;
constexpr Status kNoEtx = 12;
constexpr Status kBadChecksum = 13;
constexpr Status kUnexpectedLogst = 14;
constexpr Status kDiskFull = 15;
constexpr Status kNoHeaderRecords = 16;
constexpr Status kInputOpen = 17;
constexpr Status kBadHeader = 18;
constexpr Status kOutOfSequence = 19;
constexpr Status kSummaryOpen = 20;
constexpr Status kSummaryNotOpen = 21;
constexpr Status kNoResync = 23;
constexpr Status kAppOpen = 24;
constexpr Status kAppNotOpen = 25;
constexpr Status kAppInvalid = 26;
constexpr Status kAppNoInfo = 27;
constexpr Status kCancelled = 28;
constexpr Status kWarnings = 29;
constexpr Status kExpansion = 30;
constexpr Status kK02Unsupported = 31;
}  // namespace status

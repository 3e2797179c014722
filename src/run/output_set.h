// The output set: opened once per run, closed once. Holds the six output
// streams with their names, the EPH table, the ion/UTC block, the decoder,
// the file identity block and the APP/CFG assembly.
#pragma once
#include <cstdint>
#include <cstdio>

#include "common/status.h"

struct ConvState;
struct AppInfo;
struct K01Decoder;

constexpr int kEphSlots = 32;
constexpr int kEphSlotSize = 336;
constexpr int kEphTableSize = kEphSlots * kEphSlotSize;  // 10,752
constexpr int kEphFileSize = 4 + kEphTableSize;          // 10,756
constexpr int kIonBlockSize = 120;
constexpr int kIonFileSize = 115;

enum OutputKind { kOutDat = 1, kOutEph = 2, kOutIon = 3, kOutMes = 4, kOutSummary = 5, kOutApp = 6 };

struct FileIdentity {
  uint16_t firstRecordSeen = 0;
  uint16_t receiverCode = 0;
  uint16_t navVersion = 0;
  uint16_t sigVersion = 0;
  uint16_t downloadVersion[3] = {3, 11, 1};
  uint16_t gpsWeek = 0;
  uint16_t updateNameMode = 0;
  char stationText[12] = {};
  char nameTail[12] = {};
};

struct OutputSet {
  FILE* dat = nullptr;
  FILE* eph = nullptr;
  FILE* ion = nullptr;
  FILE* mes = nullptr;
  FILE* summary = nullptr;
  FILE* app = nullptr;
  uint8_t* ephTable = nullptr;
  uint8_t* ionUtc = nullptr;
  K01Decoder* decoder = nullptr;
  FileIdentity* identity = nullptr;
  AppInfo* appInfo = nullptr;
  char* names[7] = {};  // indexed by OutputKind; names[0] unused
  char* datExtension = nullptr;
  ConvState* cs = nullptr;  // the conversion state connected at opening
};

// Opens the output set and connects the conversion state. Returns 0 or 1.
Status OpenOutputSet(OutputSet** out, ConvState& cs);
Status OpenOutput(OutputSet* set, int kind, const char* name);
Status StoreInitialEphemeris(OutputSet* set, int prn, const uint8_t* block333);
Status StoreInitialIonUtc(OutputSet* set, const uint8_t* block117);
Status ResetDecoder(OutputSet* set);
Status CloseOutputSet(OutputSet** set, ConvState& cs);
Status PatchDatHeaders(ConvState& cs, FILE* dat, const char* stationText, const char* nameTail);
void RemoveIfEmpty(const char* name);
// Station text and name tail from the data (receiver type codes 29 to 59).
void StationFromData(const ConvState& cs, char* stationText, char* nameTail);

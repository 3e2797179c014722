// The conversion state object: everything the DAT encoder, the decoding
// library's record step and the reports keep between records of one run.
// Each encoder module keeps its private scratch state in its own member
// struct, declared in that module's header.
#pragma once
#include <cstdint>
#include <cstdio>

#include "common/status.h"
#include "dat/dat_writer_state.h"
#include "dat/encoder_state.h"
#include "dat/session_block.h"

struct OutputSet;

// APP/CFG assembly, filled from type-31 records.
struct AppInfo {
  uint8_t* buffer = nullptr;
  uint8_t* writePos = nullptr;  // none until the first block of a sequence
  uint16_t declaredSize = 0;
  uint16_t state = 0;           // 0 nothing assembled, 1 assembled, 2 invalid
  uint32_t capacity = 0;        // bytes allocated behind buffer
};

// Receiver identity: handed over on the first record, then refined by the
// receiver and session records.
struct ReceiverIdentity {
  uint8_t typeCode = 0;
  uint16_t firmwareVersion = 0;  // the NAV version unless the data replaced it
  uint16_t sigVersion = 0;
  // NAV version as handed over on the first record (file identity block),
  // never replaced by the data; the MES report prints it (0: not handed
  // over, the report then uses firmwareVersion). Set with firmwareVersion
  // by the first-record handover of the raw and K01 paths.
  uint16_t navVersion = 0;
  uint16_t gpsWeek = 0;          // handed over on the first record (-W)
  uint64_t serialNumber = 0;
  uint8_t serialRank = 0;        // 22 after a session header, 30 after receiver info
  char serialString[12] = {};
  uint8_t serialGiven = 0;
  uint32_t antennaSerial = 0;
  char antennaString[12] = {};
  uint8_t antennaGiven = 0;
  char longStationName[52] = {};
  uint8_t compactMode = 0;
};

// Tracking statistics of the type-14 records.
struct TrackingTable {
  static constexpr int kEntries = 33;
  int32_t current[kEntries][6] = {};
  int32_t accumulated[kEntries][6] = {};
  uint8_t seen = 0;
};

// Times of the measurement epochs, in milliseconds of the GPS week.
struct EpochTimes {
  uint8_t seen = 0;
  double first = 0.0;
  double last = 0.0;
  uint16_t dataWeek = 0;      // week taken from the data (set once)
  uint8_t dataWeekSet = 0;
  uint16_t firstWeek = 0;     // GPS week of the first epoch
};

struct ConvState {
  // Options handed over by the run.
  int16_t fixSerialMode = 0;
  int16_t type27Mode = 1;
  int16_t l2Mode = 3;
  uint32_t exclusionMask = 0;

  // Given by the output set when it is opened.
  uint8_t* ephTable = nullptr;  // 32 slots of 336 bytes
  uint8_t* ionUtc = nullptr;    // 120 bytes
  AppInfo* app = nullptr;
  uint16_t downloadVersion[3] = {};
  uint16_t type27Written = 0;

  // K01 record step.
  uint32_t libraryRecordCount = 0;
  uint8_t currentDatType = 0;

  ReceiverIdentity rx;
  EpochTimes epoch;
  TrackingTable tracking;
  SessionBlock session;   // folded session header values
  SessionBlock pending;   // values of the current session, not yet folded
  SessionBlock staging;   // built by each session header record

  DatWriterState writer;  // envelope and write path
  EncoderState enc;       // record images, epoch rules, raw re-encoding

  // Reads one record of a K00/K01/K02 input and writes it to the DAT file.
  Status ConvertK01Record(OutputSet* set, FILE* in, int16_t format);
};

// Merges the pending session header values into the session header block.
void FoldPendingHeader(ConvState& cs);

// The application object: options, input names, output names, counters,
// the raw-record reader's buffer, console line buffers and the two
// callbacks through which a conversion talks to its caller.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/status.h"

struct ConvState;
struct OutputSet;

// Receives every console line without its line end. Levels: 1 normal
// verbose lines, 2 record lines / problem records / error line, 3 dumps.
using MessageCallback = void (*)(int32_t level, const char* text, void* userData);
// Called at the start and end of each input and before each record. Setting
// *cancel to non-zero stops the conversion (status 28).
using ProgressCallback = uint16_t (*)(uint8_t* cancel, uint16_t percent, uintptr_t userA,
                                      uintptr_t userB);

void DefaultMessageCallback(int32_t level, const char* text, void* userData);
uint16_t DefaultProgressCallback(uint8_t* cancel, uint16_t percent, uintptr_t userA, uintptr_t userB);

constexpr const char* kProgramVersionText = "Version 5.17";
constexpr int kMaxInputs = 512;
constexpr int kInputNameSize = 128;
constexpr int kNameSize = 256;
constexpr int kRecordBufferSize = 1024;
constexpr int kListLineSize = 1024;

// Input formats.
enum : int16_t { kFormatNone = 0, kFormatQ00 = 1, kFormatK00 = 2, kFormatK01 = 3, kFormatK02 = 4 };

struct Application {
  Application();

  // --- entry points (each in its own module) ---------------------------
  void SetMessageCallback(MessageCallback cb, void* userData);
  void SetProgressCallback(ProgressCallback cb, uintptr_t userA, uintptr_t userB);

  // Option parsing (options.cpp). resetDefaults on the command-line pass.
  Status ParseArguments(int argc, const char* const* argv, bool resetDefaults);
  // Second pass over the stored custom argument string (custom_args.cpp).
  Status ApplyRegistryArguments();
  // Usage text, printed directly on standard output (usage.cpp).
  static void PrintUsage(bool extended);

  // Input resolution (input_resolution.cpp).
  Status ProbeInputFile(int slot, int16_t* format);
  Status ResolveOutputName();

  // Console lines (messages.cpp): formats template `number` with the
  // values into the message line and hands it to the message callback.
  void SendLine(int32_t level, int number, const char* builtin, ...);
  void ReportError(Status code);

  // The conversion run (run/run_conversion.cpp).
  Status RunConversion(ConvState& cs);
  // One step of the record loop on each path; false ends the current input
  // (run/raw_reader.cpp and run/run_conversion.cpp).
  bool RawRecordStep(ConvState& cs, Status& st, Status& warning);
  bool K01RecordStep(ConvState& cs, Status& st, Status& warning);
  // Problem-record display helpers of the raw reader.
  void DumpBytes(const uint8_t* bytes, size_t count);
  void DumpFollowingBytes();

  // True once the `-!!!` option printed the extended usage: the entry
  // point then returns 0 without running the later stages.
  bool usagePrinted = false;

  // --- fields, in the order of the design ------------------------------
  FILE* input = nullptr;
  char inputNames[kMaxInputs][kInputNameSize] = {};
  uint8_t inputGiven = 0;
  FILE* listStream = nullptr;
  char* extensionPos = nullptr;  // into outputBase
  char outputBase[kNameSize] = {};
  char stationPart[kNameSize] = {};
  char nameTail[kNameSize] = {};
  uint8_t outputGiven = 0;
  char datExtension[kNameSize] = {};
  int16_t produceDat = 0, produceEph = 0, produceIon = 0, produceMes = 0, produceSummary = 0,
          produceApp = 0;
  int16_t verbose = 0;
  int16_t fixup = 0;
  uint32_t recordFilter = 0;
  int16_t fixSerialMode = 0;
  int16_t type27Mode = 1;
  int16_t l2Mode = 3;
  int16_t inputFormat = kFormatNone;
  int16_t includeHeader = 1, includeEphemeris = 1, includeIonUtc = 1;
  int16_t readEphemerisBlocks = 0, readIonUtcBlock = 0;
  int16_t ignoreChecksum = 0;
  uint32_t checksumErrors = 0;
  uint32_t lostBytes = 0;
  int16_t gpsWeek = 0;
  int16_t navVersion = 0, sigVersion = 0;
  int16_t summaryNameGiven = 0;
  char summaryName[kNameSize] = {};
  int16_t updateNameMode = 0;
  OutputSet* outputSet = nullptr;
  uint8_t imageHeaderTail[17] = {};
  int16_t payloadLength = 0;
  uint16_t bytesWanted = 0, bytesGot = 0;
  uint8_t recordBuffer[kRecordBufferSize] = {};
  uint32_t recordCount = 0;
  uint32_t recordStart = 0;
  uint32_t recordEnd = 0;
  uint32_t inputSize = 0;
  uint32_t lastReportedPosition = 0;
  uintptr_t progressUserA = 0;
  uint8_t* cancelFlag = nullptr;
  uintptr_t progressUserB = 0;
  void* messageUserData = nullptr;
  char messageLine[kNameSize] = {};
  char messageTemplate[kNameSize] = {};
  ProgressCallback progressCallback = DefaultProgressCallback;
  MessageCallback messageCallback = DefaultMessageCallback;

  // Root folder of the stored custom-argument string (see custom_args.h).
  const char* customArgsRoot = nullptr;
};

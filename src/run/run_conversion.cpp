// The conversion run: opens the outputs, reads every input into them and
// works out the final status.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/application.h"
#include "app/input_resolution.h"
#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "k01lib/k01_decoder.h"
#include "run/output_set.h"
#include "run/raw_reader.h"

namespace {

constexpr int kEphBlockBytes = 333;
constexpr int kIonBlockBytes = 117;

bool CarriesTime(uint8_t type) {
  switch (type) {
    case 7: case 17: case 64: case 65: case 66: case 67: case 74: case 75: case 117:
      return true;
    default:
      return false;
  }
}

void UpperCopy(char* dst, size_t size, const char* src, size_t maxChars) {
  size_t i = 0;
  for (; i + 1 < size && i < maxChars && src[i] != '\0'; ++i)
    dst[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(src[i])));
  dst[i] = '\0';
}

}  // namespace

bool Application::K01RecordStep(ConvState& cs, Status& st, Status& warning) {
  fixup = 1;  // the K01 path always continues past record errors
  const Status step = cs.ConvertK01Record(outputSet, input, inputFormat);
  st = step;
  if (st == status::kBadChecksum && ignoreChecksum) {
    if (warning == 0) warning = st;
    st = status::kOk;
    ++checksumErrors;
  } else if (st == status::kDiskFull) {
    // A full disk cannot be skipped like a damaged record: end the run.
    if (warning == 0) warning = st;
    return false;
  } else if (st != status::kOk) {
    if (warning == 0) warning = st;
    st = status::kOk;
  }
  if (step == status::kOk && cs.libraryRecordCount > recordCount) {
    recordCount = cs.libraryRecordCount;
    if (verbose >= 2) {
      const uint8_t type = cs.currentDatType;
      if (CarriesTime(type))
        SendLine(2, 122, "Record id: %3d   Position: %08X   Time: %9.3f", static_cast<int>(type),
                 lastReportedPosition, cs.epoch.last / 1000.0);
      else
        SendLine(2, 110, "Record id: %3d   Position: %08X", static_cast<int>(type),
                 lastReportedPosition);
    }
    lastReportedPosition = recordStart;
  }
  return !std::feof(input) && !std::ferror(input) && st == status::kOk;
}

Status Application::RunConversion(ConvState& cs) {
  uint8_t cancel = 0;
  cancelFlag = &cancel;
  Status st = status::kOk;
  Status warning = status::kOk;

  if (verbose) {
    SendLine(1, 102, "logsplit:  %s", kProgramVersionText);
    char libText[32];
    std::snprintf(libText, sizeof libText, "%d.%02d ", k01::kVersionMajor, k01::kVersionMinor);
    SendLine(1, 123, "logsplit:  K01Lib: %s", libText);
  }

  cs.fixSerialMode = fixSerialMode;
  cs.type27Mode = type27Mode;
  if (type27Mode == 1) cs.exclusionMask |= 0x80 | 0x08;
  cs.l2Mode = l2Mode;

  st = OpenOutputSet(&outputSet, cs);
  if (st != status::kOk) warning = st;
  if (outputSet != nullptr) {
    outputSet->identity->updateNameMode = static_cast<uint16_t>(updateNameMode);
    const size_t n = std::strlen(datExtension) + 1;
    outputSet->datExtension = static_cast<char*>(std::malloc(n));
    if (outputSet->datExtension != nullptr) std::memcpy(outputSet->datExtension, datExtension, n);
  }

  // Open the requested outputs in their fixed order.
  struct Wanted {
    int16_t produce;
    const char* extension;
    int kind;
    int templ;
    const char* builtin;
  };
  const Wanted wanted[] = {
      {produceDat, datExtension, kOutDat, 103, "logsplit:  DAT: %s"},
      {produceEph, ".eph", kOutEph, 104, "logsplit:  EPH: %s"},
      {produceIon, ".ion", kOutIon, 105, "logsplit:  ION: %s"},
      {produceMes, ".mes", kOutMes, 106, "logsplit:  MES: %s"},
      {produceApp, ".cfg", kOutApp, 107, "logsplit:  APP: %s"},
      {produceSummary, ".txt", kOutSummary, 108, "logsplit:  SUM: %s"},
  };
  char* baseEnd = outputBase + sizeof outputBase;
  for (const Wanted& w : wanted) {
    if (!w.produce || st != status::kOk) continue;
    const char* name = outputBase;
    if (w.kind == kOutSummary && summaryNameGiven) {
      name = summaryName;
    } else if (extensionPos != nullptr && extensionPos >= outputBase && extensionPos < baseEnd) {
      const size_t room = static_cast<size_t>(baseEnd - extensionPos);
      if (static_cast<size_t>(std::snprintf(extensionPos, room, "%s", w.extension)) >= room)
        name = "";  // the full name does not fit: the open fails with its own status
    }
    st = OpenOutput(outputSet, w.kind, name);
    if (st != status::kOk) warning = st;
    if (verbose) SendLine(1, w.templ, w.builtin, name);
    if (w.kind == kOutDat) cs.exclusionMask |= recordFilter;
  }

  for (int i = 0; i < kMaxInputs && st == status::kOk && inputNames[i][0] != '\0'; ++i) {
    if (verbose) SendLine(1, 109, "logsplit:  Input file: %s", inputNames[i]);
    input = std::fopen(inputNames[i], "rb");
    if (input == nullptr) {
      st = warning = status::kInputOpen;
      break;
    }
    std::fseek(input, 0, SEEK_END);
    const long size = std::ftell(input);
    inputSize = size < 0 ? 0 : static_cast<uint32_t>(size);
    std::fseek(input, 0, SEEK_SET);
    lastReportedPosition = 0;

    int kind = 0;
    if (includeHeader) {
      st = CheckImageHeader(input, imageHeaderTail, &kind);
      if (st != status::kOk) warning = st;
      readEphemerisBlocks = includeEphemeris;
      readIonUtcBlock = includeIonUtc;
      if (kind == 2 || kind == 3) {
        readEphemerisBlocks = 0;
        readIonUtcBlock = 0;
        std::fseek(input, 0, SEEK_SET);
      }
    }

    ResetRawConverterForInput(cs);
    ResetDecoder(outputSet);

    if (i == 0 && st == status::kOk) {
      FileIdentity& id = *outputSet->identity;
      id.receiverCode = bo::GetLe16(imageHeaderTail);
      id.navVersion = navVersion != 0 ? static_cast<uint16_t>(navVersion) : bo::GetLe16(imageHeaderTail + 2);
      id.sigVersion = sigVersion != 0 ? static_cast<uint16_t>(sigVersion) : bo::GetLe16(imageHeaderTail + 4);
      // Station part and name tail from the output file name.
      stationPart[0] = '\0';
      nameTail[0] = '\0';
      char fileName[kNameSize] = {};
      const char* end = extensionPos != nullptr ? extensionPos : outputBase + std::strlen(outputBase);
      const char* start = outputBase;
      for (const char* p = outputBase; p < end; ++p)
        if (*p == '/' || *p == '\\') start = p + 1;
      std::snprintf(fileName, sizeof fileName, "%.*s", static_cast<int>(end - start), start);
      if (std::strlen(fileName) > 4) {
        UpperCopy(nameTail, sizeof nameTail, fileName + 4, 4);
        fileName[4] = '\0';
      }
      UpperCopy(stationPart, sizeof stationPart, fileName, 4);
      UpperCopy(id.stationText, sizeof id.stationText, stationPart, 4);
      UpperCopy(id.nameTail, sizeof id.nameTail, nameTail, 4);
      id.gpsWeek = static_cast<uint16_t>(gpsWeek);
    }

    if (st == status::kOk) {
      for (int prn = 1; prn <= 32; ++prn) {
        std::memset(recordBuffer, 0, sizeof recordBuffer);
        if (readEphemerisBlocks) std::fread(recordBuffer, 1, kEphBlockBytes, input);
        if (i == 0) StoreInitialEphemeris(outputSet, prn, recordBuffer);
      }
    }
    if (st == status::kOk) {
      std::memset(recordBuffer, 0, sizeof recordBuffer);
      if (readIonUtcBlock) std::fread(recordBuffer, 1, kIonBlockBytes, input);
      if (i == 0) StoreInitialIonUtc(outputSet, recordBuffer);
    }

    if (progressCallback != nullptr) progressCallback(cancelFlag, 0, progressUserA, progressUserB);

    if (produceDat) {
      while (st == status::kOk && !cancel) {
        const long here = std::ftell(input);
        recordStart = here < 0 ? 0 : static_cast<uint32_t>(here);
        if (progressCallback != nullptr) {
          const uint16_t percent =
              inputSize == 0 ? 0 : static_cast<uint16_t>(static_cast<double>(recordStart) / inputSize * 100.0);
          progressCallback(cancelFlag, percent, progressUserA, progressUserB);
        }
        const bool more = (inputFormat == kFormatK00 || inputFormat == kFormatK01 || inputFormat == kFormatK02)
                              ? K01RecordStep(cs, st, warning)
                              : RawRecordStep(cs, st, warning);
        if (!more) break;
      }
    }

    // An input that could not be read to its end is not a finished input.
    if (std::ferror(input) && st == status::kOk) st = warning = status::kInputOpen;
    std::fclose(input);
    input = nullptr;
    if (progressCallback != nullptr && !cancel && st == status::kOk)
      progressCallback(cancelFlag, 100, progressUserA, progressUserB);
    if (inputFormat == kFormatK01 || inputFormat == kFormatK02) recordCount = cs.libraryRecordCount;
  }

  if (outputSet != nullptr) {
    const Status closing = CloseOutputSet(&outputSet, cs);
    if (st == status::kOk) st = closing;
  }
  if (cancel) {
    st = status::kCancelled;
  } else if (st == status::kOk && warning != status::kOk) {
    st = status::kWarnings;
  }
  if (verbose) {
    SendLine(1, 118, "logsplit:  records: %ld", static_cast<long>(recordCount));
    SendLine(1, 119, "logsplit:  status : %d", static_cast<int>(st));
    if (checksumErrors > 0)
      SendLine(1, 120, "logsplit:  checksum err count: %ld", static_cast<unsigned long>(checksumErrors));
    if (lostBytes > 0)
      SendLine(1, 121, "logsplit:  total lost bytes: %lu", static_cast<unsigned long>(lostBytes));
  }
  if (st != status::kOk && verbose >= 2) ReportError(st);
  cancelFlag = nullptr;
  return st;
}

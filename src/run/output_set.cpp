// Opening, filling and finalising the set of output files of one run.
#include "run/output_set.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/byte_order.h"
#include "dat/app_file.h"
#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "dat/dat_writer.h"
#include "k01lib/k01_decoder.h"
#include "report/gps_time.h"
#include "report/mes_report.h"
#include "report/summary_file.h"

namespace {

void FreeSet(OutputSet* set) {
  if (set == nullptr) return;
  std::free(set->ephTable);
  std::free(set->ionUtc);
  k01::DestroyDecoder(set->decoder);
  delete set->identity;
  if (set->appInfo != nullptr) {
    FreeAppInfo(set->appInfo);
    delete set->appInfo;
  }
  for (char*& name : set->names) {
    std::free(name);
    name = nullptr;
  }
  std::free(set->datExtension);
  delete set;
}

char* CopyText(const char* text) {
  const size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy != nullptr) std::memcpy(copy, text, n);
  return copy;
}

bool FileExists(const char* name) {
  struct stat st;
  return name != nullptr && ::stat(name, &st) == 0;
}

// Renames from to to, deleting an existing target first. Failures are not
// reported; on success the set's current DAT name follows the file.
void MoveDat(OutputSet* set, const char* to) {
  if (FileExists(to)) std::remove(to);
  if (std::rename(set->names[kOutDat], to) == 0) {
    char* copy = CopyText(to);
    if (copy != nullptr) {
      std::free(set->names[kOutDat]);
      set->names[kOutDat] = copy;
    }
  }
}

// Position just after the directory part of name ('/' first, else '\').
const char* AfterDirectory(const char* name) {
  const char* slash = std::strrchr(name, '/');
  if (slash == nullptr) slash = std::strrchr(name, '\\');
  return slash == nullptr ? name : slash + 1;
}

// Closes an output and removes it when empty. Returns false when anything
// written to it was lost (a write error or a failing close).
bool FinishStream(FILE*& stream, const char* name) {
  const bool failed = std::ferror(stream) != 0;
  const bool closeFailed = std::fclose(stream) != 0;
  stream = nullptr;
  if (name != nullptr) RemoveIfEmpty(name);
  return !failed && !closeFailed;
}

}  // namespace

Status OpenOutputSet(OutputSet** out, ConvState& cs) {
  // x87 precision control has no counterpart here: binary64 is used as is.
  *out = nullptr;
  OutputSet* set = new (std::nothrow) OutputSet();
  if (set == nullptr) return status::kNoMemory;
  k01::LibraryStartup();
  set->ephTable = static_cast<uint8_t*>(std::calloc(kEphTableSize, 1));
  set->ionUtc = static_cast<uint8_t*>(std::calloc(kIonBlockSize, 1));
  set->decoder = k01::CreateDecoder();
  set->identity = new (std::nothrow) FileIdentity();
  set->appInfo = new (std::nothrow) AppInfo();
  if (set->ephTable == nullptr || set->ionUtc == nullptr || set->decoder == nullptr ||
      set->identity == nullptr || set->appInfo == nullptr) {
    FreeSet(set);
    return status::kNoMemory;
  }
  set->cs = &cs;
  dat::ResetWriter(cs);
  ResetEncoderState(cs);
  // Identity texts of an earlier conversion do not carry over.
  cs.rx.serialGiven = 0;
  std::memset(cs.rx.serialString, 0, sizeof cs.rx.serialString);
  cs.rx.antennaGiven = 0;
  std::memset(cs.rx.antennaString, 0, sizeof cs.rx.antennaString);
  std::memset(cs.rx.longStationName, 0, sizeof cs.rx.longStationName);
  cs.ephTable = set->ephTable;
  cs.ionUtc = set->ionUtc;
  std::memcpy(cs.downloadVersion, set->identity->downloadVersion, sizeof cs.downloadVersion);
  cs.app = set->appInfo;
  cs.type27Written = 0;
  *out = set;
  return status::kOk;
}

Status OpenOutput(OutputSet* set, int kind, const char* name) {
  static const Status kOpenError[7] = {0, status::kDatOpen, status::kEphOpen, status::kIonOpen,
                                       status::kMesOpen, status::kSummaryOpen, status::kAppOpen};
  static const char* const kMode[7] = {"", "wb+", "wb", "wb", "w", "w", "wb"};
  if (set == nullptr) return status::kNotOpened;
  if (kind < kOutDat || kind > kOutApp) return status::kNotOpened;
  if (name == nullptr || name[0] == '\0') return kOpenError[kind];
  FILE** streams[7] = {nullptr, &set->dat, &set->eph, &set->ion, &set->mes, &set->summary, &set->app};
  FILE* f = std::fopen(name, kMode[kind]);
  if (f == nullptr) return kOpenError[kind];
  char* copy = CopyText(name);
  if (copy == nullptr) {
    std::fclose(f);
    return status::kNoMemory;
  }
  if (*streams[kind] != nullptr) std::fclose(*streams[kind]);
  *streams[kind] = f;
  std::free(set->names[kind]);
  set->names[kind] = copy;
  return status::kOk;
}

Status StoreInitialEphemeris(OutputSet* set, int prn, const uint8_t* block) {
  if (set == nullptr) return status::kNotOpened;
  if (prn < 1 || prn > kEphSlots) return status::kOk;
  uint8_t* slot = set->ephTable + (prn - 1) * kEphSlotSize;
  bo::SwapDoubles(slot, block, 40);
  std::memcpy(slot + 320, block + 320, 13);
  return status::kOk;
}

Status StoreInitialIonUtc(OutputSet* set, const uint8_t* block) {
  if (set == nullptr) return status::kNotOpened;
  bo::SwapDoubles(set->ionUtc, block, 14);
  std::memcpy(set->ionUtc + 112, block + 112, 5);
  return status::kOk;
}

Status ResetDecoder(OutputSet* set) {
  if (set == nullptr || set->decoder == nullptr) return status::kNoMemory;
  return k01::ResetDecoderBuffers(set->decoder) ? status::kOk : status::kNoMemory;
}

void RemoveIfEmpty(const char* name) {
  // Only regular files: an output named after a device (/dev/null) stays.
  struct stat st;
  if (name != nullptr && ::stat(name, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
    std::remove(name);
}

void StationFromData(const ConvState& cs, char* stationText, char* nameTail) {
  if (cs.rx.typeCode < 29 || cs.rx.typeCode > 59) return;
  const int lengthField = cs.session.Get<uint8_t>(SessionBlock::kStationNameLength);
  if (lengthField > 0) {
    // The name is length + 1 characters (as the header record and the MES
    // report carry it), ending early at a NUL.
    const char* name = reinterpret_cast<const char*>(cs.session.bytes + SessionBlock::kStationName);
    const size_t n = strnlen(name, lengthField + 1 < 50 ? lengthField + 1 : 50);
    if (n < 4) {
      std::memcpy(stationText, name, n);
      stationText[n] = '\0';
    } else {
      std::memcpy(stationText, name + n - 4, 4);
      stationText[4] = '\0';
    }
  }
  int16_t year = 0, dayOfYear = 0;
  double fraction = 0.0;
  GpsToDayOfYear(cs.epoch.first / 1000.0, ReportWeek(cs), &year, &dayOfYear, &fraction);
  const int h = static_cast<int>(fraction * 24.0);
  char letter = '0';
  if (h >= 0 && h <= 9) letter = static_cast<char>('0' + h);
  else if (h >= 10 && h <= 24) letter = static_cast<char>('A' + (h - 10));
  std::snprintf(nameTail, 12, "%03d%c", dayOfYear, letter);
}

Status CloseOutputSet(OutputSet** setp, ConvState& cs) {
  OutputSet* set = setp == nullptr ? nullptr : *setp;
  if (set == nullptr) return status::kNotOpened;
  Status st = status::kOk;
  // A write that failed on any output makes the close report a full disk,
  // so that a truncated file is never reported as a success.
  bool writesOk = true;
  FileIdentity& id = *set->identity;
  k01::LibraryCleanup();

  if (set->dat != nullptr) {
    FoldPendingHeader(cs);
    StationFromData(cs, id.stationText, id.nameTail);
    st = PatchDatHeaders(cs, set->dat, id.stationText, id.nameTail);
    if (cs.writer.writeError != 0 || std::ferror(set->dat)) writesOk = false;
    if (std::fclose(set->dat) != 0) writesOk = false;
    set->dat = nullptr;
    cs.writer.stream = nullptr;
    const char* ext = set->datExtension != nullptr ? set->datExtension : "";
    // The station name comes from the data: one holding a path separator
    // would move the file out of its folder, so it does not rename it.
    const bool plainName = std::strpbrk(cs.rx.longStationName, "/\\") == nullptr;
    if (id.updateNameMode == 1 && cs.rx.longStationName[0] != '\0' && plainName) {
      const char* current = set->names[kOutDat];
      const size_t dirLen = static_cast<size_t>(AfterDirectory(current) - current);
      char target[1024];
      std::snprintf(target, sizeof target, "%.*s%.50s%.4s%s", static_cast<int>(dirLen), current,
                    cs.rx.longStationName, id.nameTail, ext);
      MoveDat(set, target);
    }
    const char* current = set->names[kOutDat];
    const char* dot = std::strrchr(AfterDirectory(current), '.');
    if (dot != nullptr && std::strcmp(dot, ".vx!") == 0) {
      char target[1024];
      std::snprintf(target, sizeof target, "%.*s%s", static_cast<int>(dot - current), current,
                    cs.type27Written ? ".vxd" : ".dat");
      MoveDat(set, target);
    }
    RemoveIfEmpty(set->names[kOutDat]);
  }
  if (set->eph != nullptr) {
    static const uint8_t kEphHeader[4] = {0x74, 0x00, 0x00, 0x03};
    if (std::fwrite(kEphHeader, 1, 4, set->eph) != 4 ||
        std::fwrite(set->ephTable, 1, kEphTableSize, set->eph) != static_cast<size_t>(kEphTableSize))
      writesOk = false;
    writesOk &= FinishStream(set->eph, set->names[kOutEph]);
  }
  if (set->ion != nullptr) {
    if (std::fwrite(set->ionUtc, 1, kIonFileSize, set->ion) != static_cast<size_t>(kIonFileSize))
      writesOk = false;
    writesOk &= FinishStream(set->ion, set->names[kOutIon]);
  }
  if (set->mes != nullptr) {
    StationFromData(cs, id.stationText, id.nameTail);
    st = WriteMesReport(cs, set->mes, id.stationText, id.nameTail);
    writesOk &= FinishStream(set->mes, set->names[kOutMes]);
  }
  if (set->app != nullptr) {
    if (set->appInfo->state == 1) {
      WriteAppFile(cs, set->appInfo->buffer, set->appInfo->declaredSize, set->app);
    } else {
      st = set->appInfo->state == 0 ? status::kAppNoInfo : status::kAppInvalid;
    }
    writesOk &= FinishStream(set->app, set->names[kOutApp]);
  }
  if (set->summary != nullptr) {
    StationFromData(cs, id.stationText, id.nameTail);
    st = WriteSummaryFile(cs, set->summary, id.stationText, id.nameTail);
    writesOk &= FinishStream(set->summary, set->names[kOutSummary]);
  }
  cs.ephTable = nullptr;
  cs.ionUtc = nullptr;
  cs.app = nullptr;
  FreeSet(set);
  *setp = nullptr;
  return writesOk ? st : status::kDiskFull;
}

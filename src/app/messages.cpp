// Status texts, console templates and the building of console lines.
#include "app/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "app/application.h"

namespace {

struct TextEntry {
  int number;
  const char* text;
};

// The string table, keyed by number.
constexpr TextEntry kResources[] = {
    {1, "None"},
    {2, "Insufficient memory"},
    {3, "DAT file conversion library not opened properly"},
    {4, "Unable to open DAT file"},
    {5, "Unable to write to DAT file, file is not open"},
    {6, "Unable to open EPH file"},
    {7, "Unable to write to EPH file, file is not open"},
    {8, "Unable to open ION file"},
    {9, "Unable to write to ION file, file is not open"},
    {10, "Unable to open MES file"},
    {11, "Unable to write to MES file, file is not open"},
    {12, "Record error - STX not found"},
    {13, "Record error - ETX not found"},
    {14, "Record error - bad checksum"},
    {15, "Record error - unexpected LOGST record (18)"},
    {16, "Disk full"},
    {17, "Unable to locate binary message records for update"},
    {18, "Unable to locate/open source Q00/K00 file"},
    {19, "Not a valid Q00/K00 file (bad header)"},
    {20, "Unable to open summary TXT file"},
    {21, "Unable to write to summary TXT file, file is not open"},
    {22, "Measurement records out of sequence"},
    {24, "Unable to resync to a record"},
    {25, "Unable to open application CFG file"},
    {26, "Unable to write to application CFG file, file is not open"},
    {27, "Application CFG file built from record 31 is not valid"},
    {28, "Application CFG file could not be built, no information"},
    {29, "Conversion terminated by calling application"},
    {30, "One or more errors encountered, but either ignored or skipped"},
    {31, "Error encountered while expanding measurement records"},
    {kResUnknownError, "Unknown error [%d]"},
    {101, "logsplit:  error  : %s"},
    {102, "logsplit:  %s"},
    {103, "logsplit:  DAT: %s"},
    {104, "logsplit:  EPH: %s"},
    {105, "logsplit:  ION: %s"},
    {106, "logsplit:  MES: %s"},
    {107, "logsplit:  APP: %s"},
    {108, "logsplit:  SUM: %s"},
    {109, "logsplit:  Input file: %s"},
    {110, "Record id: %3d   Position: %08X"},
    {111, "Start of Problem Record: %08X"},
    {112, "[%3d]: %02X"},
    {113, "Next 256 Bytes:"},
    {114, "Attempting Fixup: %08X"},
    {115, "Start Search    : %08X"},
    {116, "Resync to Record: %08X"},
    {117, "Lost Bytes      : %lu"},
    {118, "logsplit:  records: %ld"},
    {119, "logsplit:  status : %d"},
    {120, "logsplit:  checksum err count: %lu"},
    {121, "logsplit:  total lost bytes: %lu"},
    {122, "Record id: %3d   Position: %08X   Time: %9.3f"},
    {123, "logsplit:  K01Lib: %s"},
};

// Built-in texts of the status codes 0 to 31, indexed by code. Code 22 has
// no entry of its own and takes the unknown-code path.
constexpr const char* kStatusBuiltin[32] = {
    "None",
    "Insufficient memory",
    "Download functions not opened properly",
    "Unable to open DAT file",
    "Unable to write to DAT file, file is not open",
    "Unable to open EPH file",
    "Unable to write to EPH file, file is not open",
    "Unable to open ION file",
    "Unable to write to ION file, file is not open",
    "Unable to open MES file",
    "Unable to write to MES file, file is not open",
    "Record error - STX not found",
    "Record error - ETX not found",
    "Record error - bad checksum",
    "Record error - unexpected LOGST record (18)",
    "Disk full",
    "Unable to locate binary message records for update",
    "Unable to locate/open source Q00 file",
    "Not a valid Q00 file (bad header)",
    "Measurement records out of sequence",
    "Unable to open summary TXT file",
    "Unable to write to summary TXT file, file is not open",
    nullptr,
    "Unable to resync to a record",
    "Unable to open Application CFG file",
    "Unable to write to Application CFG file, file is not open",
    "AppFile built from record 31 is not valid",
    "Application CFG file could not be built, no information",
    "Conversion terminated by calling application",
    "One or more errors encountered, but either ignored or skipped",
    "Error encountered while expanding measurement records",
    "K02 files not supported in this version of the K01 library",
};

// Built-in texts of the console templates 101 to 123. The record lines show
// the position as a decimal number right-aligned in nine columns; it is the
// same 32-bit unsigned argument that the table's text shows in hexadecimal.
constexpr const char* kTemplateBuiltin[23] = {
    "logsplit:  error  : %s",
    "logsplit:  %s",
    "logsplit:  DAT: %s",
    "logsplit:  EPH: %s",
    "logsplit:  ION: %s",
    "logsplit:  MES: %s",
    "logsplit:  APP: %s",
    "logsplit:  SUM: %s",
    "logsplit:  Input file: %s",
    "Record id: %3d   Position: %9u",
    "Start of Problem Record: %08X",
    "[%3d]: %02X",
    "Next 256 Bytes:",
    "Attempting Fixup: %08X",
    "Start Search    : %08X",
    "Resync to Record: %08X",
    "Lost Bytes      : %lu",
    "logsplit:  records: %ld",
    "logsplit:  status : %d",
    "logsplit:  checksum err count: %ld",
    "logsplit:  total lost bytes: %lu",
    "Record id: %3d   Position: %9u   Time: %9.3f",
    "logsplit:  K01Lib: %s",
};

bool g_resourcesAvailable = true;

const char* FindResource(int number) {
  if (!g_resourcesAvailable) return nullptr;
  for (const TextEntry& e : kResources) {
    if (e.number == number) return e.text;
  }
  return nullptr;
}

// Copies at most size - 1 characters of text and terminates the copy.
void CopyCut(char* buf, size_t size, const char* text) {
  if (size == 0) return;
  size_t n = std::strlen(text);
  if (n > size - 1) n = size - 1;
  std::memcpy(buf, text, n);
  buf[n] = '\0';
}

}  // namespace

void SetResourcesAvailable(bool available) { g_resourcesAvailable = available; }
bool ResourcesAvailable() { return g_resourcesAvailable; }

char* LoadTemplate(int number, char* buf, size_t size, const char* builtin) {
  if (buf == nullptr || size == 0) return buf;
  const char* res = FindResource(number);
  if (res != nullptr && res[0] != '\0') {
    CopyCut(buf, size, res);
  } else {
    CopyCut(buf, size, builtin != nullptr ? builtin : "");
  }
  return buf;
}

const char* BuiltinTemplate(int number) {
  if (number >= kMsgError && number <= kMsgLibraryVersion) return kTemplateBuiltin[number - kMsgError];
  return "";
}

int StatusResourceNumber(Status code) {
  if (code >= 0 && code <= 18) return code + 1;
  if (code == 19) return 22;
  if (code == 20 || code == 21) return code;
  if (code >= 23 && code <= 30) return code + 1;
  return 0;  // 31 has no resource; 22 and codes outside the table use resource 33
}

char* StatusText(Status code, char* buf, size_t size) {
  if (buf == nullptr || size == 0) return buf;
  if (code >= 0 && code <= 31 && kStatusBuiltin[code] != nullptr) {
    int res = StatusResourceNumber(code);
    if (res == 0) {
      CopyCut(buf, size, kStatusBuiltin[code]);
      return buf;
    }
    return LoadTemplate(res, buf, size, kStatusBuiltin[code]);
  }
  constexpr size_t kWorkSize = 128;
  char* work = new (std::nothrow) char[kWorkSize];
  if (work == nullptr) {
    CopyCut(buf, size, "Unknown");
    return buf;
  }
  LoadTemplate(kResUnknownError, work, kWorkSize, "Unknown error [%d]");
  std::snprintf(buf, size, work, static_cast<int>(code));
  delete[] work;
  return buf;
}

void Application::SendLine(int32_t level, int number, const char* builtin, ...) {
  LoadTemplate(number, messageTemplate, sizeof messageTemplate, builtin);
  va_list ap;
  va_start(ap, builtin);
  std::vsnprintf(messageLine, sizeof messageLine, messageTemplate, ap);
  va_end(ap);
  if (messageCallback != nullptr) messageCallback(level, messageLine, messageUserData);
}

void Application::ReportError(Status code) {
  LoadTemplate(kMsgError, messageTemplate, sizeof messageTemplate, BuiltinTemplate(kMsgError));
  char text[128];
  StatusText(code, text, sizeof text);
  std::snprintf(messageLine, sizeof messageLine, messageTemplate, text);
  if (messageCallback != nullptr) messageCallback(2, messageLine, messageUserData);
}

// Status texts and console message templates.
//
// Texts are kept in a compiled-in string table keyed by number (the
// program's "resources"). Every lookup also carries a built-in text that is
// used when the table has no usable entry for the number, so a line can
// always be built.
#pragma once
#include <cstddef>

#include "common/status.h"

// Console message template numbers. Arguments, in order:
//   101-109, 123  const char*
//   110           int type, unsigned int position
//   111, 114-116  unsigned int position
//   112           int index, unsigned int byte value
//   117, 121      unsigned long count
//   118           long count
//   119           int status
//   120           unsigned long count
//   122           int type, unsigned int position, double seconds
enum : int {
  kMsgError = 101,           // "logsplit:  error  : %s"
  kMsgBanner = 102,          // "logsplit:  %s"
  kMsgDatName = 103,
  kMsgEphName = 104,
  kMsgIonName = 105,
  kMsgMesName = 106,
  kMsgAppName = 107,
  kMsgSumName = 108,
  kMsgInputName = 109,
  kMsgRecord = 110,          // "Record id: %3d   Position: %08X"
  kMsgProblemStart = 111,
  kMsgDumpByte = 112,
  kMsgDumpHeading = 113,
  kMsgFixup = 114,
  kMsgSearchStart = 115,
  kMsgResync = 116,
  kMsgLostBytes = 117,
  kMsgRecordCount = 118,
  kMsgStatus = 119,
  kMsgChecksumCount = 120,
  kMsgTotalLost = 121,
  kMsgRecordTime = 122,      // "Record id: %3d   Position: %08X   Time: %9.3f"
  kMsgLibraryVersion = 123,
};

// Resource holding the text of codes outside the status table.
constexpr int kResUnknownError = 33;

// Loads string `number` of the table into buf (at most size - 1 characters,
// always terminated when size > 0). When the table yields no characters the
// built-in text is copied instead (also cut to size - 1). Returns buf.
char* LoadTemplate(int number, char* buf, size_t size, const char* builtin);

// Fills buf with the text of status `code` and returns buf.
char* StatusText(Status code, char* buf, size_t size);

// Built-in text of console template `number` (101 to 123); "" for others.
const char* BuiltinTemplate(int number);

// Resource number of status `code`, or 0 when the code has none.
int StatusResourceNumber(Status code);

// Turns the string table off (false) or on (true). With the table off every
// lookup falls back to its built-in text, as when the resources cannot be
// loaded. The table is on at start.
void SetResourcesAvailable(bool available);
bool ResourcesAvailable();

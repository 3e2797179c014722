// libFuzzer target: the raw-record encoder on arbitrary verified raw records.
#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::RawRecordHarness(data, size);
}

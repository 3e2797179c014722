// libFuzzer target: the record decoder on arbitrary records, histories carried.
#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::DecodeHarness(data, size);
}

// libFuzzer target: a whole conversion of arbitrary bytes, every output requested.
#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::ConversionHarness(data, size);
}

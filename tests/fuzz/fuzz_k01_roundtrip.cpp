// libFuzzer target: K01 writer then reader must give the records back unchanged.
#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::RoundTripHarness(data, size);
}

// libFuzzer target: the K01 container reader on arbitrary file bytes.
#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::ContainerHarness(data, size);
}

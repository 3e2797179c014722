// The fuzzing harnesses, one per entry point: each takes arbitrary bytes
// and must return 0 without a crash, hang or sanitizer report.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fuzz {
int ConversionHarness(const uint8_t* data, size_t size);
int RawRecordHarness(const uint8_t* data, size_t size);
int ContainerHarness(const uint8_t* data, size_t size);
int RoundTripHarness(const uint8_t* data, size_t size);
int DecodeHarness(const uint8_t* data, size_t size);
}  // namespace fuzz

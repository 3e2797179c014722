// Scratch state of the DAT record builders and the raw-record re-encoder:
// per-type images, measurement epoch rules, event queue, deferred records,
// multi-block records and the compact-measurement histories.
#pragma once
#include <cstdint>

struct EncoderState {
  uint8_t compactSeen = 0;  // compact-measurements-seen flag, cleared per input
};

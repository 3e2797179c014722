// A receiver's measurement log for tests: one raw type-17 epoch a second
// from satellites that rise and set along plausible orbits (ranges of 20,000
// to 26,000 km, range rates up to 800 m/s), some tracked on two frequencies,
// with a receiver clock jump of one millisecond and a gap in the logging.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "k01lib/meas17_encoder.h"

namespace tb {

struct Meas17LogShape {
  size_t epochs = 40;
  size_t clockJumpAt = 18;  // epoch whose clock (and every range and phase) jumps by 1 ms
  size_t gapAt = 31;        // epoch logged 120 s after the one before
  bool zeroDoppler = false; // Doppler fields 0 (the smoothed predictor carries none)
  size_t maxRawSize = 255;  // dual-frequency blocks are dropped to keep epochs this short
  bool allDual = false;     // every satellite on two frequencies (long epochs)
};

std::vector<k01::k01_meas17_epoch_t> Meas17Log(const Meas17LogShape& shape);

}  // namespace tb

// Encoder of the compressed type-17 measurement family, for tests: turns
// epochs given as field values into key epochs (67/75, 69/77) and delta
// epochs (66/74 linear predictor, 68/76 smoothed predictor).
//
// The encoder keeps its own copy of the history the decoder will hold and
// computes every prediction with plain 64-bit integers (not the library's
// byte arithmetic), so it cross-checks the transcoders. For each field it
// picks the cheapest mode: copy when the value equals its reference, the
// shortest sign-and-magnitude delta, else the raw value.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tb17 {

// One satellite; every value in the units and width of the raw record.
struct Sat {
  uint8_t sv = 0;
  uint8_t flags = 0;    // bit 0: second-frequency block
  uint8_t status = 0;
  uint8_t extra1 = 0;
  uint8_t extra2 = 0;
  uint8_t snr = 0;
  uint32_t range = 0;   // 4 bytes, 2^-7 (2^-6 for satellites 120 to 138)
  int64_t phase = 0;    // 6 bytes, 2^-15
  int32_t doppler = 0;  // 3 bytes, 2^-6
  uint8_t snr2 = 0;
  int64_t phase2 = 0;   // 6 bytes, 2^-15
  int16_t value2 = 0;   // 2 bytes, 2^-8
};

struct Epoch {
  uint32_t time = 0;    // ms
  int32_t clock = 0;    // 3 bytes, 2^-19
  std::vector<Sat> sats;
};

// The raw type-17 record of an epoch (type 117, length - 256 in byte 1, when
// longer than 255 bytes), checksum and end byte included.
std::vector<uint8_t> RawRecord(const Epoch& e);

enum class Predictor { kLinear, kSmoothed };

class Meas17Encoder {
 public:
  // capacity: satellites the decoder's images hold (88, or 24 on the raw path).
  explicit Meas17Encoder(Predictor p, int capacity = 88);

  // Key epoch: 67/75 (linear family) or 69/77 (smoothed family, without the
  // end byte). Resets and loads the history.
  std::vector<uint8_t> Key(const Epoch& e);
  // Delta epoch: 66/74 or 68/76 against the history; advances the history.
  // For the smoothed family the Doppler of every satellite must be 0.
  std::vector<uint8_t> Delta(const Epoch& e);

  // Choices a test may force: the flags mode (-1: the encoder chooses) and
  // an explicit satellite list even when the previous list would do.
  int forceFlagsMode = -1;
  bool forceExplicitList = false;
  // The header byte of the last delta epoch.
  uint8_t lastHeader = 0;

 private:
  struct Slot {
    uint8_t sv = 0, flags = 0, status = 0, extra1 = 0, extra2 = 0, snr = 0, snr2 = 0;
    uint64_t range = 0, phase = 0, doppler = 0, phase2 = 0, value2 = 0;
    uint64_t rangeRate = 0, phaseAccel = 0, phaseBefore = 0, phase2Accel = 0, phase2Before = 0;
  };
  struct Image {
    uint64_t time = 0, clock = 0;
    std::vector<Slot> slots;
  };
  static Slot SlotOf(const Sat& s);
  void Reorder(const std::vector<uint8_t>& list);
  void Advance(Image& built, size_t count);

  Predictor predictor_;
  int capacity_;
  Image prev_;
  Image pred_;
};

}  // namespace tb17

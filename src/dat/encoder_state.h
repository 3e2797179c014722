// Scratch state of the DAT record builders and the raw-record re-encoder:
// per-type images, measurement epoch rules, event queue, deferred records,
// multi-block records and the raw-record copy. Every image is fixed-size;
// counts read from records are checked against these limits before they
// select a slot.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "k01lib/decode_state.h"
#include "k01lib/decoded_types.h"

namespace enc {
constexpr int kMeasSlots = 64;          // SV blocks of one type-17 epoch
constexpr int kType7Slots = 33;         // entries of one type-7 epoch
constexpr int kType7BodyMax = 118;      // body of the longest type-7 entry
constexpr size_t kPosListBytes = 256;   // both position lists together
constexpr int kMultiEntries = 64;       // entries of one type-102 record
constexpr size_t kRawBufferSize = 4096; // longest raw record accepted
constexpr size_t kScratchSize = 8192;   // one DAT record being built
constexpr size_t kMaxQueuedEvents = 1024;
constexpr size_t kMaxDeferred = 1024;
constexpr size_t kEventTextMax = 248;   // keeps a text event within 255 bytes
constexpr size_t kDeferredRecord = 14;
}  // namespace enc

#pragma pack(push, 1)
// Image of DAT types 10 and 11. The body is the first 78 + 2n bytes.
struct PositionImage {
  double values[9];
  uint32_t time;
  uint8_t byte41;
  uint8_t count;
  uint8_t lists[enc::kPosListBytes];
  double corrections[2];  // the two optional raw corrections (not written)
};

// Image of DAT type 17 (the type-17 structure with room for a longer epoch).
struct MeasurementImage {
  double time;
  double clockTerm;
  uint8_t svCount;
  k01_meas17_sv_t sv[enc::kMeasSlots];
};

// One entry of the type-102 multi-block record.
struct MultiEntry {
  uint8_t bytes[2];
  double values[4];
};
#pragma pack(pop)

// One converted type-7 entry: its DAT header and body.
struct Type7Slot {
  uint8_t header[4];
  uint8_t body[enc::kType7BodyMax];
};

// A queued event (type-19 subtypes 0 to 4).
struct EventItem {
  uint16_t kind = 0;
  uint16_t a = 0;
  uint32_t b = 0;
  uint16_t c = 0;
  uint16_t d = 0;
  uint16_t mode = 0;
  uint16_t textLength = 0;
  char text[256] = {};
};

// The last two measurement epochs: (time, clock term) each.
struct EpochPair {
  double prevTime = 0.0;
  double prevClock = 0.0;
  double curTime = 0.0;
  double curClock = 0.0;
  uint8_t fill = 0;  // 0 empty, 1 one epoch, 2 two epochs
};

struct EncoderState {
  uint8_t compactSeen = 0;  // compact-measurements-seen flag, cleared per input
  // Epoch history of the compact measurement expansion (at most 24 SVs).
  k01::k01_meas17_history_t compactHistory;

  // Images. The 4 header bytes are shared by all types.
  uint8_t header[4] = {};
  PositionImage position = {};
  MeasurementImage meas = {};
  k01_page25_t page25 = {};
  k01_aux26_t aux26 = {};
  k01_meas27_t meas27 = {};
  k01_rec28_t rec28 = {};
  k01_pos29_t pos29 = {};
  k01_rec32_t rec32 = {};
  k01_coded40_t coded40 = {};
  k01_data98_t data98 = {};
  k01_data99_t data99 = {};
  uint8_t body20[260] = {};   // type 20: header byte 1 says how much is used
  uint8_t body31[260] = {};   // type 31

  // Type-7 epoch being collected.
  Type7Slot type7[enc::kType7Slots] = {};
  uint8_t type7Count = 0;
  double type7Time = 0.0;
  double type7Clock = 0.0;

  // Multi-block records in progress.
  uint8_t measOpen = 0;        // a raw type-17 epoch waits for more blocks
  uint8_t multiOpen = 0;       // a type-102 record waits for more blocks
  double multiTime = 0.0;
  double multiClock = 0.0;
  uint8_t multiCount = 0;
  MultiEntry multi[enc::kMultiEntries] = {};

  // Ephemeris-taken flag per SV (index = SV number 1..32).
  uint8_t ephTaken[33] = {};

  // Epoch rules and events.
  EpochPair pair;
  std::vector<EventItem> events;                                // in arrival order
  std::vector<std::array<uint8_t, enc::kDeferredRecord>> deferred;
  uint16_t referenceOffset = 0;
  uint32_t referenceBase = 0;
  uint16_t currentMode = 0;
  int16_t weekMax = 0;

  // Copy of the raw record being converted (byte 0 keeps its STX so that a
  // compact record can be expanded in place), and the DAT record scratch.
  uint8_t raw[enc::kRawBufferSize] = {};
  uint8_t scratch[enc::kScratchSize] = {};
};

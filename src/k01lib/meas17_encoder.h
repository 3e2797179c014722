// Encoder of the compressed type-17 measurement family, the K01 writer's
// counterpart of the type-17 transcoders: turns raw type-17/117 epochs into
// key epochs (67/75, or 69/77 without the end byte) and delta epochs (66/74
// with the linear predictor, 68/76 with the smoothed predictor and no
// Doppler).
//
// The encoder keeps its own copy of the history pair that the decoder will
// hold and computes every prediction with plain 64-bit integers rather than
// the library's byte arithmetic, so the two implementations check each
// other. Each field takes the mode with the fewest bytes: copy when the value
// equals its reference, the shortest sign-and-magnitude delta, else the raw
// value. An epoch that a delta cannot carry (or carries in no fewer bytes
// than a key epoch) becomes a key epoch.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace k01 {

// One satellite block; every value in the units and width of the raw record.
struct k01_meas17_sat_t {
  uint8_t sv = 0;
  uint8_t flags = 0;    // bit 0: second-frequency block follows
  uint8_t status = 0;
  uint8_t extra1 = 0;
  uint8_t extra2 = 0;
  uint8_t snr = 0;
  uint32_t range = 0;   // 4 bytes, 2^-7 (2^-6 for satellites 120 to 138)
  int64_t phase = 0;    // 6 bytes, 2^-15
  int32_t doppler = 0;  // 3 bytes, 2^-6
  uint8_t unread = 0;   // block byte 19; a delta epoch always rebuilds it as 0
  uint8_t snr2 = 0;
  int64_t phase2 = 0;   // 6 bytes, 2^-15
  int16_t value2 = 0;   // 2 bytes, 2^-8
};

struct k01_meas17_epoch_t {
  uint32_t time = 0;   // ms of the week
  int32_t clock = 0;   // 3 bytes, 2^-19
  std::vector<k01_meas17_sat_t> sats;
};

// Longest raw type-17/117 record: one length byte counting from 256.
constexpr size_t kMaxRaw17Size = 511;

// Encoder statuses (8-bit like the rest of the library).
constexpr uint8_t kEnc17Ok = 0;
constexpr uint8_t kEnc17NotRaw17 = 1;     // not a well-formed raw type-17/117 record
constexpr uint8_t kEnc17TooLong = 2;      // the raw record would exceed 511 bytes
constexpr uint8_t kEnc17NoHistory = 3;    // delta epoch asked for before any key epoch
constexpr uint8_t kEnc17NotDeltable = 4;  // the epoch cannot be carried by a delta epoch

// The raw type-17 record of an epoch (type 117 and length - 256 in byte 1
// when longer than 255 bytes), checksum and end byte included. False (out
// empty) when it would exceed 511 bytes.
bool buildRaw17Record(const k01_meas17_epoch_t& epoch, std::vector<uint8_t>& out);

// Parses a raw record of type 17 (length = byte 1) or 117 (byte 1 + 256):
// start byte, satellite blocks that end exactly at the checksum, correct
// checksum and end byte. Anything else gives kEnc17NotRaw17.
uint8_t parseRaw17Record(const uint8_t* record, size_t size, k01_meas17_epoch_t& epoch);

enum class Meas17Predictor : uint8_t { kLinear, kSmoothed };

struct k01_meas17_encoder_options_t {
  Meas17Predictor predictor = Meas17Predictor::kLinear;
  // Satellites the decoder's images hold: 88 in the library, 24 on the raw
  // path. An epoch with more satellites is sent as a key epoch.
  uint8_t maxSatellites = 88;
  // A key epoch at least every keyInterval epochs (0: only when needed).
  uint32_t keyInterval = 0;
  // A time step above this (or any step that does not go forward) starts a
  // key epoch: the predictor extrapolates one epoch interval.
  uint32_t maxGapMs = 60000;
  // The flags mode of delta epochs: -1 the cheapest that fits, 0 to 3 forced
  // (0 for the raw path, whose decoder ignores the mode bits).
  int flagsMode = -1;
  // Send the satellite list even when the previous epoch's list would do.
  bool explicitList = false;
};

class k01_meas17_encoder_t {
 public:
  explicit k01_meas17_encoder_t(const k01_meas17_encoder_options_t& options = {});

  // Chooses key or delta epoch for the next epoch and appends nothing else:
  // out receives the compressed record.
  uint8_t encode(const k01_meas17_epoch_t& epoch, std::vector<uint8_t>& out);
  // The same from a raw type-17/117 record.
  uint8_t encodeRaw(const uint8_t* record, size_t size, std::vector<uint8_t>& out);

  // Key epoch: resets and loads the history.
  uint8_t key(const k01_meas17_epoch_t& epoch, std::vector<uint8_t>& out);
  // Delta epoch against the history; advances it. With the smoothed
  // predictor every Doppler must be 0.
  uint8_t delta(const k01_meas17_epoch_t& epoch, std::vector<uint8_t>& out);

  // The next encode() starts with a key epoch (the decoder's pair was reset).
  void restart() { haveHistory_ = false; }

  const k01_meas17_encoder_options_t& options() const { return options_; }
  k01_meas17_encoder_options_t& options() { return options_; }
  // The header byte of the last delta epoch, and whether the last record
  // produced was a key epoch.
  uint8_t lastHeader() const { return lastHeader_; }
  bool lastWasKey() const { return lastWasKey_; }

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
  struct History {
    Image prev;
    Image pred;
  };

  static Slot slotOf(const k01_meas17_sat_t& s);
  size_t capacity() const;
  uint8_t deltaCheck(const k01_meas17_epoch_t& epoch) const;
  // Builds the delta record into out and the history it leaves into h.
  uint8_t buildDelta(const k01_meas17_epoch_t& epoch, History& h, std::vector<uint8_t>& out,
                     uint8_t& header) const;
  void reorder(History& h, const std::vector<uint8_t>& list) const;
  void advance(History& h, Image& built, size_t count) const;

  k01_meas17_encoder_options_t options_;
  History history_;
  bool haveHistory_ = false;
  uint32_t lastTime_ = 0;
  uint32_t sinceKey_ = 0;
  uint8_t lastHeader_ = 0;
  bool lastWasKey_ = false;
};

}  // namespace k01

// Encoder of the compressed multi-signal measurement family, the K01
// writer's counterpart of the type-27 transcoders: turns raw type-27 epochs
// into key epochs (38), delta epochs (36 full, 37 short) and phase-only
// delta epochs (39).
//
// The encoder holds the pair of epoch images that the decoder will hold
// (previous epoch and linear prediction) and extrapolates it with plain
// 64-bit integers rather than the library's byte arithmetic. Every field
// takes the mode with the fewest bytes. A candidate record is used only
// when the epoch it rebuilds writes exactly the input record; of the
// usable candidates the shortest wins, and an epoch that no delta carries
// in fewer bytes than a key epoch becomes a key epoch.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace k01 {

// ---- field values of a raw type-27 record --------------------------------
struct k01_ms_signal_t {
  uint8_t band = 0;
  uint8_t further = 0;    // tracking/signal type
  uint16_t value16 = 0;   // signal-to-noise, tenths
  int64_t range = 0;      // first signal: unsigned units of 2^-7 (2^-6 system 1);
                          // later signals: signed difference, units of 2^-8
  int64_t phase = 0;      // 48-bit signed, 2^-15 cycles
  uint8_t status = 0;
  uint8_t flags = 0;      // 0x80 extra-flags byte follows, 0x04 Doppler follows
  uint8_t extra = 0;      // 0x01 extended range (later signals)
  int32_t doppler = 0;    // 24-bit signed, 2^-8 Hz
};

struct k01_ms_sat_t {
  uint8_t sv = 1;
  uint8_t system = 0;
  int8_t channel = 0;
  uint8_t byte5 = 0;      // word A
  uint8_t byte6 = 0;      // word B / 2
  uint8_t byte7 = 0;      // byte Q
  std::vector<k01_ms_signal_t> signals;
};

struct k01_ms_ext_entry_t {
  uint8_t code = 0;       // descriptor low nibble
  int64_t value = 0;      // 2^-28 units, sign-extended
};

struct k01_ms_epoch_t {
  uint16_t week = 0;
  uint32_t time = 0;      // ms of the week
  int32_t clock = 0;      // 24-bit signed, 2^-19 ms
  uint8_t flags = 0;      // 0x02 3-byte field, 0x10 1-byte field, 0x20 extension block
  uint32_t field3 = 0;    // 24 bits
  uint8_t field1 = 0;
  uint8_t extCode = 0;    // count byte low nibble
  std::vector<k01_ms_ext_entry_t> ext;
  std::vector<k01_ms_sat_t> sats;
};

// The raw type-27 record of an epoch (K01 length form: low byte in byte 1,
// high byte in byte 3), checksum and end byte included; the length bytes of
// the epoch header, extension block, satellite blocks and signal entries
// are the ones the fields need.
std::vector<uint8_t> buildRaw27Record(const k01_ms_epoch_t& epoch);
// Bytes of an extension value that are not pure sign extension (1 to 7).
uint8_t extValueBytes(int64_t value);
// The delta-coded form of an extension block (image form, 66 bytes) against
// its reference, appended to out; `rebuilt` receives the block the decoder
// rebuilds from it. Shared with the precise-position encoder.
void appendExtensionDelta(std::vector<uint8_t>& out, const uint8_t* ext, const uint8_t* ref,
                          uint8_t* rebuilt);

// ---- encoder ----------------------------------------------------------------
constexpr uint8_t kEnc27Ok = 0;
constexpr uint8_t kEnc27NotRaw27 = 1;     // not a well-formed raw type-27 record
constexpr uint8_t kEnc27NoHistory = 3;    // delta epoch asked for before any key epoch
constexpr uint8_t kEnc27NotDeltable = 4;  // the chosen form cannot rebuild this epoch

struct k01_ms_encoder_options_t {
  // A key epoch at least every keyInterval epochs (0: only when needed).
  uint32_t keyInterval = 0;
  // A time step above this (or one that does not go forward) starts a key
  // epoch.
  uint32_t maxGapMs = 60000;
  // Forms the encoder may choose besides key epochs and full delta epochs.
  bool useShortDelta = true;   // 37
  bool usePhaseOnly = true;    // 39
};

class k01_ms_encoder_t {
 public:
  explicit k01_ms_encoder_t(const k01_ms_encoder_options_t& options = {});

  // Chooses the form for the raw type-27 record and writes the compressed
  // record into out. kEnc27NotRaw27 (out empty) for a record that is not a
  // well-formed raw type-27 record: the caller keeps it as it is.
  uint8_t encodeRaw(const uint8_t* record, size_t size, std::vector<uint8_t>& out);
  uint8_t encode(const k01_ms_epoch_t& epoch, std::vector<uint8_t>& out);

  // Forced forms (the history advances only on success).
  uint8_t key(const uint8_t* record, size_t size, std::vector<uint8_t>& out);
  // Type 36 (full) or 37 (short).
  uint8_t delta(const uint8_t* record, size_t size, bool full, std::vector<uint8_t>& out);
  // Type 39: the epoch must have the satellites, signals and fixed bytes of
  // the previous one, and its ranges must be the ones carried along the
  // carrier phase.
  uint8_t phaseOnly(const uint8_t* record, size_t size, std::vector<uint8_t>& out);

  // The next encode() starts with a key epoch.
  void restart() { haveHistory_ = false; }
  // Type of the last record produced (36 to 39).
  uint8_t lastType() const { return lastType_; }

 private:
  using Image = std::vector<uint8_t>;
  bool parse(const uint8_t* record, size_t size, Image& target) const;
  bool buildDelta(const Image& target, bool full, std::vector<uint8_t>& out, Image& rebuilt) const;
  bool buildPhaseOnly(const Image& target, std::vector<uint8_t>& out, Image& rebuilt) const;
  bool rebuildsInput(const Image& rebuilt, const uint8_t* record, size_t size) const;
  void commit(const Image& rebuilt, uint8_t type);

  k01_ms_encoder_options_t options_;
  Image previous_;
  Image prediction_;
  bool haveHistory_ = false;
  uint32_t lastTime_ = 0;
  uint32_t sinceKey_ = 0;
  uint8_t lastType_ = 0;
};

}  // namespace k01

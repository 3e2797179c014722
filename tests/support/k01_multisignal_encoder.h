// Encoder of multi-signal measurement epochs from field values: the raw
// type-27 record, the key epoch (38), the delta epochs (36, 37) and the
// phase-only delta epoch (39). It keeps the same history as the decoder
// (previous epoch and linear prediction) and picks for every field the
// shortest mode that reproduces it.
#pragma once
#include <cstdint>
#include <vector>

namespace k01test {

using MsBytes = std::vector<uint8_t>;

struct MsSignal {
  uint8_t band = 0;
  uint8_t further = 0;    // tracking/signal type
  uint16_t value16 = 0;   // signal-to-noise, tenths
  int64_t range = 0;      // first signal: unsigned units of 2^-7 (2^-6 system 1);
                          // later: signed difference in units of 2^-8
  int64_t phase = 0;      // 48-bit signed, 2^-15 cycles
  uint8_t status = 0;
  uint8_t flags = 0;      // 0x80 extra flags follow, 0x04 Doppler follows
  uint8_t extra = 0;      // 0x01 extended range (later signals)
  int32_t doppler = 0;    // 24-bit signed, 2^-8 Hz
};

struct MsSat {
  uint8_t sv = 1;
  uint8_t system = 0;
  int8_t channel = 0;
  uint8_t byte5 = 0;      // word A
  uint8_t byte6 = 0;      // word B / 2
  uint8_t byte7 = 0;      // byte Q
  std::vector<MsSignal> signals;
};

struct MsExtEntry {
  uint8_t code = 0;       // descriptor low nibble
  int64_t value = 0;      // 2^-28 units, sign-extended
};

struct MsEpoch {
  uint16_t week = 0;
  uint32_t time = 0;      // ms
  int32_t clock = 0;      // 24-bit signed, 2^-19 ms
  uint8_t flags = 0;      // 0x02 field3, 0x10 field1, 0x20 extension
  uint32_t field3 = 0;    // 24 bits
  uint8_t field1 = 0;
  uint8_t extCode = 0;    // count byte low nibble
  std::vector<MsExtEntry> ext;
  std::vector<MsSat> sats;
};

// The raw type-27 record (K01 length form, checksum and end byte).
MsBytes rawType27(const MsEpoch& e);
// Bytes of the extension value that are not pure sign extension (1 to 7).
uint8_t extValueBytes(int64_t value);

class MsEncoder {
 public:
  // Key epoch: the raw record without its end byte, type 38.
  MsBytes key(const MsEpoch& e);
  // Delta epoch, type 36 (full) or 37 (short). Empty when the short form
  // cannot carry the epoch (Doppler or extra flags changed).
  MsBytes delta(const MsEpoch& e, bool full = true);
  // Phase-only delta epoch (type 39) of an epoch with the satellites and
  // signals of the previous one; its ranges are replaced by the ones carried
  // along the phase, which `carried` receives.
  MsBytes phaseOnly(const MsEpoch& e, MsEpoch* carried = nullptr);

  const MsEpoch& prediction() const { return pred_; }

 private:
  void advance(const MsEpoch& e);
  MsEpoch prev_;
  MsEpoch pred_;
};

}  // namespace k01test

// Encoders of the compressed position and auxiliary records from field
// values: positions (raw type 11, key 55, delta 54), precise positions (raw
// type 29 in sections), data pages (84/85) and coded values (41). The
// delta encoders keep the decoder's history and choose the shortest modes.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace k01test {

using AuxBytes = std::vector<uint8_t>;

// ---- positions -----------------------------------------------------------
struct PosFields {
  uint32_t field[10] = {};      // record offsets 3, 7, 11, 15, 19, 23 (16-bit), 25, 29, 33, 37
  uint8_t byte41 = 0;
  std::vector<uint8_t> list2;   // its size is the count n
  bool corrections = false;
  uint8_t correction[2] = {0, 0};
};

AuxBytes rawType11(const PosFields& p);

class PosEncoder {
 public:
  AuxBytes key(const PosFields& p);    // type 55
  AuxBytes delta(const PosFields& p);  // type 54

 private:
  PosFields prev_;
  uint32_t pred_[10] = {};
};

// ---- precise positions ---------------------------------------------------
struct Prec29 {
  uint8_t first[14] = {};       // record bytes 5 to 18 (byte 12 is set from sats)
  uint8_t second[52] = {};      // record bytes 20 to 71
  uint8_t third[4] = {};        // bytes 73 to 76, when first[12] (byte 17) is 3 to 6
  uint8_t fourthLength = 9;     // when byte 15 has bit 1
  uint8_t fourth[11] = {};      // bytes 95 onwards
  std::vector<std::array<uint8_t, 3>> sats;
};

AuxBytes rawType29(const Prec29& p);
// Key epoch: the raw record without its end byte, type 57.
AuxBytes keyType57(const Prec29& p);

// ---- data pages ------------------------------------------------------------
// A full page record (type 84 or 85): time, week, byte, 28-byte page.
AuxBytes pageRecord(uint8_t type, uint32_t time, uint16_t week, uint8_t byte10,
                    const std::array<uint8_t, 28>& page);
// A reference to a stored page (type 84, length 11) with a carried checksum.
AuxBytes pageReference(uint8_t row, uint8_t index, uint16_t increment, uint8_t byte8,
                       uint16_t checksum);
// The raw type-25 record of a page (length 42).
AuxBytes rawType25(uint8_t byte3, uint32_t time, uint16_t week, uint8_t byte10,
                   const std::array<uint8_t, 28>& page);

// ---- coded values ------------------------------------------------------------
class CodedEncoder {
 public:
  // Encodes one record naming `entries` (code, value); `raw` receives the
  // raw type-40 record it stands for.
  AuxBytes encode(uint8_t byte3, uint16_t word, uint32_t value,
                  const std::vector<std::pair<uint8_t, uint16_t>>& entries, AuxBytes* raw = nullptr);

 private:
  uint16_t lastWord_ = 0;
  uint32_t lastValue_ = 0;
  uint32_t prediction_ = 0;
  bool present_[128] = {};
  uint16_t values_[128] = {};
};

uint16_t byteSum16(const AuxBytes& b, size_t n);

}  // namespace k01test

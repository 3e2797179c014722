// Encoder of the compressed position and auxiliary records, the K01
// writer's counterpart of their transcoders:
//   raw type 11 (position)         -> 55 key epoch or 54 delta epoch;
//   raw type 29 (precise position) -> 57 key epoch or 56 sectioned delta;
//   raw type 25 (data page)        -> 84 full page, 84 reference to a page
//                                     already sent, 85 (first page: clears
//                                     the page store);
//   raw type 40 (coded values)     -> 41.
// The encoder mirrors the histories and stores the decoder keeps and
// extrapolates with plain integers. A delta or reference is used only when
// what the decoder rebuilds from it is the input record byte for byte and
// it is shorter than the key form; a record no compressed form can carry
// (a raw type-40 record that leaves out a code already sent, say) is kept
// as it is.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "k01lib/aux_state.h"

namespace k01 {

// ---- raw records from field values ---------------------------------------
struct k01_pos_fields_t {
  uint32_t field[10] = {};      // record offsets 3, 7, 11, 15, 19, 23 (16-bit), 25, 29, 33, 37
  uint8_t byte41 = 0;
  std::vector<uint8_t> list2;   // its size is the count n; list 1 is 0 .. n-1
  bool corrections = false;
  uint8_t correction[2] = {0, 0};
};
std::vector<uint8_t> buildRaw11Record(const k01_pos_fields_t& p);

struct k01_prec29_fields_t {
  uint8_t first[14] = {};       // record bytes 5 to 18 (byte 12 is set from sats)
  uint8_t second[52] = {};      // record bytes 20 to 71
  uint8_t third[4] = {};        // bytes 73 to 76, when first[12] (byte 17) is 3 to 6
  uint8_t fourthLength = 9;     // when byte 15 has bit 1: 9, 10 or 12
  uint8_t fourth[11] = {};      // bytes 95 onwards
  std::vector<std::array<uint8_t, 3>> sats;
};
std::vector<uint8_t> buildRaw29Record(const k01_prec29_fields_t& p);

std::vector<uint8_t> buildRaw25Record(uint8_t byte3, uint32_t time, uint16_t week, uint8_t byte10,
                                      const std::array<uint8_t, 28>& page);

std::vector<uint8_t> buildRaw40Record(uint8_t byte3, uint16_t word, uint32_t value,
                                      const std::vector<std::pair<uint8_t, uint16_t>>& entries);

// ---- encoder ----------------------------------------------------------------
constexpr uint8_t kEncAuxOk = 0;
constexpr uint8_t kEncAuxNotRaw = 1;       // not a well-formed raw record of types 11, 25, 29, 40
constexpr uint8_t kEncAuxNotCarried = 4;   // no compressed form rebuilds this record

struct k01_aux_encoder_options_t {
  // A position or precise-position key epoch at least every keyInterval
  // records of its kind (0: only when needed).
  uint32_t keyInterval = 0;
};

class k01_aux_encoder_t {
 public:
  explicit k01_aux_encoder_t(const k01_aux_encoder_options_t& options = {});

  // Encodes a raw record of type 11, 25, 29 or 40 into out. kEncAuxNotRaw
  // and kEncAuxNotCarried leave out empty: the caller keeps the record.
  uint8_t encodeRaw(const uint8_t* record, size_t size, std::vector<uint8_t>& out);

  // The next position and precise position start with key epochs.
  void restart() { havePos_ = havePrec_ = false; }
  uint8_t lastType() const { return lastType_; }

 private:
  uint8_t encodePosition(const uint8_t* rec, size_t size, std::vector<uint8_t>& out);
  uint8_t encodePrecise(const uint8_t* rec, size_t size, std::vector<uint8_t>& out);
  uint8_t encodePage(const uint8_t* rec, size_t size, std::vector<uint8_t>& out);
  uint8_t encodeCoded(const uint8_t* rec, size_t size, std::vector<uint8_t>& out);

  k01_aux_encoder_options_t options_;
  uint8_t lastType_ = 0;
  // Positions: the previous epoch's fields and lists, the predicted fields.
  bool havePos_ = false;
  uint32_t posSinceKey_ = 0;
  uint32_t posPrev_[10] = {};
  uint32_t posPred_[10] = {};
  uint8_t posByte41_ = 0;
  uint8_t posCount_ = 0;
  uint8_t posList2_[kAuxMaxCount] = {};
  // Precise positions: the decoder's two images.
  bool havePrec_ = false;
  uint32_t precSinceKey_ = 0;
  std::vector<uint8_t> precPrev_;
  std::vector<uint8_t> precPred_;
  // Pages and coded values: the decoder's stores.
  bool pagesStarted_ = false;
  std::vector<uint8_t> pageStore_;   // a k01_page_store_t
  k01_coded_store_t coded_{};
};

}  // namespace k01

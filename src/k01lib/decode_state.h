// State of the record decoder held in the K01Decoder: the work record, the
// DAT record header, one decoded-structure slot per DAT type, the histories
// of the compressed type-17 transcoders and the previous-epoch store of the
// type-17 decoder.
//
// Everything here is fixed-size and lives inside the decoder object, so it
// is allocated once per decoder; resetDecodeState() zeroes it before each
// input file.
#pragma once
#include <cstddef>
#include <cstdint>

#include "k01lib/decoded_types.h"
#include "k01lib/record_buffer.h"

namespace k01 {

// ---- epoch image of the type-17 transcoders -------------------------------
// One epoch as the transcoders hold it: the raw type-17 framing, time and
// clock value, then 88 satellite slots of 100 bytes whose fields keep the
// widths of the raw record.
constexpr size_t kEpochImageSize = 8814;
constexpr size_t kImageSlotCount = 88;
constexpr size_t kImageSlotSize = 100;

namespace img {
constexpr size_t kLength = 1;     // length, low 8 bits
constexpr size_t kType = 2;       // 17 or 117
constexpr size_t kTime = 3;       // 4 bytes
constexpr size_t kClock = 7;      // 3 bytes
constexpr size_t kSlots = 10;     // first satellite slot
constexpr size_t kChecksum = 8810;
constexpr size_t kEnd = 8812;
constexpr size_t kCount = 8813;

// Offsets inside a satellite slot.
constexpr size_t kSv = 0;
constexpr size_t kFlags = 1;
constexpr size_t kStatus = 2;
constexpr size_t kByte3 = 3;
constexpr size_t kExtra1 = 4;
constexpr size_t kExtra2 = 5;
constexpr size_t kSnr = 6;
constexpr size_t kRange = 7;        // 4 bytes
constexpr size_t kPhase = 11;       // 6 bytes
constexpr size_t kDoppler = 17;     // 3 bytes
constexpr size_t kUnread = 20;
constexpr size_t kSnr2 = 21;
constexpr size_t kPhase2 = 22;      // 6 bytes
constexpr size_t kValue2 = 28;      // 2 bytes
// Smoothed predictor (types 68/76) only.
constexpr size_t kPhase2Accel = 30;   // 6 bytes
constexpr size_t kPhase2Before = 36;  // 6 bytes
constexpr size_t kRangeRate = 84;     // 4 bytes
constexpr size_t kPhaseAccel = 88;    // 6 bytes
constexpr size_t kPhaseBefore = 94;   // 6 bytes
}  // namespace img

struct k01_epoch_image_t {
  uint8_t bytes[kEpochImageSize];

  uint8_t* slot(size_t i) { return bytes + img::kSlots + kImageSlotSize * i; }
  const uint8_t* slot(size_t i) const { return bytes + img::kSlots + kImageSlotSize * i; }
};
static_assert(sizeof(k01_epoch_image_t) == kEpochImageSize);

// A pair of images: the last epoch rebuilt and the values expected next.
// Only the first slotsInUse slots of either image can hold anything: the
// slots from there on are zero in both, so an epoch touches the slots it
// uses rather than all 88.
struct k01_meas17_history_t {
  k01_epoch_image_t previous;
  k01_epoch_image_t prediction;
  uint8_t slotsInUse = 0;
};

// ---- previous-epoch store of the type-17 decoder ---------------------------
// The decoded structure of the previous type-17 record and, per entry, the
// Doppler predicted for the next epoch.
struct k01_meas17_store_t {
  k01_meas17_t previous;
  double predictedDoppler[k01_meas17_t::kSvSlots];
};

// ---- decoded-structure slots ------------------------------------------------
struct k01_slots_t {
  k01_rec5_t rec5;
  k01_pos11_t pos11;
  k01_rec12_t rec12;
  k01_ion15_t ion15;
  k01_rec16_t rec16;
  k01_meas17_t meas17;
  k01_rec19_t rec19;
  k01_rec21_t rec21;
  k01_page25_t page25;
  k01_aux26_t aux26;
  k01_meas27_t meas27;
  k01_rec28_t rec28;
  k01_pos29_t pos29;
  k01_rec30_t rec30;
  k01_rec31_t rec31;
  k01_rec32_t rec32;
  k01_coded40_t coded40;
  k01_data98_t data98;
  k01_data99_t data99;
};

// ---- the decoder's state ------------------------------------------------------
struct k01_decode_state_t {
  k01_record_t work;             // raw record of stage 1; work.length is the work record length
  uint8_t datHeader[4];          // 't', length low, byte 2, DAT type
  uint8_t firstResetPending;     // 1 until the first type-30 subtype-0 record
  k01_meas17_history_t linear;   // types 66, 67, 74, 75
  k01_meas17_history_t smoothed; // types 68, 69, 76, 77
  k01_meas17_store_t meas17Store;
  k01_slots_t slots;

  k01_decode_state_t() { reset(); }
  void reset();
};

// Zeroes an image and sets its framing: 0x02, type 17, end byte 0x03.
void resetEpochImage(k01_epoch_image_t& image);
// The same for everything but the satellite slots, which are left as they are.
void resetEpochFraming(k01_epoch_image_t& image);
// Zeroes slots [from, to).
void clearSlots(k01_epoch_image_t& image, size_t from, size_t to);
// Copies the framing, time, clock, trailer and the first `count` slots.
void copyEpochImage(k01_epoch_image_t& to, const k01_epoch_image_t& from, size_t count);
void resetHistory(k01_meas17_history_t& history);
// The initialiser's part for the record decoder: all four images reset, the
// previous-epoch store and every slot zeroed, the first-reset flag set.
void resetDecodeState(k01_decode_state_t& state);

// The slot of a DAT type (nullptr for a type without one, such as 14, 22,
// 23, 24 and 90) and its size.
void* slotOf(k01_decode_state_t& state, uint16_t datType, size_t* size = nullptr);

}  // namespace k01

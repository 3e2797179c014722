// Compressed position and auxiliary records: positions (54 delta, 55 key),
// precise positions (56 delta, 57 key), data pages (84, 85) and coded
// values (41), with the histories and stores they keep between records.
//
// Each transcoder reads the compressed record `in` (at most in.length
// bytes), writes the rebuilt raw record into `out` (out.length, 0 when
// nothing was built) and returns a status. A failed record leaves its
// family's history and store as they were.
#pragma once
#include <cstddef>
#include <cstdint>

#include "k01lib/record_buffer.h"

namespace k01 {

// ---- statuses -------------------------------------------------------------
constexpr uint8_t kAuxOk = 0;
constexpr uint8_t kAuxNoStart = 1;     // byte 0 is not 0x02
constexpr uint8_t kAuxBadType = 2;     // wrong type byte
constexpr uint8_t kAuxChecksum = 4;    // checksum mismatch
constexpr uint8_t kAuxNoEnd = 5;       // end byte missing
constexpr uint8_t kAuxBadMode = 6;     // field mode above 8
constexpr uint8_t kAuxBadIndex = 7;    // count or index out of range, page outside the store
constexpr uint8_t kAuxOverrun = 8;     // record or section shorter than its fields, output too long

constexpr uint32_t kAuxMaxCount = 88;  // list entries / satellites an image holds

// ---- positions (54/55): images of 226 bytes -------------------------------
constexpr size_t kPosImageSize = 226;
namespace posimg {
constexpr size_t kByte41 = 41;
constexpr size_t kCount = 42;
constexpr size_t kList1 = 43;
constexpr size_t kList2 = 131;
constexpr size_t kCorrection = 219;  // 2 bytes
constexpr size_t kChecksum = 222;
constexpr size_t kEnd = 224;
}  // namespace posimg

struct k01_pos_history_t {
  uint8_t previous[kPosImageSize];
  uint8_t prediction[kPosImageSize];
};

// ---- precise positions (56/57): images of 440 bytes -----------------------
constexpr size_t kPrecImageSize = 440;
namespace precimg {
constexpr size_t kFirst = 4;         // length byte 15, fields 5 to 18
constexpr size_t kSatCount = 12;
constexpr size_t kSecondCount = 13;
constexpr size_t kSectionFlags = 15; // 0x02 fourth section, 0x04 field 66 predicted, 0x10 extension
constexpr size_t kMode = 17;         // 3 to 6: third section present
constexpr size_t kSecond = 19;       // length byte 53, fields 20 to 71
constexpr size_t kThird = 72;        // length byte 5, bytes 73 to 76
constexpr size_t kFourth = 94;       // length byte 9, 10 or 12, bytes 95 to 105
constexpr size_t kExt = 106;         // extension block, image form
constexpr size_t kSats = 172;        // length byte 3 x count + 1, entries from 173
constexpr size_t kChecksum = 437;
constexpr size_t kEnd = 439;
}  // namespace precimg

// The sixteen fields of the second section (offset in the image, width), in
// the pairs a delta epoch codes them.
struct k01_prec_field_t {
  uint16_t offset;
  uint8_t width;
};
namespace precimg {
constexpr k01_prec_field_t kSecondFields[16] = {
    {20, 6}, {26, 6}, {32, 4}, {36, 4}, {40, 4}, {44, 4}, {48, 4}, {52, 4},
    {56, 2}, {58, 2}, {60, 2}, {62, 2}, {64, 2}, {66, 2}, {68, 2}, {70, 2}};
}  // namespace precimg

// Calls f(offset, width) for each field of a precise-position image that a
// delta epoch predicts from the two epochs before it (2 x new - previous).
template <typename F>
void forEachPredictedPreciseField(const uint8_t* img, F&& f) {
  const uint8_t flags = img[precimg::kSectionFlags];
  f(5, 2);
  f(7, 4);
  f(20, 6);
  f(26, 6);
  for (size_t off = 32; off <= 52; off += 4) f(off, 4);
  for (size_t off = 56; off <= 64; off += 2) f(off, 2);
  if (flags & 0x04) f(66, 2);
  if (flags & 0x02) {
    f(95, 4);
    f(99, 4);
  }
}

struct k01_prec_history_t {
  uint8_t previous[kPrecImageSize];
  uint8_t prediction[kPrecImageSize];
};

// ---- data pages (84/85) ------------------------------------------------------
constexpr uint32_t kPageRows = 64;
constexpr uint32_t kPagesPerRow = 20;
constexpr uint32_t kPageBytes = 28;

struct k01_page_store_t {
  uint8_t pages[kPageRows][kPagesPerRow][kPageBytes];
  uint8_t writeIndex[kPageRows];
  uint16_t week;   // of the last page
  uint32_t time;   // of the last page
};

// ---- coded values (41) ------------------------------------------------------
constexpr uint32_t kCodeCount = 128;

struct k01_coded_store_t {
  uint16_t lastWord;
  uint32_t lastValue;
  uint32_t prediction;
  uint8_t present[kCodeCount];
  uint16_t value[kCodeCount];
};

// ---- all of them, as the decoder keeps them ----------------------------------
struct k01_aux_state_t {
  k01_pos_history_t position;
  k01_prec_history_t precise;
  k01_page_store_t pages;
  k01_coded_store_t coded;
};

void resetAuxState(k01_aux_state_t& s);

// Positions, rebuilt into raw type 11. Without `verify` the computed
// checksum is written into the record; with it the carried one must match.
uint8_t transcodePosition54(const k01_record_t& in, k01_record_t& out, k01_pos_history_t& h,
                            bool verify);
uint8_t transcodePosition55(const k01_record_t& in, k01_record_t& out, k01_pos_history_t& h,
                            bool verify);
// Precise positions, rebuilt into raw type 29 (checksum carried).
uint8_t transcodePrecisePosition56(const k01_record_t& in, k01_record_t& out,
                                   k01_prec_history_t& h);
uint8_t transcodePrecisePosition57(const k01_record_t& in, k01_record_t& out,
                                   k01_prec_history_t& h);
// Data pages, rebuilt into raw type 25.
uint8_t transcodePages84(const k01_record_t& in, k01_record_t& out, k01_page_store_t& store);
uint8_t transcodePages85(const k01_record_t& in, k01_record_t& out, k01_page_store_t& store);
// Coded values, rebuilt into raw type 40.
uint8_t transcodeCodedValues41(const k01_record_t& in, k01_record_t& out,
                               k01_coded_store_t& store);

// Parses a raw type-29 record (with its end byte) into a zeroed image, and
// writes an image as a raw type-29 record. Used by 56/57.
uint8_t parseRaw29Image(const uint8_t* rec, uint32_t length, uint8_t* img);
bool writeRaw29Image(const uint8_t* img, k01_record_t& out);

}  // namespace k01

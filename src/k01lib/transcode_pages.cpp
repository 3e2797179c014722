// Transcoders of the compressed data pages: 84 stores full pages or refers
// to a stored one, 85 clears the store first. Both rebuild raw type-25
// records.
#include <cstring>

#include "common/byte_order.h"
#include "k01lib/aux_state.h"

namespace k01 {

namespace {

// A full page record: fields to the end of the page and the checksum.
constexpr uint32_t kFullPageLength = 41;
constexpr uint32_t kReferenceLength = 11;
constexpr uint32_t kRebuiltReferenceLength = 42;

// Stores the page of a full page record and keeps its time and week.
void storePage(const uint8_t* rec, k01_page_store_t& store) {
  const uint32_t row = rec[11] >> 2;  // 0 to 63
  uint8_t& index = store.writeIndex[row];
  if (index >= kPagesPerRow) index = 0;
  std::memcpy(store.pages[row][index], rec + 11, kPageBytes);
  index = static_cast<uint8_t>((index + 1) % kPagesPerRow);
  store.time = static_cast<uint32_t>(bo::GetBeN(rec + 4, 4));
  store.week = static_cast<uint16_t>(bo::GetBeN(rec + 8, 2));
}

}  // namespace

uint8_t transcodePages84(const k01_record_t& in, k01_record_t& out, k01_page_store_t& store) {
  out.length = 0;
  const uint32_t length = in.bytes[1];
  if (length > in.length) return kAuxOverrun;
  uint8_t* o = out.bytes;
  if (length != kReferenceLength) {
    // The rebuilt length must fit the length byte.
    if (length < kFullPageLength || length + 1 > 255) return kAuxOverrun;
    storePage(in.bytes, store);
    std::memcpy(o, in.bytes, length);
    o[2] = 25;
    o[1] = static_cast<uint8_t>(length + 1);
    o[length] = 0x03;
    out.length = static_cast<uint16_t>(length + 1);
    return kAuxOk;
  }
  const uint8_t row = in.bytes[4];
  const uint8_t page = in.bytes[5];
  if (row >= kPageRows || page >= kPagesPerRow) return kAuxBadIndex;
  const uint32_t increment = static_cast<uint32_t>(bo::GetBeN(in.bytes + 6, 2));
  const uint32_t time = store.time + increment;
  if (time < store.time) store.week = static_cast<uint16_t>(store.week + 1);
  store.time = time;
  o[0] = 0x02;
  o[1] = kRebuiltReferenceLength;
  o[2] = 25;
  o[3] = 0;
  bo::PutBeN(o + 4, store.time, 4);
  bo::PutBeN(o + 8, store.week, 2);
  o[10] = in.bytes[8];
  std::memcpy(o + 11, store.pages[row][page], kPageBytes);
  o[39] = in.bytes[9];
  o[40] = in.bytes[10];
  o[41] = 0x03;
  out.length = kRebuiltReferenceLength;
  return kAuxOk;
}

uint8_t transcodePages85(const k01_record_t& in, k01_record_t& out, k01_page_store_t& store) {
  out.length = 0;
  const uint32_t length = in.bytes[1];
  if (length < kFullPageLength || length > in.length) return kAuxOverrun;
  std::memset(&store, 0, sizeof store);
  storePage(in.bytes, store);
  uint8_t* o = out.bytes;
  std::memcpy(o, in.bytes, kFullPageLength);
  o[2] = 25;
  o[1] = kFullPageLength + 1;
  o[kFullPageLength] = 0x03;
  out.length = kFullPageLength + 1;
  return kAuxOk;
}

}  // namespace k01

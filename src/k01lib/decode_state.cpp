#include "k01lib/decode_state.h"

#include <cstring>

namespace k01 {

void resetEpochImage(k01_epoch_image_t& image) {
  std::memset(image.bytes, 0, sizeof image.bytes);
  image.bytes[0] = 0x02;
  image.bytes[img::kType] = 17;
  image.bytes[img::kEnd] = 0x03;
}

void resetEpochFraming(k01_epoch_image_t& image) {
  std::memset(image.bytes, 0, img::kSlots);
  std::memset(image.bytes + img::kChecksum, 0, kEpochImageSize - img::kChecksum);
  image.bytes[0] = 0x02;
  image.bytes[img::kType] = 17;
  image.bytes[img::kEnd] = 0x03;
}

void clearSlots(k01_epoch_image_t& image, size_t from, size_t to) {
  if (to > kImageSlotCount) to = kImageSlotCount;
  if (from < to) std::memset(image.slot(from), 0, (to - from) * kImageSlotSize);
}

void copyEpochImage(k01_epoch_image_t& to, const k01_epoch_image_t& from, size_t count) {
  if (count > kImageSlotCount) count = kImageSlotCount;
  std::memcpy(to.bytes, from.bytes, img::kSlots + count * kImageSlotSize);
  std::memcpy(to.bytes + img::kChecksum, from.bytes + img::kChecksum,
              kEpochImageSize - img::kChecksum);
}

void resetHistory(k01_meas17_history_t& history) {
  resetEpochImage(history.previous);
  resetEpochImage(history.prediction);
  history.slotsInUse = 0;
}

void resetDecodeState(k01_decode_state_t& state) {
  std::memset(&state.work, 0, sizeof state.work);
  std::memset(state.datHeader, 0, sizeof state.datHeader);
  state.firstResetPending = 1;
  resetHistory(state.linear);
  resetHistory(state.smoothed);
  std::memset(&state.meas17Store, 0, sizeof state.meas17Store);
  std::memset(&state.slots, 0, sizeof state.slots);
}

void k01_decode_state_t::reset() { resetDecodeState(*this); }

void* slotOf(k01_decode_state_t& state, uint16_t datType, size_t* size) {
  k01_slots_t& s = state.slots;
  void* slot = nullptr;
  size_t n = 0;
  auto pick = [&](auto& member) {
    slot = &member;
    n = sizeof member;
  };
  switch (datType) {
    case 5: pick(s.rec5); break;
    case 11: pick(s.pos11); break;
    case 12: pick(s.rec12); break;
    case 15: pick(s.ion15); break;
    case 16: pick(s.rec16); break;
    case 17: pick(s.meas17); break;
    case 19: pick(s.rec19); break;
    case 21: pick(s.rec21); break;
    case 25: pick(s.page25); break;
    case 26: pick(s.aux26); break;
    case 27: pick(s.meas27); break;
    case 28: pick(s.rec28); break;
    case 29: pick(s.pos29); break;
    case 30: pick(s.rec30); break;
    case 31: pick(s.rec31); break;
    case 32: pick(s.rec32); break;
    case 40: pick(s.coded40); break;
    case 98: pick(s.data98); break;
    case 99: pick(s.data99); break;
    default: break;
  }
  if (size != nullptr) *size = n;
  return slot;
}

}  // namespace k01

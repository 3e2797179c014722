// Key epochs of the compressed type-17 family (67/75 and 69/77), the loading
// of a raw type-17 record into an image pair, and the dispatch by type.
//
// A key epoch is a raw type-17 record under another type byte (69/77 also
// without its end byte). It is checked against its own checksum and then
// resets and loads both images of its pair.
#include <cstring>

#include "k01lib/transcode_meas17.h"
#include "common/raw_record.h"

namespace k01 {

namespace {

constexpr uint32_t kMaxRaw17Length = 511;
constexpr uint32_t kMinRaw17Length = 13;  // header, time, clock value, checksum, end byte

uint8_t transcodeKey(bool withoutEnd, k01_meas17_history_t& h, const uint8_t* in,
                     uint32_t inLength, uint8_t* out, uint32_t outCapacity, uint32_t& outLength,
                     const k01_transcode17_options_t& options) {
  outLength = 0;
  if (in == nullptr || inLength == 0) return kT17NoStx;
  if (inLength < 3) return in[0] != 0x02 ? kT17NoStx : kT17Length;
  const uint8_t type = in[2];
  const uint8_t shortType = withoutEnd ? 69 : 67;
  const uint8_t longType = withoutEnd ? 77 : 75;
  const bool typeOk = type == shortType || type == longType;
  // The record's own bytes, and the length of the raw record it stands for.
  const uint32_t stored = in[1] + (type == longType ? 256u : 0u);
  const uint32_t length = stored + (withoutEnd ? 1u : 0u);
  if (stored > inLength || length < kMinRaw17Length || length > kMaxRaw17Length ||
      out == nullptr || length > outCapacity)
    return in[0] != 0x02 ? kT17NoStx : kT17Length;

  uint8_t rec[kMaxRaw17Length + 1];
  std::memcpy(rec, in, stored);
  if (withoutEnd) rec[length - 1] = 0;  // not part of the record yet
  // A key epoch of 256 bytes or more is the long form of the raw record.
  rec[1] = static_cast<uint8_t>(length & 0xFF);
  rec[2] = length > 255 ? 117 : 17;

  const bool stxBad = rec[0] != 0x02;
  bool checksumBad = false;
  if (typeOk) {
    const uint16_t computed = rawrec::ByteSum(rec, length - 3);
    const uint16_t carried = static_cast<uint16_t>((rec[length - 3] << 8) | rec[length - 2]);
    if (withoutEnd && !options.verify) {
      rec[length - 3] = static_cast<uint8_t>(computed >> 8);
      rec[length - 2] = static_cast<uint8_t>(computed);
    } else {
      checksumBad = computed != carried;
    }
  }
  if (stxBad || !typeOk || checksumBad) {
    if (stxBad) return kT17NoStx;
    // A record without an end byte has none to test.
    if (!withoutEnd && options.verify && rec[length - 1] != 0x03) return kT17NoEnd;
    return typeOk ? kT17Checksum : kT17WrongType;
  }
  if (withoutEnd) rec[length - 1] = 0x03;

  if (!loadEpochImages(h, rec, length, options.maxSatellites)) return kT17Length;
  std::memcpy(out, rec, length);
  outLength = length;
  return kT17Ok;
}

}  // namespace

bool loadEpochImages(k01_meas17_history_t& history, const uint8_t* record, uint32_t length,
                     uint8_t maxSatellites) {
  if (record == nullptr || length < kMinRaw17Length) return false;
  const size_t capacity = maxSatellites < kImageSlotCount ? maxSatellites : kImageSlotCount;
  const uint32_t end = length - 3;  // start of the checksum
  // Check that every block to be loaded lies before the checksum.
  size_t count = 0;
  for (uint32_t at = 10; at < end && count < capacity; ++count) {
    const uint32_t size = (record[at + 1] & 0x01) ? 29 : 20;
    if (at + size > end) return false;
    at += size;
  }

  k01_epoch_image_t& prev = history.previous;
  const size_t stale = history.slotsInUse;
  resetEpochFraming(prev);
  clearSlots(prev, 0, count > stale ? count : stale);
  prev.bytes[img::kLength] = record[1];
  prev.bytes[img::kType] = record[2];
  std::memcpy(prev.bytes + img::kTime, record + 3, 7);
  uint32_t at = 10;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* s = prev.slot(i);
    const uint8_t* b = record + at;
    s[img::kSv] = b[0];
    s[img::kFlags] = b[1];
    s[img::kStatus] = b[2];
    std::memcpy(s + img::kExtra1, b + 3, 17);  // block bytes 3 to 19
    if (b[1] & 0x01) {
      std::memcpy(s + img::kSnr2, b + 20, 9);  // block bytes 20 to 28
      at += 29;
    } else {
      at += 20;
    }
  }
  prev.bytes[img::kChecksum] = record[end];
  prev.bytes[img::kChecksum + 1] = record[end + 1];
  prev.bytes[img::kEnd] = record[length - 1];
  prev.bytes[img::kCount] = static_cast<uint8_t>(count);
  copyEpochImage(history.prediction, prev, count);
  clearSlots(history.prediction, count, stale);
  history.slotsInUse = static_cast<uint8_t>(count);
  return true;
}

uint8_t transcodeKey17(k01_meas17_history_t& history, const uint8_t* in, uint32_t inLength,
                       uint8_t* out, uint32_t outCapacity, uint32_t& outLength,
                       const k01_transcode17_options_t& options) {
  return transcodeKey(false, history, in, inLength, out, outCapacity, outLength, options);
}

uint8_t transcodeKeyNoEnd17(k01_meas17_history_t& history, const uint8_t* in, uint32_t inLength,
                            uint8_t* out, uint32_t outCapacity, uint32_t& outLength,
                            const k01_transcode17_options_t& options) {
  return transcodeKey(true, history, in, inLength, out, outCapacity, outLength, options);
}

uint8_t transcodeMeas17(k01_meas17_history_t& history, const k01_record_t& in, k01_record_t& out,
                        const k01_transcode17_options_t& options) {
  const uint32_t inLength =
      in.length > kRecordCapacity ? static_cast<uint32_t>(kRecordCapacity) : in.length;
  uint32_t outLength = 0;
  uint8_t st;
  switch (inLength >= 3 ? in.bytes[2] : 0) {
    case 66: case 74:
      st = transcodeDelta17(history, in.bytes, inLength, out.bytes, kRecordCapacity, outLength,
                            options);
      break;
    case 67: case 75:
      st = transcodeKey17(history, in.bytes, inLength, out.bytes, kRecordCapacity, outLength,
                          options);
      break;
    case 68: case 76:
      st = transcodeSmoothed17(history, in.bytes, inLength, out.bytes, kRecordCapacity, outLength,
                               options);
      break;
    case 69: case 77:
      st = transcodeKeyNoEnd17(history, in.bytes, inLength, out.bytes, kRecordCapacity, outLength,
                               options);
      break;
    default:
      st = (inLength == 0 || in.bytes[0] != 0x02) ? kT17NoStx : kT17WrongType;
      break;
  }
  out.length = static_cast<uint16_t>(outLength);
  return st;
}

char transcodeStatusLetter(uint8_t status) {
  if (status < kT17NoStx || status > kT17Flags) return 0;
  return static_cast<char>('e' + (status - kT17NoStx));
}

}  // namespace k01

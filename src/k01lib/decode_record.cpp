// The record decoder's dispatcher: stage 1 (transcode or copy), the end-byte
// and checksum checks of the work record, stage 2 by DAT type, and the
// first-reset rule of the type-17 history.
#include "k01lib/decode_record.h"

#include <cstring>

#include "k01lib/decode_stage2.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/transcode_meas17.h"
#include "k01lib/transcoders.h"

namespace k01 {

namespace {

constexpr uint32_t kMinWorkLength = 6;  // STX, length, type, checksum, end byte

bool isMeas17Family(int16_t t) { return (t >= 66 && t <= 69) || (t >= 74 && t <= 77); }

// Stage 1 for the compressed types; false when the type is copied.
bool transcode(K01Decoder& d, k01_decode_state_t& s, const k01_record_t& in, int16_t type,
               bool verify, uint8_t& st) {
  const uint8_t t = static_cast<uint8_t>(type);
  if (isMeas17Family(type)) {
    k01_transcode17_options_t options;
    options.verify = verify;
    const bool smoothed = t == 68 || t == 69 || t == 76 || t == 77;
    st = transcodeMeas17(smoothed ? s.smoothed : s.linear, in, s.work, options);
    return true;
  }
  switch (type) {
    case 36: case 37: case 38: case 39:
      st = transcodeMultiSignal(d, t, in, s.work, verify);
      return true;
    case 41:
      st = transcodeCodedValues(d, t, in, s.work, verify);
      return true;
    case 54: case 55:
      st = transcodePosition(d, t, in, s.work, verify);
      return true;
    case 56: case 57:
      st = transcodePrecisePosition(d, t, in, s.work, verify);
      return true;
    case 84: case 85:
      st = transcodePages(d, t, in, s.work, verify);
      return true;
    default:
      return false;
  }
}

uint16_t stage2(K01Decoder& d, k01_decode_state_t& s, uint16_t datType, uint8_t& st) {
  // Fields are read from the payload only: the view ends before the checksum.
  k01_view_t rec = viewBytes(s.work.bytes, s.work.length - 3u);
  k01_slots_t& slot = s.slots;
  uint8_t* h = s.datHeader;
  switch (datType) {
    case 5: return decodeRec5(rec, slot.rec5, h, st);
    case 11: return decodePosition11(rec, slot.pos11, h, st);
    case 12: return decodeRec12(rec, slot.rec12, h, st);
    case 15: return decodeIon15(rec, slot.ion15, h, st);
    case 16: return decodeRec16(rec, slot.rec16, h, st);
    case 17: return decodeMeas17(rec, slot.meas17, s.meas17Store, h, st);
    case 19: return decodeRec19(rec, slot.rec19, h, st);
    case 21: return decodeRec21(rec, slot.rec21, h, st);
    case 25: return decodePages25(rec, slot.page25, h, st);
    case 26: return decodeAux26(rec, slot.aux26, h, st);
    case 27: return decodeMeasurements27(d, s.work, slot.meas27, h, &st);
    case 28: return decodeRec28(rec, slot.rec28, h, st);
    case 29: return decodePrecise29(rec, slot.pos29, h, st);
    case 30: return decodeRec30(rec, slot.rec30, h, st);
    case 31: return decodeRec31(rec, slot.rec31, h, st);
    case 32: return decodeRec32(rec, slot.rec32, h, st);
    case 40: return decodeCoded40(rec, slot.coded40, h, st);
    case 98: return decodeData98(rec, slot.data98, h, st);
    case 99: return decodeData99(rec, slot.data99, h, st);
    default:
      // Types without a slot (14, 22, 23, 24, 90) and unknown types.
      setDatHeader(h, 0, 0, static_cast<uint8_t>(datType));
      return 0;
  }
}

}  // namespace

uint16_t datTypeOf(int16_t t) {
  switch (t) {
    case 5: case 11: case 12: case 14: case 15: case 16: case 17: case 19: case 21: case 22:
    case 23: case 24: case 25: case 26: case 27: case 28: case 29: case 30: case 31: case 32:
    case 40: case 90: case 98: case 99:
      return static_cast<uint16_t>(t);
    case 36: case 37: case 38: case 39:
      return 27;
    case 41:
      return 40;
    case 54: case 55:
      return 11;
    case 56: case 57:
      return 29;
    case 84: case 85:
      return 25;
    default:
      return isMeas17Family(t) ? 17 : kUnknownDatType;
  }
}

uint16_t decodeRecordWith(K01Decoder& d, k01_decode_state_t& s, const k01_record_t& input,
                          uint8_t checksumMode, int16_t recordType, uint16_t* datType,
                          uint8_t* status) {
  uint8_t localStatus = 0;
  uint16_t localType = 0;
  uint8_t& st = status != nullptr ? *status : localStatus;
  uint16_t& dt = datType != nullptr ? *datType : localType;
  std::memset(&s.work, 0, sizeof s.work);
  st = kDecodeOk;
  dt = datTypeOf(recordType);

  // Stage 1: rebuild a compressed record, or copy the record as it is.
  const bool verify = checksumMode != kChecksumNotVerified;
  uint8_t transcodeStatus = 0;
  if (transcode(d, s, input, recordType, verify, transcodeStatus)) {
    if (transcodeStatus != 0) {
      std::memset(&s.work, 0, sizeof s.work);
      st = kDecodeTranscode;
      return 0;
    }
  } else {
    s.work = input;
  }
  if (s.work.length > kRecordCapacity) s.work.length = static_cast<uint16_t>(kRecordCapacity);

  // Envelope of the work record.
  const uint32_t length = s.work.length;
  if (length < kMinWorkLength || s.work.bytes[length - 1] != 0x03) {
    st = kDecodeNoEnd;
    return 0;
  }
  if (verify) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 3 < length; ++i) sum += s.work.bytes[i];
    const uint16_t carried =
        static_cast<uint16_t>((s.work.bytes[length - 3] << 8) | s.work.bytes[length - 2]);
    if (static_cast<uint16_t>(sum) != carried) {
      st = kDecodeChecksum;
      return 0;
    }
  }

  // Stage 2.
  const uint16_t result = stage2(d, s, dt, st);

  // A type-30 record of subtype 0 starts a new session: the history of the
  // linear-predictor family is cleared, except at the first one after the
  // decoder was initialised.
  if (recordType == 30 && s.work.bytes[3] == 0) {
    if (s.firstResetPending)
      s.firstResetPending = 0;
    else
      resetHistory(s.linear);
  }
  return st == kDecodeOk ? result : 0;
}

uint16_t decodeRecord(K01Decoder* d, int16_t recordType, uint16_t* datType, uint8_t* status) {
  if (d == nullptr) {
    if (datType != nullptr) *datType = kUnknownDatType;
    if (status != nullptr) *status = kDecodeTranscode;
    return 0;
  }
  return decodeRecordWith(*d, d->decode, d->inputRecord, d->checksumMode, recordType, datType,
                          status);
}

}  // namespace k01

namespace k01 {

void setDatHeader(uint8_t header[4], uint32_t length, uint8_t byte2, uint8_t type) {
  header[0] = 0x74;
  header[1] = static_cast<uint8_t>(length & 0xFF);
  header[2] = byte2;
  header[3] = type;
}

void setDatHeaderWide(uint8_t header[4], uint32_t length, uint8_t type) {
  setDatHeader(header, length, static_cast<uint8_t>((length >> 8) & 0xFF), type);
}

}  // namespace k01

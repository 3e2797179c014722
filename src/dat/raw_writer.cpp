// WriteRawRecord: re-encodes one verified raw record by its type, and the
// smaller raw conversions (types 12, 15, 19, 20, 25, 31, 101 and 102).
#include <cmath>
#include <cstring>

#include "common/scale.h"
#include "common/byte_order.h"
#include "common/raw_record.h"
#include "dat/app_file.h"
#include "dat/compact_expand.h"
#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "dat/dat_writer.h"
#include "dat/encoder_internal.h"
#include "dat/field_convert.h"
#include "dat/session_records.h"

namespace enc {

Status RawDirect12(ConvState& cs, const uint8_t* rec, size_t len) {
  const size_t n = rec[3];
  const size_t further = n > 0 ? n - 1 : 0;
  const size_t datLength = 68 + 16 * further;
  uint8_t* out = cs.enc.scratch;
  PutHeader(out, datLength, 0, 12, true);
  fc::Cursor c(rec, 3, len - 3, out, 4, datLength);
  fc::Copy(c, 2);
  fc::Swap16(c, 2);
  fc::Copy(c, 1);  // receiver type code
  fc::Copy(c, 7);
  fc::Swap16(c, 1);  // GPS week
  fc::Fix32(c, 1, fc::kUnsigned, 0);
  fc::Swap64(c, 4);
  fc::Fix32(c, 1, fc::kUnsigned, -22);
  for (size_t i = 0; i < further; ++i) {
    fc::Fix16(c, 1, fc::kSigned, -11);
    fc::Fix16(c, 1, fc::kSigned, -21);
  }
  if (c.overrun) return status::kNoEtx;
  cs.rx.typeCode = rec[9];
  if (!cs.epoch.dataWeekSet) {
    cs.epoch.dataWeek = bo::GetBe16(rec + 17);
    cs.epoch.dataWeekSet = 1;
  }
  WriteRecord(cs, out, datLength);
  return status::kOk;
}


Status RawDirect101(ConvState& cs, const uint8_t* rec, size_t len) {
  uint8_t out[46];
  PutHeader(out, sizeof out, 0, 101, false);
  fc::Cursor c(rec, 3, len - 3, out, 4, sizeof out);
  fc::Fix32(c, 1, fc::kUnsigned, 0);
  fc::Swap64(c, 4);
  fc::Copy(c, 2);
  if (c.overrun) return status::kNoEtx;
  WriteRecord(cs, out, sizeof out);
  return status::kOk;
}

Status RawIonUtc(ConvState& cs, const uint8_t* rec, size_t len) {
  uint8_t block[120];
  fc::Cursor c(rec, 3, len - 3, block, 0, sizeof block);
  fc::Swap64(c, 11);
  fc::Fix16(c, 2, fc::kSigned, 0);
  fc::Fix32(c, 1, fc::kUnsigned, 0);
  fc::Copy(c, 8);
  if (c.overrun) return status::kNoEtx;
  if (cs.ionUtc != nullptr) std::memcpy(cs.ionUtc, block, sizeof block);
  dat::UpdateIonRecord(cs, cs.writer.stream);
  return status::kOk;
}

Status RawEvent(ConvState& cs, const uint8_t* rec, size_t len) {
  if (len < 7) return status::kNoEtx;
  const uint8_t subtype = rec[3];
  uint8_t out[4 + 256];
  const size_t outCap = sizeof out;
  fc::Cursor c(rec, 4, len - 3, out, 4, outCap);
  switch (subtype) {
    case 0: fc::Swap16(c, 1); fc::Swap32(c, 1); fc::Swap16(c, 1); break;
    case 1: fc::Swap32(c, 1); fc::Swap16(c, 1); break;
    case 2: case 4: fc::Swap16(c, 1); fc::Swap32(c, 1); break;
    case 5: fc::Swap16(c, 1); fc::Fix32(c, 1, fc::kUnsigned, 0); break;
    case 6: fc::Swap16(c, 1); fc::Swap64(c, 1); break;
    case 7: fc::Copy(c, 1); fc::Swap16(c, 1); fc::Swap64(c, 1); break;
    case 3:
    case 8: {
      if (subtype == 8) fc::Copy(c, 1);
      fc::Swap16(c, 1);
      if (c.srcPos > c.srcEnd) break;
      const size_t text = c.srcEnd - c.srcPos;
      if (c.dstPos + text + 1 > 255) return status::kNoEtx;  // length byte limit
      fc::Copy(c, static_cast<int>(text));
      c.WriteByte(0);
      break;
    }
    default:
      return status::kOk;  // other subtypes are ignored
  }
  if (c.overrun) return status::kNoEtx;
  PutHeader(out, c.dstPos, subtype, 19, false);
  HandleEventRecord(cs, out, c.dstPos);
  return status::kOk;
}

Status RawType20(ConvState& cs, const uint8_t* rec, size_t len) {
  if (len < 7) return status::kNoEtx;
  const uint8_t subtype = rec[3];
  if (subtype > 1) return status::kOk;  // no layout: not written
  uint8_t* body = cs.enc.body20;
  fc::Cursor c(rec, 4, len - 3, body, 0, sizeof cs.enc.body20);
  fc::Fix32(c, 1, fc::kUnsigned, 0);
  if (subtype == 0) {
    fc::Swap16(c, 4);
    fc::Swap32(c, 1);
  } else {
    if (c.srcPos > c.srcEnd) return status::kNoEtx;
    const size_t rest = c.srcEnd - c.srcPos;
    if (rest + 13 > 255) return status::kNoEtx;  // length byte limit
    fc::Copy(c, static_cast<int>(rest));
    c.WriteByte(0);
  }
  if (c.overrun) return status::kNoEtx;
  PutHeader(cs.enc.header, c.dstPos + 4, subtype, 20, false);
  return WriteImageBody(cs, 20);
}

Status RawType25(ConvState& cs, const uint8_t* rec, size_t len) {
  if (len < 7) return status::kNoEtx;
  const uint8_t subtype = rec[3];
  size_t datLength = 0;
  if (subtype == 0) {
    k01_page25_page_t page{};
    fc::Cursor c(rec, 4, len - 3, reinterpret_cast<uint8_t*>(&page), 0, sizeof page);
    fc::Swap32(c, 1);
    fc::Swap16(c, 1);
    fc::Copy(c, 1);
    fc::Copy(c, 28);
    if (c.overrun) return status::kNoEtx;
    cs.enc.page25.page = page;
    datLength = 39;
  } else if (subtype == 1) {
    k01_page25_table_t table{};
    fc::Cursor c(rec, 4, len - 3, reinterpret_cast<uint8_t*>(&table), 0, sizeof table);
    fc::Copy(c, 2);
    switch (table.kind) {
      case 1: fc::Swap16(c, 100); break;
      case 2: fc::Swap16(c, 101); break;
      case 3: case 4: case 5: fc::Copy(c, 201); break;
      case 6: fc::Swap32(c, 14); fc::Copy(c, 1); break;
      default: break;
    }
    if (c.overrun) return status::kNoEtx;
    cs.enc.page25.table = table;
    datLength = 4 + Table25Bytes(table.kind);
  }
  PutHeader(cs.enc.header, datLength, subtype, 25, false);
  return WriteImageBody(cs, 25);
}

Status RawType31(ConvState& cs, const uint8_t* rec, size_t len) {
  if (len < 10) return status::kNoEtx;
  const size_t m = rec[6];
  if (m + 8 > 255) return status::kNoEtx;
  fc::Cursor c(rec, 3, len - 3, cs.enc.body31, 0, sizeof cs.enc.body31);
  fc::Swap16(c, 1);
  fc::Copy(c, 2);
  fc::Copy(c, static_cast<int>(m));
  if (c.overrun) return status::kNoEtx;
  PutHeader(cs.enc.header, m + 8, 0, 31, false);
  const Status st = WriteImageBody(cs, 31);
  AppendAppBlock(cs, rec, len);
  return st;
}

Status RawMultiBlock102(ConvState& cs, uint8_t* rec, size_t len) {
  constexpr size_t kEntryBytes = 34;
  if (len < 13 || (len - 13) % kEntryBytes != 0) return status::kNoEtx;
  const bool more = (rec[3] & 0x80) != 0;
  rec[3] &= 0x7F;
  if (!cs.enc.multiOpen) {
    cs.enc.multiCount = 0;
    cs.enc.multiOpen = 1;
  }
  cs.enc.multiTime = static_cast<double>(bo::GetBe32(rec + 3));
  cs.enc.multiClock = sc::Ldexp(static_cast<int32_t>(bo::GetBe24(rec + 7) << 8) >> 8, -19);
  for (size_t p = 10; p + kEntryBytes <= len - 3; p += kEntryBytes) {
    if (cs.enc.multiCount >= kMultiEntries) break;  // further entries dropped
    MultiEntry& e = cs.enc.multi[cs.enc.multiCount++];
    e.bytes[0] = rec[p];
    e.bytes[1] = rec[p + 1];
    for (int i = 0; i < 4; ++i) e.values[i] = bo::GetBeDouble(rec + p + 2 + 8 * i);
  }
  if (more) return status::kOk;
  cs.enc.multiOpen = 0;
  const Status st = WriteImageBody(cs, 102);
  cs.enc.multiCount = 0;
  return st;
}

namespace {

bool IsCompactType(uint8_t t) { return (t >= 64 && t <= 67) || t == 74 || t == 75; }

Status CompactMeasurement(ConvState& cs, uint8_t* rec, size_t len) {
  if (!cs.enc.compactSeen) {
    cs.enc.compactSeen = 1;
    ResetCompactHistories(cs, rec[2]);
  }
  size_t n = len;
  const Status x = ExpandCompactRecord(cs, rec, &n);
  if (x == compact::kChecksum) return status::kBadChecksum;
  if (x != status::kOk) return status::kExpansion;
  if (n < 13 || n > kRawBufferSize || (rec[2] != 17 && rec[2] != 117)) return status::kExpansion;
  return RawMeasurementBlock(cs, rec, n);
}

Status ConvertRaw(ConvState& cs, FILE* stream, const uint8_t* rec, size_t len) {
  if (rec == nullptr || len < rawrec::kEnvelopeBytes || len > kRawBufferSize)
    return status::kNoEtx;
  uint8_t* r = cs.enc.raw;
  std::memcpy(r, rec, len);
  const uint8_t type = r[2];
  switch (type) {
    case 3: return RawEphemeris3(cs, r, len);
    case 21: return RawEphemeris21(cs, r, len);
    case 4: case 5: case 13: case 14: case 16: case 22: case 23: case 24:
      return HandleSessionRecord(cs, stream, rec, len);
    case 7: return RawMeasurement7(cs, r, len);
    case 10: case 11: return RawPosition(cs, r, len);
    case 12: return RawDirect12(cs, r, len);
    case 15: return RawIonUtc(cs, r, len);
    case 17: case 117: return RawMeasurementBlock(cs, r, len);
    case 18: return status::kUnexpectedLogst;
    case 19: return RawEvent(cs, r, len);
    case 20: return RawType20(cs, r, len);
    case 25: return RawType25(cs, r, len);
    case 30:
      if (len < 7) return status::kNoEtx;
      if (r[3] == 0) {
        cs.enc.compactSeen = 0;
        cs.rx.compactMode = 0;
        return status::kOk;
      }
      return HandleSessionRecord(cs, stream, rec, len);
    case 31: return RawType31(cs, r, len);
    case 101: return RawDirect101(cs, r, len);
    case 102: return RawMultiBlock102(cs, r, len);
    default:
      if (IsCompactType(type)) return CompactMeasurement(cs, r, len);
      return status::kOk;  // nothing is written for other types
  }
}

}  // namespace
}  // namespace enc

Status WriteRawRecord(ConvState& cs, FILE* stream, const uint8_t* rec, size_t len) {
  if (!dat::BeginEntry(cs, stream)) return status::kOk;
  const Status st = enc::ConvertRaw(cs, stream, rec, len);
  return dat::EndEntry(cs, st);
}

void ResetRawConverterForInput(ConvState& cs) { cs.enc.compactSeen = 0; }

void ResetEncoderState(ConvState& cs) {
  cs.epoch.seen = 0;
  cs.epoch.first = 0.0;
  cs.epoch.last = 0.0;
  cs.enc.weekMax = 0;
  cs.enc.compactSeen = 0;
  cs.rx.compactMode = 0;
  enc::ClearEvents(cs);
  cs.enc.pair = EpochPair{};
  cs.enc.currentMode = 0;
  cs.enc.referenceOffset = 0;
  cs.enc.referenceBase = 0;
  cs.enc.measOpen = 0;
  cs.enc.multiOpen = 0;
  cs.enc.multiCount = 0;
  cs.enc.type7Count = 0;
  std::memset(cs.enc.ephTaken, 0, sizeof cs.enc.ephTaken);
}

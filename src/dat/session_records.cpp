#include "dat/session_records.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "common/byte_order.h"
#include "common/raw_record.h"
#include "dat/conv_state.h"
#include "dat/dat_writer.h"
#include "dat/field_convert.h"

namespace {

using SB = SessionBlock;

constexpr uint8_t kTypeText = 16;
constexpr uint8_t kTypeReceiverInfo = 30;
constexpr uint32_t kMaskReceiverInfo = 0x2;

constexpr uint8_t kRankSessionHeader = 22;
constexpr uint8_t kRankReceiverInfo = 30;

constexpr uint8_t kStelo = 29;  // receiver type code of the serial number fix

constexpr size_t kLongNameMax = 50;
constexpr size_t kHeaderNameMax = 50;  // characters at block 1370
constexpr size_t kDatMaxLength = 255;  // one length byte

// Data of a raw record: from offset 3 up to the checksum.
constexpr size_t kDataStart = 3;
size_t DataEnd(size_t len) { return len - 3; }

// A cursor reading the raw record from offset pos and writing into a
// session block; the destination offset is set per field group.
fc::Cursor BlockCursor(const uint8_t* rec, size_t pos, size_t len, SessionBlock& b) {
  return fc::Cursor(rec, pos, DataEnd(len), b.bytes, 0, SB::kSize);
}

// Copies the entries first..first+count-1 of a per-SV byte array, keeping
// those within the 72 the block holds and reading past the others.
void PerSvBytes(fc::Cursor& c, size_t base, int first, int count) {
  for (int e = first; e < first + count; ++e) {
    if (e < SB::kSvEntries) {
      c.dstPos = base + static_cast<size_t>(e);
      fc::Copy(c, 1);
    } else {
      c.Skip(1);
    }
  }
}

// Counter arrays C1..C4, entries first..first+count-1 each: a 16-bit field
// into the low half of the entry, or a 32-bit field.
void Counters(fc::Cursor& c, int first, int count, bool wide) {
  for (size_t base : {static_cast<size_t>(SB::kC1), static_cast<size_t>(SB::kC2),
                      static_cast<size_t>(SB::kC3), static_cast<size_t>(SB::kC4)}) {
    for (int e = first; e < first + count; ++e) {
      if (e < SB::kSvEntries) {
        c.dstPos = base + 4 * static_cast<size_t>(e);
        if (wide)
          fc::Swap32(c, 1);
        else
          fc::Swap16(c, 1);
      } else {
        c.Skip(wide ? 4 : 2);
      }
    }
  }
}

void WriteRecord(ConvState& cs, FILE* stream, const uint8_t* rec, size_t length) {
  dat::WriteBlock(cs, rec, 1, length, stream);
}

// ---- type 16: text records ------------------------------------------------

// Antenna serial string: 10 characters, spaces with up to 8 characters of
// the text after its first 8 bytes placed right-aligned.
void TakeAntennaString(ReceiverIdentity& rx, const uint8_t* text, size_t textLen) {
  const uint8_t* tail = textLen > 8 ? text + 8 : text + textLen;
  size_t n = textLen > 8 ? textLen - 8 : 0;
  n = std::min<size_t>(n, 8);
  for (size_t i = 0; i < n; ++i)
    if (tail[i] == 0) n = i;
  std::memset(rx.antennaString, 0, sizeof rx.antennaString);
  std::memset(rx.antennaString, ' ', 10);
  std::memcpy(rx.antennaString + 10 - n, tail, n);
  rx.antennaGiven = 1;
}

// Long station name: up to 50 characters, ending at a space, a NUL or a
// byte of 128 or more.
void TakeLongStationName(ReceiverIdentity& rx, const uint8_t* text, size_t textLen) {
  std::memset(rx.longStationName, 0, sizeof rx.longStationName);
  for (size_t i = 0; i < textLen && i < kLongNameMax; ++i) {
    const uint8_t ch = text[i];
    if (ch == ' ' || ch == 0 || ch >= 128) break;
    rx.longStationName[i] = static_cast<char>(ch);
  }
}

Status HandleText(ConvState& cs, FILE* stream, const uint8_t* rec, size_t len) {
  if (len < 7) return status::kOk;  // no subtype byte
  const uint8_t subtype = rec[3];
  const uint8_t* text = rec + 4;
  const size_t textLen = DataEnd(len) - 4;
  const size_t datLength = len - 3;
  switch (subtype) {
    case 124:
      if (textLen > 0 && text[0] == '1') {
        cs.rx.compactMode = 1;
        return status::kOk;
      }
      break;
    case 6:
      return status::kOk;
    case 3:
      TakeLongStationName(cs.rx, text, textLen);
      break;
    case 27:
      TakeAntennaString(cs.rx, text, textLen);
      break;
    default:
      break;
  }
  if (datLength > kDatMaxLength) return status::kOk;
  uint8_t out[kDatMaxLength];
  out[0] = dat::kMarker;
  out[1] = static_cast<uint8_t>(datLength);
  out[2] = subtype;
  out[3] = kTypeText;
  std::memcpy(out + 4, text, textLen);
  WriteRecord(cs, stream, out, datLength);
  return status::kOk;
}

// ---- type 30: receiver information ----------------------------------------

// Serial number fix for the Stelo receiver: sets bit 32 of the serial
// number read from the serial string and writes it back as 10 digits.
void FixSerialString(ConvState& cs) {
  ReceiverIdentity& rx = cs.rx;
  if (cs.fixSerialMode == 0 || rx.typeCode != kStelo || !rx.serialGiven) return;
  uint64_t s = 0;
  bool saturated = false;
  for (size_t i = 0; i < sizeof rx.serialString && rx.serialString[i] >= '0' &&
                     rx.serialString[i] <= '9';
       ++i) {
    const uint64_t digit = static_cast<uint64_t>(rx.serialString[i] - '0');
    if (s > (UINT64_MAX - digit) / 10) {
      saturated = true;
      break;
    }
    s = s * 10 + digit;
  }
  if (saturated) return;
  if (cs.fixSerialMode == 1) {
    const bool plain = (s >> 32) == 0 && static_cast<uint32_t>(s) != 0xFFFFFFFFu;
    if (!plain || rx.firmwareVersion < 100 || rx.firmwareVersion > 103) return;
  }
  s |= uint64_t{1} << 32;
  // The string holds 10 digits; a number that needs more is left alone.
  if (s > 9999999999ull) return;
  std::memset(rx.serialString, 0, sizeof rx.serialString);
  std::snprintf(rx.serialString, sizeof rx.serialString, "%010" PRIu64, s);
}

// Converts one item's m data bytes from c's read position; reads the values
// the conversion state takes from the item.
void ConvertInfoItem(ConvState& cs, fc::Cursor& c, uint8_t subtype, int item, int m) {
  const uint8_t* data = c.src + c.srcPos;
  ReceiverIdentity& rx = cs.rx;
  if (subtype == 1 && item == 1 && m >= 6) {
    if (rx.serialRank < kRankReceiverInfo) {
      rx.serialNumber = bo::GetBe32(data);
      rx.serialRank = kRankReceiverInfo;
    }
    rx.typeCode = static_cast<uint8_t>(bo::GetBe16(data + 4));
    fc::Swap32(c, 1);
    fc::Swap16(c, 1);
    fc::Copy(c, m - 6);
  } else if (subtype == 1 && item == 2) {
    fc::Copy(c, m);
    if (m > 0) {
      std::memset(rx.serialString, 0, sizeof rx.serialString);
      std::memcpy(rx.serialString, data, std::min(m, 11));
      rx.serialGiven = 1;
    }
  } else if (subtype == 1 && item == 4 && m >= 6) {
    rx.firmwareVersion = bo::GetBe16(data);
    fc::Swap16(c, 3);
    fc::Copy(c, m - 6);
    FixSerialString(cs);
  } else if (subtype == 1 && item == 6 && m >= 6) {
    rx.antennaSerial = bo::GetBe32(data);
    fc::Swap32(c, 1);
    fc::Swap16(c, 1);
    fc::Copy(c, m - 6);
  } else if (subtype == 3 && (item == 1 || item == 3) && m >= 8) {
    fc::Swap32(c, 2);
    fc::Copy(c, m - 8);
  } else {
    fc::Copy(c, m);
  }
}

Status HandleReceiverInfo(ConvState& cs, FILE* stream, const uint8_t* rec, size_t len) {
  if (len < 8) return status::kOk;  // no subtype and count
  const uint8_t subtype = rec[3];
  if (subtype == 0) return status::kOk;  // handled by the raw path itself
  const size_t end = DataEnd(len);
  const int count = rec[4];

  // Items must lie within the record and the DAT record within one length
  // byte; otherwise the record is dropped.
  size_t pos = 5;
  size_t datLength = 5;
  for (int i = 0; i < count; ++i) {
    if (pos >= end) return status::kOk;
    const size_t m = rec[pos];
    pos += 1 + m;
    datLength += 1 + m;
    if (pos > end || datLength > kDatMaxLength) return status::kOk;
  }

  uint8_t out[kDatMaxLength] = {dat::kMarker, static_cast<uint8_t>(datLength), subtype,
                                kTypeReceiverInfo};
  fc::Cursor c(rec, 4, end, out, 4, datLength);
  fc::Copy(c, 1);  // item count
  for (int item = 1; item <= count; ++item) {
    const int m = rec[c.srcPos];
    fc::Copy(c, 1);
    ConvertInfoItem(cs, c, subtype, item, m);
  }
  if (!(cs.exclusionMask & kMaskReceiverInfo)) WriteRecord(cs, stream, out, datLength);
  return status::kOk;
}

// ---- types 4 and 22: session header ---------------------------------------

void HandleSessionHeader(ConvState& cs, const uint8_t* rec, size_t len, bool wide) {
  SessionBlock st = cs.staging;
  const int n = rec[3] + 1;  // per-SV entries 0..k
  fc::Cursor c = BlockCursor(rec, 4, len, st);
  c.dstPos = SB::kRefLatitude;
  fc::Swap64(c, 4);
  c.dstPos = SB::kA1;
  fc::Copy(c, 8);
  PerSvBytes(c, SB::kSvBytes1, 0, n);
  c.dstPos = SB::kA4;
  fc::Copy(c, 6);
  PerSvBytes(c, SB::kSvBytes2, 0, n);
  c.dstPos = SB::kScheduleStart;
  fc::Swap16(c, 4);
  Counters(c, 0, n, wide);
  c.dstPos = SB::kSyncRate;
  fc::Swap16(c, 1);
  c.dstPos = SB::kAntennaSerial;
  fc::Swap32(c, 2);
  c.dstPos = SB::kNavVersion;
  fc::Swap16(c, 2);
  if (c.overrun) return;
  st.Set<uint8_t>(SB::kStationNamePresent, 0);

  // The receiver serial number of a receiver information record outranks
  // the one of a session header.
  ReceiverIdentity& rx = cs.rx;
  if (rx.serialRank >= kRankReceiverInfo) {
    st.Set<uint32_t>(SB::kReceiverSerial, static_cast<uint32_t>(rx.serialNumber));
  } else {
    rx.serialNumber = st.Get<uint32_t>(SB::kReceiverSerial);
    rx.serialRank = kRankSessionHeader;
  }

  cs.staging = st;
  if (cs.pending.Get<uint16_t>(SB::kLoggingStart) != cs.staging.Get<uint16_t>(SB::kLoggingStart))
    FoldPendingHeader(cs);
  std::memcpy(cs.pending.bytes, cs.staging.bytes, SB::kPositions);
}

// ---- types 13 and 23: per-SV session values -------------------------------

void HandleSessionValues(ConvState& cs, const uint8_t* rec, size_t len, bool wide) {
  if (DataEnd(len) < 6) return;  // no first and last entry
  const int first = rec[4];
  const int last = rec[5];
  if (last < first) return;
  const int n = last - first + 1;
  SessionBlock p = cs.pending;
  p.Set<uint8_t>(SB::kStationNamePresent, 1);
  fc::Cursor c = BlockCursor(rec, 6, len, p);
  PerSvBytes(c, SB::kSvBytes1, first, n);
  PerSvBytes(c, SB::kSvBytes2, first, n);
  Counters(c, first, n, wide);

  // Header station name: length byte n and n + 1 characters. At most 50
  // characters are kept, and the length stays consistent with them.
  const size_t nameLength = c.ReadByte();
  const size_t nameBytes = nameLength + 1;
  const size_t kept = std::min(nameBytes, kHeaderNameMax);
  p.Set<uint8_t>(SB::kStationNameLength, static_cast<uint8_t>(kept - 1));
  std::memset(p.bytes + SB::kStationName, 0, kHeaderNameMax);
  c.dstPos = SB::kStationName;
  fc::Copy(c, static_cast<int>(kept));
  c.Skip(nameBytes - kept);

  c.dstPos = SB::kA5;
  fc::Copy(c, 1);
  c.dstPos = SB::kD1;
  fc::Fix32(c, 1, fc::kSigned, 0);
  c.dstPos = SB::kT1;
  fc::Copy(c, 3);
  c.dstPos = SB::kW1;
  fc::Swap32(c, 3);
  c.dstPos = SB::kA6;
  fc::Copy(c, 4);
  c.dstPos = SB::kW4;
  fc::Swap32(c, 1);
  c.dstPos = SB::kA10;
  fc::Copy(c, 2);
  c.dstPos = SB::kD2;
  fc::Fix16(c, 1, fc::kSigned, -4);
  c.dstPos = SB::kH1;
  fc::Swap16(c, 1);
  if (c.overrun) return;
  cs.pending = p;
}

// ---- types 5 and 24: session positions ------------------------------------

void HandleSessionPositions(ConvState& cs, const uint8_t* rec, size_t len, bool wide) {
  if (len < 6) return;
  SessionBlock p = cs.pending;
  fc::Cursor c = BlockCursor(rec, kDataStart, len, p);
  c.dstPos = SB::kPositions;
  fc::Swap64(c, 12);
  for (size_t off : {static_cast<size_t>(SB::kW5), static_cast<size_t>(SB::kW6)}) {
    c.dstPos = off;
    if (wide)
      fc::Swap32(c, 1);
    else
      fc::Swap16(c, 1);
  }
  if (c.overrun) return;
  cs.pending = p;
}

// ---- type 14: tracking table ----------------------------------------------

void HandleTracking(ConvState& cs, const uint8_t* rec, size_t len) {
  if (len < 6) return;
  const size_t end = DataEnd(len);
  if (end < 5 + 24) return;
  const int index = rec[4];
  if (index >= TrackingTable::kEntries) return;
  uint8_t words[24];
  fc::Cursor c(rec, 5, end, words, 0, sizeof words);
  fc::Swap32(c, 6);
  int32_t w[6];
  for (int i = 0; i < 6; ++i) w[i] = static_cast<int32_t>(bo::GetLe32(words + 4 * i));

  TrackingTable& t = cs.tracking;
  t.seen = 1;
  int32_t* current = t.current[index];
  if (current[kTrackSession] != w[kTrackSession]) {
    FoldTrackingEntry(current, t.accumulated[index]);
    std::fill(current, current + 6, 0);
  }
  std::copy(w, w + 6, current);
}

int32_t WrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace

void FoldTrackingEntry(const int32_t current[6], int32_t acc[6]) {
  if (current[kTrackTotalL1] == 0 && current[kTrackTotalL2] == 0) return;
  acc[kTrackTotalL1] = WrappingAdd(acc[kTrackTotalL1], current[kTrackTotalL1]);
  acc[kTrackContL1] = std::max(acc[kTrackContL1], current[kTrackContL1]);
  acc[kTrackTotalL2] = WrappingAdd(acc[kTrackTotalL2], current[kTrackTotalL2]);
  acc[kTrackContL2] = std::max(acc[kTrackContL2], current[kTrackContL2]);
  if (acc[kTrackSession] == 0) acc[kTrackSession] = current[kTrackSession];
  acc[kTrackWord5] = WrappingAdd(acc[kTrackWord5], current[kTrackWord5]);
}

void FinalTrackingEntry(const TrackingTable& table, int index, int32_t out[6]) {
  std::fill(out, out + 6, 0);
  if (index < 0 || index >= TrackingTable::kEntries) return;
  std::copy(table.accumulated[index], table.accumulated[index] + 6, out);
  FoldTrackingEntry(table.current[index], out);
}

Status HandleSessionRecord(ConvState& cs, FILE* stream, const uint8_t* rec, size_t len) {
  if (rec == nullptr || len < rawrec::kEnvelopeBytes) return status::kOk;
  switch (rec[2]) {
    case 16:
      return HandleText(cs, stream, rec, len);
    case 30:
      return HandleReceiverInfo(cs, stream, rec, len);
    case 4:
    case 22:
      HandleSessionHeader(cs, rec, len, rec[2] == 22);
      break;
    case 13:
    case 23:
      HandleSessionValues(cs, rec, len, rec[2] == 23);
      break;
    case 5:
    case 24:
      HandleSessionPositions(cs, rec, len, rec[2] == 24);
      break;
    case 14:
      HandleTracking(cs, rec, len);
      break;
    default:
      break;
  }
  return status::kOk;
}

// Final contents of the five header records at the start of a DAT file,
// written over the placeholders when the file is closed.
#include <cstdio>
#include <cstring>

#include "dat/conv_state.h"
#include "dat/dat_writer.h"
#include "report/gps_time.h"
#include "run/output_set.h"

namespace {

using SB = SessionBlock;

// Little-endian body builder over a fixed buffer.
struct Body {
  uint8_t b[110] = {};
  size_t n = 0;
  void Put(const void* p, size_t len) {
    std::memcpy(b + n, p, len);
    n += len;
  }
  void U8(uint8_t v) { b[n++] = v; }
  void U16(uint16_t v) { Put(&v, 2); }
  void U32(uint32_t v) { Put(&v, 4); }
  void F64(double v) { Put(&v, 8); }
  // Copies width bytes from the session block.
  void Block(const SessionBlock& s, size_t off, size_t width) { Put(s.bytes + off, width); }
  // Up to maxChars characters of text, then zeros up to width bytes.
  void Text(const char* text, size_t maxChars, size_t width) {
    const size_t len = strnlen(text, maxChars);
    std::memcpy(b + n, text, len);
    std::memset(b + n + len, 0, width - len);
    n += width;
  }
};

void Subtype6(const ConvState&, Body& body) {
  body.U16(0);
  body.U16(4);
  for (int i = 0; i < 4; ++i) body.U32(0);
}

void Subtype0(const ConvState& cs, Body& body, const char* stationText) {
  const SB& s = cs.session;
  body.U8(1);
  body.U8(0);
  body.Text(stationText, 4, 5);
  body.Block(s, SB::kRefKind, 1);
  body.F64(s.Get<double>(SB::kRefLatitude) * 180.0);
  body.F64(s.Get<double>(SB::kRefLongitude) * 180.0);
  body.Block(s, SB::kRefHeight, 8);
  body.Block(s, SB::kAntennaHeight, 8);
  body.Block(s, SB::kAntennaHeightUnit, 1);
  body.Block(s, SB::kStationNamePresent, 1);
  body.Block(s, SB::kStationNameLength, 1);
  // The name with its terminator (length + 1 bytes, at most the 51-byte field).
  size_t copy = static_cast<size_t>(s.Get<uint8_t>(SB::kStationNameLength)) + 1;
  if (copy > 51) copy = 51;
  std::memcpy(body.b + body.n, s.bytes + SB::kStationName, copy);
  body.n += 51;
}

void Subtype1(const ConvState& cs, Body& body, const char* nameTail) {
  const SB& s = cs.session;
  body.U16(0);
  body.Text(nameTail, 4, 5);
  body.Block(s, SB::kScheduleSpecified, 1);
  body.Block(s, SB::kScheduleStart, 8);
  const uint16_t week = ReportWeek(cs);
  body.U16(week);
  int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  GpsToCalendar(cs.epoch.first / 1000.0, week, &year, &month, &day, &hour, &minute, &seconds);
  body.U16(static_cast<uint16_t>(year));
  body.U16(static_cast<uint16_t>(month));
  body.U16(static_cast<uint16_t>(day));
  body.Block(s, SB::kSyncRate, 2);
  body.Block(s, SB::kElevationMask, 1);
  body.Block(s, SB::kMinSvs, 1);
  body.Block(s, SB::kAntennaSerialInField, 1);
  body.Block(s, SB::kLoggingSpecified, 1);
  body.Block(s, SB::kLogPositionOnly, 1);
  body.Block(s, SB::kLogPositionEveryCycle, 1);
  body.Block(s, SB::kSvSelection, 1);
  body.Block(s, SB::kA4, 1);
  body.Block(s, SB::kStationNamePresent, 1);
  body.Block(s, SB::kA5, 1);
  body.Block(s, SB::kT1, 3);
  body.U8(0);
  body.Block(s, SB::kD1, 8);
  body.Block(s, SB::kW1, 12);
  body.Block(s, SB::kA10, 1);
}

void Subtype2(const ConvState& cs, Body& body) {
  const SB& s = cs.session;
  body.U16(0);
  const uint16_t nav = s.Get<uint16_t>(SB::kNavVersion);
  const uint16_t sig = s.Get<uint16_t>(SB::kSigVersion);
  body.U16(nav != 0 ? nav : cs.rx.firmwareVersion);
  body.U16(sig != 0 ? sig : cs.rx.sigVersion);
  for (uint16_t v : cs.downloadVersion) body.U16(v);
  char text[32];
  if (cs.rx.antennaGiven) {
    body.Text(cs.rx.antennaString, 10, 12);
  } else {
    std::snprintf(text, sizeof text, "%10ld", static_cast<long>(s.Get<uint32_t>(SB::kAntennaSerial)));
    body.Text(text, 11, 12);
  }
  if (cs.rx.serialGiven) {
    body.Text(cs.rx.serialString, 11, 12);
  } else {
    // The receiver serial is a 32-bit number kept in the low half of its
    // 64-bit field (the high half is shared with the version words).
    std::snprintf(text, sizeof text, "%010lu", static_cast<unsigned long>(s.Get<uint32_t>(SB::kReceiverSerial)));
    body.Text(text, 11, 12);
  }
  body.U8(cs.rx.typeCode);
  body.Block(s, SB::kA1, 3);
  body.Block(s, SB::kStationNamePresent, 1);
  body.Block(s, SB::kA7, 3);
  body.Block(s, SB::kD2, 8);
  body.Block(s, SB::kW4, 4);
  body.Block(s, SB::kH1, 2);
  body.Block(s, SB::kA6, 1);
  body.Block(s, SB::kA11, 1);
}

void Subtype3(const ConvState& cs, Body& body) {
  const SB& s = cs.session;
  body.U16(0);
  for (int i = 0; i < 12; ++i) {
    const bool angle = !(i == 2 || i == 3 || i == 6 || i == 9);
    body.F64(angle ? s.P(i) * 180.0 : s.P(i));
  }
  body.Block(s, SB::kW5, 4);
  body.Block(s, SB::kW6, 4);
}

}  // namespace

Status PatchDatHeaders(ConvState& cs, FILE* dat, const char* stationText, const char* nameTail) {
  if (dat == nullptr) return status::kNoHeaderRecords;
  std::fseek(dat, 0, SEEK_SET);
  for (const dat::Placeholder& p : dat::kPlaceholders) {
    uint8_t head[4];
    if (std::fread(head, 1, 4, dat) != 4 || head[0] != dat::kMarker || head[1] != p.length ||
        (head[2] & 0x7F) != p.subtype || head[3] != 5)
      return status::kNoHeaderRecords;
    Body body;
    body.U8(dat::kMarker);
    body.U8(p.length);
    body.U8(p.subtype);
    body.U8(5);
    switch (p.subtype) {
      case 6: Subtype6(cs, body); break;
      case 0: Subtype0(cs, body, stationText); break;
      case 1: Subtype1(cs, body, nameTail); break;
      case 2: Subtype2(cs, body); break;
      default: Subtype3(cs, body); break;
    }
    std::fseek(dat, -4, SEEK_CUR);
    dat::WriteBlock(cs, body.b, 1, p.length, dat);
    std::fseek(dat, 0, SEEK_CUR);  // switch the stream back to reading
  }
  return status::kOk;
}
